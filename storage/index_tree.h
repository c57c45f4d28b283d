// TIndexTree: the B+-tree operations on one index of an index file: descent
// from the root with the path it took, insertion with page splits, deletion
// with merges, and the walks a cursor needs (first and last entry, next and
// prior entry across leaves, position by ordinal).
//
// Tree shape: the root is page type 0 (interior) or 3 (a single leaf); other
// interior pages are type 1, other leaves type 2. Each level is a doubly
// linked list of pages. An interior entry holds the first key of its child,
// the child's page number and (unless the index has no counts) the number of
// keys below the child, so a key's ordinal position follows from the counts
// on its path. Equal keys are kept in insertion order: a new key goes after
// all keys equal to it.
//
// A path (TTreePath) records the page and 1-based entry position of every
// level from the root down to a leaf, and the key's ordinal position in the
// index. It stays valid until the tree changes.
//
// Ownership: a tree object refers to its index file, which outlives it, and
// holds no pins between calls. Threads: the thread of the index file.
// Failures: EPirinEngineError with the table's name: 8965 for a damaged tree
// (an empty page where entries are required, a path deeper than 64 levels,
// a child of the wrong kind, a missing neighbour, a compressed page that
// cannot be packed); 9479 for a new page past the file's limits or a root
// split away from the path's first level; 8708 when another process changed
// the table during an insertion or deletion (the change cannot start over).
// The walks report such a change as TTreeStatus::Restart instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "locale/compare_keys.h"
#include "storage/index_file.h"

namespace pirin {

// Deepest tree a descent follows.
inline constexpr int kMaxTreeDepth = 64;

struct TTreeLevel {
    std::int32_t Page = 0;
    int Position = 0;  // 1-based entry on this page
};

struct TTreePath {
    std::vector<TTreeLevel> Levels;  // root first, leaf last
    // 1-based position of the leaf entry among all keys of the index (only
    // meaningful when the index keeps counts).
    std::int64_t Ordinal = 0;

    bool Empty() const noexcept { return Levels.empty(); }
    const TTreeLevel& Leaf() const { return Levels.back(); }
};

enum class TTreeStatus : std::uint8_t {
    Ok,       // the path stands on an entry
    End,      // no such entry (empty index, before the first, after the last)
    Restart,  // another process changed the table: start over
};

// A leaf entry a walk stands on.
struct TTreeEntry {
    std::vector<std::uint8_t> Key;
    std::int32_t Record = 0;
};

// Where the last insertion into an index went, kept by a caller that
// inserts many keys into one index: keys that arrive in ascending order
// (autoincrement values, sequential ids) then find their place with one
// comparison per level. Only a guess: every level is still checked.
struct TInsertHint {
    // The last key went after every entry of every page on its path.
    bool RightEdge = false;
    // Buffers an insertion reuses, so that one allocates nothing once they
    // have grown to the tree's depth (empty between insertions).
    TTreePath Path;
    std::vector<TPagePin> Pins;
};

// Where an insertion put its entry, for a caller that wants to stand on it
// without a search: the leaf, the 1-based entry on it, and the entry's place
// in the index as a key search sums it (the counts before the path's entry
// on every interior page, plus the entry). Page 0 when the insertion split
// a page (the entry may have moved; search for it instead).
struct TInsertPlace {
    std::int32_t Page = 0;
    int Position = 0;
    std::int64_t Ordinal = 0;
};

class TIndexTree {
  public:
    // `cursor` is asked before pages are read from disk (may be null).
    TIndexTree(TIndexFile& file, int index, TChangeCheck* cursor = nullptr);
    // The same for a caller that keeps the index's page settings (PageConfig
    // of the index, taken while the header still describes it the same way).
    TIndexTree(TIndexFile& file, const TPageConfig& settings, TChangeCheck* cursor = nullptr)
        : FFile(file), FIndex(settings.IndexNumber), FCursor(cursor), FPageSettings(settings) {}

    int Index() const noexcept { return FIndex; }
    std::int32_t Root() const { return FFile.RootPage(FIndex); }
    // Keys in the index: the root's total (0 for an empty index).
    std::int64_t KeyCount();

