#include "storage/lock_map.h"

#include <random>
#include <thread>

#include "storage/file_handler.h"

namespace pirin {

namespace {

std::uint16_t DrawReadKey(const TLockRetryPolicy& policy) {
    std::uint32_t value;
    if (policy.DrawKey) {
        value = policy.DrawKey();
    } else {
        thread_local std::mt19937 engine{std::random_device{}()};
        value = static_cast<std::uint32_t>(engine());
    }
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
