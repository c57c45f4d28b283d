#include "storage/unit_cache_unit.h"

#include <algorithm>

namespace pirin {

TCacheUnit::TCacheUnit(std::size_t unitSize, bool holdsBytes)
    : FSize(unitSize), FHoldsBytes(holdsBytes), FBytes(holdsBytes ? unitSize : 0, 0) {}

TCacheUnit::~TCacheUnit() = default;

void TCacheUnit::Reset() { std::fill(FBytes.begin(), FBytes.end(), std::uint8_t{0}); }

void TCacheUnit::LoadBytes(std::span<const std::uint8_t> bytes) {
    const std::size_t count = std::min(bytes.size(), FBytes.size());
    std::copy_n(bytes.begin(), count, FBytes.begin());
}

void TCacheUnit::SaveBytes(std::span<std::uint8_t> out) const {
    const std::size_t count = std::min(out.size(), FBytes.size());
    std::copy_n(FBytes.begin(), count, out.begin());
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
    FSize = unitSize;
    if (FHoldsBytes) FBytes.assign(unitSize, 0);
}

}  // namespace pirin
