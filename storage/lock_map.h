// The lock map: the reserved byte offsets, far beyond any data (data offsets
// stop at 4,000,000,000), where table files take their byte-range locks, and
// the helpers that take them with the retry rules of the multi-user protocol.
// doc/lock-protocol.md describes the protocol as a whole.
//
// All helpers go through TFileHandler::LockRegion/UnlockRegion, so they never
// raise; they report failure as false. They may be called from any thread
// that may use the handler. The retrying helpers sleep between attempts.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace pirin {

class TFileHandler;

// Data file: lock of record n (n >= 1), one byte.
inline constexpr std::uint64_t kRecordLockBase = 4294967294;
constexpr std::uint64_t RecordLockOffset(std::uint32_t recordNumber) {
    return kRecordLockBase - recordNumber;
}
// Data file: the writer's byte (the table write lock).
inline constexpr std::uint64_t kWriterByteOffset = 4294967295;

// Index and BLOB files: the write lock covers every read-lock byte.
inline constexpr std::uint64_t kFileWriteLockOffset = 4294901759;
inline constexpr std::uint64_t kFileWriteLockLength = 65536;
// Index and BLOB files: read lock with key k (1..65535), one byte.
constexpr std::uint64_t ReadLockOffset(std::uint16_t key) { return 4294967295 - key; }

// Every file: the byte whose lock stands for the share mode of an open
// (disk_file_system.h). Just above the lock map, so it never meets a region
// the protocol locks.
inline constexpr std::uint64_t kShareModeByteOffset = 4294967296;

// How often and how patiently a retrying helper tries.
struct TLockRetryPolicy {
    int Attempts = 32767;
    std::chrono::milliseconds Delay{3};
    // Draws read-lock keys; empty means a per-thread pseudo-random sequence
    // seeded from std::random_device. Any value
    // is reduced to 16 bits, and 0 becomes 1.
    std::function<std::uint32_t()> DrawKey;
};

// The policy the engine uses unless told otherwise.
const TLockRetryPolicy& DefaultLockRetryPolicy();

// Record n's byte in a data file: one attempt. Record 0 is refused.
[[nodiscard]] bool LockRecord(TFileHandler& dataFile, std::uint32_t recordNumber);
[[nodiscard]] bool UnlockRecord(TFileHandler& dataFile, std::uint32_t recordNumber);
// The bytes of records first .. first + count - 1, each locked alone, in one
// unlock; fails, unlocking nothing, unless every one of them is locked here.
[[nodiscard]] bool UnlockRecordRun(TFileHandler& dataFile, std::uint32_t first,
                                   std::uint32_t count);

// The writer's byte of a data file, retried per the policy.
[[nodiscard]] bool LockTableWrite(TFileHandler& dataFile,
                                  const TLockRetryPolicy& policy = DefaultLockRetryPolicy());
[[nodiscard]] bool UnlockTableWrite(TFileHandler& dataFile);

// The write lock of an index or BLOB file, retried per the policy.
[[nodiscard]] bool LockFileWrite(TFileHandler& file,
                                 const TLockRetryPolicy& policy = DefaultLockRetryPolicy());
[[nodiscard]] bool UnlockFileWrite(TFileHandler& file);

// A read lock of an index or BLOB file: draws a fresh key before each attempt
// and, on success, stores in `key` the key that holds the lock, to be given
// back to UnlockFileRead.
[[nodiscard]] bool LockFileRead(TFileHandler& file, std::uint16_t& key,
                                const TLockRetryPolicy& policy = DefaultLockRetryPolicy());
[[nodiscard]] bool UnlockFileRead(TFileHandler& file, std::uint16_t key);

// Any region, retried per the policy.
[[nodiscard]] bool LockRegionWithRetry(TFileHandler& file, std::uint64_t start,
                                       std::uint64_t length, const TLockRetryPolicy& policy);

// Holds one region locked through a handler and unlocks it when it goes,
// unless released. Adopts a lock already taken.
class TRegionLockGuard {
  public:
    TRegionLockGuard(TFileHandler& file, std::uint64_t start, std::uint64_t length)
        : FFile(&file), FStart(start), FLength(length) {}
    ~TRegionLockGuard();
    TRegionLockGuard(const TRegionLockGuard&) = delete;
    TRegionLockGuard& operator=(const TRegionLockGuard&) = delete;

    // Keeps the region locked; the caller unlocks it later.
    void Release() { FFile = nullptr; }

  private:
    TFileHandler* FFile;
    std::uint64_t FStart;
    std::uint64_t FLength;
};

}  // namespace pirin
