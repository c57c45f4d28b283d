// TDataSet: the generic dataset the table component plugs into. It keeps
// the state, the field objects, the active record buffer and the scrolling
// events, and does First/Next/Prior/Last/MoveBy through the hooks a derived
// dataset supplies (open and close the cursor, read a record, position the
// cursor on a buffer, field data, BLOB streams).
//
// Buffer window. The window holds one buffer, the active record; a further
// scratch buffer receives each read, so a failed or empty read leaves the
// active record as it was. Before every relative move the cursor is brought
// back to the active record (InternalSetToRecord), so a key search that
// missed, and left the cursor elsewhere, does not disturb the dataset.
// States: Inactive, Browse, Edit, Insert, SetKey, CalcFields, Filter,
// OldValue, NewValue and BlockRead as the table component needs them. Edit
// and Insert work in the active buffer; Post hands it to the write hooks,
// Cancel brings back the record that was active before.
//
// Ownership: the dataset owns its buffers and field objects. Threads: one
// thread at a time. Failures: EDatabaseError for misuse; read failures as
// the hooks raise them. A failed Open leaves the dataset closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/fields.h"

namespace pirin {

class TPirinBlobStream;

enum class TDataSetState : std::uint8_t {
    Inactive,
    Browse,
    Edit,
    Insert,
    SetKey,
    CalcFields,
    Filter,
    NewValue,
    OldValue,
    BlockRead,
};

// Last: the cursor goes to the last record and reads it (what a move to the
// end then Prior would do, in one step).
enum class TGetMode : std::uint8_t { Current, Next, Prior, Last };
enum class TGetResult : std::uint8_t { OK, BOF, EOF_, Error };
enum class TBlobStreamMode : std::uint8_t { Read, Write, ReadWrite };

class TDataSet {
  public:
    using TDataSetEvent = std::function<void(TDataSet& dataSet)>;

