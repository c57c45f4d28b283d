// The table's write lock, the write-back after each write and the discard
// after a failed one.
#include "engine/data_table.h"
#include "engine/records_bitmap.h"
#include "errors/engine_error.h"
#include "storage/lock_map.h"

namespace pirin {

bool TDataTable::BeginWrite() {
    if (FWriteLocked || FExclusive || FReadOnlyAttribute) return false;
    // The shared read lock of this table cannot be widened into the write
    // range (a second lock over a held byte is refused), so it goes first.
    EndRead();
    const bool takeByte = !FTransactionLocked;
    if (takeByte && !LockTableWrite(FDataFile, FWriteLockPolicy)) Raise(PIRIN_LOCKTIMEOUT);
    if (!LockFileWrite(FIndexFile, FWriteLockPolicy)) {
        if (takeByte) (void)UnlockTableWrite(FDataFile);
        Raise(PIRIN_LOCKTIMEOUT);
    }
    if (FBlobFile.IsOpen() && !LockFileWrite(FBlobFile, FWriteLockPolicy)) {
        (void)UnlockFileWrite(FIndexFile);
        if (takeByte) (void)UnlockTableWrite(FDataFile);
        Raise(PIRIN_LOCKTIMEOUT);
    }
    FWriteLocked = true;
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
    if (!FWriteLocked) return;
    bool released = true;
    if (FBlobFile.IsOpen()) released = UnlockFileWrite(FBlobFile);
    released = UnlockFileWrite(FIndexFile) && released;
    if (!FTransactionLocked) released = UnlockTableWrite(FDataFile) && released;
    FWriteLocked = false;
    if (!released) Raise(PIRIN_LOCKTIMEOUT);
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
    // Units before the headers that count them; the data header last, so
    // that it never counts what the other files lack. Units written stay
    // clean, so a second attempt after a failed write writes only the rest:
    // one passing failure does not leave the files half written.
    const auto writeAll = [&] {
        (void)FDataFile.WriteBack();
        if (blobsChanged && FBlobFile.IsOpen()) {
            (void)FBlobFile.WriteBackBlocks();
            (void)FBlobFile.WriteBlobHeader(true);
        }
        if (indexChanged) {
            (void)FIndexFile.WritePages();
            (void)FIndexFile.WriteIndexHeader(true);
        }
        (void)FDataFile.WriteHeader(true);
        if (ForceFlush()) FlushFiles();
    };
    try {
        writeAll();
    } catch (const EPirinEngineError&) {
        writeAll();
    }
    FDataFile.TrimRecords();
    FIndexFile.TrimPages();
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

void TDataTable::DiscardWrite() noexcept {
    DiscardUnits();
    try {
        FDataFile.ReadHeader();
        FIndexFile.ReadIndexHeader();
        if (FBlobFile.IsOpen()) FBlobFile.ReadBlobHeader();
    } catch (...) {
        // A header that cannot be read now is read again by the next
        // operation's change check: the caches are empty either way.
    }
}

}  // namespace pirin
