// TIndexTree: insertion. The descent takes, on every interior page, the last
// entry not above the key (the first when the key is below all), so a new
// key goes after every key equal to it. Counts on the path go up by one, a
// new first key of a page is copied into its parent (upward while it is the
// first entry there too), and a page that overflows splits in two, the new
// page becoming its right neighbour; the parent takes an entry for it and
// may split in turn, up to a new root.
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "errors/engine_error.h"
#include "locale/compare_keys.h"
#include "storage/index_tree.h"

namespace pirin {

namespace {

std::int32_t Total(const TPage& page) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(page.PageTotal(), INT32_MAX));
}

}  // namespace

int TIndexTree::InsertPosition(const TPage& page, const TKeySearch& search, bool tryEnd,
                               bool* settled, bool* lastEqual) const {
    // Keys that arrive in ascending order go after every entry of their
    // path: one comparison with the last entry settles it.
    const int entries = page.NumberOfEntries();
    if (tryEnd && entries > 0 && page.Attached() && !page.IsParameterPage() &&
        &search.Index() == page.Config().Keys && search.Count() == page.Config().KeyLength) {
        const int c = search(page.EntryKey(entries).data());
        if (c <= 0) {
            if (settled != nullptr) *settled = true;
            if (lastEqual != nullptr) *lastEqual = c == 0;
            return entries;
        }
    }
    return page.FindInsertPosition(search);
}

// The search key of an insertion's descent, made once from the root's
// settings (every page of an index shares its key description).
TKeySearch TIndexTree::SearchFor(const TPage& root, std::span<const std::uint8_t> key) const {
    if (!root.Attached() || root.Config().Keys == nullptr) Corrupt();
    // A key shorter than the key length is refused by the page's search
    // (10026) before it is compared.
    return TKeySearch(*root.Config().Keys, key.data(),
                      std::min<std::size_t>(key.size(), root.Config().KeyLength));
}

bool TIndexTree::Contains(std::span<const std::uint8_t> key, const TInsertHint* hint) {
    const std::int32_t root = Root();
    if (root == 0) return false;
    // The descent of an insertion: the entry before the insert position is
    // the last one not above the key, equal to it when the key is there.
    const bool tryEnd = hint != nullptr && hint->RightEdge;
    TPagePin pin = FetchForWrite(root);
    if (!pin->IsRoot()) Corrupt();
    const TKeySearch search = SearchFor(*pin, key);
    for (int depth = 1;; ++depth) {
        const int after = InsertPosition(*pin, search, tryEnd);
        if (pin->IsLeaf()) return after > 0 && search(pin->EntryKey(after).data()) == 0;
        if (depth >= kMaxTreeDepth) Corrupt();
        pin = Child(*pin, std::max(after, 1), true);
    }
}

bool TIndexTree::Insert(std::span<const std::uint8_t> key, std::int32_t record, TInsertHint* hint,
                        TInsertPlace* placed, bool refuseEqual) {
    if (placed != nullptr) *placed = {};
    const std::int32_t root = Root();
    if (root == 0) {
        TPagePin pin = FFile.AllocatePage(FCursor, FIndex, TPageType::RootLeaf);
        pin->InsertEntry(1, key, record);
        FFile.SetRootPage(FIndex, pin->UnitNumber());
        if (hint != nullptr) hint->RightEdge = true;
        if (placed != nullptr) *placed = {pin->UnitNumber(), 1, 1};
        return true;
    }
    // Find the whole path first, so that a damaged tree fails before any
    // count has changed. The pages of the path stay pinned until the counts
    // are adjusted, so each is fetched once.
    const bool tryEnd = hint != nullptr && hint->RightEdge;
    bool rightEdge = true;
    std::int64_t before = 0;
    TTreePath ownPath;
    std::vector<TPagePin> ownPins;
    TTreePath& path = hint != nullptr ? hint->Path : ownPath;
    std::vector<TPagePin>& pins = hint != nullptr ? hint->Pins : ownPins;
    // The hint's buffers are empty again however this ends.
    struct TClear {
        TTreePath& Path;
        std::vector<TPagePin>& Pins;
        ~TClear() {
            Pins.clear();
            Path.Levels.clear();
            Path.Ordinal = 0;
        }
    } clear{path, pins};
    path.Levels.clear();
    path.Ordinal = 0;
    pins.clear();
    pins.push_back(FetchForWrite(root));
    if (!pins[0]->IsRoot()) Corrupt();
    const TKeySearch search = SearchFor(*pins[0], key);
    for (;;) {
        const TPage& page = *pins.back();
        bool settled = false;
        bool lastEqual = false;
        const int after = InsertPosition(page, search, tryEnd, &settled, &lastEqual);
        rightEdge = rightEdge && after == page.NumberOfEntries();
        if (page.IsLeaf()) {
            // The entry before the insert position is the last one not above
            // the key: equal to it when the key is there. Where the last
            // entry's comparison placed the key, that entry is the one it
            // compared.
            if (refuseEqual &&
                (settled ? lastEqual : after > 0 && search(page.EntryKey(after).data()) == 0))
                return false;
            path.Levels.push_back({page.UnitNumber(), after + 1});
            break;
        }
        const int position = std::max(after, 1);
        if (placed != nullptr) before += page.KeysBefore(position);
        path.Levels.push_back({page.UnitNumber(), position});
        if (pins.size() >= static_cast<std::size_t>(kMaxTreeDepth)) Corrupt();
        pins.push_back(Child(page, position, true));
    }
    for (std::size_t level = 0; level + 1 < pins.size(); ++level)
        pins[level]->AdjustEntryCount(path.Levels[level].Position, 1);
    // The leaf's pin goes on to InsertInto; the parents' go now.
    TPagePin leaf = std::move(pins.back());
    pins.clear();
    const TTreeLevel at = path.Leaf();
    const bool split = InsertInto(path, key, record, std::move(leaf));
    if (hint != nullptr) hint->RightEdge = rightEdge;
    if (placed != nullptr && !split) *placed = {at.Page, at.Position, before + at.Position};
    return true;
}