    TDataSet() = default;
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    // ---- life ----
    bool Active() const noexcept { return FState != TDataSetState::Inactive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const noexcept { return FState; }

    // ---- navigation ----
    void First();
    void Last();
    void Next();
    void Prior();
    // Moves up to `distance` records; returns how far it went.
    int MoveBy(int distance);
    bool Bof() const noexcept { return FBof; }
    bool Eof() const noexcept { return FEof; }
    bool IsEmpty() const noexcept { return !FHasRecord; }
    // Reads the active record again from the cursor.
    void Refresh();

    // ---- editing ----
    // Edit: the active record becomes editable. Insert/Append: a new record
    // (where the cursor stands / at the end). Post writes it, Cancel gives it
    // up, Delete removes the active record. Leaving a record or changing the
    // index while editing posts first (CheckBrowseMode).
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode();
    bool Modified() const noexcept { return FModified; }
    // Fields call this after a value changed.
    void FieldChanged() noexcept { FModified = true; }

    virtual std::int32_t RecordCount() = 0;
    virtual std::int32_t RecNo() const = 0;
    virtual void SetRecNo(std::int32_t value) = 0;

    // ---- fields ----
    const std::vector<TFieldDef>& FieldDefs() const noexcept { return FFieldDefs; }
    const std::vector<std::unique_ptr<TField>>& Fields() const noexcept { return FFields; }
    TField* FindField(std::string_view name) const;
    // EDatabaseError "Field '%s' not found" when there is none.
    TField& FieldByName(std::string_view name) const;
    // The field whose FieldNo is `fieldNo`, or null.
    TField* FieldByNumber(int fieldNo) const;
    // Moves on whenever the field objects are made or destroyed (at every
    // open and close): whoever holds fields found by name finds them again
    // when it differs from the value seen then.
    std::uint64_t FieldsGeneration() const noexcept { return FFieldsGeneration; }

    // ---- field data (the fields call these) ----
    virtual bool GetFieldData(const TField& field, std::span<std::uint8_t> value) const = 0;
    virtual void SetFieldData(TField& field, std::optional<std::span<const std::uint8_t>> value) = 0;
    virtual std::unique_ptr<TPirinBlobStream> CreateBlobStream(const TField& field,
                                                               TBlobStreamMode mode) = 0;
    // The whole value of a BLOB field of the active record, as a read
    // stream from its start would give it (the same errors), into `text`
    // (whose storage a reader of one value after another reuses).
    virtual void ReadBlobText(const TField& field, std::string& text) = 0;
    std::string ReadBlobText(const TField& field) {
        std::string text;
        ReadBlobText(field, text);
        return text;
    }
    // Replaces the value of a BLOB field of the active record, as a write
    // stream given the bytes at once would (the same errors).
    virtual void WriteBlobText(const TField& field, std::span<const std::uint8_t> bytes) = 0;

    // ---- events ----
    TDataSetEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetEvent BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh;
    TDataSetEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit, BeforePost, AfterPost;
    TDataSetEvent BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, OnNewRecord;

  protected:
    // ---- hooks ----
    virtual void OpenCursor() = 0;   // makes the cursor and runs InternalOpen
    virtual void CloseCursor() = 0;  // runs InternalClose and frees the cursor
    virtual std::size_t RecordBufferSize() const = 0;
    virtual TGetResult GetRecord(std::span<std::uint8_t> buffer, TGetMode mode, bool check) = 0;
    // Completes `buffer`, into which the cursor's key search just copied the
    // record image it placed the cursor on, as GetRecord(Current) would fill
    // it; the base reads the record again.
    virtual TGetResult CompleteSearched(std::span<std::uint8_t> buffer) {
        return GetRecord(buffer, TGetMode::Current, false);
    }
    // Completes `buffer`, which holds the record the post just wrote, as
    // GetRecord(Current) would fill it, where the cursor stands on that
    // record; anything else (the base always) means: read where it stands.
    virtual TGetResult CompletePosted(std::span<std::uint8_t>) { return TGetResult::Error; }
    virtual void InternalFirst() = 0;
    // Brings the cursor back to the record of a buffer.
    virtual void InternalSetToRecord(std::span<const std::uint8_t> buffer) = 0;
    virtual void InternalRefresh() {}
    // Editing hooks: the record is read again (and locked) for editing; a
    // new record is made in the active buffer; the record is written,
    // given up or deleted.
    virtual bool CanEdit() const = 0;
    virtual void InternalEdit() = 0;
    virtual void InternalInitRecord(std::span<std::uint8_t> buffer, bool copyCurrent) = 0;
    virtual void InternalPost(bool inserting) = 0;
    virtual void InternalCancel(bool inserting) = 0;
    virtual void InternalDelete() = 0;
    virtual bool CopiesOnAppend() const { return false; }

    void SetState(TDataSetState state) noexcept { FState = state; }
    std::vector<TFieldDef>& MutableFieldDefs() noexcept { return FFieldDefs; }
    // Makes a field object of the class its type asks for.
    void CreateFields();
    void DestroyFields() noexcept {
        FFields.clear();
        ++FFieldsGeneration;
    }
    // The active buffer (empty while the dataset has no record).
    std::span<std::uint8_t> ActiveBuffer() noexcept;
    std::span<const std::uint8_t> ActiveBuffer() const noexcept;
    bool HasRecord() const noexcept { return FHasRecord; }
    // Re-reads the active record where the cursor now stands (after a key
    // search or a jump); false when there is none there.
    bool ResyncToCursor();
    // The buffer a key search copies the record it finds into, and the
    // ResyncToCursor that takes that record without reading it again.
    std::span<std::uint8_t> SearchBuffer() noexcept { return FScratch; }
    bool ResyncToSearched();
    // Sizes the buffers again after RecordBufferSize changed (the bookmark
    // of another index); the active record must be read again.
    void ResizeBuffers();
    // Reads the first record after the cursor has been set to the start.
    void ReadFirst();
    void Fire(const TDataSetEvent& event) {
        if (event) event(*this);
    }

    // EDatabaseError while the dataset is closed.
    void CheckActive() const;

  private:
    void AllocateBuffers();
    void ReleaseBuffers() noexcept;
    bool Step(TGetMode mode);
    void CheckCanModify() const;
    std::unique_ptr<TField> NewField(const TFieldDef& def);
    void StartNewRecord(bool append);
    // After a post, cancel or delete: the record the cursor stands on, or
    // the nearest one.
    void ReadAfterChange();

    TDataSetState FState = TDataSetState::Inactive;
    std::vector<TFieldDef> FFieldDefs;
    std::vector<std::unique_ptr<TField>> FFields;
    std::uint64_t FFieldsGeneration = 0;
    std::vector<std::uint8_t> FActive;
    std::vector<std::uint8_t> FScratch;
    bool FHasRecord = false;
    bool FBof = true;
    bool FEof = true;
    bool FModified = false;
    // The active record before an insert, brought back by Cancel.
    std::vector<std::uint8_t> FBeforeInsert;
    bool FHadRecordBeforeInsert = false;
    // An append whose Cancel reads the last record (see StartNewRecord).
    bool FLastOnCancel = false;
};

}  // namespace pirin
