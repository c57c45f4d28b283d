// TCursorNavigation: the position of a table cursor and everything that
// moves it: the choice of the active index, first/last/next/prior, key
// search, counts and positions, bookmarks, and the change detection that
// keeps a reading cursor on its record while other processes write.
// TDataCursor derives from it and supplies the table through the hooks.
//
// Position model. The cursor walks the active index (0 primary, 1.. the
// secondary indexes, 31 the index of slots by status) or, without an index
// (number 255, or 0 on a table without a primary key), the record numbers in
// use in ViewBitmap. In index order it keeps a private copy of the leaf that
// holds its entry (FLeaf), the 1-based entry on it (FSlot) and the entry's
// 1-based place in the whole index (FLogicalPos), so stepping to a
// neighbouring entry on the same leaf reads no page. The copy is not
// refreshed by such steps: a change to the table, by another cursor of this
// process or by another process, advances a header's change counter, and
// the next operation's begin step (or the next disk read) resyncs.
// Invariants:
//   1. BOF and EOF both set: the view is empty; FLogicalPos and FPhysRecNo
//      are 0 and FLeaf holds no entry.
//   2. BOF alone: the cursor stands on the first entry of the view and the
//      crack lies before it; EOF alone: on the last entry, crack after it.
//   3. Otherwise FLeaf.Refs[FSlot - 1] (or FPhysRecNo without an index) is
//      the current record.
//   4. Walks work on scratch state and commit only when they complete, so a
//      walk abandoned for a change by another process leaves the position
//      (and so the bookmark the resync returns to) as it was.
//
// Operation bracket. Public operations run inside TOperation: the outermost
// one begins with QuickResync (or CheckAndResync under strict change
// detection) and ends with the release of the shared read lock; nested
// operations neither begin nor end again. Page and record fetches pass the
// cursor as the TChangeCheck the caches ask before a disk read; when that
// finds a change the caches have been emptied, the cursor is back on its
// bookmark, the fetch delivers nothing and the walk starts over (after
// 1000 restarts within one walk the operation fails with 8708 rather than
// chase a table that never holds still).
//
// Ranges and filters. A key range limits the view to the index entries
// between two keys (cursor_range.cpp). Filters (filter.h) make the view a
// bitmap of record numbers: ViewBitmap is InUseBitmap, intersected with
// RangeBitmap while a range is set and with the bitmap of every active
// filter; walks step only onto entries whose record is in it. The bitmaps
// are rebuilt on activation and by Reset, and kept current record by record
// for the cursor's own writes (RecordAdded, RecordRemoved).
//
// Ownership: the derived cursor owns the table files and the current record
// (AttachTable); this class owns its leaf copy, keys, filters and bitmaps
// (from the process-wide pool). Threads: one thread at a time.
// Failures: navigation returns PIRIN_BOF, PIRIN_EOF or PIRIN_NOCURRREC
// instead of raising; everything else raises EPirinEngineError through
// RaiseCursorError (10022 unknown index name, 10026 bad key arguments, 9482
// a 65th filter, 10050 a filter not in the list, 10051 a malformed filter)
// or whatever the files raise (8965, 8962, ...); an error raised by a filter
// callback passes out of the operation that evaluated it. A failing
// operation still ends its bracket.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/filter.h"
#include "engine/records_bitmap.h"
#include "errors/engine_error_codes.h"
#include "locale/char_map.h"
#include "storage/blob_file.h"
#include "storage/data_file.h"
#include "storage/index_descriptor.h"
#include "storage/index_file.h"
#include "storage/index_key_builder.h"
#include "storage/index_key_layout.h"
#include "storage/index_page.h"
#include "storage/table_file_context.h"

namespace pirin {

struct TInsertPlace;

inline constexpr std::uint8_t kNoIndex = 255;
// Range keys hold the longest key (the fields' 522 bytes and a row suffix).
inline constexpr std::size_t kRangeKeySize = kMaxKeyLength;

struct TLeafCopy;

// The references of a leaf copy, Refs[i] for entry i + 1 (see TLeafCopy).
class TLeafRefs {
  public:
    std::int32_t operator[](std::size_t i) const noexcept;
    std::size_t size() const noexcept;

