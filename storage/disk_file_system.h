// TDiskFileSystem: the seam on POSIX. This is the only file of the engine
// that talks to the kernel about files.
//
// Share modes: every descriptor holds an open-file-description lock on the one
// byte kShareModeByteOffset (lock_map.h), a read lock when shared and a write
// lock when exclusive, so opens in other processes conflict as Windows share
// modes do. A descriptor open only for reading cannot hold a write lock, so
// its exclusive open takes a read lock: it still keeps writers and exclusive
// read-write opens out, but not other readers.
//
// Byte-range locks are open-file-description locks too: they belong to the
// descriptor, not to the process, so closing some other descriptor of the
// same file never drops them, and two descriptors in one process conflict.
// Descriptors are close-on-exec; a forked child shares its parent's
// descriptors and therefore their locks.
//
// Thread-safe; no state.
#pragma once

#include "storage/file_system.h"

namespace pirin {

class TDiskFileSystem final : public TOSFileSystem {
  public:
    [[nodiscard]] int Open(const std::string& path, TOSAccess access, TOSShare share,
                           TOSFile& file, TFileStat& opened) override;
    [[nodiscard]] int Create(const std::string& path, TOSFile& file) override;
    void Close(TOSFile file) override;
    [[nodiscard]] int ReadAt(TOSFile file, void* buffer, std::size_t count, std::uint64_t offset,
                             std::size_t& transferred) override;
    [[nodiscard]] int WriteAt(TOSFile file, const void* buffer, std::size_t count,
                              std::uint64_t offset, std::size_t& transferred) override;
    [[nodiscard]] int Truncate(TOSFile file, std::uint64_t size) override;
    [[nodiscard]] int Sync(TOSFile file) override;
    [[nodiscard]] int Size(TOSFile file, std::uint64_t& size) override;
    [[nodiscard]] int LockRange(TOSFile file, std::uint64_t start, std::uint64_t length,
                                bool exclusive) override;
    [[nodiscard]] int UnlockRange(TOSFile file, std::uint64_t start, std::uint64_t length) override;
    [[nodiscard]] int Stat(const std::string& path, TFileStat& stat) override;
    [[nodiscard]] int Rename(const std::string& from, const std::string& to) override;
    [[nodiscard]] int Remove(const std::string& path) override;
    std::string ResolveName(const std::string& path) override;
};

}  // namespace pirin
