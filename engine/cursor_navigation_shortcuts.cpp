// TCursorNavigation: shortcuts of the write path that reach the position a
// longer way would reach, with less work: the last record read with one
// descent instead of two (a dataset's append starts there), and the placing
// on a record just inserted from the leaf and entry the insertion used
// instead of a fresh key search.
#include <algorithm>

#include "engine/cursor_navigation.h"
#include "storage/index_tree.h"

namespace pirin {

std::uint16_t TCursorNavigation::GetLastRecord(std::span<std::uint8_t> buffer) {
    // Two operations, as the long way makes them (each with its own begin
    // step and read lock): Last, then the prior step.
    Last();
    TOperation operation(*this);
    if (operation.FoundChange() || (FBof && FEof) || !FEof) return GetPriorRecord(buffer);
    // Nothing changed since Last stood on the last entry with the crack
    // after it: the prior step's descent would reach the same entry again.
    FEof = false;
    LoadCurrent(TReadDirection::Backward);
    CopyCurrentTo(buffer);
    return 0;
}

bool TCursorNavigation::PlaceOnInserted(std::int32_t record, const TInsertPlace& placed) {
    // A range or a filter may put the record outside the view: the search
    // knows where to go then.
    if (placed.Page == 0 || WithoutIndex() || FFilterActive || FRangeActive) return false;
    TPagePin pin = FetchIndexPage(FIndexNo, placed.Page);
    if (!pin || !pin->IsLeaf() || pin->Free()) return false;
    const int entries = pin->NumberOfEntries();
    const int slot = placed.Position;
    if (slot < 1 || slot > entries || pin->EntryReference(slot) != record) return false;
    // The search stands on the entry equal to the record's key. Where no
    // other entry can equal it, that is this entry: its neighbours on the
    // leaf differ, and it is not at an edge of the leaf next to another
    // leaf (equal keys may continue there).
    const auto key = pin->EntryKey(slot);
    // Keys compare their bytes after the fields (a non-unique index's row
    // suffix) as bytes: where those differ the keys do, without collation.
    const std::size_t fieldBytes =
        FLayout && FLayout->KeyLength > FLayout->FieldBytes
            ? std::min(static_cast<std::size_t>(FLayout->FieldBytes), key.size())
            : key.size();
    const auto equalsKey = [&](std::span<const std::uint8_t> other) {
        return std::equal(key.begin() + static_cast<std::ptrdiff_t>(fieldBytes), key.end(),
                          other.begin() + static_cast<std::ptrdiff_t>(fieldBytes)) &&
               CompareKey(other, key) == 0;
    };
    if (slot == 1 ? pin->Previous() != 0 : equalsKey(pin->EntryKey(slot - 1))) return false;
    if (slot == entries ? pin->Next() != 0 : equalsKey(pin->EntryKey(slot + 1))) return false;
    FScratch.Take(*pin, placed.Page);
    pin.Release();
    const TStepper at{&FScratch, slot, static_cast<std::int32_t>(placed.Ordinal)};
    Commit(at, false, false);
    return true;
}

void TCursorNavigation::RepositionOnInserted(std::int32_t record,
                                             std::span<const std::uint8_t> image,
                                             const TInsertPlace& placed) {
    CheckRecordBuffer(image);
    if (!PlaceOnInserted(record, placed)) {
        RepositionOn(record, image);
        return;
    }
    // The write has just put `image` into the record's cached slot: the
    // current record takes those bytes without a second fetch of the slot.
    if (image.size() == FCurrent->Image().size()) {
        FCurrent->AttachTo(FData);
        FCurrent->SetRecordNumber(record);
        std::copy(image.begin(), image.end(), FCurrent->Image().begin());
        return;
    }
    LoadCurrent();
}

}  // namespace pirin
