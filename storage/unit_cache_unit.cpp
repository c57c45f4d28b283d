#include "storage/unit_cache_unit.h"

#include <algorithm>
#include <memory>

namespace pirin {

TCacheUnit::TCacheUnit(std::size_t unitSize, bool holdsBytes)
    : FSize(static_cast<std::uint32_t>(unitSize)), FHoldsBytes(holdsBytes) {
    if (holdsBytes) ResizeBytes(unitSize);
}

TCacheUnit::TCacheUnit(std::size_t unitSize, TInlineBytes storage)
    : FSize(static_cast<std::uint32_t>(unitSize)), FHoldsBytes(true) {
    if (unitSize <= storage.Capacity) {
        FBytes = storage.Data;
        FCapacity = static_cast<std::uint32_t>(storage.Capacity);
        std::fill_n(FBytes, unitSize, std::uint8_t{0});
    } else {
        ResizeBytes(unitSize);
    }
}

TCacheUnit::~TCacheUnit() {
    if (FOwnsBytes) delete[] FBytes;
}

void TCacheUnit::Reset() { std::fill_n(FBytes, Bytes().size(), std::uint8_t{0}); }

void TCacheUnit::LoadBytes(std::span<const std::uint8_t> bytes) {
    const std::size_t count = std::min(bytes.size(), Bytes().size());
    std::copy_n(bytes.begin(), count, FBytes);
}

void TCacheUnit::SaveBytes(std::span<std::uint8_t> out) const {
    const std::size_t count = std::min(out.size(), Bytes().size());
    std::copy_n(FBytes, count, out.begin());
    // The write buffers are not cleared: a short unit writes zeros after it.
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(count), out.end(), std::uint8_t{0});
}

void TCacheUnit::ClearCacheState() noexcept {
    FUnitNumber = 0;
    FDirty = false;
    FPinCount = 0;
    FDetached = false;
    FChainNext = nullptr;
    FChainPrev = nullptr;
}

void TCacheUnit::ResizeBytes(std::size_t unitSize) {
    if (FHoldsBytes && unitSize > FCapacity) {
        auto grown = std::make_unique<std::uint8_t[]>(unitSize);
        if (FOwnsBytes) delete[] FBytes;
        FBytes = grown.release();
        FOwnsBytes = true;
        FCapacity = static_cast<std::uint32_t>(unitSize);
    }
    FSize = static_cast<std::uint32_t>(unitSize);
    std::fill_n(FBytes, Bytes().size(), std::uint8_t{0});
}

}  // namespace pirin