  private:
    friend struct TLeafCopy;
    explicit TLeafRefs(const TLeafCopy& leaf) noexcept : FLeaf(&leaf) {}
    const TLeafCopy* FLeaf;
};

// The cursor's view of one leaf: what stepping and bookmarks need.
//
// Taking a leaf copies none of its entries: they are read from the cached
// page itself while no page object of the process has left its cache or
// been refreshed since (TPageCache::UnitChanges), which a key search that
// reads one entry and moves on never outlives. The one entry the cursor
// then stands on is kept (KeepEntry), so that its key and record stay
// known whatever happens to the page afterwards; before the cursor moves
// to another entry of the leaf, the rest is copied (CopyFromSource, or
// from the page read again) and the view becomes whole, as a copy
// taken at once would have been.
struct TLeafCopy {
    std::int32_t Page = 0;
    std::int32_t Previous = 0;
    std::int32_t Next = 0;
    std::size_t KeyLength = 0;
    TLeafRefs Refs{*this};

    TLeafCopy() = default;
    // Refs points to its own copy, whatever is moved or swapped. What is
    // moved from holds no entry.
    TLeafCopy(TLeafCopy&& other) noexcept { *this = std::move(other); }
    TLeafCopy& operator=(TLeafCopy&& other) noexcept;
    TLeafCopy(const TLeafCopy&) = delete;
    TLeafCopy& operator=(const TLeafCopy&) = delete;

    // Exchanges the contents of two copies (buffers included).
    void Swap(TLeafCopy& other) noexcept;

    int Entries() const noexcept { return static_cast<int>(FCount); }
    // Entry `slot`'s key (KeyLength bytes) and record, 1-based.
    std::span<const std::uint8_t> Key(int slot) const noexcept {
        if (FSource == nullptr)
            return {FKeys.data() + static_cast<std::size_t>(slot - 1) * FKeyStride, KeyLength};
        if (slot == FKeptSlot) return {FKeptKey.data(), KeyLength};
        return SourceKey(slot);
    }
    std::int32_t Reference(int slot) const noexcept {
        const auto i = static_cast<std::size_t>(slot - 1);
        if (FSource == nullptr) {
            if (!FRefsInKeys) return FOwnRefs[i];
            const std::uint8_t* at = FKeys.data() + i * FKeyStride + KeyLength;
            return static_cast<std::int32_t>(std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) |
                                             (std::uint32_t{at[2]} << 16) |
                                             (std::uint32_t{at[3]} << 24));
        }
        if (slot == FKeptSlot) return FKeptReference;
        return SourceReference(slot);
    }

    // Takes cached leaf `number` without copying its entries.
    void Take(const TPage& page, std::int32_t number);
    // Copies every entry of a cached leaf.
    void TakeWhole(const TPage& page, std::int32_t number);
    // Keeps entry `slot` of a leaf taken lazily (the page must be intact).
    void KeepEntry(int slot);
    // Every entry is held by the copy itself.
    bool Whole() const noexcept { return FSource == nullptr; }
    // The page taken lazily may still be read (see above).
    bool SourceIntact() const noexcept {
        return FSource != nullptr && TPageCache::UnitChanges() == FSourceStamp;
    }
    // Makes a lazily taken copy whole from its page; false (nothing
    // changed) when the page is not intact any more.
    bool CopyFromSource();
    void Clear() noexcept;

  private:
    std::span<const std::uint8_t> SourceKey(int slot) const noexcept;
    std::int32_t SourceReference(int slot) const noexcept;
    void CopyHeader(const TPage& page, std::int32_t number) noexcept;

    std::size_t FCount = 0;
    // Whole: entry i's key is KeyLength bytes from i * FKeyStride of FKeys
    // (the page's bytes between keys come along); a leaf as read keeps each
    // reference after its key, an unpacked one's are in FOwnRefs.
    std::vector<std::uint8_t> FKeys;
    std::size_t FKeyStride = 0;
    std::vector<std::int32_t> FOwnRefs;
    bool FRefsInKeys = false;
    // Taken lazily: the cached page, the unit changes when it was taken,
    // and the entry kept (slot 0: none).
    const TPage* FSource = nullptr;
    std::uint64_t FSourceStamp = 0;
    int FKeptSlot = 0;
    std::int32_t FKeptReference = 0;
    std::vector<std::uint8_t> FKeptKey;
};

