#include "engine/data_table.h"

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/index_maintenance.h"
#include "engine/records_bitmap.h"
#include "engine/table_create.h"
#include "errors/engine_error.h"
#include "storage/lock_map.h"

namespace pirin {

namespace {

// Empty until a record is locked: most tables never lock one, and every
// Set makes room first (MakeRoomFor, in steps of kLockBitmapStartSize).
std::unique_ptr<TRecordsBitmap> LockBitmap() { return std::make_unique<TRecordsBitmap>(); }

}  // namespace

TDataTable::TDataTable(TDataDirectory& directory, std::string tableName, bool exclusive,
                       bool inMemory, bool temporary)
    : FDirectory(directory),
      FTableName(std::move(tableName)),
      FExclusive(exclusive),
      FInMemory(inMemory),
      FTemporary(temporary),
      FLockedRecords(LockBitmap()),
      FEditLocked(LockBitmap()),
      FPendingUnlock(LockBitmap()) {}

TDataTable::~TDataTable() {
    if (!FPhysicallyOpen) return;
    FInTransaction = false;
    FOpenCount = 1;
    try {
        Close(true);
    } catch (...) {
        // Destruction cannot report; the files are closed all the same.
    }
}

TDataSession& TDataTable::Session() const noexcept { return FDirectory.Session(); }

const std::string& TDataTable::DatabaseErrorName() const { return FDirectory.ErrorName(); }

void TDataTable::Raise(std::uint16_t code) const {
    RaiseEngineError(code, {.database = DatabaseErrorName(), .table = FTableName});
}

void TDataTable::AssignFileNames() {
    TTableFileNames names = TableFileNames(FDirectory.Path(), FTableName);
    const auto setUp = [&](TFileHandler& file, std::string& name) {
        file.SetFileName(std::move(name));
        file.SetTableName(FTableName);
        file.SetInMemory(FInMemory);
        file.SetExclusive(FExclusive);
        file.SetTemporary(FTemporary);
    };
    setUp(FDataFile, names.Data);
    setUp(FIndexFile, names.Index);
    setUp(FBlobFile, names.Blob);
}

void TDataTable::Open() {
    ++FOpenCount;
    if (FPhysicallyOpen) return;
    FIndexRecreated = false;
    FPhysicallyOpen = true;
    try {
        AssignFileNames();
        OpenFiles();
    } catch (...) {
        Close(true);
        throw;
    }
    const auto anyFile = [&](auto property) {
        return property(FDataFile) || property(FIndexFile) ||
               (FBlobFile.IsOpen() && property(FBlobFile));
    };
    FReadOnly = anyFile([](const TFileHandler& file) { return file.OpenedReadOnly(); });
    FReadOnlyAttribute = anyFile([](const TFileHandler& file) { return file.ReadOnlyAttribute(); });
    if (FReadOnlyAttribute) FReadOnly = true;
}

void TDataTable::OpenFiles() {
    FDataFile.OpenFile();
    FIndexFile.SetEncrypted(FDataFile.Encrypted());
    FIndexFile.SetPrivateDirectory(Session().PrivateDir());
    // Until the key layout is set the pages compare keys as bytes. Set before
    // the index file opens, its key descriptions are built once, from the
    // header the open reads.
    FIndexFile.SetKeyLayout(FDataFile.Fields(), FDataFile.Language(), FDataFile.Sort());
    try {
        FIndexFile.OpenFileOnly();
    } catch (const EPirinEngineError& error) {
        if (error.ErrorCode != PIRIN_OSENOENT) throw;
        CreateIndexFile();
    }
    const bool blobs = FDataFile.BlobFieldCount() > 0;
    if (blobs) {
        FBlobFile.SetBlockSize(FDataFile.Header().BlobBlockSizeField());
        FBlobFile.SetEncrypted(FDataFile.Encrypted());
        FBlobFile.OpenFileOnly();
    }
    // The opening cursor checks the headers under the read lock. Taken
    // before the index and BLOB headers are read, the lock lets that check
    // use them as read here instead of reading them again; the data header,
    // read before, is looked at again for its change counter.
    const bool readOnlyAttribute = FDataFile.ReadOnlyAttribute() ||
                                   FIndexFile.ReadOnlyAttribute() ||
                                   (blobs && FBlobFile.ReadOnlyAttribute());
    const bool lock = !FExclusive && !readOnlyAttribute && !FIndexRecreated;
    if (lock) TakeReadLock();
    if (!FIndexRecreated) FIndexFile.LoadHeader();
    if (blobs) FBlobFile.LoadHeader();
    if (lock) (void)FDataFile.HeaderChanged();
}

void TDataTable::CreateIndexFile() {
    FIndexRecreated = true;
    // Created exclusively; reopened below with the table's own share mode.
    FIndexFile.CreateNewFile();
    (void)FIndexFile.WriteIndexHeader(true);
    FIndexFile.CloseFile();
    FIndexFile.OpenFile();
}

void TDataTable::Close(bool force) {
    if (!FPhysicallyOpen) return;
    if (FOpenCount > 0) --FOpenCount;
    if (FInTransaction || FOpenCount > 0) return;
    // The files close whatever the write-back does; its error then passes on.
    struct TCloser {
        TDataTable& Table;
        ~TCloser() {
            Table.ReleaseLocks();
            Table.CloseFiles();
            Table.FIndexRecreated = false;
            Table.FPhysicallyOpen = false;
        }
    } closer{*this};
    // A write-back still owed gets its last chance; if the disk still fails,
    // the files stay half written (the error passes on).
    FinishOwedWriteBack();
    if (FExclusive && !FReadOnly) WriteBackExclusive(FTemporary && force);
}

void TDataTable::WriteBackExclusive(bool discard) {
    if (discard) return;
    // Records and pages before the headers that count them.
    if (FDataFile.IsOpen()) {
        (void)FDataFile.WriteBack();
        (void)FDataFile.WriteHeader();
    }
    if (FBlobFile.IsOpen()) {
        (void)FBlobFile.WriteBackBlocks();
        (void)FBlobFile.WriteBlobHeader();
    }
    if (FIndexFile.IsOpen()) {
        (void)FIndexFile.WritePages();
        (void)FIndexFile.WriteIndexHeader();
    }
}

void TDataTable::CloseFiles() noexcept {
    FIndexFile.CloseFile();
    FBlobFile.CloseFile();
    FDataFile.CloseFile();
}

void TDataTable::VerifyHeaders() {
    FDataFile.CheckStructure();
    if (!FIndexRecreated) FIndexFile.CheckIndexHeader(FDataFile.Fields());
    if (FBlobFile.IsOpen()) FBlobFile.CheckBlobFile();
}

std::array<std::uint32_t, 3> TDataTable::ChangeCounters() const {
    const auto asUnsigned = [](std::int32_t value) { return static_cast<std::uint32_t>(value); };
    return {asUnsigned(FDataFile.Header().ChangeCounter()),
            asUnsigned(FIndexFile.Header().ChangeCounter()),
            FBlobFile.IsOpen() ? asUnsigned(FBlobFile.Header().ChangeCounter()) : 0u};
}

bool TDataTable::StrictChangeDetection() const { return Session().StrictChangeDetection(); }

bool TDataTable::ForceFlush() const { return Session().ForceBufferFlush(); }

TCacheBudgets TDataTable::CacheBudgets() const { return Session().BufferLimits(); }

bool TDataTable::HasPrimaryIndex() const {
    return !FIndexFile.IsOpen() || !FIndexFile.NoPrimaryIndex();
}

}  // namespace pirin
