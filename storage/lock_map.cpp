#include "storage/lock_map.h"

#include <random>
#include <thread>

#include "storage/file_handler.h"

namespace pirin {

namespace {

// A per-thread SplitMix64 sequence, seeded from the system's entropy: the
// key only has to differ between the processes that read at once, and every
// read lock draws one.
std::uint32_t NextThreadKey() {
    thread_local std::uint64_t state =
        (std::uint64_t{std::random_device{}()} << 32) ^ std::random_device{}();
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
}

std::uint16_t DrawReadKey(const TLockRetryPolicy& policy) {
    const std::uint32_t value = policy.DrawKey ? policy.DrawKey() : NextThreadKey();
    const auto key = static_cast<std::uint16_t>(value & 0xFFFF);
    return key == 0 ? 1 : key;
}

// Runs `attempt` up to the policy's count, sleeping between failures.
template <typename TAttempt>
bool Retry(const TLockRetryPolicy& policy, TAttempt attempt) {
    for (int i = 0; i < policy.Attempts; ++i) {
        if (i > 0) std::this_thread::sleep_for(policy.Delay);
        if (attempt()) return true;
    }
    return false;
}

}  // namespace

const TLockRetryPolicy& DefaultLockRetryPolicy() {
    static const TLockRetryPolicy policy;
    return policy;
}

bool LockRegionWithRetry(TFileHandler& file, std::uint64_t start, std::uint64_t length,
                         const TLockRetryPolicy& policy) {
    return Retry(policy, [&] { return file.LockRegion(length, start); });
}

bool LockRecord(TFileHandler& dataFile, std::uint32_t recordNumber) {
    return recordNumber != 0 && dataFile.LockRegion(1, RecordLockOffset(recordNumber));
}

bool UnlockRecord(TFileHandler& dataFile, std::uint32_t recordNumber) {
    return recordNumber != 0 && dataFile.UnlockRegion(1, RecordLockOffset(recordNumber));
}

bool UnlockRecordRun(TFileHandler& dataFile, std::uint32_t first, std::uint32_t count) {
    // Record n's byte sits below record n - 1's: the run starts at its
    // highest record's byte.
    const std::uint64_t last = std::uint64_t{first} + count - 1;
    if (first == 0 || count == 0 || last >= kRecordLockBase) return false;
    return dataFile.UnlockRegionRun(count, kRecordLockBase - last);
}

bool LockTableWrite(TFileHandler& dataFile, const TLockRetryPolicy& policy) {
    return LockRegionWithRetry(dataFile, kWriterByteOffset, 1, policy);
}

bool UnlockTableWrite(TFileHandler& dataFile) {
    return dataFile.UnlockRegion(1, kWriterByteOffset);
}

bool LockFileWrite(TFileHandler& file, const TLockRetryPolicy& policy) {
    return LockRegionWithRetry(file, kFileWriteLockOffset, kFileWriteLockLength, policy);
}

bool UnlockFileWrite(TFileHandler& file) {
    return file.UnlockRegion(kFileWriteLockLength, kFileWriteLockOffset);
}

bool LockFileRead(TFileHandler& file, std::uint16_t& key, const TLockRetryPolicy& policy) {
    return Retry(policy, [&] {
        const std::uint16_t candidate = DrawReadKey(policy);
        if (!file.LockRegion(1, ReadLockOffset(candidate))) return false;
        key = candidate;
        return true;
    });
}

bool UnlockFileRead(TFileHandler& file, std::uint16_t key) {
    return key != 0 && file.UnlockRegion(1, ReadLockOffset(key));
}

TRegionLockGuard::~TRegionLockGuard() {
    if (FFile != nullptr) (void)FFile->UnlockRegion(FLength, FStart);
}

}  // namespace pirin
