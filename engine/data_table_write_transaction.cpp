// A table's part in a transaction of its directory: the transaction lock
// (the writer's byte held throughout), the commit's write-back and the
// rollback that empties the caches.
#include <exception>

#include "engine/data_table.h"
#include "engine/records_bitmap.h"
#include "errors/engine_error.h"
#include "storage/lock_map.h"

namespace pirin {

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
    if (!FExclusive) {
        for (std::int32_t record = FPendingUnlock->FindNext(0); record != 0;
             record = FPendingUnlock->FindNext(record)) {
            if (!FLockedRecords->Test(record)) continue;
            FLockedRecords->Clear(record);
            released = UnlockRecord(FDataFile, static_cast<std::uint32_t>(record)) && released;
        }
    }
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
