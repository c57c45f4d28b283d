// A scratch folder of the fuzzing process for harnesses whose readers take
// file names: in /dev/shm where there is one (no disk traffic per run), else
// in the temporary folder. Removed with its contents when the process exits.
//
// Threads: one; a fuzzer process runs one input at a time.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>

namespace vorlano::fuzz {

class TScratchFolder {
  public:
    explicit TScratchFolder(const std::string& harness) {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        FPath = base / ("vorlano-" + harness + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FPath);
    }
    ~TScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

    // Writes `bytes` as the file `name` of the folder, replacing it; its path.
    std::string Put(const std::string& name, std::span<const std::uint8_t> bytes) const {
        const std::string path = (FPath / name).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }

  private:
    std::filesystem::path FPath;
};

}  // namespace vorlano::fuzz