    // Descends to the first `compareLength` bytes of `key` (FindEntry on
    // each page): `found` tells whether the leaf entry equals the key.
    // Without `nearest` the path stands on the equal entry or the greatest
    // entry below the key; with it, on the equal entry or the first above.
    TTreeStatus Find(std::span<const std::uint8_t> key, std::size_t compareLength, bool nearest,
                     TTreePath& path, bool& found);

    // Inserts `key` (the key length) with `record` after all equal keys;
    // `hint`, when given, is read and updated; `placed`, when given,
    // receives where the entry went. With `refuseEqual`, an equal key in
    // the index makes it return false having changed nothing (the check
    // Contains makes, on the insertion's own descent).
    bool Insert(std::span<const std::uint8_t> key, std::int32_t record,
                TInsertHint* hint = nullptr, TInsertPlace* placed = nullptr,
                bool refuseEqual = false);
    // An entry equal to `key` (the key length) exists; `hint` as for Insert
    // (only read). 8708 when another process changed the table meanwhile.
    bool Contains(std::span<const std::uint8_t> key, const TInsertHint* hint = nullptr);
    // Deletes the entry with `key` and `record`; false when there is none.
    bool Delete(std::span<const std::uint8_t> key, std::int32_t record);

    // Walks. Each fills `path` (and `entry` when given) or reports End.
    TTreeStatus First(TTreePath& path, TTreeEntry* entry = nullptr);
    TTreeStatus Last(TTreePath& path, TTreeEntry* entry = nullptr);
    TTreeStatus Next(TTreePath& path, TTreeEntry* entry = nullptr);
    TTreeStatus Prior(TTreePath& path, TTreeEntry* entry = nullptr);
    // The entry at 1-based ordinal `ordinal` by the counts (End outside
    // 1..KeyCount()). Indexes without counts walk the leaves.
    TTreeStatus AtOrdinal(std::int64_t ordinal, TTreePath& path, TTreeEntry* entry = nullptr);
    // The entry the path stands on.
    TTreeStatus Read(const TTreePath& path, TTreeEntry& entry);

  private:
    TPagePin Fetch(std::int32_t page);          // empty pin: restart
    TPagePin FetchForWrite(std::int32_t page);  // raises 8708 instead
    // The settings the index's pages are attached with, taken at the first
    // fetch and kept until a fetch comes back empty (after which the index
    // file may have reread its header).
    const TPageConfig& PageSettings();
    TPagePin Child(const TPage& parent, int position, bool forWrite);
    [[noreturn]] void Corrupt() const;
    // Another process changed the table in the middle of a change: 8708.
    [[noreturn]] void ChangedUnderWrite() const;
    void CheckDepth(const TTreePath& path) const;

    // Descends from the page at the path's last level to a leaf, always
    // taking the first (or last) entry.
    TTreeStatus DescendEdge(TTreePath& path, bool last);
    TTreeStatus Fill(const TTreePath& path, TTreeEntry* entry);

    // Entries of `page` not above the search key; with `tryEnd` the last
    // entry is compared first. When that comparison alone settles the
    // position, `settled` (if given) is set to true and `lastEqual` to
    // whether the last entry equals the key; both are left alone otherwise.
    int InsertPosition(const TPage& page, const TKeySearch& search, bool tryEnd,
                       bool* settled = nullptr, bool* lastEqual = nullptr) const;
    // The whole-key search one insertion's descent shares, from the root's
    // settings.
    TKeySearch SearchFor(const TPage& root, std::span<const std::uint8_t> key) const;
    // Inserts at the path's leaf position; true when a page split.
    bool InsertInto(TTreePath& path, std::span<const std::uint8_t> key, std::int32_t record,
                    TPagePin leaf);
    void PropagateFirstKey(const TTreePath& path, std::size_t level);
    void Split(const TTreePath& path, std::size_t level);
    void RemoveAt(const TTreePath& path, std::size_t level);
    void FreeEmpty(const TTreePath& path, std::size_t level, TPagePin& pin);
    void Merge(const TTreePath& path, std::size_t level, TPagePin& pin);
    void Unlink(TPage& page);

    TIndexFile& FFile;
    int FIndex;
    TChangeCheck* FCursor;
    std::optional<TPageConfig> FPageSettings;
};

}  // namespace pirin
