// TCursorNavigation: change detection and resync (QuickResync,
// CheckAndResync, Refresh), and what Reset recomputes after a change: the
// range bounds and the view bitmap of records in use.
#include <algorithm>

#include "engine/cursor_navigation.h"
#include "errors/engine_error_codes.h"

namespace pirin {

// ---- change detection -----------------------------------------------------------------

bool TCursorNavigation::CountersChanged() {
    const std::array<std::uint32_t, 3> counters = TableChangeCounters();
    if (counters == FChangeSnapshot) return false;
    FChangeSnapshot = counters;
    return true;
}

bool TCursorNavigation::QuickResync() {
    // Also for a cursor that takes no locks: the counters in memory advance
    // with every write of a sibling cursor, whose changes its leaf copy lacks.
    if (FData == nullptr || !CountersChanged()) return false;
    Resync();
    return true;
}

bool TCursorNavigation::CheckAndResync() {
    // A resync under way reads pages itself; the lock is held by then, and
    // the caches were emptied already.
    if (FData == nullptr || TakesNoLocks() || FResyncing) return false;
    bool changed = BeginTableRead();
    // The snapshot follows the table either way, so the next quick check
    // does not resync a second time for the same change.
    changed = CountersChanged() || changed;
    if (changed) Resync();
    return changed;
}

void TCursorNavigation::Resync() {
    struct TGuard {
        bool& Flag;
        explicit TGuard(bool& flag) : Flag(flag) { Flag = true; }
        ~TGuard() { Flag = false; }
    } guard(FResyncing);
    std::array<std::uint8_t, kMaxKeyLength> bookmark{};
    GetBookmark(bookmark);
    const bool wasEmpty = (FBof && FEof) || CurrentRecordNumber() == 0;
    Reset();
    if (wasEmpty) {
        // Records may have come: stand before the first of them.
        GoFirstEntry();
        MoveBy(-1);
    } else {
        (void)PlaceOnBookmark(bookmark, true);
    }
    LoadCurrent();
}

void TCursorNavigation::Refresh() {
    TOperation operation(*this, true);
    if (!operation.FoundChange()) Resync();
}

void TCursorNavigation::Reset() {
    RecomputeRangeBounds();
    if (FFilterActive) RebuildView();
}

// ---- ranges ----------------------------------------------------------------------------

void TCursorNavigation::ApplyRange(std::span<const std::uint8_t> startKey,
                                   std::span<const std::uint8_t> endKey) {
    if (WithoutIndex()) return;
    if (startKey.size() < FKeyLength || endKey.size() < FKeyLength)
        RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    TOperation operation(*this);
    FRangeStartKey.fill(0);
    FRangeEndKey.fill(0);
    std::copy_n(startKey.begin(), FKeyLength, FRangeStartKey.begin());
    std::copy_n(endKey.begin(), FKeyLength, FRangeEndKey.begin());
    FRangeActive = true;
    const std::int32_t record = CurrentRecordNumber();
    const bool wasEmpty = (FBof && FEof) || record == 0;
    Reset();
    if (wasEmpty) {
        GoFirstEntry();
        MoveBy(-1);
    } else {
        BuildKey(FCurrent->Image(), FSearchKey);
        (void)FindNearest({FSearchKey.data(), FKeyLength}, true, true);
    }
    LoadCurrent();
}

void TCursorNavigation::RecomputeRangeBounds() {
    if (!FRangeActive || WithoutIndex()) {
        FRangeStart = 1;
        FRangeEnd = FIndex->ActiveRecordCount();
        return;
    }
    if (CompareKey(FRangeStartKey, FRangeEndKey) > 0) {
        FRangeStart = 0;
        FRangeEnd = 0;
        return;
    }
    UntilComplete([&] { return TryRangeBound(false, FRangeStart); });
    UntilComplete([&] { return TryRangeBound(true, FRangeEnd); });
}

TCursorNavigation::TWalk TCursorNavigation::TryRangeBound(bool end, std::int32_t& bound) {
    const std::span<const std::uint8_t> key{end ? FRangeEndKey.data() : FRangeStartKey.data(),
                                            FKeyLength};
    TDescent descent;
    if (Descend(FIndexNo, key, !end, false, descent) == TWalk::Restart) return TWalk::Restart;
    bound = 0;
    if (descent.Slot == 0) return TWalk::Done;
    TStepper at{&FScratch, descent.Slot, descent.LogicalPos};
    const int side = CompareKey(at.Leaf->Key(at.Slot), key);
    bool moved = true;
    // The search may stop beside the bound at a leaf's edge.
    if (!end && side < 0) {
        if (Step(at, true, moved) == TWalk::Restart) return TWalk::Restart;
    } else if (end && side > 0) {
        if (Step(at, false, moved) == TWalk::Restart) return TWalk::Restart;
    }
    if (moved) bound = at.LogicalPos;
    return TWalk::Done;
}

// ---- the view of records in use --------------------------------------------------------

void TCursorNavigation::RebuildView() {
    TRecordsBitmap& view = *FViewBitmap;
    const std::int32_t slots = FData->RecordCount();
    view.SetSize(slots);
    if (slots <= 0) {
        FFilteredCount = 0;
        return;
    }
    if (FIndex->ActiveRecordCount() == slots) {
        view.SetAll();
    } else {
        // The deleted slots are index 31's keys with status byte 1.
        UntilComplete([&] { return TryCollectDeleted(view); });
        view.Invert();
    }
    FFilteredCount = view.Count();
}

TCursorNavigation::TWalk TCursorNavigation::TryCollectDeleted(TRecordsBitmap& view) {
    view.ClearAll();
    std::array<std::uint8_t, kDeletedIndexKeyLength> from{};
    from[0] = kRecordDeleted;
    std::int32_t page = 0;
    int slot = 0;
    {
        TDescent descent;
        if (Descend(kDeletedIndex, from, true, false, descent) == TWalk::Restart)
            return TWalk::Restart;
        if (descent.Slot == 0) return TWalk::Done;
        page = FScratch.Page;
        slot = descent.Slot;
    }
    // Along the leaves straight from the cache: no copies needed here.
    while (page != 0) {
        TPagePin pin = FetchIndexPage(kDeletedIndex, page);
        if (!pin) return TWalk::Restart;
        if (!pin->IsLeaf() || pin->Free()) RaiseCursorError(PIRIN_INDEXCORRUPT);
        for (; slot <= pin->NumberOfEntries(); ++slot) {
            const auto key = pin->EntryKey(slot);
            if (key[0] < kRecordDeleted) continue;
            if (key[0] > kRecordDeleted) return TWalk::Done;
            view.Set(pin->EntryReference(slot));
        }
        page = pin->Next();
        slot = 1;
    }
    return TWalk::Done;
}

}  // namespace pirin
