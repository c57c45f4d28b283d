// TPirinDataSet and TPirinDBDataSet: the dataset over one engine cursor.
// TPirinDataSet does everything that needs only the cursor: reading records
// into the framework's buffers (8705/8706 become before-first/after-last),
// record numbers and bookmarks, field values by the dataset state, the key
// buffers of the key operations and BLOB streams. TPirinDBDataSet binds it
// to a database by DatabaseName/SessionName: the database is taken while
// any database flag is set (0 open, 3 existence check, 4 field definitions,
// 5 index definitions) and released when the last one clears.
//
// Record buffer: the record image (record size), the calculated area (none
// here), then at R the record number (i32, -1 for a new record), at R + 4 the
// bookmark flag, at R + 8 the bookmark.
//
// Ownership: the dataset owns its cursor, buffers and field objects; the
// database belongs to its session or the application. Threads: the thread
// of the dataset's session; cursor calls take no engine lock.
// Failures: EDatabaseError with the fixed texts; engine errors pass through.
// A failure while opening leaves the dataset closed, its cursor freed and
// its database released.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/data_cursor.h"
#include "tables/dataset.h"
#include "tables/pirin_database.h"
#include "tables/session_list.h"

namespace pirin {

class TPirinSession;

// One key or search value: null, a whole number or text.
using TKeyValue = std::variant<std::nullptr_t, std::int64_t, std::string>;

// Options of the searches by field value: compare strings ignoring case; a
// string value matches the beginning of the last listed field (a trailing
// "*" is dropped).
struct TLocateOptions {
    bool CaseInsensitive = false;
    bool PartialKey = false;
};

// Field names joined by ";" (empty parts skipped).
std::vector<std::string> SplitFieldNames(std::string_view names);

enum class TBookmarkFlag : std::uint8_t { Current = 0, BOF = 1, EOF_ = 2, Inserted = 3 };

// The six key buffers.
enum class TKeyIndex : std::uint8_t { Lookup, RangeStart, RangeEnd, CurRangeStart, CurRangeEnd, Save };
inline constexpr std::size_t kKeyBufferCount = 6;
// Bytes before a key buffer's record part: modified flag, field count.
inline constexpr std::size_t kKeyHeaderSize = 8;

class TPirinDataSet : public TDataSet {
  public:
    TPirinDataSet() = default;
    ~TPirinDataSet() override;

    // Framework properties: display labels from the field descriptions; a
    // new record starting as a copy of the current one; calculated fields
    // on every read.
    bool AutoDisplayLabels = false;
    bool CopyOnAppend = false;
    bool AutoCalcFields = true;

    // The engine cursor; null while closed.
    TDataCursor* Cursor() const noexcept { return FCursor.get(); }
    bool CanModify() const noexcept { return FCanModify; }
    // Record numbers are positions: a cursor without an active filter.
    bool IsSequenced() const noexcept { return FCursor && !FCursor->FilterActive(); }

    std::int32_t RecordCount() override;
    std::int32_t RecNo() const override;
    void SetRecNo(std::int32_t value) override;

    // Bookmarks of the active record; empty while there is none.
    std::vector<std::uint8_t> GetBookmark() const;
    bool GotoBookmark(std::span<const std::uint8_t> bookmark);
    // Absent bookmarks compare equal to each other and above present ones.
    int CompareBookmarks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) const;

    bool GetFieldData(const TField& field, std::span<std::uint8_t> value) const override;
    void SetFieldData(TField& field, std::optional<std::span<const std::uint8_t>> value) override;
    std::unique_ptr<TPirinBlobStream> CreateBlobStream(const TField& field,
                                                       TBlobStreamMode mode) override;
    // In blob_stream.cpp.
    using TDataSet::ReadBlobText;
    void ReadBlobText(const TField& field, std::string& text) override;
    void WriteBlobText(const TField& field, std::span<const std::uint8_t> bytes) override;

    // ---- used by BLOB streams ----
    // The record image field values use in the current state; empty: none.
    std::span<std::uint8_t> RecordImage() const;
    bool BlobModified(int fieldNo) const;
    void SetBlobModified(int fieldNo, bool value);
    // The whole BLOB of a field of the active record into `bytes` (grown to
    // the size and a quarter when not larger than the size); returns the
    // size, or 0 when it cannot be read. A record changed by another writer
    // (8708) has the dataset refreshed and the BLOB opened once more.
    std::uint32_t ReadWholeBlob(int fieldNo, std::vector<std::uint8_t>& bytes);
    // Reads the active record again (after 8708 from another writer).
    void RefreshRecord() { Refresh(); }

    // ---- searches by field value (pirin_dataset_search.cpp) ----
    // Moves to the first record whose fields (names joined by ";") equal the
    // values (one value per field, in order); false, and the current record
    // unchanged, when none does. Searches by key on an index that begins with
    // the fields, else scans the table through an equality filter.
    bool Locate(std::string_view fieldNames, const std::vector<TKeyValue>& values,
                TLocateOptions options = {});
    bool Locate(std::string_view fieldNames, const TKeyValue& value, TLocateOptions options = {}) {
        return Locate(fieldNames, std::vector<TKeyValue>{value}, options);
    }
    // The values of `resultFields` (names joined by ";") of the first record
    // that matches, without moving and without scroll events; empty when
    // none matches. Whole-number fields give numbers, null fields null, the
    // others their text.
    std::vector<TKeyValue> Lookup(std::string_view fieldNames, const std::vector<TKeyValue>& values,
                                  std::string_view resultFields);

