// Locking the current record for editing, and clones of the cursor.
#include "engine/data_cursor.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "errors/engine_error.h"

namespace pirin {

// Pessimistic: the record's lock byte is taken (refused at once when another
// cursor of this process holds it), after the shared read lock and its
// change check unless every operation checks up front anyway; then the
// caller's image must still be the record's. Optimistic: only the compare.
// Exclusive cursors and read-only media lock nothing and compare nothing.
void TDataCursor::LockCurrentForEdit(std::span<const std::uint8_t> buffer) {
    if (TakesNoLocks()) return;
    const std::int32_t record = CurrentRecordNumber();
    if (record == 0 || Bof() || Eof()) return;
    if (Session().LockProtocol() == TLockProtocol::Pessimistic && FEditLockedRecord != record) {
        if (FTable->RecordEditLocked(record)) RaiseCursorError(PIRIN_RECLOCKFAILED);
        // Takes the read lock, empties the caches on a change and goes back
        // to the bookmark, so the compare below sees the record as stored.
        if (!StrictChangeDetection()) (void)CheckAndResync();
        // Back on the bookmark but on another record: ours went away.
        if (CurrentRecordNumber() != record) RaiseCursorError(PIRIN_KEYORRECDELETED);
        const int attempts = Session().LockRetryCount() + 1;
        if (!FTable->LockRecordForEdit(record, attempts, Session().LockWaitTime()))
            RaiseCursorError(PIRIN_RECLOCKFAILED);
        if (FEditLockedRecord != 0) UnlockEditRecord();
        FEditLockedRecord = record;
    }
    if (buffer.empty()) return;
    if (!Current().EqualsImage(buffer)) {
        if (FEditLockedRecord == record) UnlockEditRecord();
        RaiseCursorError(PIRIN_KEYORRECDELETED);
    }
}

// Every cache miss of an operation asks; only the first can find another
// process's change. The read lock was taken with a look at the headers, and
// no other process writes while it is held, so what is left to notice is a
// write of this process, which moves the counters in memory. This is the
// answer the full check gives in that state, without its calls.
bool TDataCursor::CheckAndResync() {
    if (FTable != nullptr && FTable->ReadLocked() && FTable->ChangeCounters() == ChangeSnapshot())
        return false;
    return TCursorNavigation::CheckAndResync();
}

void TDataCursor::UnlockEditRecord() {
    if (FEditLockedRecord == 0 || FTable == nullptr) return;
    const std::int32_t record = FEditLockedRecord;
    FEditLockedRecord = 0;
    FTable->UnlockRecordForEdit(record);
}

std::unique_ptr<TDataCursor> TDataCursor::CloneCursor() {
    TOperation operation(*this);
    auto clone = std::make_unique<TDataCursor>(FDirectory);
    clone->SetTableName(FTableName);
    clone->SetExclusive(FExclusive);
    clone->SetReadOnly(FReadOnly);
    clone->SetInMemory(FInMemory);
    clone->SetSharesExclusiveOpen(FExclusive);
    clone->SetPasswordCallback(FPasswordUserData, FPasswordCallback);
    clone->Open();
    clone->FFields = FFields;
    if (IndexNo() != clone->IndexNo()) {
        if (IndexNo() == kNoIndex)
            clone->SelectIndex(kNoIndex);
        else
            clone->SetToIndex(IndexName());
    }
    if (RangeActive())
        clone->ApplyRange(RangeStartKey().first(KeyLength()), RangeEndKey().first(KeyLength()));
    clone->CopyFilters(*this);
    (void)clone->SyncToCursor(*this);
    return clone;
}

}  // namespace pirin
