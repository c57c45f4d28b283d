// A table's part in a transaction of its directory: the transaction lock
// (the writer's byte held throughout), the commit's write-back and the
// rollback that empties the caches.
#include <exception>

#include "engine/data_table.h"
#include "engine/records_bitmap.h"
#include "errors/engine_error.h"
#include "storage/lock_map.h"

namespace pirin {

namespace {

// Unlocks the bytes of the records in `pending` that `locked` still holds,
// clearing them there; false when one of them could not be unlocked.
bool ReleaseRecordLocks(TDataFile& dataFile, const TRecordsBitmap& pending,
                        TRecordsBitmap& locked) {
    // A run of adjacent records whose bytes this table holds goes in one
    // unlock; when that fails, each of its bytes is tried alone, so that
    // as many go as one unlock per record would have freed.
    const auto releaseRun = [&dataFile](std::uint32_t first, std::uint32_t count) {
        if (count > 1 && UnlockRecordRun(dataFile, first, count)) return true;
        bool released = true;
        for (std::uint32_t record = first; record < first + count; ++record)
            released = UnlockRecord(dataFile, record) && released;
        return released;
    };
    bool released = true;
    std::uint32_t runFirst = 0;
    std::uint32_t runCount = 0;
    for (std::int32_t record = pending.FindNext(0); record != 0;
         record = pending.FindNext(record)) {
        if (!locked.Test(record)) continue;
        locked.Clear(record);
        const auto number = static_cast<std::uint32_t>(record);
        if (runCount != 0 && number == runFirst + runCount) {
            ++runCount;
            continue;
        }
        if (runCount != 0) released = releaseRun(runFirst, runCount) && released;
        runFirst = number;
        runCount = 1;
    }
    if (runCount != 0) released = releaseRun(runFirst, runCount) && released;
    return released;
}

}  // namespace

void TDataTable::StartTransaction() {
    if (FReadOnly || FInTransaction) return;
    FinishOwedWriteBackOutsideWrite();
    if (FExclusive) WriteBackExclusive(false);
    (void)FIndexFile.WritePages(true);
    if (!FExclusive && !LockTableWrite(FDataFile, FWriteLockPolicy)) Raise(PIRIN_LOCKTIMEOUT);
    FInTransaction = true;
    FTransactionLocked = true;
    if (!FExclusive) (void)CheckForChanges();
}

void TDataTable::CommitTransaction(bool trim, bool flush) {
    if (!FInTransaction || FReadOnly) return;
    WriteOutOrOwe({.Index = true,
                   .Blobs = FBlobFile.IsOpen(),
                   .ForceHeaders = false,
                   .Flush = flush || ForceFlush()});
    if (trim) {
        FDataFile.TrimRecords();
        FIndexFile.TrimPages();
    }
    (void)FIndexFile.WritePages(true);
}

void TDataTable::ReleaseTransactionLock() {
    if (!FTransactionLocked) return;
    FTransactionLocked = false;
    // A commit that left its write-back owed hands the writer's byte on to
    // the write lock it keeps.
    bool released = FExclusive || FWriteBackOwed || UnlockTableWrite(FDataFile);
    if (!FExclusive)
        released = ReleaseRecordLocks(FDataFile, *FPendingUnlock, *FLockedRecords) && released;
    FPendingUnlock->ClearAll();
    if (!released) Raise(PIRIN_LOCKTIMEOUT);
}

void TDataTable::EndTransaction() {
    if (!FInTransaction) return;
    // Every step runs; the first failure passes on afterwards.
    std::exception_ptr failure;
    try {
        EndWrite();
    } catch (...) {
        failure = std::current_exception();
    }
    FInTransaction = false;
    try {
        ReleaseTransactionLock();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
}

void TDataTable::RollbackTransaction() {
    if (!FInTransaction) return;
    FInTransaction = false;
    DiscardWrite();
    std::exception_ptr failure;
    try {
        EndWrite();
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        ReleaseTransactionLock();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace pirin
