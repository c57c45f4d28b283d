// TIndexTree: deletion. The entry is found by key and record number (equal
// keys are walked in order), the counts on its path go down by one, and the
// entry is removed. A page left empty is unlinked from its level and freed,
// and its parent entry removed in turn; a new first key is copied upward; an
// underfull interior page or uncompressed leaf is merged into, or shares its
// entries with, a neighbour under the same parent. A root interior page left
// with one entry hands the root to its child; an emptied root empties the
// index.
#include <algorithm>
#include <cerrno>
#include <string>

#include "errors/engine_error.h"
#include "locale/compare_keys.h"
#include "storage/index_tree.h"

namespace pirin {

namespace {

std::int32_t Total(const TPage& page) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(page.PageTotal(), INT32_MAX));
}

}  // namespace

bool TIndexTree::Delete(std::span<const std::uint8_t> key, std::int32_t record) {
    const std::int32_t root = Root();
    if (root == 0) return false;
    const std::size_t length = FFile.GetIndexDescriptor(FIndex).KeyLength;
    if (key.size() < length) {
        const std::string table = FFile.TableName();
        errno = 0;
        RaiseEngineError(PIRIN_INVALIDKEY, {.table = table});
    }
    // Descend to the first key not below `key`: on interior pages the last
    // entry whose key is below it, since equal keys may begin in the child
    // before the one whose first key equals it.
    TTreePath path;
    TPagePin pin = FetchForWrite(root);
    if (!pin->IsRoot()) Corrupt();
    for (;;) {
        if (pin->NumberOfEntries() == 0) Corrupt();
        const int first = pin->FindFirst(key, length);
        if (pin->IsLeaf()) {
            path.Levels.push_back({pin->UnitNumber(), first});
            break;
        }
        const int position = std::max(first - 1, 1);
        path.Levels.push_back({pin->UnitNumber(), position});
        CheckDepth(path);
        pin = Child(*pin, position, true);
    }
    const int entries = pin->NumberOfEntries();
    pin.Release();
    TTreeEntry entry;
    TTreeStatus status = TTreeStatus::Ok;
    if (path.Leaf().Position > entries) {
        path.Levels.back().Position = entries;
        status = Next(path);
    }
    const TKeyDescription& keys = FFile.KeyDescription(FIndex);
    for (;;) {
        if (status == TTreeStatus::Ok) status = Read(path, entry);
        if (status == TTreeStatus::End) return false;
        if (status == TTreeStatus::Restart) ChangedUnderWrite();
        const int order = CompareKeys(keys, entry.Key.data(), key.data(), length);
        if (order > 0) return false;
        if (order == 0 && entry.Record == record) break;
        status = Next(path);
    }

    for (std::size_t level = 0; level + 1 < path.Levels.size(); ++level) {
        TPagePin parent = FetchForWrite(path.Levels[level].Page);
        parent->AdjustEntryCount(path.Levels[level].Position, -1);
    }
    RemoveAt(path, path.Levels.size() - 1);
    return true;
}

void TIndexTree::RemoveAt(const TTreePath& path, std::size_t level) {
    TPagePin pin = FetchForWrite(path.Levels[level].Page);
    const int position = path.Levels[level].Position;
    pin->DeleteEntry(position);
    const int entries = pin->NumberOfEntries();
    if (pin->IsRoot()) {
        if (level != 0) Corrupt();
        if (entries == 0) {
            FFile.FreePage(FCursor, FIndex, *pin);
            FFile.SetRootPage(FIndex, 0);
        } else if (pin->Type() == TPageType::Root && entries == 1) {
            TPagePin child = Child(*pin, 1, true);
            child->SetType(child->IsLeaf() ? TPageType::RootLeaf : TPageType::Root);
            child->SetPrevious(0);
            child->SetNext(0);
            FFile.SetRootPage(FIndex, child->UnitNumber());
            FFile.FreePage(FCursor, FIndex, *pin);
        }
        return;
    }
    if (level == 0) Corrupt();
    if (entries == 0) {
        FreeEmpty(path, level, pin);
        return;
    }
    const bool underfull = pin->IsUnderfull();
    if (position == 1) {
        pin.Release();
        PropagateFirstKey(path, level);
    }
    if (underfull) {
        if (!pin) pin = FetchForWrite(path.Levels[level].Page);
        Merge(path, level, pin);
    }
}

void TIndexTree::Unlink(TPage& page) {
    const std::int32_t self = page.UnitNumber();
    const std::int32_t previous = page.Previous();
    const std::int32_t next = page.Next();
    if (previous != 0) {
        TPagePin left = FetchForWrite(previous);
        if (left->Next() != self) Corrupt();
        left->SetNext(next);
    }
    if (next != 0) {
        TPagePin right = FetchForWrite(next);
        if (right->Previous() != self) Corrupt();
        right->SetPrevious(previous);
    }
    page.SetPrevious(0);
    page.SetNext(0);
}

void TIndexTree::FreeEmpty(const TTreePath& path, std::size_t level, TPagePin& pin) {
    Unlink(*pin);
    FFile.FreePage(FCursor, FIndex, *pin);
    pin.Release();
    RemoveAt(path, level - 1);
}

void TIndexTree::Merge(const TTreePath& path, std::size_t level, TPagePin& pin) {
    const std::int32_t self = pin->UnitNumber();
    TPagePin parent = FetchForWrite(path.Levels[level - 1].Page);
    const int position = path.Levels[level - 1].Position;
    const int siblings = parent->NumberOfEntries();
    if (position < 1 || position > siblings || parent->EntryReference(position) != self) Corrupt();
    // Only a neighbour under the same parent: moving keys into a page under
    // another parent would leave that parent's counts and keys wrong. A
    // page that is its parent's only child stays as it is.
    if (siblings == 1) return;
    const TPageSide side = position == 1 ? TPageSide::Right : TPageSide::Left;
    const int other = side == TPageSide::Right ? position + 1 : position - 1;
    TPagePin neighbour = Child(*parent, other, true);
    const std::int32_t neighbourNo = neighbour->UnitNumber();
    const bool linked = side == TPageSide::Right
                            ? pin->Next() == neighbourNo && neighbour->Previous() == self
                            : pin->Previous() == neighbourNo && neighbour->Next() == self;
    if (!linked || neighbour->IsLeaf() != pin->IsLeaf()) Corrupt();

    if (pin->NumberOfEntries() + neighbour->NumberOfEntries() < pin->MaxEntries()) {
        pin->MoveAllTo(*neighbour, side);
        Unlink(*pin);
        parent->SetEntryCount(other, Total(*neighbour));
        if (side == TPageSide::Right) parent->SetEntryKey(other, neighbour->EntryKey(1));
        FFile.FreePage(FCursor, FIndex, *pin);
        pin.Release();
        neighbour.Release();
        parent.Release();
        RemoveAt(path, level - 1);
        return;
    }
    pin->ShareWith(*neighbour, side);
    parent->SetEntryCount(position, Total(*pin));
    parent->SetEntryCount(other, Total(*neighbour));
    if (side == TPageSide::Right)
        parent->SetEntryKey(other, neighbour->EntryKey(1));
    else
        parent->SetEntryKey(position, pin->EntryKey(1));
}

}  // namespace pirin
