// TDataCursor: the handle through which a table component works on one
// table. It is set up (table name, flags, password callback), opened once,
// used and closed. Opening finds or opens the shared TDataTable of its
// database, verifies the headers for the first opener, passes the password
// gate, builds the field descriptors and stands on the first record of the
// primary index (or of the index set with SetOpenIndex). Navigation and key
// search come from TCursorNavigation; this class supplies the table to it
// and adds field access, BLOB handles, record locks for editing and clones.
//
// A failed Open leaves nothing behind: the cursor is closed again, the
// table's OpenCount is where it was, and a table object nobody uses is gone.
//
// Ownership: the cursor holds its table through the directory (which owns
// it), and owns its current record (from the data file's pool), its field
// descriptors and its BLOB buffers. The directory outlives the cursor.
// Threads: one thread at a time, the thread of its session.
// Failures: EPirinEngineError with the table name and database path: 10031
// setting up an open cursor; 11013, 11010, 12035, 8961, 15878 and the file
// layer's codes from Open; 10498 without the table's password; 9985 for a
// field number out of range; 10258 and 8708 locking a record for editing.
// Writing (data_cursor_write*.cpp): 11013 through a read-only cursor; 9732,
// 9730, 9731 for a value the field's checks refuse (before any lock); 9729
// for a key a unique index holds already (before any change); 10249 when
// the table's write lock cannot be had; 10258 for a record locked elsewhere;
// 8708 for a record changed or deleted since it was read; 8965 for an index
// that lacks a key it should hold; and what the files raise. A write that
// fails leaves the table as it was before the call (see data_table.h,
// DiscardWrite) and releases every lock it took.
// BLOB operations return codes instead (see data_cursor_blobs.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/blob_handles.h"
#include "engine/cursor_navigation.h"
#include "engine/field_access.h"
#include "storage/field_descriptor.h"

namespace pirin {

class TDataDirectory;
class TDataSession;
class TDataTable;

// One field as the cursor describes it: the data file's definition, where
// it comes from (table.field, cut to 100 characters) and the database path.
struct TCursorFieldDesc {
    TFieldDescriptor Field;
    std::string Origin;
    std::uint16_t SourceNumber = 0;
    std::string Directory;
    // A computed column of a query result; never set for a table.
    bool Computed = false;
};

inline constexpr std::size_t kMaxOriginLength = 100;

class TDataCursor : public TCursorNavigation {
  public:
    // Asked when the session lacks the table's password: it may register
    // one; true has the check repeated, false gives up (10498).
    using TPasswordCallback = std::function<bool(void* userData, TDataCursor& cursor)>;

    explicit TDataCursor(TDataDirectory& directory);
    ~TDataCursor() override;

    // ---- set-up (10031 while open) ----
    // Keeps the file-name part and drops a trailing ".DAT" (any case).
    void SetTableName(std::string_view name);
    void SetExclusive(bool value);
    void SetReadOnly(bool value);
    void SetInMemory(bool value);
    void SetPasswordCallback(void* userData, TPasswordCallback callback);
    // A clone of a cursor that holds an exclusive open shares it.
    void SetSharesExclusiveOpen(bool value);
    // The index Open selects, by name as SetToIndex takes it, before it goes
    // to the first record ("": the primary index). Opening straight onto the
    // index the caller wants spares the walk to the primary index's first
    // record that a SetToIndex after Open would throw away. An unknown name
    // fails the Open with 10022.
    void SetOpenIndex(std::string_view name);

    // ---- life ----
    void Open();
    void Close(bool force = false);
    // A new open cursor on the same table with this cursor's index, range
    // and position; the caller owns it.
    std::unique_ptr<TDataCursor> CloneCursor();

    bool IsOpen() const noexcept { return FOpen; }
    const std::string& TableName() const noexcept { return FTableName; }
    bool Exclusive() const noexcept { return FExclusive; }
    // After Open: the effective read-only state.
    bool ReadOnly() const noexcept { return FReadOnly; }
    bool ReadOnlyMedia() const noexcept { return FReadOnlyMedia; }
    bool InMemory() const noexcept { return FInMemory; }
    TDataDirectory& Directory() const noexcept { return FDirectory; }
    TDataSession& Session() const noexcept;
    // Null while closed.
    TDataTable* Table() const noexcept { return FTable; }