inline std::int32_t TLeafRefs::operator[](std::size_t i) const noexcept {
    return FLeaf->Reference(static_cast<int>(i) + 1);
}
inline std::size_t TLeafRefs::size() const noexcept {
    return static_cast<std::size_t>(FLeaf->Entries());
}

class TCursorNavigation : public TChangeCheck {
  public:
    TCursorNavigation();
    ~TCursorNavigation() override;
    TCursorNavigation(const TCursorNavigation&) = delete;
    TCursorNavigation& operator=(const TCursorNavigation&) = delete;

    // ---- the operation bracket ----------------------------------------
    class TOperation {
      public:
        // `checkAlways`: begin with CheckAndResync whatever the session says.
        explicit TOperation(TCursorNavigation& cursor, bool checkAlways = false);
        ~TOperation();
        TOperation(const TOperation&) = delete;
        TOperation& operator=(const TOperation&) = delete;
        // The begin step found a change (false when nested).
        bool FoundChange() const noexcept { return FFoundChange; }

      private:
        TCursorNavigation& FCursor;
        bool FFoundChange = false;
    };

    // ---- indexes ---------------------------------------------------------
    // Selects the index by name (case-insensitive, "" the primary index),
    // drops the range and stays on the current record. 10022 for an unknown
    // name; the index and position are then unchanged.
    void SetToIndex(std::string_view name);
    // Selects index 0..IndexCount(), 31, or kNoIndex; loads its descriptor.
    void SelectIndex(int indexNo);
    int IndexCount() const;
    // The 120 descriptor bytes of index `indexNo` (zeros for kNoIndex).
    void GetIndexDesc(int indexNo, std::span<std::uint8_t, kIndexDescriptorSize> out) const;

    // ---- navigation --------------------------------------------------------
    void First();
    void Last();
    // 0, PIRIN_EOF or PIRIN_BOF; a given buffer (at least the record size)
    // receives the record image, or zeros at an end.
    [[nodiscard]] std::uint16_t GetNextRecord(std::span<std::uint8_t> buffer = {});
    [[nodiscard]] std::uint16_t GetPriorRecord(std::span<std::uint8_t> buffer = {});
    // Last() then GetPriorRecord(buffer), the second without its descent
    // when the table did not change in between
    // (cursor_navigation_shortcuts.cpp): the same position, record and code.
    [[nodiscard]] std::uint16_t GetLastRecord(std::span<std::uint8_t> buffer = {});
    // 0, PIRIN_BOF, PIRIN_EOF or PIRIN_NOCURRREC. With `lock` the derived
    // cursor locks and verifies the record first (LockCurrentForEdit).
    [[nodiscard]] std::uint16_t GetCurrentRecord(std::span<std::uint8_t> buffer, bool lock);
    // Raises `code` with the table name and database path unless it is 0.
    void CheckError(std::uint16_t code) const;
    void Refresh();

