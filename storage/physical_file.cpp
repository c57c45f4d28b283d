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
    if (known != nullptr && !known->RegularFile) return Failure(EISDIR);
    const TOSShare share = FExclusive ? TOSShare::Exclusive : TOSShare::Shared;
    const auto open = [&](bool readOnly, TOSFile& file, TFileStat& opened) {
        return FFileSystem.Open(FName, readOnly ? TOSAccess::Read : TOSAccess::ReadWrite, share,
                                file, opened);
    };
    // What the open says of the file decides; a name looked at just now
    // saves the read-write attempt on a file without write permission.
    bool readOnly = known != nullptr && known->ReadOnlyAttribute;
    TOSFile file = kNoOSFile;
    TFileStat opened;
    int error = open(readOnly, file, opened);
    if ((error == EACCES || error == EROFS) && !readOnly) {
        readOnly = true;
        error = open(true, file, opened);
    }
    // An exclusive read-write open is refused where others read; a file
    // without write permission would have been opened for reading, whose
    // exclusive share admits readers.
    TFileStat named;
    if (error == EBUSY && !readOnly && FExclusive && known == nullptr &&
        FFileSystem.Stat(FName, named) == 0 && named.ReadOnlyAttribute) {
        readOnly = true;
        error = open(true, file, opened);
    }
    // A file without write permission opens for reading only, even where a
    // privileged process was let in for writing.
    if (error == 0 && opened.ReadOnlyAttribute && !readOnly) {
        FFileSystem.Close(file);
        file = kNoOSFile;
        readOnly = true;
        error = open(true, file, opened);
    }
    if (error != 0) return Failure(error);
    FHandle = file;
    FOpenedReadOnly = readOnly;
    FReadOnlyAttribute = opened.ReadOnlyAttribute;
    FWritable = !readOnly;
    FDevice = opened.Device;
    FInode = opened.Inode;
    FLengthWhenOpened = opened.Size;
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

bool TPhysicalFile::UnlockRegionRun(std::uint64_t start, std::uint64_t length) {
    TFileSectionGuard hold(FCriticalSection);
    if (!HasRegionRun(start, length) || FHandle == kNoOSFile) return false;
    // The descriptor's locks of adjacent bytes go with one call, whatever
    // the pieces they were taken in.
    if (FFileSystem.UnlockRange(FHandle, start, length) != 0) return false;
    RemoveRegionRun(start, length);
    return true;
}

}  // namespace pirin