    // ---- fields (field_access) ----
    int FieldCount() const noexcept { return FFieldCount; }
    int RecordSize() const noexcept { return FRecordSize; }
    std::uint16_t Language() const noexcept { return FLocale.Language; }
    std::uint16_t SortOrder() const noexcept { return FLocale.Sort; }
    // 9985 for 0 or a number above FieldCount. Inline: every field access
    // of a record, read or write, starts here.
    const TCursorFieldDesc& GetFieldDesc(int fieldNo) const {
        if (fieldNo < 1 || fieldNo > FFieldCount || !FOpen) RaiseFieldOutOfRange(fieldNo);
        return FFields[static_cast<std::size_t>(fieldNo - 1)];
    }
    // True when blank; `value` (empty, or FieldValueSize bytes) gets the value.
    bool GetField(int fieldNo, std::span<const std::uint8_t> image,
                  std::span<std::uint8_t> value = {}) const;
    // Nothing for `value` stores blank. A computed field changes only with
    // `force`.
    void SetField(int fieldNo, std::span<std::uint8_t> image,
                  std::optional<std::span<const std::uint8_t>> value, bool handleBlank = false,
                  bool force = false) const;
    // The same with the field definition taken from the data file.
    bool GetFileField(int fieldNo, std::span<const std::uint8_t> image,
                      std::span<std::uint8_t> value = {}) const;
    void SetFileField(int fieldNo, std::span<std::uint8_t> image,
                      std::optional<std::span<const std::uint8_t>> value,
                      bool handleBlank = false) const;
    void BlankRecord(std::span<std::uint8_t> image) const;
    // BlankRecord, then every field's default.
    void InitRecord(std::span<std::uint8_t> image) const;
    bool HasAutoIncField() const noexcept { return FHasAutoInc; }
    bool HasDefaults() const noexcept { return FHasDefaults; }
    bool HasBounds() const noexcept { return FHasBounds; }

    // ---- BLOB handles (data_cursor_blobs.cpp); codes, not exceptions ----
    [[nodiscard]] std::uint16_t OpenBlob(int fieldNo, std::span<std::uint8_t> image,
                                         TBlobOpenMode mode, std::uint32_t& length);
    [[nodiscard]] std::uint16_t GetBlob(int fieldNo, std::span<const std::uint8_t> image,
                                        std::uint32_t offset, std::span<std::uint8_t> destination,
                                        std::uint32_t& count);
    [[nodiscard]] std::uint16_t FreeBlob(int fieldNo, std::span<std::uint8_t> image);
    // The whole value of a BLOB field, as OpenBlob, GetBlob from 0 and
    // FreeBlob would give it (the same codes), without opening a handle:
    // the image is left as it is. Reads an open handle's buffer when the
    // image holds one.
    [[nodiscard]] std::uint16_t ReadBlob(int fieldNo, std::span<const std::uint8_t> image,
                                         std::string& value);
    [[nodiscard]] std::uint16_t GetBlobSize(int fieldNo, std::span<const std::uint8_t> image,
                                            std::uint32_t& length);
    [[nodiscard]] std::uint16_t PutBlob(int fieldNo, std::span<std::uint8_t> image,
                                        std::uint32_t offset, std::span<const std::uint8_t> source);
    [[nodiscard]] std::uint16_t TruncateBlob(int fieldNo, std::span<std::uint8_t> image,
                                             std::uint32_t length);
    std::size_t OpenBlobCount() const noexcept { return FBlobs.Count(); }

    // ---- writing (data_cursor_write*.cpp) ----
    // Adds the record of `image` (fields as set by InitRecord/SetField, BLOB
    // fields holding open handles or stored values). On success `image`
    // receives the stored record (its autoincrement value, BLOB first blocks
    // and stamps) and the BLOBs opened for it are released. With
    // `reposition` the cursor then stands on the new record.
    void InsertRecord(std::span<std::uint8_t> image, bool reposition);
    // Replaces the current record's fields with those of `image` (its
    // autoincrement value never changes). Pessimistic: the record was locked
    // by GetCurrentRecord with the lock flag, and `unlock` releases it after
    // the write. Optimistic: fails with 8708 when the record changed since
    // it was read (and keeps failing until CancelEdit).
    void ModifyRecord(std::span<std::uint8_t> image, bool unlock, bool reposition);
    // Deletes the current record; `image` is the record as it was read (8708
    // when it is no longer the stored one).
    void DeleteRecord(std::span<const std::uint8_t> image, bool reposition);
    // Gives up an edit: releases the edit lock (pessimistic) or clears the
    // optimistic conflict.
    void CancelEdit();
    bool OptimisticConflict() const noexcept { return FOptimisticConflict; }

