#include "storage/memory_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

namespace pirin {

int TMemoryFile::CreateNew() {
    TFileSectionGuard hold(FCriticalSection);
    std::vector<std::uint8_t>().swap(FData);
    FSize = 0;
    return 0;
}

bool TMemoryFile::Reserve(std::uint64_t size) {
    if (size <= FData.size()) return true;
    const std::uint64_t steps = size / kGrowthStep + (size % kGrowthStep != 0);
    if (steps > std::numeric_limits<std::size_t>::max() / kGrowthStep) {
        errno = ENOMEM;
        return false;
    }
    try {
        FData.resize(static_cast<std::size_t>(steps * kGrowthStep), 0);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    } catch (const std::length_error&) {
        errno = ENOMEM;
        return false;
    }
    return true;
}

std::int64_t TMemoryFile::ReadHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                     void* buffer, std::size_t count) {
    handle.Position = offset;
    if (offset >= FSize) return 0;
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(count, FSize - offset));
    if (got == 0) return 0;  // the buffer may be null for an empty read
    std::memcpy(buffer, FData.data() + offset, got);
    handle.Position = offset + got;
    return static_cast<std::int64_t>(got);
}

std::int64_t TMemoryFile::WriteHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                      const void* buffer, std::size_t count) {
    handle.Position = offset;
    if (count == 0) {
        // Truncate (or extend) at the position. Bytes cut off are zeroed now,
        // so that growing over them later shows zeros, not the old contents.
        if (!Reserve(offset)) return -1;
        if (offset < FSize) std::memset(FData.data() + offset, 0, FSize - offset);
        FSize = offset;
        return 0;
    }
    if (count > kMaxFilePosition - offset) {
        errno = EFBIG;
        return -1;
    }
    const std::uint64_t end = offset + count;
    if (!Reserve(end)) return -1;
    std::memcpy(FData.data() + offset, buffer, count);
    handle.Position = end;
    FSize = std::max(FSize, end);
    return static_cast<std::int64_t>(count);
}

}  // namespace pirin
