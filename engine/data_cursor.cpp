#include "engine/data_cursor.h"

#include <algorithm>
#include <utility>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "errors/engine_error.h"
#include "storage/index_key_builder.h"
#include "storage/index_tree.h"
#include "storage/password_gate.h"

namespace pirin {

namespace {

bool EndsWithDat(std::string_view name) {
    if (name.size() < 4) return false;
    const auto tail = name.substr(name.size() - 4);
    return tail[0] == '.' && (tail[1] | 0x20) == 'd' && (tail[2] | 0x20) == 'a' &&
           (tail[3] | 0x20) == 't';
}

std::string Cut(std::string text, std::size_t length) {
    if (text.size() > length) text.resize(length);
    return text;
}

// The session's passwords and the cursor's callback, as the gate asks them.
// No read lock stays held while the application asks the user.
class TCursorPasswords final : public TPasswordSource {
  public:
    TCursorPasswords(TDataSession& session, void* userData,
                     const TDataCursor::TPasswordCallback& callback, TDataCursor& cursor,
                     const std::function<void()>& releaseRead)
        : FSession(session),
          FUserData(userData),
          FCallback(callback),
          FCursor(cursor),
          FReleaseRead(releaseRead) {}
    const std::vector<std::string>& Passwords() const override { return FSession.Passwords(); }
    bool PromptForPassword() override {
        FReleaseRead();
        return FCallback && FCallback(FUserData, FCursor);
    }

  private:
    TDataSession& FSession;
    void* FUserData;
    const TDataCursor::TPasswordCallback& FCallback;
    TDataCursor& FCursor;
    const std::function<void()>& FReleaseRead;
};

// The read lock the header check took, until the cursor has been placed.
class TOpenReadHold {
  public:
    explicit TOpenReadHold(TDataTable& table) : FTable(table) {}
    ~TOpenReadHold() {
        try {
            Release();
        } catch (...) {
            // The open's own error is the one to report; a byte that would
            // not unlock is not marked as held any more.
        }
    }
    TOpenReadHold(const TOpenReadHold&) = delete;
    TOpenReadHold& operator=(const TOpenReadHold&) = delete;

    void Take() { FHeld = FTable.ReadLocked(); }
    // The lock has gone with the operation that used it.
    void Drop() noexcept { FHeld = false; }
    void Release() {
        if (std::exchange(FHeld, false)) FTable.EndRead();
    }

