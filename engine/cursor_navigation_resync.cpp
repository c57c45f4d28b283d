// TCursorNavigation: change detection and resync (QuickResync,
// CheckAndResync, Refresh), and what Reset recomputes after a change: the
// range bounds and the view, and placing the cursor after its view changed.
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
    // The resync reads pages and records, and its misses do not ask for a
    // change check. Once this process's own change (a commit, a rollback, a
    // sibling's write) is done, other processes may have written since: the
    // read lock and the change check come first, so that the resync reads
    // files that match the headers in memory.
    if (!TakesNoLocks() && BeginTableRead()) (void)CountersChanged();
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
        PlaceNear(0, {}, true);
        return;
    }
    (void)PlaceOnBookmark(bookmark, true);
    LoadCurrent();
}

void TCursorNavigation::Refresh() {
    TOperation operation(*this, true);
    if (!operation.FoundChange()) Resync();
}

void TCursorNavigation::Reset() {
    RecomputeRangeBounds();
    if (!FFilterActive) return;
    BuildFilterBitmaps(nullptr);
    CombineView();
}

// ---- placing the cursor after its view changed ----------------------------------------

void TCursorNavigation::PlaceNear(std::int32_t record, std::span<const std::uint8_t> image,
                                  bool keepCracks) {
    if (record == 0) {
        // Records may have come: stand before the first of them.
        GoFirstEntry();
        MoveBy(-1);
    } else if (WithoutIndex()) {
        BitmapPlaceNear(record);
    } else {
        // Copied first: `image` may be the current record, which loading
        // replaces.
        BuildKey(image, FSearchKey);
        (void)FindNearest({FSearchKey.data(), FKeyLength}, true, keepCracks);
    }
    LoadCurrent();
}

void TCursorNavigation::Reposition() {
    const bool empty = (FBof && FEof) || CurrentRecordNumber() == 0;
    PlaceNear(empty ? 0 : CurrentRecordNumber(), FCurrent->Image(), true);
}

}  // namespace pirin