    // ---- filters and find (pirin_dataset_filters.cpp) ----
    // Filter: a condition text (filter_text.h) whose records the dataset
    // shows while Filtered; text that cannot be read raises 10051.
    // OnFilterRecord: asked for each candidate record (its fields read the
    // candidate) and may clear `accept`. Both are active together while
    // Filtered; FindFirst/Next/Prior/Last apply them for one search when
    // Filtered is off. Changing any of them while open goes to the start.
    using TFilterRecordEvent = std::function<void(TDataSet& dataSet, bool& accept)>;
    struct TFilterOptionSet {
        bool CaseInsensitive = false;
        // Without it a text constant ending in "*" matches the beginning.
        bool NoPartialCompare = false;
    };
    const std::string& Filter() const noexcept { return FFilterText; }
    void SetFilter(std::string_view text);
    TFilterOptionSet FilterOptions() const noexcept { return FFilterOptions; }
    void SetFilterOptions(TFilterOptionSet options);
    void SetOnFilterRecord(TFilterRecordEvent event);
    bool Filtered() const noexcept { return FFiltered; }
    void SetFiltered(bool value);
    // Receives an exception OnFilterRecord raised; the record is then
    // accepted unless the event had cleared `accept`. Without a handler the
    // exception passes out of the operation that evaluated the filter.
    std::function<void(std::exception_ptr error)> OnFilterException;
    bool FindFirst() { return FindRecord(true, true); }
    bool FindNext() { return FindRecord(false, true); }
    bool FindPrior() { return FindRecord(false, false); }
    bool FindLast() { return FindRecord(true, false); }

    // ---- current index ----
    int IndexFieldCount() const noexcept { return FIndexFieldCount; }
    int IndexFieldNo(int i) const noexcept { return FIndexFields[static_cast<std::size_t>(i)]; }
    bool IsIndexField(const TField& field) const;

  protected:
    // ---- virtual operations ----
    virtual std::unique_ptr<TDataCursor> CreateHandle() { return nullptr; }
    virtual void DestroyHandle();
    virtual void FreeLookupCursor() {}
    // A cursor able to search the fields (names joined by ";") by key, for
    // searches by field value; none in the base.
    virtual TDataCursor* GetLookupCursor(std::string_view /*fieldNames*/, bool /*caseInsensitive*/) {
        return nullptr;
    }
    virtual void PrepareCursor() {}

    // ---- framework hooks ----
    void OpenCursor() override;
    void CloseCursor() override;
    std::size_t RecordBufferSize() const override;
    TGetResult GetRecord(std::span<std::uint8_t> buffer, TGetMode mode, bool check) override;
    TGetResult CompleteSearched(std::span<std::uint8_t> buffer) override;
    TGetResult CompletePosted(std::span<std::uint8_t> buffer) override;
    void InternalFirst() override;
    void InternalSetToRecord(std::span<const std::uint8_t> buffer) override;
    void InternalRefresh() override;
    virtual void InternalOpen();
    virtual void InternalClose();
    bool CanEdit() const override { return FCanModify; }
    void InternalEdit() override;
    void InternalInitRecord(std::span<std::uint8_t> buffer, bool copyCurrent) override;
    void InternalPost(bool inserting) override;
    void InternalCancel(bool inserting) override;
    void InternalDelete() override;
    bool CopiesOnAppend() const override { return CopyOnAppend; }

    // The common search of Locate and Lookup: the record found is left in
    // the search record; with `move` the table's cursor stands on it.
    bool LocateRecord(std::string_view fieldNames, const std::vector<TKeyValue>& values,
                      TLocateOptions options, bool move);
    bool FindRecord(bool restart, bool forward);
    // Assigns a key or search value to a field (in a state that edits).
    static void AssignValue(TField& field, const TKeyValue& value);

    // Field definitions from the cursor's field descriptors.
    void BuildFieldDefs(TDataCursor& cursor);
    void ReadIndexInfo();
    // ---- key buffers ----
    // Clears a key buffer (zeros, record part blanked) and makes it the one
    // the set-key state edits.
    void BeginKeyEdit(TKeyIndex key);
    std::span<std::uint8_t> KeyRecord(TKeyIndex key);
    std::int32_t KeyFieldCount(TKeyIndex key) const;
    void SetKeyFieldCount(TKeyIndex key, std::int32_t count);
    // From CreateHandle: the cursor it returns stands where its Open left
    // it, on the first record of the index to use, so the open need not go
    // there again.
    void SetHandleAtFirst() noexcept { FHandleAtFirst = true; }

    std::unique_ptr<TDataCursor> FCursor;

