// The table's write lock, the write-back after each write and the discard
// after a failed one.
#include "engine/data_table.h"
#include "engine/index_maintenance.h"
#include "engine/records_bitmap.h"
#include "errors/engine_error.h"
#include "storage/lock_map.h"

namespace pirin {

bool TDataTable::BeginWrite() { return TakeWriteLock(!FInTransaction); }

bool TDataTable::BeginCommitWrite() { return TakeWriteLock(true); }

bool TDataTable::TakeWriteLock(bool writesFiles) {
    // Headers a failed write could not reread are read before anything else,
    // and a write-back still owed is finished (under the write lock it kept).
    if (FHeadersStale) RereadHeaders();
    FinishOwedWriteBack();
    if (FWriteLocked || FExclusive || FReadOnlyAttribute) return false;
    // The shared read lock of this table cannot be widened into the write
    // range (a second lock over a held byte is refused), so it goes first.
    EndRead();
    const bool takeByte = !FTransactionLocked;
    if (takeByte && !LockTableWrite(FDataFile, FWriteLockPolicy)) Raise(PIRIN_LOCKTIMEOUT);
    // The index and BLOB ranges keep readers off files while they are
    // written. A write inside a transaction writes nothing (its units stay
    // cached until the commit, which takes the ranges), and the writer's
    // byte of the transaction keeps every other writer out: readers may go
    // on reading the files as they were.
    if (writesFiles) {
        if (!LockFileWrite(FIndexFile, FWriteLockPolicy)) {
            if (takeByte) (void)UnlockTableWrite(FDataFile);
            Raise(PIRIN_LOCKTIMEOUT);
        }
        if (FBlobFile.IsOpen() && !LockFileWrite(FBlobFile, FWriteLockPolicy)) {
            (void)UnlockFileWrite(FIndexFile);
            if (takeByte) (void)UnlockTableWrite(FDataFile);
            Raise(PIRIN_LOCKTIMEOUT);
        }
    }
    FWriteLocked = true;
    FWriteRangesLocked = writesFiles;
    if (FInTransaction) return false;
    try {
        return CheckForChanges();
    } catch (...) {
        try {
            EndWrite();
        } catch (...) {
        }
        throw;
    }
}

void TDataTable::EndWrite() {
    // Other processes must not read files a failed write-back left half
    // written: the lock stays until the rest is written.
    if (!FWriteLocked || FWriteBackOwed) return;
    bool released = true;
    if (FWriteRangesLocked) released = ReleaseWriteRanges();
    if (!FTransactionLocked) released = UnlockTableWrite(FDataFile) && released;
    FWriteLocked = false;
    FWriteRangesLocked = false;
    if (!released) Raise(PIRIN_LOCKTIMEOUT);
}

bool TDataTable::ReleaseWriteRanges() noexcept {
    bool released = true;
    if (FBlobFile.IsOpen()) released = UnlockFileWrite(FBlobFile);
    return UnlockFileWrite(FIndexFile) && released;
}

void TDataTable::WriteBack(bool indexChanged, bool blobsChanged) {
    if (FInTransaction) {
        // Nothing reaches the files before the commit; the counters advance
        // in memory so that the cursors of this process see the write.
        FDataFile.TouchHeader();
        if (indexChanged) FIndexFile.TouchIndexHeader();
        if (blobsChanged && FBlobFile.IsOpen()) FBlobFile.TouchBlobHeader();
        return;
    }
    // Every header concerned is written, changed or not, so that its change
    // counter tells other processes about the write.
    WriteOutOrOwe({.Index = indexChanged,
                   .Blobs = blobsChanged && FBlobFile.IsOpen(),
                   .ForceHeaders = true,
                   .Flush = ForceFlush()});
    FDataFile.TrimRecords();
    FIndexFile.TrimPages();
}

void TDataTable::WriteOut(const TWriteOut& what) {
    // Units before the headers that count them; the data header last, so
    // that it never counts what the other files lack.
    (void)FDataFile.WriteBack();
    if (what.Blobs) {
        (void)FBlobFile.WriteBackBlocks();
        (void)FBlobFile.WriteBlobHeader(what.ForceHeaders);
    }
    if (what.Index) {
        (void)FIndexFile.WritePages();
        (void)FIndexFile.WriteIndexHeader(what.ForceHeaders);
    }
    (void)FDataFile.WriteHeader(what.ForceHeaders);
    if (what.Flush) FlushFiles();
}

void TDataTable::WriteOutOrOwe(const TWriteOut& what) {
    // Units written stay clean, so a second attempt writes only the rest:
    // one passing failure does not leave the files half written.
    try {
        WriteOut(what);
        return;
    } catch (const EPirinEngineError&) {
    }
    try {
        WriteOut(what);
    } catch (...) {
        // The disk keeps failing and part of the write may be on it. The
        // change is finished, not undone (the files hold no copy of what it
        // overwrote): it stays in the caches, the write lock stays held so
        // that no other process reads the half-written files, and the next
        // write, StartTransaction or Close of this process writes the rest.
        // Headers are then written whether or not they were marked, so their
        // counters advance.
        FOwedWrite = what;
        FOwedWrite.ForceHeaders = true;
        FWriteBackOwed = true;
        throw;
    }
}

void TDataTable::FinishOwedWriteBack() {
    if (!FWriteBackOwed) return;
    WriteOut(FOwedWrite);
    FWriteBackOwed = false;
    FDataFile.TrimRecords();
    FIndexFile.TrimPages();
}

void TDataTable::FinishOwedWriteBackOutsideWrite() {
    if (!FWriteBackOwed || FWriteUnderWay || FInTransaction) return;
    FinishOwedWriteBack();
    EndWrite();
}

TRecordIndexes& TDataTable::RecordIndexes(std::string_view tableName) {
    if (!FRecordIndexes || FRecordIndexes->TableName() != tableName ||
        !FRecordIndexes->Describes(FDataFile, FIndexFile))
        FRecordIndexes = std::make_unique<TRecordIndexes>(
            FDataFile, FIndexFile, std::string(tableName), DatabaseErrorName());
    return *FRecordIndexes;
}

void TDataTable::FlushFiles() {
    FDataFile.FlushFile();
    FIndexFile.FlushFile();
    if (FBlobFile.IsOpen()) FBlobFile.FlushFile();
}

void TDataTable::DiscardUnits() noexcept {
    FDataFile.DiscardRecords();
    FIndexFile.DiscardPages();
    if (FBlobFile.IsOpen()) FBlobFile.DiscardBlocks();
}

void TDataTable::RereadHeaders() {
    FHeadersStale = true;
    DiscardUnits();
    FDataFile.ReadHeader();
    FIndexFile.ReadIndexHeader();
    if (FBlobFile.IsOpen()) FBlobFile.ReadBlobHeader();
    FHeadersStale = false;
}

void TDataTable::DiscardWrite() noexcept {
    try {
        RereadHeaders();
    } catch (...) {
        // The headers in memory may hold the failed write's changes: they
        // stay marked stale, and the next write or read of the table
        // rereads them before it uses them.
    }
}

}  // namespace pirin
