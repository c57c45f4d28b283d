// TCursorNavigation: the walks over the active index (first and last entry,
// moving by n entries, the nearest entry to a key, the entry at a position)
// and their record-number counterparts over the view bitmap.
//
// The walks descend and step over the pages themselves rather than through
// TIndexTree, whose paths and entries are vectors: a key search or a step
// here allocates nothing once the two leaf buffers have grown to a leaf.
//
// Every index walk works on scratch state: the leaf it reaches is copied
// into FScratch, and only a completed walk swaps it with FLeaf (Commit). A
// page fetch that comes back empty means another process changed the table
// and the cursor has been put back on its bookmark: the walk reports
// Restart and its wrapper runs it again from the new position.
#include <algorithm>
#include <utility>

#include "engine/cursor_navigation.h"
#include "errors/engine_error_codes.h"
#include "locale/compare_keys.h"

namespace pirin {

// ---- helpers ------------------------------------------------------------------------

TPagePin TCursorNavigation::FetchIndexPage(int index, std::int32_t page) {
    return FetchIndexPage(FIndex->PageConfig(index), page);
}

TPagePin TCursorNavigation::FetchIndexPage(const TPageConfig& config, std::int32_t page) {
    // Page numbers come from disk: one outside the file is damage.
    if (page < 1 || page > FIndex->LastPageNumber(config.IndexNumber))
        RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
    return FIndex->FetchPage(this, config, page);
}

TPagePin TCursorNavigation::FetchChild(const TPageConfig& config, std::int32_t page) {
    TPagePin child = FetchIndexPage(config, page);
    // Only the root carries a root type; a free or parameter page is never
    // a child.
    if (child && (child->Free() || (child->Type() != TPageType::Interior &&
                                    child->Type() != TPageType::Leaf)))
        RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
    return child;
}

void TCursorNavigation::CheckLeaf(const TPage& page) const {
    if (page.Type() != TPageType::Leaf || page.Free() || page.NumberOfEntries() == 0)
        RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
}

TCursorNavigation::TWalk TCursorNavigation::LoadLeaf(std::int32_t page) {
    TPagePin pin = FetchIndexPage(FIndexNo, page);
    if (!pin) return TWalk::Restart;
    CheckLeaf(*pin);
    FScratch.Take(*pin, page);
    return TWalk::Done;
}

TCursorNavigation::TWalk TCursorNavigation::Descend(int index, std::span<const std::uint8_t> key,
                                                    bool nearest, bool last, TDescent& result) {
    result = {};
    const std::int32_t root = FIndex->RootPage(index);
    if (root == 0) return TWalk::Done;  // an empty index
    // Every page of the descent is fetched with the same settings.
    const TPageConfig config = FIndex->PageConfig(index);
    TPagePin pin = FetchIndexPage(config, root);
    if (!pin) return TWalk::Restart;
    if (!pin->IsRoot() || pin->Free()) RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
    // One search for every level: the search key is laid out once.
    const TKeySearch search(FIndex->KeyDescription(index), key.data(), key.size());
    std::int32_t number = root;
    for (int depth = 1;; ++depth) {
        const int entries = pin->NumberOfEntries();
        if (entries == 0) {
            if (pin->IsLeaf() && pin->IsRoot()) return TWalk::Done;  // an emptied index
            RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
        }
        int position = last ? entries : 1;
        std::int64_t before = 0;
        if (!key.empty()) {
            const TPageFind hit = pin->FindEntry(search, nearest);
            position = hit.Position;
            before = hit.KeysBefore;
            result.Found = hit.Found;
            result.Above = hit.Above;
        } else {
            before = pin->KeysBefore(position);
        }
        if (pin->IsLeaf()) {
            FScratch.Take(*pin, number);
            result.Slot = position;
            result.LogicalPos += position;
            return TWalk::Done;
        }
        result.LogicalPos += before;
        if (depth >= kMaxDepth) RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
        number = pin->EntryReference(position);
        TPagePin child = FetchChild(config, number);
        if (!child) return TWalk::Restart;
        pin = std::move(child);
    }
}

TCursorNavigation::TWalk TCursorNavigation::Step(TStepper& at, bool forward, bool& moved) {
    moved = false;
    if (forward && at.Slot < at.Leaf->Entries()) {
        ++at.Slot;
    } else if (!forward && at.Slot > 1) {
        --at.Slot;
    } else {
        const std::int32_t next = forward ? at.Leaf->Next : at.Leaf->Previous;
        if (next == 0) return TWalk::Done;
        if (LoadLeaf(next) == TWalk::Restart) return TWalk::Restart;
        at.Leaf = &FScratch;
        at.Slot = forward ? 1 : FScratch.Entries();
    }
    at.LogicalPos += forward ? 1 : -1;
    moved = true;
    return TWalk::Done;
}

TCursorNavigation::TWalk TCursorNavigation::Reload(TStepper& at, const TMark& mark) {
    if (at.Leaf->Page != mark.Page) {
        // Back on the leaf the walk started from, the copy is still there.
        if (FLeaf.Page == mark.Page && FLeaf.Entries() > 0 && FLeaf.Whole()) {
            at.Leaf = &FLeaf;
        } else {
            if (LoadLeaf(mark.Page) == TWalk::Restart) return TWalk::Restart;
            at.Leaf = &FScratch;
        }
    }
    at.Slot = mark.Slot;
    at.LogicalPos = mark.LogicalPos;
    return TWalk::Done;
}

bool TCursorNavigation::InView(std::int32_t record) const noexcept {
    return !FFilterActive || FViewBitmap->Test(record);
}

bool TCursorNavigation::AboveRange(std::span<const std::uint8_t> key) const {
    return FRangeActive && CompareKey(key, {FRangeEndKey.data(), FKeyLength}) > 0;
}

bool TCursorNavigation::BelowRange(std::span<const std::uint8_t> key) const {
    return FRangeActive && CompareKey(key, {FRangeStartKey.data(), FKeyLength}) < 0;
}

void TCursorNavigation::Commit(const TStepper& at, bool bof, bool eof) {
    if (!at.Leaf->Whole()) {
        // A walk reads its leaf right after fetching it, so the page is
        // still cached as it was; the entry stood on is kept from it.
        if (!at.Leaf->SourceIntact()) RaiseCursorError(PIRIN_KEYORRECDELETED);
        FLeafCounters = TableChangeCounters();
    }
    if (at.Leaf == &FScratch) FLeaf.Swap(FScratch);
    if (!FLeaf.Whole()) FLeaf.KeepEntry(at.Slot);
    FSlot = at.Slot;
    FLogicalPos = at.LogicalPos;
    FPhysRecNo = 0;
    FBof = bof;
    FEof = eof;
}

TCursorNavigation::TWalk TCursorNavigation::WholeLeaf() {
    if (FLeaf.Whole()) return TWalk::Done;
    if (TableChangeCounters() != FLeafCounters && !FResyncing) {
        // The page may hold other entries now: back onto the bookmark (the
        // kept entry) as a change found by a read would put the cursor.
        Resync();
        return TWalk::Restart;
    }
    if (FLeaf.CopyFromSource()) return TWalk::Done;
    // The page left the cache meanwhile; the table did not change, so
    // reading it again gives the entries the copy would have held.
    TPagePin pin = FetchIndexPage(FIndexNo, FLeaf.Page);
    if (!pin) return TWalk::Restart;
    CheckLeaf(*pin);
    FLeaf.TakeWhole(*pin, FLeaf.Page);
    return TWalk::Done;
}

void TCursorNavigation::SetEmpty() noexcept {
    FLeaf.Clear();
    FSlot = 1;
    FLogicalPos = 0;
    FPhysRecNo = 0;
    FBof = FEof = true;
}

std::int32_t TCursorNavigation::ViewCount() const {
    if (FFilterActive) return FFilteredCount;
    if (!FRangeActive) return FIndex->ActiveRecordCount();
    return FRangeStart <= 0 || FRangeEnd <= 0 ? 0 : std::max(FRangeEnd - FRangeStart + 1, 0);
}

// ---- first and last --------------------------------------------------------------

TCursorNavigation::TWalk TCursorNavigation::TryEdge(bool last) {
    TDescent descent;
    if (!FRangeActive) {
        if (Descend(FIndexNo, {}, false, last, descent) == TWalk::Restart) return TWalk::Restart;
    } else {
        // The bound key: the first entry not below the start, the last not
        // above the end.
        const std::span<const std::uint8_t> bound{
            last ? FRangeEndKey.data() : FRangeStartKey.data(), FKeyLength};
        if (Descend(FIndexNo, bound, !last, false, descent) == TWalk::Restart)
            return TWalk::Restart;
    }
    if (descent.Slot == 0) {
        SetEmpty();
        return TWalk::Done;
    }
    TStepper at{&FScratch, descent.Slot, descent.LogicalPos};
    bool moved = true;
    if (FRangeActive) {
        // The search may end on the neighbour of the bound at a leaf's edge.
        const auto key = at.Leaf->Key(at.Slot);
        if (!last && CompareKey(key, {FRangeStartKey.data(), FKeyLength}) < 0) {
            if (Step(at, true, moved) == TWalk::Restart) return TWalk::Restart;
        } else if (last && CompareKey(key, {FRangeEndKey.data(), FKeyLength}) > 0) {
            if (Step(at, false, moved) == TWalk::Restart) return TWalk::Restart;
        }
        if (!moved || BelowRange(at.Leaf->Key(at.Slot)) || AboveRange(at.Leaf->Key(at.Slot))) {
            SetEmpty();
            return TWalk::Done;
        }
    }
    // Onwards to the nearest entry of the view.
    while (!InView(at.Leaf->Refs[static_cast<std::size_t>(at.Slot - 1)])) {
        if (Step(at, !last, moved) == TWalk::Restart) return TWalk::Restart;
        if (!moved || (last ? BelowRange(at.Leaf->Key(at.Slot))
                            : AboveRange(at.Leaf->Key(at.Slot)))) {
            SetEmpty();
            return TWalk::Done;
        }
    }
    Commit(at, false, false);
    return TWalk::Done;
}

void TCursorNavigation::GoEdge(bool last) {
    if (ViewCount() == 0) {
        SetEmpty();
        return;
    }
    if (WithoutIndex()) {
        BitmapEdge(last);
        return;
    }
    UntilComplete([&] { return TryEdge(last); });
}

void TCursorNavigation::GoFirstEntry() { GoEdge(false); }
void TCursorNavigation::GoLastEntry() { GoEdge(true); }

// ---- moving by n entries -----------------------------------------------------------

TCursorNavigation::TWalk TCursorNavigation::TryMoveBy(std::int32_t n) {
    const bool forward = n > 0;
    if (FLeaf.Entries() == 0) {
        SetEmpty();
        return TWalk::Done;
    }
    if (WholeLeaf() == TWalk::Restart) return TWalk::Restart;
    TStepper at{&FLeaf, std::min(FSlot, FLeaf.Entries()), FLogicalPos};
    // The last entry of the view passed (the start counts when in view).
    TMark valid;
    if (InView(at.Leaf->Refs[static_cast<std::size_t>(at.Slot - 1)]))
        valid = {at.Leaf->Page, at.Slot, at.LogicalPos};
    std::int64_t steps = n > 0 ? static_cast<std::int64_t>(n) : -static_cast<std::int64_t>(n);
    while (steps > 0) {
        bool moved = false;
        if (Step(at, forward, moved) == TWalk::Restart) return TWalk::Restart;
        if (!moved || (forward ? AboveRange(at.Leaf->Key(at.Slot))
                               : BelowRange(at.Leaf->Key(at.Slot))))
            break;
        if (!InView(at.Leaf->Refs[static_cast<std::size_t>(at.Slot - 1)])) continue;
        valid = {at.Leaf->Page, at.Slot, at.LogicalPos};
        --steps;
    }
    if (steps == 0) {
        // A step onto another leaf goes on stepping there: copied whole at
        // once, while the page is surely intact.
        if (!at.Leaf->Whole()) (void)FScratch.CopyFromSource();
        Commit(at, false, false);
        return TWalk::Done;
    }
    // The end of the view: back onto the last entry in it, with the crack.
    if (valid.Page == 0) {
        // Nothing of the view from the start on: the nearest lies behind.
        if (TryEdge(forward) == TWalk::Restart) return TWalk::Restart;
        if (!(FBof && FEof)) {
            FBof = !forward;
            FEof = forward;
        }
        return TWalk::Done;
    }
    if (Reload(at, valid) == TWalk::Restart) return TWalk::Restart;
    Commit(at, !forward, forward);
    return TWalk::Done;
}

void TCursorNavigation::MoveBy(std::int32_t n) {
    if (n == 0) return;
    if (ViewCount() == 0) {
        SetEmpty();
        return;
    }
    if (WithoutIndex()) {
        BitmapMoveBy(n);
        return;
    }
    if (StepWithinLeaf(n)) return;
    UntilComplete([&] { return TryMoveBy(n); });
}

bool TCursorNavigation::StepWithinLeaf(std::int32_t n) noexcept {
    // One step of a walk over the whole index that stays on the leaf copy:
    // every entry is in the view, nothing is fetched, and the end is what
    // TryMoveBy's walk would commit.
    if (FFilterActive || FRangeActive || (n != 1 && n != -1) || !FLeaf.Whole()) return false;
    const int slot = std::min(FSlot, FLeaf.Entries());
    if (slot < 1 || (n > 0 ? slot >= FLeaf.Entries() : slot <= 1)) return false;
    FSlot = slot + n;
    FLogicalPos += n;
    FPhysRecNo = 0;
    FBof = FEof = false;
    return true;
}

// ---- the nearest entry to a key --------------------------------------------------

TCursorNavigation::TWalk TCursorNavigation::TryFindNearest(std::span<const std::uint8_t> key,
                                                           bool nearest, bool& found) {
    found = false;
    if (BelowRange(key)) return TryEdge(false);
    if (AboveRange(key)) return TryEdge(true);
    TDescent descent;
    if (Descend(FIndexNo, key, nearest, false, descent) == TWalk::Restart) return TWalk::Restart;
    if (descent.Slot == 0) {
        SetEmpty();
        return TWalk::Done;
    }
    if (!descent.Found && !nearest) return TWalk::Done;  // the position stays
    TStepper at{&FScratch, descent.Slot, descent.LogicalPos};
    bool eof = false;
    if (!descent.Found && descent.Above) {
        // The key lies above the leaf's last entry: the next leaf's first.
        bool moved = false;
        if (Step(at, true, moved) == TWalk::Restart) return TWalk::Restart;
        eof = !moved;
    }
    if (AboveRange(at.Leaf->Key(at.Slot))) {
        // Nothing of the range from the key on: its last entry, with EOF.
        if (TryEdge(true) == TWalk::Restart) return TWalk::Restart;
        if (!(FBof && FEof)) FEof = true;
        return TWalk::Done;
    }
    if (!InView(at.Leaf->Refs[static_cast<std::size_t>(at.Slot - 1)])) {
        if (!nearest) return TWalk::Done;
        // On to the next entry of the view, else back to the previous one.
        const TMark start{at.Leaf->Page, at.Slot, at.LogicalPos};
        bool moved = true;
        while (moved && !InView(at.Leaf->Refs[static_cast<std::size_t>(at.Slot - 1)])) {
            if (Step(at, true, moved) == TWalk::Restart) return TWalk::Restart;
            if (moved && AboveRange(at.Leaf->Key(at.Slot))) moved = false;
        }
        if (!moved) {
            if (Reload(at, start) == TWalk::Restart) return TWalk::Restart;
            moved = true;
            while (moved && !InView(at.Leaf->Refs[static_cast<std::size_t>(at.Slot - 1)])) {
                if (Step(at, false, moved) == TWalk::Restart) return TWalk::Restart;
                if (moved && BelowRange(at.Leaf->Key(at.Slot))) moved = false;
            }
            if (!moved) {
                SetEmpty();
                return TWalk::Done;
            }
            eof = true;
        }
        descent.Found = false;
    }
    found = descent.Found;
    Commit(at, false, eof);
    return TWalk::Done;
}

bool TCursorNavigation::FindNearest(std::span<const std::uint8_t> key, bool nearest,
                                    bool keepCracks) {
    if (ViewCount() == 0) {
        SetEmpty();
        return false;
    }
    const bool wasBof = FBof;
    const bool wasEof = FEof;
    bool found = false;
    UntilComplete([&] { return TryFindNearest(key, nearest, found); });
    if (keepCracks && !(FBof && FEof)) {
        if (wasBof) {
            MoveBy(-1);
            if (!FBof) MoveBy(+1);
        } else {
            FBof = false;
        }
        if (wasEof) {
            MoveBy(+1);
            if (!FEof) MoveBy(-1);
        } else {
            FEof = false;
        }
    }
    return found;
}

// ---- the entry at a position -----------------------------------------------------

TCursorNavigation::TWalk TCursorNavigation::TryGoToOrdinal(std::int64_t ordinal) {
    const std::int32_t root = FIndex->RootPage(FIndexNo);
    if (root == 0) {
        SetEmpty();
        return TWalk::Done;
    }
    const TPageConfig config = FIndex->PageConfig(FIndexNo);
    TPagePin pin = FetchIndexPage(config, root);
    if (!pin) return TWalk::Restart;
    std::int32_t number = root;
    std::int64_t before = 0;
    for (int depth = 1;; ++depth) {
        const int entries = pin->NumberOfEntries();
        if (entries == 0) RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
        if (pin->IsLeaf()) {
            const std::int64_t slot = ordinal - before;
            // Counts that disagree with the leaves are damage.
            if (slot < 1 || slot > entries) RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
            FScratch.Take(*pin, number);
            TStepper at{&FScratch, static_cast<int>(slot), static_cast<std::int32_t>(ordinal)};
            Commit(at, false, false);
            return TWalk::Done;
        }
        // The child whose keys bring the running position to the ordinal.
        int chosen = entries;
        for (int i = 1; i < entries; ++i) {
            if (before + pin->EntryCount(i) >= ordinal) {
                chosen = i;
                break;
            }
            before += pin->EntryCount(i);
        }
        if (depth >= kMaxDepth) RaiseCursorError(PIRIN_INDEXCORRUPT, FIndexName);
        number = pin->EntryReference(chosen);
        TPagePin child = FetchChild(config, number);
        if (!child) return TWalk::Restart;
        pin = std::move(child);
    }
}

void TCursorNavigation::GoToPosition(std::int32_t n) {
    if (WithoutIndex()) {
        FBof = FEof = false;
        if (n < 1) {
            BitmapEdge(false);
            if (!(FBof && FEof)) FBof = true;
            return;
        }
        std::int32_t position = 0;
        const std::int32_t record = FViewBitmap->FindNext(0, n, &position);
        if (record != 0) {
            FPhysRecNo = record;
            FLogicalPos = position;
            return;
        }
        BitmapEdge(true);
        if (!(FBof && FEof)) FEof = true;
        return;
    }
    const std::int32_t count = ViewCount();
    if (n < 1 || n > count) {
        GoEdge(n > count);
        if (!(FBof && FEof)) {
            FBof = n < 1;
            FEof = n >= 1;
        }
        return;
    }
    if (!FIndex->PageConfig(FIndexNo).HasCounts()) {
        // Without counts only a walk from the first entry knows positions.
        GoFirstEntry();
        if (n > 1) MoveBy(n - 1);
        return;
    }
    const std::int64_t ordinal = static_cast<std::int64_t>(FRangeStart) + n - 1;
    UntilComplete([&] { return TryGoToOrdinal(ordinal); });
    if (!InView(CurrentRecordNumber())) {
        // On to the nearest entry of the view.
        std::array<std::uint8_t, kMaxKeyLength> key{};
        const auto current = CurrentKey();
        std::copy(current.begin(), current.end(), key.begin());
        (void)FindNearest({key.data(), FKeyLength}, true, false);
    }
}

// ---- record-number order -------------------------------------------------------------

void TCursorNavigation::BitmapEdge(bool last) {
    const TRecordsBitmap& view = *FViewBitmap;
    const std::int32_t record = last ? view.FindPrior(view.Size() + 1) : view.FindNext(0);
    if (record == 0) {
        SetEmpty();
        return;
    }
    FPhysRecNo = record;
    FLogicalPos = view.CountBelow(record) + 1;
    FBof = FEof = false;
}

void TCursorNavigation::BitmapMoveBy(std::int32_t n) {
    const TRecordsBitmap& view = *FViewBitmap;
    std::int32_t position = view.CountBelow(FPhysRecNo) + (view.Test(FPhysRecNo) ? 1 : 0);
    const std::int32_t record = n > 0 ? view.FindNext(FPhysRecNo, n, &position)
                                      : view.FindPrior(FPhysRecNo, -n, &position);
    if (record != 0) {
        FPhysRecNo = record;
        FLogicalPos = position;
        FBof = FEof = false;
        return;
    }
    // Ran out: stay on the outermost record of the view, with the crack.
    BitmapEdge(n > 0);
    if (!(FBof && FEof)) {
        FBof = n < 0;
        FEof = n > 0;
    }
}

void TCursorNavigation::BitmapPlaceNear(std::int32_t record) {
    const TRecordsBitmap& view = *FViewBitmap;
    std::int32_t found = view.Test(record) ? record : view.FindNext(record);
    if (found == 0) found = view.FindPrior(record);
    if (found == 0) {
        SetEmpty();
        return;
    }
    FPhysRecNo = found;
    FLogicalPos = view.CountBelow(found) + 1;
    FBof = FEof = false;
}

}  // namespace pirin
