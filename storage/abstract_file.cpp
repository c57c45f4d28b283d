#include "storage/abstract_file.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "errors/engine_error_codes.h"

namespace pirin {

TFileHandleEntry* TAbstractFile::FindHandle(std::int32_t id) {
    for (auto& handle : FHandles)
        if (handle.Id == id) return &handle;
    return nullptr;
}

std::int64_t TAbstractFile::GetSize() {
    TFileSectionGuard hold(FCriticalSection);
    return static_cast<std::int64_t>(FSize);
}

std::int32_t TAbstractFile::OpenHandle() {
    TFileSectionGuard hold(FCriticalSection);
    return IssueHandle();
}

std::int32_t TAbstractFile::IssueHandle() {
    if (FLastHandleId == std::numeric_limits<std::int32_t>::max() ||
        FOpenCount == std::numeric_limits<std::uint16_t>::max()) {
        errno = EMFILE;
        return -PIRIN_OSEMFILE;
    }
    FHandles.push_back({++FLastHandleId, 0});
    ++FOpenCount;
    return FLastHandleId;
}

int TAbstractFile::ReleaseHandle(std::int32_t id) {
    TFileSectionGuard hold(FCriticalSection);
    auto it = std::find_if(FHandles.begin(), FHandles.end(),
                           [id](const TFileHandleEntry& h) { return h.Id == id; });
    if (it == FHandles.end()) {
        errno = EBADF;
        return -PIRIN_OSEBADF;
    }
    FHandles.erase(it);
    --FOpenCount;
    // Locks belong to open handles; a file nobody has open holds none.
    if (FOpenCount == 0) FLocks.Clear();
    return 0;
}

int TAbstractFile::Rename(const std::string& newName) {
    TFileSectionGuard hold(FCriticalSection);
    FName = newName;
    return 0;
}

template <class TMove>
inline std::int64_t TAbstractFile::Transfer(std::int32_t id, const std::uint64_t* offset, TMove move) {
    TFileSectionGuard hold(FCriticalSection);
    TFileHandleEntry* handle = FindHandle(id);
    if (handle == nullptr) {
        errno = EBADF;
        return -1;
    }
    const std::uint64_t at = offset != nullptr ? *offset : handle->Position;
    if (at > kMaxFilePosition) {
        errno = EINVAL;
        return -1;
    }
    return move(*handle, at);
}

std::int64_t TAbstractFile::Read(std::int32_t id, void* buffer, std::size_t count) {
    return Transfer(id, nullptr, [&](TFileHandleEntry& handle, std::uint64_t at) {
        return ReadHandle(handle, at, buffer, count);
    });
}

std::int64_t TAbstractFile::ReadAt(std::int32_t id, std::uint64_t offset, void* buffer,
                                   std::size_t count) {
    return Transfer(id, &offset, [&](TFileHandleEntry& handle, std::uint64_t at) {
        return ReadHandle(handle, at, buffer, count);
    });
}

int TAbstractFile::ReadBatch(std::int32_t id, std::span<TReadRequest> requests) {
    TFileSectionGuard hold(FCriticalSection);
    TFileHandleEntry* handle = FindHandle(id);
    if (handle == nullptr) {
        errno = EBADF;
        return -1;
    }
    for (TReadRequest& request : requests) {
        request.Transferred = 0;
        if (request.Offset > kMaxFilePosition) {
            errno = EINVAL;
            return -1;
        }
    }
    for (TReadRequest& request : requests) {
        const std::int64_t got = ReadHandle(*handle, request.Offset, request.Buffer, request.Count);
        if (got < 0) return -1;
        request.Transferred = static_cast<std::size_t>(got);
    }
    return 0;
}

std::int64_t TAbstractFile::Write(std::int32_t id, const void* buffer, std::size_t count) {
    return Transfer(id, nullptr, [&](TFileHandleEntry& handle, std::uint64_t at) {
        return WriteHandle(handle, at, buffer, count);
    });
}

std::int64_t TAbstractFile::WriteAt(std::int32_t id, std::uint64_t offset, const void* buffer,
                                    std::size_t count) {
    return Transfer(id, &offset, [&](TFileHandleEntry& handle, std::uint64_t at) {
        return WriteHandle(handle, at, buffer, count);
    });
}

int TAbstractFile::Delete() { return 0; }

bool TAbstractFile::Flush() { return true; }

std::int64_t TAbstractFile::Seek(std::int32_t id, int origin, std::int64_t offset) {
    TFileSectionGuard hold(FCriticalSection);
    TFileHandleEntry* handle = FindHandle(id);
    if (handle == nullptr) {
        errno = EBADF;
        return -1;
    }
    std::int64_t base = 0;
    switch (origin) {
        case kSeekFromStart:
            break;
        case kSeekFromCurrent:
            base = static_cast<std::int64_t>(handle->Position);
            break;
        case kSeekFromEnd:
            base = GetSize();
            if (base < 0) return -1;
            break;
        default:
            errno = EINVAL;
            return -1;
    }
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) {
        errno = EINVAL;
        return -1;
    }
    handle->Position = static_cast<std::uint64_t>(target);
    return target;
}

bool TAbstractFile::LockRegion(std::uint64_t start, std::uint64_t length) {
    TFileSectionGuard hold(FCriticalSection);
    if (!RegionIsFree(start, length)) return false;
    AddRegion(start, length);
    return true;
}

bool TAbstractFile::UnlockRegion(std::uint64_t start, std::uint64_t length) {
    TFileSectionGuard hold(FCriticalSection);
    return FLocks.Remove(start, length);
}

bool TAbstractFile::UnlockRegionRun(std::uint64_t start, std::uint64_t length) {
    TFileSectionGuard hold(FCriticalSection);
    return FLocks.RemoveRun(start, length);
}

}  // namespace pirin