  private:
    // Whether the current index can search the fields by key: they are its
    // leading fields in order, and its case option is the one asked when a
    // field is a string.
    bool CurrentIndexServes(const std::vector<TField*>& fields, bool caseInsensitive) const;
    // Blanks the search record and gives the fields their values there.
    void FillSearchRecord(const std::vector<TField*>& fields, const std::vector<TKeyValue>& values,
                          bool partialKey);
    bool SearchByKey(TDataCursor& keyCursor, const std::vector<TField*>& fields, bool partialKey,
                     bool move);
    bool SearchByScan(const std::vector<TField*>& fields, TLocateOptions options);
    // A comparison of a field with its value in the search record.
    std::unique_ptr<TFilterNode> ComparisonNode(const TField& field, TFilterOperator op, bool caseInsensitive,
                                                bool partial) const;
    // Runs `fill` in the Filter state on `image`, restoring the state after.
    void InFilterState(std::span<std::uint8_t> image, const std::function<void()>& fill);
    // The filters of Filter and OnFilterRecord on the cursor (when open).
    void CreateExpressionFilter();
    // After Filter or FilterOptions changed: the filter made again when
    // open; on failure `undo` restores the property.
    void RebuildExpressionFilter(const std::function<void()>& undo);
    void CreateCallbackFilter();
    void ActivateFilters(bool on);
    // After a filter change: the lookup cursor goes, and when filtered the
    // dataset goes to the start.
    void FiltersChanged(bool toStart);
    static bool AcceptRecord(void* self, TCursorNavigation& cursor, std::span<const std::uint8_t> image,
                             std::int32_t record);
    // Fills the position part of `buffer` (flag, record number, bookmark)
    // from the cursor, which has just fetched the record image into it.
    TGetResult CompleteFetched(std::span<std::uint8_t> buffer);
    std::size_t RecNoOffset() const noexcept { return static_cast<std::size_t>(FRecordSize); }
    std::size_t FlagOffset() const noexcept { return RecNoOffset() + 4; }
    std::size_t BookmarkOffset() const noexcept { return RecNoOffset() + 8; }
    std::span<const std::uint8_t> BookmarkOf(std::span<const std::uint8_t> buffer) const;
    // The cursor stands on the buffer's record, off the cracks, with no
    // change of the table waiting for its resync.
    bool CursorStandsOn(std::span<const std::uint8_t> buffer) const;
    TBookmarkFlag FlagOf(std::span<const std::uint8_t> buffer) const;
    std::span<std::uint8_t> ActiveImage();
    // Releases the BLOBs written in the active image and forgets the marks.
    void ReleaseWrittenBlobs();

    bool FHandleAtFirst = false;
    int FRecordSize = 0;
    std::size_t FBookmarkSize = 0;
    bool FCanModify = false;
    int FIndexFieldCount = 0;
    std::array<int, kMaxKeyFields> FIndexFields{};
    bool FIndexCaseInsensitive = false;
    int FKeyLength = 0;
    std::array<std::vector<std::uint8_t>, kKeyBufferCount> FKeyBuffers;
    TKeyIndex FEditedKey = TKeyIndex::Lookup;
    std::vector<std::uint8_t> FOldRecord;
    // The record searches fill and receive the record found into; the
    // record image of the Filter state while it is set.
    std::vector<std::uint8_t> FSearchRecord;
    std::span<std::uint8_t> FFilterImage;
    // The candidate record OnFilterRecord reads.
    std::vector<std::uint8_t> FCandidate;
    std::string FFilterText;
    TFilterOptionSet FFilterOptions;
    TFilterRecordEvent FOnFilterRecord;
    bool FFiltered = false;
    TFilter* FExpressionFilter = nullptr;
    TFilter* FCallbackFilter = nullptr;
    std::vector<bool> FBlobModified;
};

class TPirinDBDataSet : public TPirinDataSet, public TDatabaseClient, public TPirinDataSetBase {
  public:
    explicit TPirinDBDataSet(const void* owner = nullptr);
    ~TPirinDBDataSet() override;

    const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    void SetDatabaseName(std::string_view value);
    const std::string& SessionName() const noexcept override { return FSessionName; }
    void SetSessionName(std::string_view value);
    const void* Owner() const noexcept override { return FOwner; }
    void TakeSessionName(const std::string& name) override;
    // The database held while a flag is set; null otherwise.
    TPirinDatabase* Database() const noexcept { return FDatabase; }
    bool InMemory() const noexcept { return FInMemory; }

    void Disconnect() override { Close(); }

  protected:
    enum TDBFlag : int { kFlagOpen = 0, kFlagExists = 3, kFlagFieldDefs = 4, kFlagIndexDefs = 5 };
    virtual void SetDBFlag(int flag, bool value);
    void OpenCursor() override;
    void CloseCursor() override;
    void CheckInactive() const;
    // Called when the table, database or session name changes.
    virtual void NamesChanged() {}

  private:
    const void* FOwner;
    std::string FDatabaseName;
    std::string FSessionName;
    bool FInMemory = false;
    unsigned FDBFlags = 0;
    TPirinDatabase* FDatabase = nullptr;
};

}  // namespace pirin