  private:
    TDataTable& FTable;
    bool FHeld = false;
};

}  // namespace

TDataCursor::TDataCursor(TDataDirectory& directory) : FDirectory(directory) {}

TDataCursor::~TDataCursor() {
    try {
        Close(true);
    } catch (...) {
        // A destructor cannot report; the cursor is closed all the same.
    }
}

TDataSession& TDataCursor::Session() const noexcept { return FDirectory.Session(); }

void TDataCursor::RaiseCursorError(std::uint16_t code, std::string_view extra) const {
    const std::string_view table = FTableName;
    const std::string& database = FDirectory.ErrorName();
    if (code == PIRIN_INVALIDINDEXNAME)
        RaiseEngineError(code, {.database = database, .table = table, .index = extra});
    RaiseEngineError(code, {.database = database, .table = table, .field = extra});
}

void TDataCursor::CheckClosed() const {
    if (FOpen) RaiseCursorError(PIRIN_TABLEOPEN);
}

void TDataCursor::SetTableName(std::string_view name) {
    CheckClosed();
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    if (EndsWithDat(name)) name = name.substr(0, name.size() - 4);
    FTableName = Cut(std::string(name), kMaxEngineStringLength);
}

void TDataCursor::SetExclusive(bool value) {
    CheckClosed();
    FExclusive = value;
}

void TDataCursor::SetReadOnly(bool value) {
    CheckClosed();
    FReadOnly = value;
}

void TDataCursor::SetInMemory(bool value) {
    CheckClosed();
    FInMemory = value;
}

void TDataCursor::SetPasswordCallback(void* userData, TPasswordCallback callback) {
    CheckClosed();
    FPasswordUserData = userData;
    FPasswordCallback = std::move(callback);
}

void TDataCursor::SetSharesExclusiveOpen(bool value) {
    CheckClosed();
    FSharesExclusiveOpen = value;
}

void TDataCursor::SetOpenIndex(std::string_view name) {
    CheckClosed();
    FOpenIndex = name;
}

void TDataCursor::Open() {
    if (FOpen) return;
    FFields.clear();
    TDataTable* table = nullptr;
    const int result =
        FDirectory.OpenTable(FTableName, FInMemory, FExclusive, FSharesExclusiveOpen, table);
    if (result < 0) RaiseCursorError(static_cast<std::uint16_t>(-result));
    FTable = table;
    FOpen = true;
    try {
        OpenSteps();
    } catch (...) {
        Close(true);
        throw;
    }
}

void TDataCursor::OpenSteps() {
    TDataTable& table = *FTable;
    if (table.ReadOnly()) FReadOnly = true;
    FReadOnlyMedia = table.ReadOnlyAttribute();
    if (FReadOnlyMedia) FReadOnly = true;
    // The header check's read lock stays until the cursor stands on its
    // first record: the files cannot change meanwhile, so placing the
    // cursor neither locks nor reads the headers once more.
    TOpenReadHold hold(table);
    if (table.OpenCount() == 1) {
        VerifyFirstOpener();
        hold.Take();
    }
    PassPasswordCheck([&hold] { hold.Release(); });

    TDataFile& data = table.DataFile();
    FLocale = {data.Language(), data.Sort()};
    // Language 0 has no driver: keys compare and fill as plain bytes.
    if (FLocale.Language != 0) FCharMap = LanguageCharMapOf(FLocale.Language, FLocale.Sort);
    FFieldCount = data.FieldCount();
    FRecordSize = data.RecordSize();
    BuildFieldDescs();

    FRecord = data.RecordStack().Take(static_cast<std::size_t>(FRecordSize));
    AttachTable(data, table.IndexFile(), table.BlobFile(), *FRecord);
    if (table.IndexRecreated()) {
        hold.Release();
        RebuildRecreatedIndex();
    }
    hold.Drop();
    PlaceOnOpenIndex();
}

void TDataCursor::PlaceOnOpenIndex() {
    // One operation, whose end releases the read lock (the hold's too).
    TOperation operation(*this);
    SelectIndex(kPrimaryIndex);
    if (!FOpenIndex.empty()) {
        // SetToIndex checks the table whatever the session says; nested in
        // this operation it would not.
        (void)CheckAndResync();
        SetToIndex(FOpenIndex);
        // From no position at all, switching goes before the index's first
        // record, where First would go.
        if (IndexNo() != kPrimaryIndex) return;
    }
    First();
}

void TDataCursor::VerifyFirstOpener() {
    TDataTable& table = *FTable;
    // The headers are checked under the read lock, so no writer is half-way.
    (void)table.BeginRead();
    try {
        table.VerifyHeaders();
    } catch (...) {
        try {
            table.EndRead();
        } catch (...) {
            // The check's own error is the one to report.
        }
        throw;
    }
}

void TDataCursor::PassPasswordCheck(const std::function<void()>& releaseRead) {
    TDataFile& data = FTable->DataFile();
    if (!data.Encrypted()) return;
    TCursorPasswords passwords(Session(), FPasswordUserData, FPasswordCallback, *this, releaseRead);
    PassPasswordGate(true, data.GetPassword(), passwords, FTableName, FDirectory.ErrorName());
}

void TDataCursor::BuildFieldDescs() {
    FHasAutoInc = FHasDefaults = FHasBounds = FHasComputed = false;
    // As many as the table has: room for the most a table may have is
    // over 270 KiB, which the allocator takes from and gives back to the
    // system on every open.
    FFields.reserve(FTable->DataFile().Fields().size());
    for (const TFieldDescriptor& field : FTable->DataFile().Fields()) {
        TCursorFieldDesc desc;
        desc.Field = field;
        desc.Origin = Cut(FTableName + "." + field.Name, kMaxOriginLength);
        desc.SourceNumber = field.Number;
        desc.Directory = Cut(FDirectory.Path(), kMaxOriginLength);
        FHasAutoInc = FHasAutoInc || field.IsAutoInc();
        FHasDefaults = FHasDefaults || !field.DefaultText.empty();
        FHasBounds = FHasBounds || !field.MinText.empty() || !field.MaxText.empty();
        FFields.push_back(std::move(desc));
    }
}

// The index file was made anew: it holds only the internal indexes. Index 31
// gets one key per slot and the header the count of records in use; this
// runs once, for the cursor that opened the files.
void TDataCursor::RebuildRecreatedIndex() {
    TDataTable& table = *FTable;
    TDataFile& data = table.DataFile();
    TIndexFile& index = table.IndexFile();
    if (index.Header().RecordCount() != 0 || index.RootPage(kDeletedIndex) != 0) return;
    index.SetNoPrimaryIndex(true);
    TIndexTree deleted(index, kDeletedIndex);
    for (std::int32_t slot = 1; slot <= data.RecordCount(); ++slot) {
        TRecordPin record = data.FetchRecord(nullptr, slot);
        if (record->Status() == kRecordActive) index.IncrementRecordCount();
        deleted.Insert(DeletedIndexKey(record->Image(), FTableName), slot);
        record.Release();
        index.TrimPages();
        data.TrimRecords();
    }
    (void)index.WritePages();
    (void)index.WriteIndexHeader();
    InitPosition();
}

void TDataCursor::Close(bool force) {
    if (!FOpen) return;
    FBlobs.Clear();
    FSpareBlob.reset();
    FWantedBlobs.clear();
    FWantedLongBlobs = false;
    if (FEditLockedRecord != 0 && FTable != nullptr) {
        try {
            UnlockEditRecord();
        } catch (...) {
            // The table releases every lock it holds when it closes.
        }
        FEditLockedRecord = 0;
    }
    DetachTable();
    if (FRecord) FTable->DataFile().RecordStack().Give(std::move(FRecord));
    TDataTable* table = FTable;
    FTable = nullptr;
    FOpen = false;
    FLocale = {};
    FCharMap.reset();
    FFields.clear();
    FFieldCount = 0;
    FRecordSize = 0;
    FHasAutoInc = FHasDefaults = FHasBounds = FHasComputed = false;
    FPasswordCallback = nullptr;
    FPasswordUserData = nullptr;
    FReadOnlyMedia = false;
    if (table == nullptr) return;
    const int result = FDirectory.CloseTable(*table, force);
    if (result < 0) RaiseCursorError(static_cast<std::uint16_t>(-result));
}

// ---- hooks ----

bool TDataCursor::TakesNoLocks() const {
    return (FExclusive && !FSharesExclusiveOpen) || FReadOnlyMedia;
}

bool TDataCursor::StrictChangeDetection() const { return Session().StrictChangeDetection(); }

bool TDataCursor::BeginTableRead() { return FTable->BeginRead(); }

void TDataCursor::EndTableRead() { FTable->EndRead(); }

std::array<std::uint32_t, 3> TDataCursor::TableChangeCounters() const {
    return FTable->ChangeCounters();
}

const TLanguageCharMap* TDataCursor::CharMap() const { return FCharMap ? &*FCharMap : nullptr; }

}  // namespace pirin