bool TIndexTree::InsertInto(TTreePath& path, std::span<const std::uint8_t> key, std::int32_t record,
                            TPagePin leaf) {
    const std::size_t level = path.Levels.size() - 1;
    const int position = path.Levels[level].Position;
    leaf->InsertEntry(position, key, record);
    // The leaf stays pinned until it is split: an overflowing page cannot
    // be packed, so a write-back caused by the fetches below must skip it.
    if (position == 1) PropagateFirstKey(path, level);
    if (!leaf->Overflows()) return false;
    Split(path, level);
    return true;
}

void TIndexTree::PropagateFirstKey(const TTreePath& path, std::size_t level) {
    if (level == 0) return;
    std::vector<std::uint8_t> key;
    {
        TPagePin page = FetchForWrite(path.Levels[level].Page);
        if (page->NumberOfEntries() == 0) return;
        const auto first = page->EntryKey(1);
        key.assign(first.begin(), first.end());
    }
    for (std::size_t l = level; l-- > 0;) {
        TPagePin parent = FetchForWrite(path.Levels[l].Page);
        const int position = path.Levels[l].Position;
        if (position < 1 || position > parent->NumberOfEntries() ||
            parent->EntryReference(position) != path.Levels[l + 1].Page)
            Corrupt();
        parent->SetEntryKey(position, key);
        if (position != 1) return;
    }
}

void TIndexTree::Split(const TTreePath& path, std::size_t level) {
    TPagePin page = FetchForWrite(path.Levels[level].Page);
    const bool leaf = page->IsLeaf();
    const bool wasRoot = page->IsRoot();
    // The root is always the first level of a path: a root met elsewhere
    // means the path does not describe this tree.
    if (wasRoot && level != 0) {
        const std::string table = FFile.TableName();
        errno = 0;
        RaiseEngineError(PIRIN_TABLEFULL, {.table = table});
    }
    if (!wasRoot && level == 0) Corrupt();
    TPagePin right =
        FFile.AllocatePage(FCursor, FIndex, leaf ? TPageType::Leaf : TPageType::Interior);
    const std::int32_t pageNo = page->UnitNumber();
    const std::int32_t rightNo = right->UnitNumber();
    page->SetType(leaf ? TPageType::Leaf : TPageType::Interior);
    page->MoveTopHalfTo(*right);
    if (page->CompressedLeaf()) page->BalanceForPacking(*right);

    const std::int32_t oldNext = page->Next();
    if (oldNext != 0) {
        TPagePin neighbour = FetchForWrite(oldNext);
        if (neighbour->Previous() != pageNo) Corrupt();
        neighbour->SetPrevious(rightNo);
    }
    right->SetPrevious(pageNo);
    right->SetNext(oldNext);
    page->SetNext(rightNo);

    if (wasRoot) {
        TPagePin root = FFile.AllocatePage(FCursor, FIndex, TPageType::Root);
        root->InsertEntry(1, page->EntryKey(1), pageNo, Total(*page));
        root->InsertEntry(2, right->EntryKey(1), rightNo, Total(*right));
        FFile.SetRootPage(FIndex, root->UnitNumber());
        return;
    }
    TPagePin parent = FetchForWrite(path.Levels[level - 1].Page);
    const int position = path.Levels[level - 1].Position;
    if (position < 1 || position > parent->NumberOfEntries() ||
        parent->EntryReference(position) != pageNo)
        Corrupt();
    parent->SetEntryCount(position, Total(*page));
    parent->InsertEntry(position + 1, right->EntryKey(1), rightNo, Total(*right));
    page.Release();
    right.Release();
    // The parent stays pinned while it overflows (see InsertInto).
    if (parent->Overflows()) Split(path, level - 1);
}

}  // namespace pirin
