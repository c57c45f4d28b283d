// Moving entries between two neighbouring pages of one level: the halves of
// a split, and the merging and sharing of an underfull page.
#include "storage/index_page.h"

#include <cstring>

namespace pirin {

void TPage::MoveEntries(std::size_t first, std::size_t count, TPage& to, std::size_t at) {
    if (count == 0) return;
    Unraw();
    to.Unraw();
    EnsurePacking();
    to.EnsurePacking();
    const auto k = static_cast<std::ptrdiff_t>(KeyLength());
    const auto from = static_cast<std::ptrdiff_t>(first);
    const auto n = static_cast<std::ptrdiff_t>(count);
    // Both pages have one format: fixed-size entries on both or on neither.
    const bool fixed = !CompressedLeaf();
    if (fixed)
        FPackedSize -= count * FixedEntrySize();
    else
        for (std::size_t i = first; i < first + count; ++i) FPackedSize -= EntrySize(i);

    to.ReserveEntries(count);
    const std::size_t keyBytes = count * KeyLength();
    std::memcpy(OpenGap(to.FKeys, at * KeyLength(), keyBytes), FKeys.data() + first * KeyLength(),
                keyBytes);
    std::memcpy(OpenGap(to.FRefs, at, count), FRefs.data() + first, count * sizeof(std::int32_t));
    std::memcpy(OpenGap(to.FCounts, at, count), FCounts.data() + first,
                count * sizeof(std::int32_t));
    std::memset(OpenGap(to.FPrefix, at, count), 0, count);
    std::memset(OpenGap(to.FTrailing, at, count), 0, count);
    if (fixed)
        to.FPackedSize += count * to.FixedEntrySize();
    else
        for (std::size_t i = at; i < at + count; ++i) to.FPackedSize += to.EntrySize(i);

    FKeys.erase(FKeys.begin() + from * k, FKeys.begin() + (from + n) * k);
    FRefs.erase(FRefs.begin() + from, FRefs.begin() + from + n);
    FCounts.erase(FCounts.begin() + from, FCounts.begin() + from + n);
    FPrefix.erase(FPrefix.begin() + from, FPrefix.begin() + from + n);
    FTrailing.erase(FTrailing.begin() + from, FTrailing.begin() + from + n);

    // Only the entries whose previous key changed pack differently (fixed-size
    // entries have no d and t: theirs stay 0).
    if (!fixed) {
        if (first < FRefs.size()) Repack(first);
        for (std::size_t i = at; i <= at + count && i < to.FRefs.size(); ++i) to.Repack(i);
    }
    to.FFree = false;
    MarkDirty();
    to.MarkDirty();
}

void TPage::MoveTopHalfTo(TPage& right) {
    CheckSameFormat(right);
    Unraw();
    right.Unraw();
    const std::size_t moving = FRefs.size() / 2;
    MoveEntries(FRefs.size() - moving, moving, right, 0);
}

void TPage::BalanceForPacking(TPage& right) {
    CheckSameFormat(right);
    Unraw();
    right.Unraw();
    bool movedRight = false;
    while (Overflows()) {
        if (FRefs.size() <= 1) RaiseCorrupt();
        MoveEntries(FRefs.size() - 1, 1, right, 0);
        movedRight = true;
    }
    while (right.Overflows()) {
        // Moving back would overfill this page again: no boundary fits.
        if (movedRight || right.FRefs.size() <= 1) RaiseCorrupt();
        right.MoveEntries(0, 1, *this, FRefs.size());
        if (Overflows()) RaiseCorrupt();
    }
}

void TPage::MoveAllTo(TPage& neighbour, TPageSide side) {
    CheckSameFormat(neighbour);
    Unraw();
    neighbour.Unraw();
    const std::size_t at = side == TPageSide::Left ? neighbour.FRefs.size() : 0;
    MoveEntries(0, FRefs.size(), neighbour, at);
}

void TPage::ShareWith(TPage& neighbour, TPageSide side) {
    CheckSameFormat(neighbour);
    Unraw();
    neighbour.Unraw();
    const std::size_t total = FRefs.size() + neighbour.FRefs.size();
    const std::size_t wanted = (total + 1) / 2;
    const std::size_t held = neighbour.FRefs.size();
    if (side == TPageSide::Left) {
        // In key order the neighbour's entries come first.
        if (held > wanted)
            neighbour.MoveEntries(wanted, held - wanted, *this, 0);
        else
            MoveEntries(0, wanted - held, neighbour, held);
    } else {
        if (held > wanted)
            neighbour.MoveEntries(0, held - wanted, *this, FRefs.size());
        else
            MoveEntries(FRefs.size() - (wanted - held), wanted - held, neighbour, 0);
    }
}

}  // namespace pirin