    // ---- record lock for editing ----
    // The record this cursor holds locked for editing (0: none).
    std::int32_t EditLockedRecord() const noexcept { return FEditLockedRecord; }
    void UnlockEditRecord();

    // The change check as the navigation does it, answered at once while
    // the table's read lock is held and this cursor has seen its counters
    // (data_cursor_locks.cpp).
    [[nodiscard]] bool CheckAndResync() final;

  protected:
    // ---- TCursorNavigation hooks ----
    bool TakesNoLocks() const override;
    bool StrictChangeDetection() const override;
    bool BeginTableRead() override;
    void EndTableRead() override;
    std::array<std::uint32_t, 3> TableChangeCounters() const override;
    void LockCurrentForEdit(std::span<const std::uint8_t> buffer) override;
    [[noreturn]] void RaiseCursorError(std::uint16_t code,
                                       std::string_view extra = {}) const override;
    const TLanguageCharMap* CharMap() const override;
    // Reads ahead, in the operation that read the current record from disk,
    // the records of the next entries of a walk and the first blocks of the
    // BLOBs this cursor has been reading (data_cursor_read_ahead.cpp).
    void AfterRecordRead(std::optional<TReadDirection> walk) override;

  private:
    [[noreturn]] void RaiseFieldOutOfRange(int fieldNo) const;
    // write path (data_cursor_write*.cpp)
    void CheckWritable(std::span<const std::uint8_t> image) const;
    // Runs one write's steps between the write bracket, with the table's
    // caches held back from the files; a failure throws away what the write
    // changed (DiscardWrite, or the transaction's rollback once something
    // changed inside one) before it passes on.
    template <class TSteps>
    void RunWrite(TSteps&& steps);
    // The cursor's write bracket: TDataTable::BeginWrite, and back onto the
    // bookmark when the table changed.
    void BeginWrite();
    void EndWrite();
    // Validation of an image against the fields' checks (record_validation).
    void CheckValues(std::span<const std::uint8_t> image) const;
    // The BLOB fields of `stored` (the image to write for record n) from
    // the cursor's buffers: an insert stores every value as a new chain, a
    // modify stores the modified buffers of record n with new stamps and
    // keeps or drops the others (`current`: the record as stored). True
    // when a BLOB changed.
    bool StoreBlobs(std::int32_t record, std::span<std::uint8_t> stored,
                    std::span<const std::uint8_t> current, bool insert);
    // Releases the BLOB buffers whose handles `image` holds.
    void ReleasePostBlobs(std::span<const std::uint8_t> image) noexcept;
    // The cursor's lock step for a write (nothing for a cursor that takes
    // no locks): 10258 when another cursor of this process holds the record
    // or its byte stays taken.
    bool LockForWrite(std::int32_t record);
    // After a write, with `reposition`: range bounds, view and position on
    // `record` (added, changed or removed); `placed`: where an insertion
    // put the record's entry of the active index.
    void AfterWrite(std::int32_t record, std::span<const std::uint8_t> image, bool removed,
                    const TInsertPlace* placed = nullptr);

