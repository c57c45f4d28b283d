#include "storage/faulty_file_system.h"

#include <algorithm>

namespace pirin {

void TFaultyFileSystem::FailNth(TCall call, int n, int error, bool sticky) {
    std::lock_guard hold(FMutex);
    TArmed& armed = FArmed[static_cast<int>(call)];
    armed.Until = n;
    armed.Error = error;
    armed.Sticky = sticky && n > 0;
}

int TFaultyFileSystem::CallCount(TCall call) const {
    std::lock_guard hold(FMutex);
    return FArmed[static_cast<int>(call)].Count;
}

bool TFaultyFileSystem::FailsNow(TCall call, int& error) {
    std::lock_guard hold(FMutex);
    TArmed& armed = FArmed[static_cast<int>(call)];
    ++armed.Count;
    if (armed.Until <= 0) return false;
    if (armed.Until > 1) {
        --armed.Until;
        return false;
    }
    if (!armed.Sticky) armed.Until = 0;
    error = armed.Error;
    return true;
}

void TFaultyFileSystem::ShortenReads(std::size_t maxBytes) {
    std::lock_guard hold(FMutex);
    FReadLimit = maxBytes;
    FReadsShortened = true;
}

void TFaultyFileSystem::FailSyncs(int error) {
    std::lock_guard hold(FMutex);
    FSyncError = error;
}

void TFaultyFileSystem::FailTruncations(int error) {
    std::lock_guard hold(FMutex);
    FTruncateError = error;
}

void TFaultyFileSystem::FailOpens(int error, bool readWriteOnly) {
    std::lock_guard hold(FMutex);
    FOpenError = error;
    FOpenReadWriteOnly = readWriteOnly;
}

int TFaultyFileSystem::OpenCount() const {
    std::lock_guard hold(FMutex);
    return FOpens;
}

int TFaultyFileSystem::Open(const std::string& path, TOSAccess access, TOSShare share,
                            TOSFile& file, TFileStat& opened) {
    {
        std::lock_guard hold(FMutex);
        ++FOpens;
        if (FOpenError != 0 && (!FOpenReadWriteOnly || access == TOSAccess::ReadWrite)) {
            file = kNoOSFile;
            return FOpenError;
        }
    }
    return FBase.Open(path, access, share, file, opened);
}

int TFaultyFileSystem::Create(const std::string& path, TOSFile& file) {
    {
        std::lock_guard hold(FMutex);
        ++FOpens;
        if (FOpenError != 0) {
            file = kNoOSFile;
            return FOpenError;
        }
    }
    return FBase.Create(path, file);
}

int TFaultyFileSystem::ReadAt(TOSFile file, void* buffer, std::size_t count, std::uint64_t offset,
                              std::size_t& transferred) {
    int error = 0;
    if (FailsNow(TCall::Read, error)) {
        transferred = 0;
        return error;
    }
    {
        std::lock_guard hold(FMutex);
        if (FReadsShortened) count = std::min(count, FReadLimit);
    }
    return FBase.ReadAt(file, buffer, count, offset, transferred);
}

int TFaultyFileSystem::WriteAt(TOSFile file, const void* buffer, std::size_t count,
                               std::uint64_t offset, std::size_t& transferred) {
    int error = 0;
    if (FailsNow(TCall::Write, error)) {
        transferred = 0;
        return error;
    }
    return FBase.WriteAt(file, buffer, count, offset, transferred);
}

int TFaultyFileSystem::Truncate(TOSFile file, std::uint64_t size) {
    {
        std::lock_guard hold(FMutex);
        if (FTruncateError != 0) return FTruncateError;
    }
    return FBase.Truncate(file, size);
}

int TFaultyFileSystem::LockRange(TOSFile file, std::uint64_t start, std::uint64_t length,
                                 bool exclusive) {
    int error = 0;
    if (FailsNow(TCall::Lock, error)) return error;
    return FBase.LockRange(file, start, length, exclusive);
}

int TFaultyFileSystem::Sync(TOSFile file) {
    int error = 0;
    if (FailsNow(TCall::Sync, error)) return error;
    {
        std::lock_guard hold(FMutex);
        if (FSyncError != 0) return FSyncError;
    }
    return FBase.Sync(file);
}

}  // namespace pirin
