// The cursor's write path: InsertRecord, ModifyRecord, DeleteRecord and
// CancelEdit, with their bracket, record locks, unique checks, index and
// BLOB maintenance and write-back.
//
// Soundness of a failed write: while a write runs, the table's caches grow
// instead of writing dirty units out, so nothing of it reaches the files
// before the write-back. Outside a transaction nothing is dirty when a
// write starts (every write ends with its write-back), so a failure drops
// the cached units and rereads the headers: the table is as it was. Inside
// a transaction a failure after the first change rolls the directory's
// transaction back, since the changes before it cannot be told apart from
// the failed write's. A write-back that keeps failing may have put part of
// the write on disk: the table keeps it owed and finishes it later
// (TDataTable::WriteBackOwed).
#include <algorithm>
#include <optional>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/index_maintenance.h"
#include "engine/record_validation.h"
#include "errors/engine_error.h"
#include "storage/little_endian.h"

namespace pirin {

namespace {

using TBytes = std::vector<std::uint8_t>;

// The autoincrement value the next record draws: after the largest value
// the sequence starts again at 1.
std::int32_t NextAutoIncValue(std::int32_t last) {
    return last == std::numeric_limits<std::int32_t>::max() ? 1 : last + 1;
}

// Releases a record lock taken for one write when the write ends.
class TWriteLock {
  public:
    TWriteLock(TDataTable& table, std::int32_t record, bool taken)
        : FTable(table), FRecord(record), FTaken(taken) {}
    ~TWriteLock() {
        if (!FTaken) return;
        try {
            FTable.UnlockRecordForEdit(FRecord);
        } catch (...) {
            // The table releases every lock it holds when it closes.
        }
    }
    TWriteLock(const TWriteLock&) = delete;
    TWriteLock& operator=(const TWriteLock&) = delete;