    void CheckClosed() const;
    void CheckOpen() const;
    void OpenSteps();
    // Checks the headers under the table's read lock and keeps the lock on
    // success: the caller releases it (EndRead) when the first positioning
    // is done or fails.
    void VerifyFirstOpener();
    // `releaseRead` runs before the application is asked for a password.
    void PassPasswordCheck(const std::function<void()>& releaseRead);
    // Selects the open index and goes to the first record, in one operation.
    void PlaceOnOpenIndex();
    void BuildFieldDescs();
    void RebuildRecreatedIndex();
    void CheckImage(std::span<const std::uint8_t> image) const;
    void CheckValue(const TFieldDescriptor& field, std::size_t size) const;
    // The first block or open handle a BLOB field of `image` holds.
    std::int32_t BlobValue(const TFieldDescriptor& field, std::span<const std::uint8_t> image) const;
    // The BLOB field's buffer named by the image, or a code.
    std::uint16_t FindBlob(int fieldNo, std::span<const std::uint8_t> image, TBlobBuffer*& buffer,
                           std::int32_t& handle) const;
    void WriteBlobValue(int fieldNo, std::span<std::uint8_t> image, std::int32_t value,
                        bool handleBlank) const;
    // A buffer (the spare one when there is one) holding the value whose
    // first block the image names, loaded; null without a BLOB file.
    std::unique_ptr<TBlobBuffer> LoadStoredBlob(int fieldNo, const TFieldDescriptor& field,
                                                std::span<const std::uint8_t> image,
                                                std::int32_t firstBlock);
    void KeepSpareBlob(std::unique_ptr<TBlobBuffer> buffer) noexcept;
    // Notes a stored value of `length` bytes loaded for BLOB field `fieldNo`
    // (what the read-ahead of the next records fetches).
    void NoteWantedBlob(int fieldNo, std::size_t length, const TBlobFile& blobFile);
    // The records of the leaves beyond the leaf copy in the direction of
    // travel, in walk order, at most out.size(); the leaves come from (and
    // go into) the index's page cache.
    std::size_t LaterLeafRecords(TReadDirection direction, std::span<std::int32_t> out);
    // The records a walk meets next, at most out.size(): the leaf copy's,
    // then the neighbouring leaves'.
    std::size_t RecordsAhead(TReadDirection direction, std::span<std::int32_t> out);
    // How many first blocks a read-ahead may bring: all of the block cache,
    // or half while long values are read (the rest is room for their later
    // blocks).
    std::size_t BlockAllowance(const TBlobFile& blobFile) const;
    // A stored value of the current record was just read from disk for a
    // wanted field (the callers tell by the block cache's misses): on a walk,
    // the first blocks of the next records that are cached come along (a
    // record the cache served had no read-ahead of its own, so each of their
    // values would read alone).
    void AfterBlobRead(TBlobFile& blobFile);
    // Reads ahead the first blocks of the wanted fields' values of `current`
    // (an image, may be empty) and then of `records`, as far as those are
    // cached, while `blocksLeft` lasts.
    void PrefetchWantedBlocks(TBlobFile& blobFile, std::span<const std::uint8_t> current,
                              std::span<const std::int32_t> records, std::size_t blocksLeft);
    // The blocks after `first`, the cached first block of a value longer
    // than one block: a value written in one piece lies in consecutive
    // blocks from its second on, which come in one read, so that showing
    // the whole value needs no read lock of its own (a chain that goes
    // elsewhere is read on when it is used). Takes them from `blocksLeft`;
    // false when the read found another process's change.
    bool PrefetchChainRest(TBlobFile& blobFile, const TBlock& first, std::size_t& blocksLeft);

    TDataDirectory& FDirectory;
    TDataTable* FTable = nullptr;
    std::string FTableName;
    bool FExclusive = false;
    bool FReadOnly = false;
    bool FInMemory = false;
    bool FSharesExclusiveOpen = false;
    std::string FOpenIndex;
    bool FReadOnlyMedia = false;
    bool FOpen = false;
    void* FPasswordUserData = nullptr;
    TPasswordCallback FPasswordCallback;

    TFieldLocale FLocale;
    std::optional<TLanguageCharMap> FCharMap;
    int FFieldCount = 0;
    int FRecordSize = 0;
    std::vector<TCursorFieldDesc> FFields;
    bool FHasAutoInc = false;
    bool FHasDefaults = false;
    bool FHasBounds = false;
    bool FHasComputed = false;
    std::unique_ptr<TRecord> FRecord;
    TBlobHandles FBlobs;
    // The last buffer freed, kept for the next open.
    std::unique_ptr<TBlobBuffer> FSpareBlob;
    // The BLOB fields whose stored values this cursor loaded since the last
    // read-ahead: the ones a reader of the next records will want too.
    std::vector<int> FWantedBlobs;
    // Set when one of those values took more than one block: the later
    // blocks of such values need room in the block cache too.
    bool FWantedLongBlobs = false;
    std::int32_t FEditLockedRecord = 0;
    bool FOptimisticConflict = false;
    // Set once a write has changed the table's caches.
    bool FWriteChanged = false;
    // The image an insert writes (kept to save an allocation per insert).
    std::vector<std::uint8_t> FInsertImage;
};

}  // namespace pirin
