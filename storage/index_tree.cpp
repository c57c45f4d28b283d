// TIndexTree: page access, descent by key and the walks along the leaves.
// Insertion is in index_tree_insert.cpp, deletion in index_tree_delete.cpp.
#include "storage/index_tree.h"

#include <cerrno>

#include "errors/engine_error.h"

namespace pirin {

TIndexTree::TIndexTree(TIndexFile& file, int index, TChangeCheck* cursor)
    : FFile(file), FIndex(index), FCursor(cursor) {
    (void)FFile.GetIndexDescriptor(index);  // 8965 for a number outside 0..32
}

void TIndexTree::Corrupt() const {
    const std::string table = FFile.TableName();
    const std::string index = FFile.GetIndexDescriptor(FIndex).Name;
    errno = 0;
    RaiseEngineError(PIRIN_INDEXCORRUPT, {.table = table, .index = index});
}

void TIndexTree::ChangedUnderWrite() const {
    const std::string table = FFile.TableName();
    errno = 0;
    RaiseEngineError(PIRIN_KEYORRECDELETED, {.table = table});
}

const TPageConfig& TIndexTree::PageSettings() {
    if (!FPageSettings) FPageSettings = FFile.PageConfig(FIndex);
    return *FPageSettings;
}

TPagePin TIndexTree::Fetch(std::int32_t page) {
    // Links come from disk: a page number outside the file is damage (and
    // the next page number would even make a new page).
    if (page < 1 || page > FFile.LastPageNumber(FIndex)) Corrupt();
    TPagePin pin = FFile.FetchPage(FCursor, PageSettings(), page);
    if (!pin) FPageSettings.reset();
    return pin;
}

TPagePin TIndexTree::FetchForWrite(std::int32_t page) {
    TPagePin pin = Fetch(page);
    // The caches were emptied under a change that cannot start over: what
    // it changed so far is gone, so the caller must read again.
    if (!pin) ChangedUnderWrite();
    return pin;
}

TPagePin TIndexTree::Child(const TPage& parent, int position, bool forWrite) {
    const std::int32_t number = parent.EntryReference(position);
    TPagePin child = forWrite ? FetchForWrite(number) : Fetch(number);
    // Only the root carries a root type, and a free or parameter page is
    // never a child.
    if (child && (child->Free() ||
                  (child->Type() != TPageType::Interior && child->Type() != TPageType::Leaf)))
        Corrupt();
    return child;
}

void TIndexTree::CheckDepth(const TTreePath& path) const {
    if (path.Levels.size() > static_cast<std::size_t>(kMaxTreeDepth)) Corrupt();
}

std::int64_t TIndexTree::KeyCount() {
    const std::int32_t root = Root();
    if (root == 0) return 0;
    TPagePin pin = FetchForWrite(root);
    return pin->PageTotal();
}

TTreeStatus TIndexTree::Find(std::span<const std::uint8_t> key, std::size_t compareLength,
                             bool nearest, TTreePath& path, bool& found) {
    path = {};
    found = false;
    const std::int32_t root = Root();
    if (root == 0) return TTreeStatus::End;
    TPagePin pin = Fetch(root);
    if (!pin) return TTreeStatus::Restart;
    if (!pin->IsRoot()) Corrupt();
    for (;;) {
        const TPageFind hit = pin->FindEntry(key, compareLength, nearest);
        path.Levels.push_back({pin->UnitNumber(), hit.Position});
        CheckDepth(path);
        if (pin->IsLeaf()) {
            path.Ordinal += hit.Position;
            found = hit.Found;
            return TTreeStatus::Ok;
        }
        path.Ordinal += hit.KeysBefore;
        TPagePin child = Child(*pin, hit.Position, false);
        if (!child) return TTreeStatus::Restart;
        pin = std::move(child);
    }
}

TTreeStatus TIndexTree::Fill(const TTreePath& path, TTreeEntry* entry) {
    if (entry == nullptr) return TTreeStatus::Ok;
    return Read(path, *entry);
}

TTreeStatus TIndexTree::Read(const TTreePath& path, TTreeEntry& entry) {
    if (path.Empty()) return TTreeStatus::End;
    TPagePin leaf = Fetch(path.Leaf().Page);
    if (!leaf) return TTreeStatus::Restart;
    if (!leaf->IsLeaf()) Corrupt();
    const auto key = leaf->EntryKey(path.Leaf().Position);
    entry.Key.assign(key.begin(), key.end());
    entry.Record = leaf->EntryReference(path.Leaf().Position);
    return TTreeStatus::Ok;
}

TTreeStatus TIndexTree::DescendEdge(TTreePath& path, bool last) {
    TPagePin pin = Fetch(path.Levels.back().Page);
    if (!pin) return TTreeStatus::Restart;
    while (!pin->IsLeaf()) {
        TPagePin child = Child(*pin, path.Levels.back().Position, false);
        if (!child) return TTreeStatus::Restart;
        pin = std::move(child);
        if (pin->NumberOfEntries() == 0) Corrupt();
        path.Levels.push_back({pin->UnitNumber(), last ? pin->NumberOfEntries() : 1});
        CheckDepth(path);
    }
    return TTreeStatus::Ok;
}

TTreeStatus TIndexTree::First(TTreePath& path, TTreeEntry* entry) {
    path = {};
    const std::int32_t root = Root();
    if (root == 0) return TTreeStatus::End;
    TPagePin pin = Fetch(root);
    if (!pin) return TTreeStatus::Restart;
    if (!pin->IsRoot() || pin->NumberOfEntries() == 0) Corrupt();
    path.Levels.push_back({root, 1});
    pin.Release();
    if (const TTreeStatus status = DescendEdge(path, false); status != TTreeStatus::Ok)
        return status;
    path.Ordinal = 1;
    return Fill(path, entry);
}

TTreeStatus TIndexTree::Last(TTreePath& path, TTreeEntry* entry) {
    path = {};
    const std::int32_t root = Root();
    if (root == 0) return TTreeStatus::End;
    TPagePin pin = Fetch(root);
    if (!pin) return TTreeStatus::Restart;
    if (!pin->IsRoot() || pin->NumberOfEntries() == 0) Corrupt();
    path.Levels.push_back({root, pin->NumberOfEntries()});
    const std::int64_t total = pin->PageTotal();
    pin.Release();
    if (const TTreeStatus status = DescendEdge(path, true); status != TTreeStatus::Ok)
        return status;
    path.Ordinal = total;
    return Fill(path, entry);
}

TTreeStatus TIndexTree::Next(TTreePath& path, TTreeEntry* entry) {
    if (path.Empty()) return TTreeStatus::End;
    // Climb to the lowest level that has an entry to the right, step there,
    // and take the first entries down to a leaf.
    for (std::size_t level = path.Levels.size(); level-- > 0;) {
        TPagePin pin = Fetch(path.Levels[level].Page);
        if (!pin) return TTreeStatus::Restart;
        if (path.Levels[level].Position < pin->NumberOfEntries()) {
            ++path.Levels[level].Position;
            path.Levels.resize(level + 1);
            pin.Release();
            if (const TTreeStatus status = DescendEdge(path, false); status != TTreeStatus::Ok)
                return status;
            ++path.Ordinal;
            return Fill(path, entry);
        }
    }
    return TTreeStatus::End;
}

TTreeStatus TIndexTree::Prior(TTreePath& path, TTreeEntry* entry) {
    if (path.Empty()) return TTreeStatus::End;
    for (std::size_t level = path.Levels.size(); level-- > 0;) {
        if (path.Levels[level].Position > 1) {
            --path.Levels[level].Position;
            path.Levels.resize(level + 1);
            if (const TTreeStatus status = DescendEdge(path, true); status != TTreeStatus::Ok)
                return status;
            --path.Ordinal;
            return Fill(path, entry);
        }
    }
    return TTreeStatus::End;
}

TTreeStatus TIndexTree::AtOrdinal(std::int64_t ordinal, TTreePath& path, TTreeEntry* entry) {
    path = {};
    if (ordinal < 1) return TTreeStatus::End;
    if (!PageSettings().HasCounts()) {
        // Without counts only a walk along the leaves knows positions.
        TTreeStatus status = First(path);
        for (std::int64_t i = 1; i < ordinal && status == TTreeStatus::Ok; ++i) status = Next(path);
        return status == TTreeStatus::Ok ? Fill(path, entry) : status;
    }
    const std::int32_t root = Root();
    if (root == 0) return TTreeStatus::End;
    TPagePin pin = Fetch(root);
    if (!pin) return TTreeStatus::Restart;
    if (!pin->IsRoot()) Corrupt();
    if (ordinal > pin->PageTotal()) return TTreeStatus::End;
    std::int64_t before = 0;
    for (;;) {
        const int entries = pin->NumberOfEntries();
        if (entries == 0) Corrupt();
        if (pin->IsLeaf()) {
            const std::int64_t position = ordinal - before;
            if (position < 1 || position > entries) Corrupt();  // counts disagree
            path.Levels.push_back({pin->UnitNumber(), static_cast<int>(position)});
            path.Ordinal = ordinal;
            return Fill(path, entry);
        }
        int chosen = entries;
        for (int i = 1; i <= entries; ++i) {
            if (before + pin->EntryCount(i) >= ordinal) {
                chosen = i;
                break;
            }
            if (i < entries) before += pin->EntryCount(i);
        }
        path.Levels.push_back({pin->UnitNumber(), chosen});
        CheckDepth(path);
        TPagePin child = Child(*pin, chosen, false);
        if (!child) return TTreeStatus::Restart;
        pin = std::move(child);
    }
}

}  // namespace pirin
