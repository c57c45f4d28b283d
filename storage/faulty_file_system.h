// TFaultyFileSystem: a seam that forwards to another one and injects the
// failures a test asks for (a failed n-th read, write, range lock or sync,
// short reads, failed syncs or truncations, failed opens with a chosen
// errno), and counts the calls so that a test can fail each one in turn. Install it with
// TFileSystemOverride; files opened meanwhile keep using it until they close,
// so it must outlive them.
//
// Faults are armed and counters read under an internal mutex; the wrapper may
// be used from several threads.
#pragma once

#include <cerrno>
#include <cstddef>
#include <mutex>

#include "storage/file_system.h"

namespace pirin {

class TFaultyFileSystem final : public TOSFileSystem {
  public:
    explicit TFaultyFileSystem(TOSFileSystem& base = DiskFileSystem()) : FBase(base) {}

    // The calls counted and failed one at a time: reads, writes, range locks
    // (not unlocks) and syncs.
    enum class TCall { Read, Write, Lock, Sync };

    // The n-th call of that kind from now (1 = the next one) transfers
    // nothing and fails with `error`. 0 disarms.
    // With `sticky` that call and every later one of the kind fail, as on a
    // disk that stays broken.
    void FailNth(TCall call, int n, int error, bool sticky = false);
    void FailNthWrite(int n, int error = ENOSPC) { FailNth(TCall::Write, n, error); }
    // Every read from now transfers at most `maxBytes`, as if the file ended.
    void ShortenReads(std::size_t maxBytes);
    // Every sync (truncation) from now fails with `error`; 0 disarms.
    void FailSyncs(int error = EIO);
    void FailTruncations(int error = ENOSPC);
    // Every open from now fails with `error`; with `readWriteOnly` only opens
    // for reading and writing (and creations) fail, so a file seems readable
    // but not writable. 0 disarms.
    void FailOpens(int error, bool readWriteOnly = false);

    int OpenCount() const;
    int WriteCount() const { return CallCount(TCall::Write); }
    // Calls of that kind since the wrapper was made, failed ones included.
    int CallCount(TCall call) const;

    [[nodiscard]] int Open(const std::string& path, TOSAccess access, TOSShare share,
                           TOSFile& file, TFileStat& opened) override;
    [[nodiscard]] int Create(const std::string& path, TOSFile& file) override;
    void Close(TOSFile file) override { FBase.Close(file); }
    [[nodiscard]] int ReadAt(TOSFile file, void* buffer, std::size_t count, std::uint64_t offset,
                             std::size_t& transferred) override;
    [[nodiscard]] int WriteAt(TOSFile file, const void* buffer, std::size_t count,
                              std::uint64_t offset, std::size_t& transferred) override;
    [[nodiscard]] int Truncate(TOSFile file, std::uint64_t size) override;
    [[nodiscard]] int Sync(TOSFile file) override;
    [[nodiscard]] int Size(TOSFile file, std::uint64_t& size) override {
        return FBase.Size(file, size);
    }
    [[nodiscard]] int LockRange(TOSFile file, std::uint64_t start, std::uint64_t length,
                                bool exclusive) override;
    [[nodiscard]] int UnlockRange(TOSFile file, std::uint64_t start,
                                  std::uint64_t length) override {
        return FBase.UnlockRange(file, start, length);
    }
    [[nodiscard]] int Stat(const std::string& path, TFileStat& stat) override {
        return FBase.Stat(path, stat);
    }
    [[nodiscard]] int Rename(const std::string& from, const std::string& to) override {
        return FBase.Rename(from, to);
    }
    [[nodiscard]] int Remove(const std::string& path) override { return FBase.Remove(path); }
    std::string ResolveName(const std::string& path) override { return FBase.ResolveName(path); }

  private:
    TOSFileSystem& FBase;
    mutable std::mutex FMutex;
    // Counts down and fails the call that reaches 0; the armed fault of a
    // kind.
    struct TArmed {
        int Until = 0;
        int Error = 0;
        bool Sticky = false;
        int Count = 0;
    };
    // True when this call is to fail; counts it.
    bool FailsNow(TCall call, int& error);

    TArmed FArmed[4];
    std::size_t FReadLimit = 0;
    bool FReadsShortened = false;
    int FSyncError = 0;
    int FTruncateError = 0;
    int FOpenError = 0;
    bool FOpenReadWriteOnly = false;
    int FOpens = 0;
};

}  // namespace pirin
