// TOSFileSystem: the one seam between the storage layer and the operating
// system. Disk files (TPhysicalFile) and the open-file list reach the disk only
// through it, so tests can put a fault-injecting wrapper in front of the real
// disk (faulty_file_system.h) and see engine errors instead of crashes.
//
// Every operation returns 0 on success or an errno value (never negative);
// results come back through out-parameters. Implementations are used from any
// thread at once and keep no per-call state of their own.
//
// The process-wide current seam is the disk (disk_file_system.h) unless a
// TFileSystemOverride is alive. A disk file keeps the seam it was opened with
// until it closes, so swapping the seam never splits one file across two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace pirin {

// An open operating-system file; kNoOSFile when none.
using TOSFile = int;
inline constexpr TOSFile kNoOSFile = -1;

enum class TOSAccess { Read, ReadWrite };

// How other opens of the same file are treated while this one lasts.
// Shared admits other shared opens; Exclusive admits none. A conflict fails
// the open with EBUSY.
enum class TOSShare { Shared, Exclusive };

struct TFileStat {
    bool RegularFile = false;
    // No write permission bit at all (the read-only attribute of a table file).
    bool ReadOnlyAttribute = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Size = 0;
};

// One positioned read of a batch: `Count` bytes at `Offset` into `Buffer`;
// `Transferred` is what moved.
struct TReadRequest {
    std::uint64_t Offset = 0;
    void* Buffer = nullptr;
    std::size_t Count = 0;
    std::size_t Transferred = 0;
};

class TOSFileSystem {
  public:
    virtual ~TOSFileSystem() = default;

    // Opens an existing regular file (anything else is refused: EISDIR for a
    // folder, EINVAL otherwise); `opened` is what the file system says of the
    // file the descriptor refers to, whatever its name meant a moment ago.
    [[nodiscard]] virtual int Open(const std::string& path, TOSAccess access, TOSShare share,
                                   TOSFile& file, TFileStat& opened) = 0;
    // Creates a file, or truncates an existing one, for exclusive read-write.
    // An existing file is truncated only once the exclusive share is held.
    [[nodiscard]] virtual int Create(const std::string& path, TOSFile& file) = 0;
    virtual void Close(TOSFile file) = 0;

    // Transfers up to `count` bytes at `offset`; `transferred` is what moved
    // (fewer only at the end of the file for reads).
    [[nodiscard]] virtual int ReadAt(TOSFile file, void* buffer, std::size_t count,
                                     std::uint64_t offset, std::size_t& transferred) = 0;
    [[nodiscard]] virtual int WriteAt(TOSFile file, const void* buffer, std::size_t count,
                                      std::uint64_t offset, std::size_t& transferred) = 0;
    [[nodiscard]] virtual int Truncate(TOSFile file, std::uint64_t size) = 0;
    [[nodiscard]] virtual int Sync(TOSFile file) = 0;
    [[nodiscard]] virtual int Size(TOSFile file, std::uint64_t& size) = 0;

    // Byte-range locks that never wait; a region held elsewhere gives EAGAIN.
    // `exclusive` asks for a write lock (needs a descriptor open for writing),
    // otherwise a read lock. A length of 0 is refused with EINVAL.
    [[nodiscard]] virtual int LockRange(TOSFile file, std::uint64_t start, std::uint64_t length,
                                        bool exclusive) = 0;
    [[nodiscard]] virtual int UnlockRange(TOSFile file, std::uint64_t start,
                                          std::uint64_t length) = 0;

    [[nodiscard]] virtual int Stat(const std::string& path, TFileStat& stat) = 0;
    // Moves a file; an existing destination is never replaced (EEXIST).
    [[nodiscard]] virtual int Rename(const std::string& from, const std::string& to) = 0;
    [[nodiscard]] virtual int Remove(const std::string& path) = 0;

    // The path itself when something exists under it; otherwise the entry of
    // the same folder whose name equals the last component ignoring ASCII
    // letter case (the first in byte order when several do); otherwise the
    // path unchanged.
    virtual std::string ResolveName(const std::string& path) = 0;
};

// The seam in use now.
TOSFileSystem& CurrentFileSystem();

// The real disk; never destroyed.
TOSFileSystem& DiskFileSystem();

// Makes `fileSystem` the current seam for the guard's lifetime. Guards nest
// and must end in reverse order; `fileSystem` must outlive every file opened
// while the guard was alive.
class TFileSystemOverride {
  public:
    explicit TFileSystemOverride(TOSFileSystem& fileSystem);
    ~TFileSystemOverride();
    TFileSystemOverride(const TFileSystemOverride&) = delete;
    TFileSystemOverride& operator=(const TFileSystemOverride&) = delete;

  private:
    TOSFileSystem* FPrevious;
};

}  // namespace pirin
