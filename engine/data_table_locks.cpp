// The table's locks: the shared read lock with its change check, and the
// record locks with the bitmaps that remember them.
#include <chrono>
#include <thread>

#include "engine/data_table.h"
#include "engine/records_bitmap.h"
#include "errors/engine_error.h"
#include "storage/lock_map.h"

namespace pirin {

namespace {

void MakeRoomFor(TRecordsBitmap& bitmap, std::int32_t record) {
    if (record <= bitmap.Size()) return;
    bitmap.SetSize((record / kLockBitmapStartSize + 1) * kLockBitmapStartSize);
}

}  // namespace

bool TDataTable::BeginRead() {
    // A transaction holds the writer's byte: no other process can change the
    // files, and the caches hold the transaction's own changes, whose
    // counters run ahead of the files' (a change check would take them for
    // another process's write and throw them away).
    if (FExclusive || FReadOnlyAttribute || FReadLocked || FWriteLocked || FTransactionLocked)
        return false;
    TakeReadLock();
    return CheckForChanges();
}

void TDataTable::TakeReadLock() {
    std::uint16_t indexKey = 0;
    if (!LockFileRead(FIndexFile, indexKey, FReadLockPolicy)) Raise(PIRIN_LOCKTIMEOUT);
    std::uint16_t blobKey = 0;
    if (FBlobFile.IsOpen() && !LockFileRead(FBlobFile, blobKey, FReadLockPolicy)) {
        // Nothing may stay locked for an operation that fails.
        (void)UnlockFileRead(FIndexFile, indexKey);
        Raise(PIRIN_LOCKTIMEOUT);
    }
    FReadLocked = true;
    FIndexReadKey = indexKey;
    FBlobReadKey = blobKey;
}

void TDataTable::EndRead() {
    if (!FReadLocked) return;
    bool released = UnlockFileRead(FIndexFile, FIndexReadKey);
    if (FBlobReadKey != 0) released = UnlockFileRead(FBlobFile, FBlobReadKey) && released;
    // The mark goes either way: a byte that would not unlock is not held by
    // this table any more, and keeping the mark would skip every later read
    // lock and fail every later release.
    FReadLocked = false;
    FIndexReadKey = 0;
    FBlobReadKey = 0;
    if (!released) Raise(PIRIN_UNLOCKFAILED);
}

bool TDataTable::CheckForChanges() {
    if (FHeadersStale) {
        RereadHeaders();
        return true;
    }
    bool changed = false;
    if (FIndexFile.IndexHeaderChanged()) {
        // The index changed: the records may have too, whatever their counter says.
        (void)FDataFile.HeaderChanged();
        FDataFile.DiscardRecords();
        changed = true;
    } else if (FDataFile.HeaderChanged()) {
        FDataFile.DiscardRecords();
        changed = true;
    }
    // The BLOB file is checked in every case: its blocks are cached apart.
    if (FBlobFile.IsOpen() && FBlobFile.BlobHeaderChanged()) changed = true;
    return changed;
}

bool TDataTable::RecordEditLocked(std::int32_t record) const { return FEditLocked->Test(record); }

bool TDataTable::LockRecordForEdit(std::int32_t record, int attempts, int waitMs) {
    // A transaction keeps the bytes of the records it unlocked until it ends.
    if (FTransactionLocked && FLockedRecords->Test(record)) {
        MakeRoomFor(*FEditLocked, record);
        FEditLocked->Set(record);
        FPendingUnlock->Clear(record);
        return true;
    }
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        if (!LockRecord(FDataFile, static_cast<std::uint32_t>(record))) continue;
        MakeRoomFor(*FLockedRecords, record);
        MakeRoomFor(*FEditLocked, record);
        FLockedRecords->Set(record);
        FEditLocked->Set(record);
        return true;
    }
    return false;
}

void TDataTable::UnlockRecordForEdit(std::int32_t record) {
    FEditLocked->Clear(record);
    if (!FLockedRecords->Test(record)) return;
    if (FTransactionLocked) {
        MakeRoomFor(*FPendingUnlock, record);
        FPendingUnlock->Set(record);
        return;
    }
    FLockedRecords->Clear(record);
    if (!UnlockRecord(FDataFile, static_cast<std::uint32_t>(record))) Raise(PIRIN_UNLOCKFAILED);
}

void TDataTable::ReleaseLocks() noexcept {
    for (std::int32_t record = FLockedRecords->FindNext(0); record != 0;
         record = FLockedRecords->FindNext(record))
        (void)UnlockRecord(FDataFile, static_cast<std::uint32_t>(record));
    FLockedRecords->ClearAll();
    FEditLocked->ClearAll();
    FPendingUnlock->ClearAll();
    if (FReadLocked) {
        (void)UnlockFileRead(FIndexFile, FIndexReadKey);
        if (FBlobReadKey != 0) (void)UnlockFileRead(FBlobFile, FBlobReadKey);
        FReadLocked = false;
    }
    FWriteBackOwed = false;
    if (FWriteLocked) {
        if (FWriteRangesLocked) (void)ReleaseWriteRanges();
        if (!FTransactionLocked) (void)UnlockTableWrite(FDataFile);
        FWriteLocked = false;
        FWriteRangesLocked = false;
    }
    if (FTransactionLocked) {
        if (!FExclusive) (void)UnlockTableWrite(FDataFile);
        FTransactionLocked = false;
    }
    FIndexReadKey = 0;
    FBlobReadKey = 0;
}

}  // namespace pirin
