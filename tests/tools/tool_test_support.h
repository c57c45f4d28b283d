// Running the built pirin-tool in tests: a scratch folder per test, schema
// files, and the program run as a child process with both outputs captured.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/table_create.h"

namespace pirin::testing {

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A scratch folder "db" per test, and the built pirin-tool run on it.
class PirinTool : public ::testing::Test {
  protected:
    PirinTool()
        : FFolder(std::filesystem::temp_directory_path() /
                  ("pirin-tool-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                   "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(FFolder);
        std::filesystem::create_directories(FFolder / "db");
    }
    ~PirinTool() override { std::filesystem::remove_all(FFolder); }

    std::string Db() const { return (FFolder / "db").string(); }
    TTableLocation ToolLocation(const std::string& name) const {
        return {.Directory = Db() + "/", .Name = name};
    }

    std::string WriteSchema(const nlohmann::json& schema) const {
        return WriteFile("schema.json", schema.dump());
    }
    // A file of the scratch folder (beside "db") with `text`; its path.
    std::string WriteFile(const std::string& name, const std::string& text) const {
        const auto path = FFolder / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    // Runs the built executable with `arguments`, capturing both outputs.
    TRun Run(const std::vector<std::string>& arguments) const {
        const auto outPath = FFolder / "out.txt";
        const auto errPath = FFolder / "err.txt";
        const pid_t child = ::fork();
        if (child == 0) {
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(PIRIN_TOOL_PATH)};
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(PIRIN_TOOL_PATH, argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(outPath), ReadAll(errPath)};
    }

  private:
    std::filesystem::path FFolder;
};

}  // namespace pirin::testing