  private:
    TDataTable& FTable;
    std::int32_t FRecord;
    bool FTaken;
};

}  // namespace

// ---- checks and the bracket -----------------------------------------------------

void TDataCursor::CheckWritable(std::span<const std::uint8_t> image) const {
    CheckOpen();
    if (FReadOnly || FTable->ReadOnly()) RaiseCursorError(PIRIN_OSEACCES);
    CheckImage(image);
}

void TDataCursor::CheckValues(std::span<const std::uint8_t> image) const {
    const std::span<const TFieldDescriptor> fields = Data().Fields();
    if (!HasValueChecks(fields)) return;
    CheckRecordValues(fields, image,
                      {.Database = FTable->DatabaseErrorName(),
                       .Table = FTableName,
                       .Language = FLocale.Language,
                       .Sort = FLocale.Sort});
}

void TDataCursor::BeginWrite() {
    // Also for an exclusive cursor: the table rereads headers that a failed
    // write left stale; it takes no locks then.
    (void)FTable->BeginWrite();
    if (TakesNoLocks()) return;
    // Holding the write lock, the read lock's change check only compares
    // the counters the table just reread: a change puts the cursor back on
    // its bookmark. Should that fail, the write does not start, and its lock
    // must not outlive it.
    try {
        (void)CheckAndResync();
    } catch (...) {
        try {
            EndWrite();
        } catch (...) {
            // The failure of the check is the one to report.
        }
        throw;
    }
}

void TDataCursor::EndWrite() { FTable->EndWrite(); }

template <class TSteps>
void TDataCursor::RunWrite(TSteps&& steps) {
    TOperation operation(*this);
    BeginWrite();
    FWriteChanged = false;
    FTable->SetWriteUnderWay(true);
    try {
        steps();
    } catch (...) {
        FTable->SetWriteUnderWay(false);
        try {
            EndWrite();
        } catch (...) {
            // The write's own error is the one to report.
        }
        if (FTable->WriteBackOwed()) {
            // Part of the write may be on disk: the table keeps it to finish.
        } else if (!FTable->TransactionActive()) {
            FTable->DiscardWrite();
        } else if (FWriteChanged) {
            try {
                FDirectory.Rollback();
            } catch (...) {
            }
        }
        throw;
    }
    FTable->SetWriteUnderWay(false);
    EndWrite();
}

bool TDataCursor::LockForWrite(std::int32_t record) {
    if (TakesNoLocks()) return false;
    if (FTable->RecordEditLocked(record)) RaiseCursorError(PIRIN_RECLOCKFAILED);
    if (!FTable->LockRecordForEdit(record, Session().LockRetryCount() + 1,
                                   Session().LockWaitTime()))
        RaiseCursorError(PIRIN_RECLOCKFAILED);
    return true;
}

// ---- BLOBs ----------------------------------------------------------------------------

bool TDataCursor::StoreBlobs(std::int32_t record, std::span<std::uint8_t> stored,
                             std::span<const std::uint8_t> current, bool insert) {
    TBlobFile* blob = FTable->BlobFile();
    if (blob == nullptr) return false;
    bool changed = false;
    const auto put = [&](const TFieldDescriptor& field, std::int32_t first, std::int32_t stamp) {
        stored[field.Offset] = first != 0 ? 1 : 0;
        le::PutI32(stored, field.Offset + 1u, first);
        le::PutI32(stored, field.Offset + 5u, first != 0 ? stamp : 0);
    };
    for (const TFieldDescriptor& field : Data().Fields()) {
        if (!field.IsBlob()) continue;
        const std::int32_t value = le::GetI32(stored, field.Offset + 1u);
        TBlobBuffer* open = nullptr;
        if (value < 0) {
            open = FBlobs.Find(value);
            if (open == nullptr) RaiseCursorError(PIRIN_INVALIDBLOBHANDLE, field.Name);
        }
        if (insert) {
            // A new record gets chains of its own, also for a value copied
            // from another record: two records never share a chain.
            std::optional<TBlobBuffer> source;
            if (open == nullptr) {
                source.emplace(*blob, nullptr, field.Number, record, value > 0 ? value : 0,
                               le::GetI32(stored, field.Offset + 5u));
                if (value > 0) source->LoadBlob();
            }
            const std::span<const std::uint8_t> bytes =
                open != nullptr ? open->Data() : source->Data();
            if (bytes.empty()) {
                put(field, 0, 0);
                continue;
            }
            TBlobBuffer fresh(*blob, nullptr, field.Number, record, 0, 0);
            fresh.StoreBytes(bytes, Data().NextBlobStamp());
            put(field, fresh.FirstBlock(), fresh.Stamp());
            changed = true;
            continue;
        }
        const std::int32_t storedFirst = le::GetI32(current, field.Offset + 1u);
        const std::int32_t storedStamp = le::GetI32(current, field.Offset + 5u);
        if (open != nullptr) {
            if (open->RecordNumber() != record) RaiseCursorError(PIRIN_MEMOCORRUPT, field.Name);
            // The buffer was read from another chain: the record changed.
            if (open->FirstBlock() != storedFirst) RaiseCursorError(PIRIN_KEYORRECDELETED);
            if (open->Modified()) {
                open->StoreBlob(Data().NextBlobStamp());
                changed = true;
            }
            put(field, open->FirstBlock(), open->Stamp());
        } else if (value == storedFirst) {
            put(field, storedFirst, storedStamp);
        } else if (value == 0) {
            // The field was set blank: its chain goes.
            TBlobBuffer old(*blob, nullptr, field.Number, record, storedFirst, storedStamp);
            old.DropBlob();
            put(field, 0, 0);
            changed = true;
        } else {
            RaiseCursorError(PIRIN_KEYORRECDELETED);
        }
    }
    return changed;
}

void TDataCursor::ReleasePostBlobs(std::span<const std::uint8_t> image) noexcept {
    if (FTable == nullptr || !FTable->HasBlobFile()) return;
    for (const TFieldDescriptor& field : Data().Fields()) {
        if (!field.IsBlob()) continue;
        const std::int32_t value = le::GetI32(image, field.Offset + 1u);
        // The next record's memo reuses the buffer (see KeepSpareBlob).
        if (value < 0) {
            if (std::unique_ptr<TBlobBuffer> freed = FBlobs.Remove(value)) KeepSpareBlob(std::move(freed));
        }
    }
}

// ---- after a write ----------------------------------------------------------------

void TDataCursor::AfterWrite(std::int32_t record, std::span<const std::uint8_t> image,
                             bool removed, const TInsertPlace* placed) {
    // The cursor's own write is no change to resync for.
    TakeChangeSnapshot();
    RecomputeRangeBounds();
    if (removed)
        RecordRemoved(record);
    else
        RecordAdded(record, image);
    if (placed != nullptr)
        RepositionOnInserted(record, image, *placed);
    else
        RepositionOn(record, image);
}

// ---- the operations -------------------------------------------------------------

void TDataCursor::InsertRecord(std::span<std::uint8_t> image, bool reposition) {
    CheckWritable(image);
    CheckValues(image);
    RunWrite([&] {
        TDataFile& data = Data();
        const TDataHeader& header = data.Header();
        const std::int32_t n = header.FirstFree() != 0 && !Index().NoPrimaryIndex()
                                   ? header.FirstFree()
                                   : header.NextRecordNumber();
        TWriteLock lock(*FTable, n, LockForWrite(n));

        TBytes& stored = FInsertImage;
        stored.assign(image.begin(), image.begin() + FRecordSize);
        const std::int32_t autoInc = NextAutoIncValue(header.LastAutoIncrement());
        le::PutI32(stored, 5, autoInc);
        TRecordIndexes& indexes = FTable->RecordIndexes(FTableName);
        const bool firstChecksItself = indexes.CheckUniqueForInsert(stored);

        FWriteChanged = true;
        // The keys do not depend on the slot or the BLOB chains: the first
        // index's key goes in first, its insertion making the unique check
        // before it changes anything.
        const int placeIndex = reposition ? IndexNo() : -1;
        TInsertPlace placed;
        if (firstChecksItself && !indexes.AddFirstKey(stored, n, placeIndex, &placed)) {
            FWriteChanged = false;
            indexes.RaiseKeyViolation(0);
        }
        TRecordPin slot = data.NewRecordSlot(nullptr);
        if (!slot || slot->UnitNumber() != n) RaiseCursorError(PIRIN_FILECORRUPT);
        const std::optional<std::int32_t> reused =
            slot->Deleted() ? std::optional(slot->AutoIncValue()) : std::nullopt;
        const bool blobsChanged = StoreBlobs(n, stored, {}, true);
        if (data.NextAutoIncrement() != autoInc) RaiseCursorError(PIRIN_FILECORRUPT);
        slot->SetStatus(kRecordActive);
        slot->SetNextDeleted(n);
        slot->SetAutoIncValue(autoInc);
        slot->CopyFields(stored);
        // What was written: the slot's image, which is the record size.
        stored.assign(slot->Image().begin(), slot->Image().end());
        const std::span<const std::uint8_t> written = stored;
        slot.Release();
        indexes.AddRecord(written, n, reused, placeIndex, &placed, firstChecksItself);
        FTable->WriteBack(true, blobsChanged);

        ReleasePostBlobs(image);
        std::copy(written.begin(), written.end(), image.begin());
        if (reposition) AfterWrite(n, written, false, &placed);
    });
}

void TDataCursor::ModifyRecord(std::span<std::uint8_t> image, bool unlock, bool reposition) {
    CheckWritable(image);
    CheckValues(image);
    const bool optimistic = Session().LockProtocol() == TLockProtocol::Optimistic;
    const TBytes asRead(Current().Image().begin(), Current().Image().end());
    RunWrite([&] {
        const std::int32_t n = CurrentRecordNumber();
        if (n == 0 || Bof() || Eof()) RaiseCursorError(PIRIN_NOCURRREC);
        TRecordPin record = Data().FetchRecord(nullptr, n);
        if (!record || record->Status() != kRecordActive) RaiseCursorError(PIRIN_KEYORRECDELETED);
        bool tookLock = false;
        if (!TakesNoLocks() && FEditLockedRecord != n) {
            // Optimistic, or an edit begun without the lock: the record must
            // still be the one read.
            if (optimistic && FOptimisticConflict) RaiseCursorError(PIRIN_KEYORRECDELETED);
            if (!record->EqualsImage(asRead)) {
                if (optimistic) FOptimisticConflict = true;
                RaiseCursorError(PIRIN_KEYORRECDELETED);
            }
            tookLock = LockForWrite(n);
        }
        TWriteLock lock(*FTable, n, tookLock);

        const TBytes current(record->Image().begin(), record->Image().end());
        TBytes stored(image.begin(), image.begin() + FRecordSize);
        // Status, link and autoincrement value never change.
        std::copy_n(current.begin(), 9, stored.begin());
        TRecordIndexes& indexes = FTable->RecordIndexes(FTableName);
        indexes.CheckUnique(stored, current);

        FWriteChanged = true;
        const bool keysChanged = indexes.ChangeRecord(current, stored, n);
        const bool blobsChanged = StoreBlobs(n, stored, current, false);
        record->CopyFields(stored);
        const TBytes written(record->Image().begin(), record->Image().end());
        record.Release();
        FTable->WriteBack(keysChanged, blobsChanged);

        ReleasePostBlobs(image);
        std::copy(written.begin(), written.end(), image.begin());
        if (!optimistic && unlock && FEditLockedRecord == n) UnlockEditRecord();
        if (reposition) AfterWrite(n, written, false);
    });
}

void TDataCursor::DeleteRecord(std::span<const std::uint8_t> image, bool reposition) {
    CheckWritable(image);
    RunWrite([&] {
        const std::int32_t n = CurrentRecordNumber();
        if (n == 0 || Bof() || Eof()) RaiseCursorError(PIRIN_NOCURRREC);
        TRecordPin record = Data().FetchRecord(nullptr, n);
        if (!record || record->Status() != kRecordActive) RaiseCursorError(PIRIN_KEYORRECDELETED);
        const bool ownLock = FEditLockedRecord == n;
        bool tookLock = false;
        if (!ownLock) {
            if (!TakesNoLocks() && !record->EqualsImage(image))
                RaiseCursorError(PIRIN_KEYORRECDELETED);
            tookLock = LockForWrite(n);
        }
        TWriteLock lock(*FTable, n, tookLock);

        TBytes removed(record->Image().begin(), record->Image().end());
        const TBytes asRead = removed;
        FWriteChanged = true;
        FTable->RecordIndexes(FTableName).RemoveRecord(removed, n);
        TBlobFile* blob = FTable->BlobFile();
        if (blob != nullptr) DropRecordBlobs(*blob, Data().Fields(), removed, n, nullptr);
        record->CopyFields(removed);
        Data().FreeRecordSlot(*record);
        record.Release();
        FTable->WriteBack(true, blob != nullptr);

        if (ownLock) UnlockEditRecord();
        if (reposition) AfterWrite(n, asRead, true);
    });
}

void TDataCursor::CancelEdit() {
    if (!FOpen) return;
    if (Session().LockProtocol() == TLockProtocol::Optimistic)
        FOptimisticConflict = false;
    else
        UnlockEditRecord();
}

}  // namespace pirin
