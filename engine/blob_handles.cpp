#include "engine/blob_handles.h"

#include <algorithm>
#include <limits>

namespace pirin {

TBlobBuffer* TBlobHandles::Find(std::int32_t handle) const noexcept {
    if (handle >= 0) return nullptr;
    for (const auto& entry : FEntries)
        if (entry.Handle == handle) return entry.Buffer.get();
    return nullptr;
}

std::int32_t TBlobHandles::Add(std::unique_ptr<TBlobBuffer> buffer, TBlobOpenMode mode) {
    std::int32_t handle = FNextHandle;
    while (Find(handle) != nullptr)
        handle = handle == std::numeric_limits<std::int32_t>::min() ? -1 : handle - 1;
    FNextHandle = handle == std::numeric_limits<std::int32_t>::min() ? -1 : handle - 1;
    FEntries.push_back({handle, mode, std::move(buffer)});
    return handle;
}

std::unique_ptr<TBlobBuffer> TBlobHandles::Remove(std::int32_t handle) noexcept {
    const auto it = std::find_if(FEntries.begin(), FEntries.end(),
                                 [&](const TEntry& entry) { return entry.Handle == handle; });
    if (it == FEntries.end()) return nullptr;
    std::unique_ptr<TBlobBuffer> buffer = std::move(it->Buffer);
    FEntries.erase(it);
    return buffer;
}

}  // namespace pirin
