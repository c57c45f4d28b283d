#include "storage/physical_file.h"

#include <cerrno>
#include <limits>

#include "storage/os_error_map.h"

namespace pirin {

namespace {

// Leaves `error` in errno for the engine error raised above us and returns
// the negative engine code.
int Failure(int error) {
    errno = error;
    return -static_cast<int>(EngineCodeOfErrno(error));
}

}  // namespace

TPhysicalFile::~TPhysicalFile() { CloseDescriptor(); }

void TPhysicalFile::CloseDescriptor() {
    if (FHandle == kNoOSFile) return;
    FFileSystem.Close(FHandle);
    FHandle = kNoOSFile;
    FWritable = false;
}

void TPhysicalFile::RememberIdentity() {
    TFileStat stat;
    if (FFileSystem.Stat(FName, stat) == 0) {
        FDevice = stat.Device;
        FInode = stat.Inode;
    }
}

std::int64_t TPhysicalFile::GetSize() {
    TFileSectionGuard hold(FCriticalSection);
    std::uint64_t size = 0;
    int error = FHandle == kNoOSFile ? EBADF : FFileSystem.Size(FHandle, size);
    if (error != 0 || size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        errno = error != 0 ? error : EFBIG;
        return -1;
    }
    return static_cast<std::int64_t>(size);
}

int TPhysicalFile::CreateNew() {
    TFileSectionGuard hold(FCriticalSection);
    CloseDescriptor();
    FOpenedReadOnly = FReadOnlyAttribute = false;
    TOSFile file = kNoOSFile;
    if (int error = FFileSystem.Create(FName, file)) return Failure(error);
    FHandle = file;
    FWritable = true;
    RememberIdentity();
    return 0;
}

int TPhysicalFile::OpenDescriptor(const TFileStat* known) {
    FOpenedReadOnly = FReadOnlyAttribute = false;
    TFileStat stat;
    if (known != nullptr)
        stat = *known;
    else if (int error = FFileSystem.Stat(FName, stat))
        return Failure(error);
    if (!stat.RegularFile) return Failure(EISDIR);
    if (stat.ReadOnlyAttribute) FOpenedReadOnly = FReadOnlyAttribute = true;
    const TOSShare share = FExclusive ? TOSShare::Exclusive : TOSShare::Shared;
    TOSFile file = kNoOSFile;
    int error = FFileSystem.Open(FName, FOpenedReadOnly ? TOSAccess::Read : TOSAccess::ReadWrite,
                                 share, file);
    if ((error == EACCES || error == EROFS) && !FOpenedReadOnly) {
        error = FFileSystem.Open(FName, TOSAccess::Read, share, file);
        if (error == 0) FOpenedReadOnly = true;
    }
    if (error != 0) return Failure(error);
    FHandle = file;
    FWritable = !FOpenedReadOnly;
    FDevice = stat.Device;
    FInode = stat.Inode;
    return 0;
}

std::int32_t TPhysicalFile::OpenHandle() { return OpenHandleWith(nullptr); }

std::int32_t TPhysicalFile::OpenHandle(const TFileStat& known) { return OpenHandleWith(&known); }

std::int32_t TPhysicalFile::OpenHandleWith(const TFileStat* known) {
    TFileSectionGuard hold(FCriticalSection);
    if (FHandle == kNoOSFile) {
        if (int result = OpenDescriptor(known); result < 0) return result;
    }
    std::int32_t id = IssueHandle();
    if (id < 0 && FOpenCount == 0) CloseDescriptor();
    return id;
}

int TPhysicalFile::ReleaseHandle(std::int32_t id) {
    TFileSectionGuard hold(FCriticalSection);
    if (int result = TAbstractFile::ReleaseHandle(id); result < 0) return result;
    if (FOpenCount == 0) {
        // Delete-on-close: the name goes before the descriptor (and its locks).
        if (FTemporary) (void)FFileSystem.Remove(FName);
        CloseDescriptor();
    }
    return 0;
}

int TPhysicalFile::Rename(const std::string& newName) {
    TFileSectionGuard hold(FCriticalSection);
    if (int error = FFileSystem.Rename(FName, newName)) return Failure(error);
    FName = newName;
    return 0;
}

int TPhysicalFile::Delete() {
    TFileSectionGuard hold(FCriticalSection);
    if (int error = FFileSystem.Remove(FName)) return Failure(error);
    return 0;
}

std::int64_t TPhysicalFile::ReadHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                       void* buffer, std::size_t count) {
    handle.Position = offset;
    if (FHandle == kNoOSFile) {
        errno = EBADF;
        return -1;
    }
    std::size_t got = 0;
    if (int error = FFileSystem.ReadAt(FHandle, buffer, count, offset, got)) {
        errno = error;
        return -1;
    }
    handle.Position = offset + got;
    return static_cast<std::int64_t>(got);
}

std::int64_t TPhysicalFile::WriteHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                        const void* buffer, std::size_t count) {
    handle.Position = offset;
    if (FHandle == kNoOSFile) {
        errno = EBADF;
        return -1;
    }
    if (count == 0) {
        if (int error = FFileSystem.Truncate(FHandle, offset)) {
            errno = error;
            return -1;
        }
        return 0;
    }
    std::size_t put = 0;
    int error = FFileSystem.WriteAt(FHandle, buffer, count, offset, put);
    handle.Position = offset + put;
    if (error != 0) {
        errno = error;
        return -1;
    }
    return static_cast<std::int64_t>(put);
}

bool TPhysicalFile::Flush() {
    TFileSectionGuard hold(FCriticalSection);
    int error = FHandle == kNoOSFile ? EBADF : FFileSystem.Sync(FHandle);
    if (error != 0) errno = error;
    return error == 0;
}

std::int64_t TPhysicalFile::Seek(std::int32_t id, int origin, std::int64_t offset) {
    // Positions are per handle; only the end needs the descriptor (GetSize).
    return TAbstractFile::Seek(id, origin, offset);
}

bool TPhysicalFile::LockRegion(std::uint64_t start, std::uint64_t length) {
    TFileSectionGuard hold(FCriticalSection);
    if (FHandle == kNoOSFile || !RegionIsFree(start, length)) return false;
    if (FFileSystem.LockRange(FHandle, start, length, FWritable) != 0) return false;
    AddRegion(start, length);
    return true;
}

bool TPhysicalFile::UnlockRegion(std::uint64_t start, std::uint64_t length) {
    TFileSectionGuard hold(FCriticalSection);
    if (!HasRegion(start, length) || FHandle == kNoOSFile) return false;
    if (FFileSystem.UnlockRange(FHandle, start, length) != 0) return false;
    RemoveRegion(start);
    return true;
}

}  // namespace pirin