    // ---- counts, positions, bookmarks ----------------------------------
    std::int32_t RecordCount();
    std::int32_t RecNo();
    // RecNo without the operation bracket, for the caller of an operation
    // that has just placed the cursor (nothing can have changed since).
    std::int32_t CurrentRecNo() const noexcept;
    bool SetRecNo(std::int32_t position);
    std::size_t BookmarkSize() const noexcept;
    // Writes BookmarkSize() bytes.
    void GetBookmark(std::span<std::uint8_t> out) const;
    bool GotoBookmark(std::span<const std::uint8_t> bookmark, bool keepCracks);
    int CompareBookmarks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) const;

    // ---- keys --------------------------------------------------------------
    // The active index's key of a record image into `key` (KeyLength bytes).
    void BuildKey(std::span<const std::uint8_t> image, std::span<std::uint8_t> key) const;
    // `keyOrImage` is a built key (KeyLength bytes) or a record image; empty
    // means no key (false). `output`, when given, receives the record found.
    bool FindKey(bool keyIsBuilt, std::span<const std::uint8_t> keyOrImage,
                 std::span<std::uint8_t> output, int partialLength, bool nearest,
                 int fieldCount);

    // ---- key ranges (cursor_range.cpp) ----------------------------------------
    // Limits the view to the keys between the bounds, both inclusive. A bound
    // is a built key (KeyLength bytes) when `keyIsBuilt`, else a record image;
    // empty: no bound (an all-zero key). A field count of 1..KeyFieldCount-1
    // (or any count on a non-unique index, 0 meaning all key fields) makes the
    // bound cover that prefix. Stays on the current record when it is inside,
    // else moves to the nearest one. Nothing happens without an index; 10026
    // for a bad key or count.
    void SetRange(bool keyIsBuilt, std::span<const std::uint8_t> start, int startFieldCount,
                  std::span<const std::uint8_t> end, int endFieldCount);
    // Drops the range, staying on the current record.
    void CancelRange();

    // ---- filters (cursor_navigation_filters.cpp) ------------------------------
    static constexpr std::size_t kMaxFilters = 64;
    // A new inactive filter (the view does not change); 9482 when the list
    // holds kMaxFilters, 10051 without a tree or callback or for a tree that
    // names no field. Returns the filter as its handle.
    TFilter& AddFilter(std::unique_ptr<TFilterNode> tree, TFilterOptions options = {});
    TFilter& AddFilter(void* userData, TFilterCallback callback, TFilterOptions options = {});
    // Null: every filter. 10050 for a filter not in this cursor's list.
    void ActivateFilter(TFilter* filter = nullptr);
    void DeactivateFilter(TFilter* filter = nullptr);
    void RemoveFilter(TFilter* filter = nullptr);
    // The list in evaluation order.
    const std::vector<std::unique_ptr<TFilter>>& Filters() const noexcept { return FFilters; }
    // Gives this cursor a copy of each of `other`'s filters (trees copied,
    // the active ones activated). For clones.
    void CopyFilters(const TCursorNavigation& other);

    bool FilterActive() const noexcept { return FFilterActive; }
    const TRecordsBitmap& InUseBitmap() const noexcept { return *FInUseBitmap; }
    const TRecordsBitmap& RangeBitmap() const noexcept { return *FRangeBitmap; }

    // ---- steps of the write path -------------------------------------------
    // Called after this cursor's own insert, modify or delete, in this order:
    // RecomputeRangeBounds(), then RecordAdded (insert or modify) or
    // RecordRemoved (delete), then RepositionOn. The table's index state in
    // memory must already hold the change.
    void RecomputeRangeBounds();
    // Record `record` (image `image`) is new or changed: judged afresh by the
    // range and every active filter. Nothing happens unless FilterActive().
    void RecordAdded(std::int32_t record, std::span<const std::uint8_t> image);
    // Record `record` is gone from the view and from FilteredCount.
    void RecordRemoved(std::int32_t record);
    // Moves onto `record`, whose key for the active index comes from
    // `image` (as written, or as read for a deleted record), or, when it is
    // not in the view, onto the next record of the view (else the last one
    // before it, else the empty state); then loads the current record.
    void RepositionOn(std::int32_t record, std::span<const std::uint8_t> image);
    // RepositionOn after an insertion that put the record's entry of the
    // active index at `placed` (cursor_navigation_shortcuts.cpp): takes that
    // leaf and entry without a key search where the search would end there
    // too, else searches as RepositionOn does.
    void RepositionOnInserted(std::int32_t record, std::span<const std::uint8_t> image,
                              const TInsertPlace& placed);

    // Places this cursor on `other`'s current record: 0 or PIRIN_RECNOTFOUND.
    [[nodiscard]] std::uint16_t SyncToCursor(TCursorNavigation& other);

    // ---- change detection --------------------------------------------------
    // Recomputes the range bounds and the view bitmap (after a change).
    void Reset();
    // Resyncs when the table's counters in memory differ from the snapshot
    // (under the table's read lock, after its change check, unless the
    // cursor takes no locks); returns whether it did.
    bool QuickResync();
    // Asks the table (shared read lock, header counters) and resyncs on a
    // change; returns whether one was found.
    [[nodiscard]] bool CheckAndResync() override;

    // ---- state the derived cursor and clones read -----------------------
    int IndexNo() const noexcept { return FIndexNo; }
    const std::string& IndexName() const noexcept { return FIndexName; }
    std::uint16_t KeyLength() const noexcept { return FKeyLength; }
    int KeyFieldCount() const noexcept { return FKeyFieldCount; }
    bool Descending() const noexcept { return FDescending; }
    bool CaseInsensitive() const noexcept { return FCaseInsensitive; }
    bool Unique() const noexcept { return FUnique; }
    // The key fields' descriptors and descending flags, in key order.
    const std::vector<TFieldDescriptor>& KeyFields() const noexcept { return FKeyFields; }
    bool FieldDescending(int keyField) const noexcept {
        return keyField >= 0 && keyField < kMaxKeyFields &&
               FFieldDescending[static_cast<std::size_t>(keyField)];
    }
    // True without an index: record-number order over ViewBitmap.
    bool WithoutIndex() const noexcept;
    bool Bof() const noexcept { return FBof; }
    bool Eof() const noexcept { return FEof; }
    std::int32_t LogicalPos() const noexcept { return FLogicalPos; }
    // The record the cursor stands on (also on a crack); 0 when the view is
    // empty.
    std::int32_t CurrentRecordNumber() const noexcept;
    bool RangeActive() const noexcept { return FRangeActive; }
    std::span<const std::uint8_t> RangeStartKey() const noexcept { return FRangeStartKey; }
    std::span<const std::uint8_t> RangeEndKey() const noexcept { return FRangeEndKey; }
    std::int32_t RangeStart() const noexcept { return FRangeStart; }
    std::int32_t RangeEnd() const noexcept { return FRangeEnd; }
    const TRecordsBitmap& ViewBitmap() const noexcept { return *FViewBitmap; }
    std::int32_t FilteredCount() const noexcept { return FFilteredCount; }
    const std::array<std::uint32_t, 3>& ChangeSnapshot() const noexcept { return FChangeSnapshot; }

  protected:
    // ---- set-up by the derived cursor -------------------------------------
    // After the table is open: the files (BLOB file may be null) and the
    // cursor's current record buffer; all outlive the attachment. Takes the
    // change snapshot and InitPosition()s.
    void AttachTable(TDataFile& data, TIndexFile& index, TBlobFile* blob, TRecord& current);
    // Forgets the files and resets the position.
    void DetachTable() noexcept;
    bool Attached() const noexcept { return FData != nullptr; }
    // The fresh-open state: slot 1, logical position 1, no range (bounds 1
    // and the index header's record count), no filter, no cracks.
    void InitPosition();
    // Sets the range keys (KeyLength bytes each, taken as they are) and
    // re-places the cursor inside the range; the later range operations
    // build their keys and call this.
    void ApplyRange(std::span<const std::uint8_t> startKey, std::span<const std::uint8_t> endKey);
    // Drops the range (keys 0x00 / 0xFF, bounds 1 and the record count).
    void DropRange() noexcept;

    // Takes the table's counters as seen (after this cursor's own write).
    void TakeChangeSnapshot() { FChangeSnapshot = TableChangeCounters(); }

    TDataFile& Data() const noexcept { return *FData; }
    TIndexFile& Index() const noexcept { return *FIndex; }
    TBlobFile* Blob() const noexcept { return FBlob; }
    TRecord& Current() const noexcept { return *FCurrent; }

    // ---- hooks ---------------------------------------------------------------
    // Exclusive (not a clone sharing an exclusive open) or read-only media.
    virtual bool TakesNoLocks() const = 0;
    virtual bool StrictChangeDetection() const = 0;
    // The table's shared read lock; true when a change was found (and the
    // caches emptied).
    virtual bool BeginTableRead() = 0;
    virtual void EndTableRead() = 0;
    // The change counters of the data, index and BLOB headers in memory
    // (BLOB 0 without BLOB fields).
    virtual std::array<std::uint32_t, 3> TableChangeCounters() const = 0;
    // Locks the current record for editing and verifies it against `buffer`.
    virtual void LockCurrentForEdit(std::span<const std::uint8_t> buffer) = 0;
    [[noreturn]] virtual void RaiseCursorError(std::uint16_t code,
                                               std::string_view extra = {}) const = 0;
    // The table's character map (null without a language driver).
    virtual const TLanguageCharMap* CharMap() const = 0;
    // The current record was just read from disk, inside the operation
    // whose change check allowed that read: the derived cursor may read
    // ahead what it will want next. `walk`: the direction of a step (none
    // after a search or a jump).
    virtual void AfterRecordRead(std::optional<TReadDirection> /*walk*/) {}
    // The direction of the step that loaded the current record, from disk
    // or from the cache; none after a search, a jump or a blank record.
    std::optional<TReadDirection> LastWalk() const noexcept { return FLastWalk; }

    // The records of the entries that follow the current one in the
    // direction of travel (on the leaf copy, or the next records of the view
    // without an index), at most out.size(); returns how many.
    std::size_t UpcomingRecords(TReadDirection direction, std::span<std::int32_t> out) const;
    // The leaf linked after (forward) or before the leaf copy; 0 at the
    // chain's end, on an empty view or without an index.
    std::int32_t NeighbourLeaf(TReadDirection direction) const noexcept {
        if (WithoutIndex() || FLeaf.Entries() == 0) return 0;
        return direction == TReadDirection::Forward ? FLeaf.Next : FLeaf.Previous;
    }

  private:
    enum class TWalk : std::uint8_t { Done, Restart };
    static constexpr int kMaxDepth = 64;
    // A walk restarts once per change found; a table that keeps changing
    // under one operation this often is reported instead of chased.
    static constexpr int kMaxRestarts = 1000;

    template <class TAttempt>
    void UntilComplete(TAttempt&& attempt) {
        for (int restarts = 0; attempt() == TWalk::Restart; ++restarts)
            if (restarts >= kMaxRestarts) RaiseCursorError(PIRIN_KEYORRECDELETED);
    }

    // Where a descent ended: the leaf (copied into FScratch), the entry on
    // it (0 for an empty index), its place in the index, and whether it
    // equals the key searched.
    struct TDescent {
        int Slot = 0;
        std::int32_t LogicalPos = 0;
        bool Found = false;
        // A search for the nearest entry: the key is above every entry of
        // the leaf (Slot is its last).
        bool Above = false;
    };
    // A walk's position: the leaf it reads (FLeaf or FScratch), the entry,
    // and the entry's place in the index.
    struct TStepper {
        const TLeafCopy* Leaf = nullptr;
        int Slot = 0;
        std::int32_t LogicalPos = 0;
    };
    // An entry a walk may have to return to (Page 0: none).
    struct TMark {
        std::int32_t Page = 0;
        int Slot = 0;
        std::int32_t LogicalPos = 0;
    };

    // bracket
    bool BeginOperation(bool checkAlways);
    void EndOperation() noexcept;

    // index state
    bool Selectable(int indexNo) const;
    void LoadIndexState(int indexNo);
    const TKeyDescription& Keys() const;
    int CompareKey(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                   std::size_t length) const;
    int CompareKey(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) const;
    bool AboveRange(std::span<const std::uint8_t> key) const;
    bool BelowRange(std::span<const std::uint8_t> key) const;
    bool InView(std::int32_t record) const noexcept;
    // Records in the view, without the bracket.
    std::int32_t ViewCount() const;

    // walks (cursor_navigation_walks.cpp); each wrapper restarts its Try
    // until it completes
    void GoFirstEntry();
    void GoLastEntry();
    void GoEdge(bool last);
    void MoveBy(std::int32_t n);
    bool FindNearest(std::span<const std::uint8_t> key, bool nearest, bool keepCracks);
    void GoToPosition(std::int32_t n);
    TWalk TryEdge(bool last);
    TWalk TryMoveBy(std::int32_t n);
    // A step by one within the leaf copy with no range or filter active
    // (false: not such a step; nothing changed).
    bool StepWithinLeaf(std::int32_t n) noexcept;
    TWalk TryFindNearest(std::span<const std::uint8_t> key, bool nearest, bool& found);
    TWalk TryGoToOrdinal(std::int64_t ordinal);
    TPagePin FetchIndexPage(int index, std::int32_t page);
    // The same with the settings of the index taken when a walk began.
    TPagePin FetchIndexPage(const TPageConfig& config, std::int32_t page);
    // An interior or leaf page below the root (empty pin: restart).
    TPagePin FetchChild(const TPageConfig& config, std::int32_t page);
    // A leaf reached through a link: 8965 unless it is one with entries.
    void CheckLeaf(const TPage& page) const;
    // Root to leaf in index `index`: by `key` (FindEntry), or along the
    // first (last) entries when `key` is empty.
    TWalk Descend(int index, std::span<const std::uint8_t> key, bool nearest, bool last,
                  TDescent& result);
    // Copies leaf `page` of the active index into FScratch.
    TWalk LoadLeaf(std::int32_t page);
    // One entry on, following the leaf chain; `moved` false at the end.
    TWalk Step(TStepper& at, bool forward, bool& moved);
    TWalk Reload(TStepper& at, const TMark& mark);
    // Takes the walk's position (and leaf) as the cursor's; a leaf taken
    // lazily keeps the entry stood on. 8708 when the leaf's page left the
    // cache during the walk (the position is then as it was).
    void Commit(const TStepper& at, bool bof, bool eof);
    // Makes the cursor's leaf whole before the cursor moves on it: copied
    // from the cached page, or from the page read again when that left the
    // cache; when the table changed since the leaf was taken, resyncs and
    // restarts instead.
    TWalk WholeLeaf();
    void SetEmpty() noexcept;
    // without an index
    void BitmapEdge(bool last);
    void BitmapMoveBy(std::int32_t n);
    // The record itself when in the view, else the next, else the previous.
    void BitmapPlaceNear(std::int32_t record);
    bool PlaceOnBookmark(std::span<const std::uint8_t> bookmark, bool keepCracks);
    // Stands on the entry an insertion placed (see RepositionOnInserted);
    // false when a search must decide.
    bool PlaceOnInserted(std::int32_t record, const TInsertPlace& placed);

    // bounds, view and resync (cursor_navigation_resync.cpp)
    // Back onto the bookmark after Reset, keeping the cracks.
    void Resync();
    // Compares the table's counters with the snapshot and takes them.
    bool CountersChanged();
    // Onto `record` (key from `image`) or the nearest record of the view;
    // record 0: before the first record. Loads the current record.
    void PlaceNear(std::int32_t record, std::span<const std::uint8_t> image, bool keepCracks);
    // The view changed: back onto the current record or the nearest one.
    void Reposition();

    // ranges (cursor_range.cpp)
    TWalk TryRangeBound(bool end, std::int32_t& bound);
    void MakeRangeKey(bool keyIsBuilt, std::span<const std::uint8_t> bound, int fieldCount,
                      bool end, std::span<std::uint8_t> key);

    // filter list and analysis (cursor_navigation_filters.cpp)
    TFilter& InsertFilter(std::unique_ptr<TFilter> filter);
    void ChangeFilters(TFilter* filter, bool activate, bool remove);
    void RecomputeFilterActive();
    void CheckNode(const TFilterNode& node) const;
    void AnalyseNode(TFilterNode& node, bool estimate);
    // The index that answers a comparison (-1: none).
    int ChooseIndex(const TFilterNode& node) const;
    std::uint16_t IndexKeyLength(int index) const;
    // Low and high keys of a comparison on index `index` (its key length).
    void ComparisonKeys(const TFilterNode& node, int index, std::span<std::uint8_t> low,
                        std::span<std::uint8_t> high) const;
    TWalk TryEstimate(int index, std::span<const std::uint8_t> low,
                      std::span<const std::uint8_t> high, std::int64_t& count);
    bool Accepts(const TFilter& filter, std::span<const std::uint8_t> image, std::int32_t record);
    bool NodeAccepts(const TFilterNode& node, std::span<const std::uint8_t> image) const;

    // bitmaps and the view (cursor_navigation_view.cpp)
    void ShrinkViewBitmaps() noexcept;
    // Builds the bitmaps of `filter` (null: of every active filter).
    void BuildFilterBitmaps(TFilter* filter);
    TWalk TryBuildPass(TFilter* filter);
    TWalk TryBuildInUse();
    // The records of the entries of index `index` between `low` and `high`
    // into `bitmap` (cleared first); reads index pages only.
    TWalk TryIndexWalk(int index, std::span<const std::uint8_t> low,
                       std::span<const std::uint8_t> high, TRecordsBitmap& bitmap);
    TWalk TryEvaluateNode(TFilterNode& node, TRecordsBitmap& bitmap);
    TWalk TryEvaluateByIndex(const TFilterNode& node, TRecordsBitmap& bitmap);
    // Clears the bits of the records in `bitmap` that `filter` (or `node`)
    // does not accept, reading each record through the cache.
    TWalk TryScan(const TFilter* filter, const TFilterNode* node, TRecordsBitmap& bitmap);
    void CombineView();

    // records
    // `walk`: a step in that direction (reads the run ahead); none: a
    // search or a jump, which reads the one record.
    void LoadCurrent(std::optional<TReadDirection> walk = std::nullopt);
    void CheckRecordBuffer(std::span<const std::uint8_t> buffer) const;
    void CopyCurrentTo(std::span<std::uint8_t> buffer) const;
    void BlankBuffer(std::span<std::uint8_t> buffer) const;
    std::int32_t ReadAheadCount(TReadDirection direction) const;

    // keys (cursor_navigation_keys.cpp)
    std::size_t PrefixLength(int fieldCount, int partialLength) const;
    // Fills `key` from byte `from` to the layout's key length with the
    // lowest key bytes, or the highest.
    void FillKeyTail(const TIndexKeyLayout& layout, std::span<std::uint8_t> key,
                     std::size_t from, bool highest) const;
    std::span<const std::uint8_t> CurrentKey() const noexcept;

    TDataFile* FData = nullptr;
    TIndexFile* FIndex = nullptr;
    TBlobFile* FBlob = nullptr;
    TRecord* FCurrent = nullptr;

    // active index
    int FIndexNo = kPrimaryIndex;
    std::string FIndexName;
    std::uint16_t FKeyLength = 0;
    bool FDescending = false;
    bool FCaseInsensitive = false;
    bool FUnique = false;
    int FKeyFieldCount = 0;
    std::array<bool, kMaxKeyFields> FFieldDescending{};
    std::vector<TFieldDescriptor> FKeyFields;
    // Key layout of indexes 0..30 (for BuildKey and the prefix lengths).
    std::optional<TIndexKeyLayout> FLayout;
    mutable std::unique_ptr<TIndexKeyBuilder> FBuilder;

    // position
    TLeafCopy FLeaf;
    std::optional<TReadDirection> FLastWalk;  // see LastWalk
    TLeafCopy FScratch;
    int FSlot = 1;
    std::int32_t FLogicalPos = 1;
    std::int32_t FPhysRecNo = 0;
    bool FBof = false;
    bool FEof = false;

    // range and view
    bool FRangeActive = false;
    std::array<std::uint8_t, kRangeKeySize> FRangeStartKey{};
    std::array<std::uint8_t, kRangeKeySize> FRangeEndKey{};
    std::int32_t FRangeStart = 1;
    std::int32_t FRangeEnd = 0;
    bool FFilterActive = false;
    TPooledBitmap FViewBitmap;
    std::int32_t FFilteredCount = 0;
    TPooledBitmap FInUseBitmap;
    TPooledBitmap FRangeBitmap;
    std::vector<std::unique_ptr<TFilter>> FFilters;
    // Set while bitmaps are built or range bounds recomputed: nested
    // requests to build or combine do nothing.
    bool FBuilding = false;
    bool FRecomputingRange = false;

    std::array<std::uint32_t, 3> FChangeSnapshot{};
    // The table's counters when FLeaf was taken lazily.
    std::array<std::uint32_t, 3> FLeafCounters{};
    int FOperationDepth = 0;
    bool FResyncing = false;

    // the search key (no allocation per search)
    std::array<std::uint8_t, kMaxKeyLength> FSearchKey{};
};

}  // namespace pirin
