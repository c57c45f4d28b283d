#include "storage/locked_regions.h"

#include <algorithm>
#include <limits>

namespace pirin {

namespace {

// The inclusive end of a region, or false for an empty one or one past the
// largest offset.
bool RegionEnd(std::uint64_t start, std::uint64_t length, std::uint64_t& end) {
    if (length == 0 || length - 1 > std::numeric_limits<std::uint64_t>::max() - start) return false;
    end = start + length - 1;
    return true;
}

// Unused slots at the front are dropped once they are this many and at
// least half of the array, so that draining from the front stays linear.
constexpr std::size_t kCompactAt = 32;

}  // namespace

std::size_t TLockedRegions::FirstAtOrBelow(std::uint64_t offset) const {
    const auto it = std::partition_point(
        FRegions.begin() + static_cast<std::ptrdiff_t>(FFirst), FRegions.end(),
        [offset](const TLockedRegion& region) { return region.Start > offset; });
    return static_cast<std::size_t>(it - FRegions.begin());
}

bool TLockedRegions::IsFreeAmongOthers(std::uint64_t start, std::uint64_t length) const {
    std::uint64_t end = 0;
    if (!RegionEnd(start, length, end)) return false;
    if (Size() == 0 || end < FRegions.back().Start || start > FRegions[FFirst].End) return true;
    // Only the highest region starting at or below `end` can reach `start`.
    const std::size_t at = FirstAtOrBelow(end);
    return at == FRegions.size() || FRegions[at].End < start;
}

void TLockedRegions::AddAmongOthers(std::uint64_t start, std::uint64_t length) {
    const TLockedRegion region{start, start + length - 1};
    if (Size() == 0) Clear();
    if (Size() == 0 || start < FRegions.back().Start) {
        FRegions.push_back(region);
    } else if (FFirst > 0 && start > FRegions[FFirst].Start) {
        FRegions[--FFirst] = region;
    } else {
        FRegions.insert(FRegions.begin() + static_cast<std::ptrdiff_t>(FirstAtOrBelow(start)),
                        region);
    }
}

std::size_t TLockedRegions::Find(std::uint64_t start) const {
    if (Size() == 0) return kNone;
    std::size_t at = FRegions.size() - 1;
    if (FRegions[at].Start == start) return at;
    at = FRegions[FFirst].Start == start ? FFirst : FirstAtOrBelow(start);
    return at < FRegions.size() && FRegions[at].Start == start ? at : kNone;
}

bool TLockedRegions::Has(std::uint64_t start, std::uint64_t length) const {
    std::uint64_t end = 0;
    if (!RegionEnd(start, length, end)) return false;
    const std::size_t at = Find(start);
    return at != kNone && FRegions[at].End == end;
}

bool TLockedRegions::Remove(std::uint64_t start, std::uint64_t length) {
    if (!Has(start, length)) return false;
    RemoveStartingAt(start);
    return true;
}

void TLockedRegions::RemoveAmongOthers(std::uint64_t start) {
    const std::size_t at = Find(start);
    if (at != kNone) RemoveSlots(at, 1);
}

std::size_t TLockedRegions::FindRun(std::uint64_t start, std::uint64_t length,
                                    std::size_t& count) const {
    std::uint64_t end = 0;
    if (!RegionEnd(start, length, end)) return kNone;
    const std::size_t at = Find(start);
    if (at == kNone) return kNone;
    // Higher regions sit in lower slots: climb while each one begins right
    // after the one below it.
    std::size_t top = at;
    while (FRegions[top].End < end) {
        if (top == FFirst || FRegions[top - 1].Start != FRegions[top].End + 1) return kNone;
        --top;
    }
    if (FRegions[top].End != end) return kNone;
    count = at - top + 1;
    return at;
}

bool TLockedRegions::HasRun(std::uint64_t start, std::uint64_t length) const {
    std::size_t count = 0;
    return FindRun(start, length, count) != kNone;
}

bool TLockedRegions::RemoveRun(std::uint64_t start, std::uint64_t length) {
    std::size_t count = 0;
    const std::size_t at = FindRun(start, length, count);
    if (at == kNone) return false;
    RemoveSlots(at, count);
    return true;
}

void TLockedRegions::RemoveSlots(std::size_t at, std::size_t count) {
    const std::size_t top = at + 1 - count;
    const auto first = FRegions.begin() + static_cast<std::ptrdiff_t>(top);
    const auto last = first + static_cast<std::ptrdiff_t>(count);
    if (top - FFirst < FRegions.size() - at) {
        // Nearer the front: the regions before them move up.
        std::move_backward(FRegions.begin() + static_cast<std::ptrdiff_t>(FFirst), first, last);
        FFirst += count;
    } else {
        FRegions.erase(first, last);
    }
    if (Size() == 0) {
        Clear();
    } else if (FFirst >= kCompactAt && FFirst * 2 >= FRegions.size()) {
        FRegions.erase(FRegions.begin(), FRegions.begin() + static_cast<std::ptrdiff_t>(FFirst));
        FFirst = 0;
    }
}

}  // namespace pirin
