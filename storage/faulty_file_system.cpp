#include "storage/faulty_file_system.h"

#include <algorithm>

namespace pirin {

void TFaultyFileSystem::FailNthWrite(int n, int error) {
    std::lock_guard hold(FMutex);
    FWritesUntilFailure = n;
    FWriteError = error;
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

int TFaultyFileSystem::WriteCount() const {
    std::lock_guard hold(FMutex);
    return FWrites;
}

int TFaultyFileSystem::Open(const std::string& path, TOSAccess access, TOSShare share,
                            TOSFile& file) {
    {
        std::lock_guard hold(FMutex);
        ++FOpens;
        if (FOpenError != 0 && (!FOpenReadWriteOnly || access == TOSAccess::ReadWrite)) {
            file = kNoOSFile;
            return FOpenError;
        }
    }
    return FBase.Open(path, access, share, file);
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
    {
        std::lock_guard hold(FMutex);
        if (FReadsShortened) count = std::min(count, FReadLimit);
    }
    return FBase.ReadAt(file, buffer, count, offset, transferred);
}

int TFaultyFileSystem::WriteAt(TOSFile file, const void* buffer, std::size_t count,
                               std::uint64_t offset, std::size_t& transferred) {
    {
        std::lock_guard hold(FMutex);
        ++FWrites;
        if (FWritesUntilFailure > 0 && --FWritesUntilFailure == 0) {
            transferred = 0;
            return FWriteError;
        }
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

int TFaultyFileSystem::Sync(TOSFile file) {
    {
        std::lock_guard hold(FMutex);
        if (FSyncError != 0) return FSyncError;
    }
    return FBase.Sync(file);
}

}  // namespace pirin
