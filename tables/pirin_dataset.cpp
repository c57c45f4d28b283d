#include "tables/pirin_dataset.h"

#include <algorithm>
#include <utility>
#include <cstring>

#include "engine/data_table.h"
#include "errors/database_error.h"
#include "errors/engine_error.h"
#include "storage/little_endian.h"
#include "tables/blob_stream.h"
#include "tables/pirin_session.h"

namespace pirin {

using namespace le;

namespace {

struct TTypeMapping {
    TFieldType Type = TFieldType::Unknown;
    bool SizeFromField = false;
};

// The field type a descriptor gives; Unknown: no definition.
TTypeMapping MapFieldType(const TFieldDescriptor& field) {
    switch (field.Type) {
        case kFieldString:
            return {field.Subtype == kSubtypeFixedString ? TFieldType::FixedChar : TFieldType::String, true};
        case kFieldDate:
            return {TFieldType::Date};
        case kFieldBlob:
            switch (field.Subtype) {
                case kSubtypeMemo:
                    return {TFieldType::Memo};
                case kSubtypeFormattedMemo:
                    return {TFieldType::FmtMemo};
                case kSubtypeGraphic:
                    return {TFieldType::Graphic};
                case kSubtypeTypedBinary:
                    return {TFieldType::TypedBinary};
                default:
                    return {TFieldType::Blob};
            }
        case kFieldBoolean:
            return {TFieldType::Boolean};
        case kFieldSmallInt:
            return {TFieldType::SmallInt};
        case kFieldInteger:
            return {field.Subtype == kSubtypeAutoInc ? TFieldType::AutoInc : TFieldType::Integer};
        case kFieldFloat:
            return {field.Subtype == kSubtypeMoney ? TFieldType::Currency : TFieldType::Float};
        case kFieldBcd:
            return {TFieldType::Bcd};
        case kFieldBytes:
            return {TFieldType::Bytes, true};
        case kFieldTime:
            return {TFieldType::Time};
        case kFieldTimeStamp:
            return {TFieldType::DateTime};
        case kFieldWord:
            return {TFieldType::Word};
        case kFieldFourBytes:
            return {TFieldType::Integer};
        case kFieldVarBytes:
            return {TFieldType::VarBytes, true};
        case kFieldLargeInt:
        case 19:
            return {TFieldType::LargeInt};
        case 20:
            return {TFieldType::ADT};
        case 21:
            return {TFieldType::Array};
        case 22:
            return {TFieldType::Reference};
        case 23:
            return {TFieldType::DataSet};
        default:
            return {};
    }
}

}  // namespace

std::vector<std::string> SplitFieldNames(std::string_view names) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= names.size()) {
        const std::size_t end = std::min(names.find(';', start), names.size());
        if (end > start) parts.emplace_back(names.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

TPirinDataSet::~TPirinDataSet() = default;

// ---- open and close ----

void TPirinDataSet::OpenCursor() {
    FHandleAtFirst = false;
    FCursor = CreateHandle();
    if (!FCursor) DatabaseError(messages::kHandleError);
    InternalOpen();
}

void TPirinDataSet::CloseCursor() {
    InternalClose();
    DestroyHandle();
}

void TPirinDataSet::DestroyHandle() {
    FreeLookupCursor();
    if (!FCursor) return;
    auto cursor = std::move(FCursor);
    cursor->Close(true);
}

void TPirinDataSet::InternalOpen() {
    TDataCursor& cursor = *FCursor;
    FRecordSize = cursor.RecordSize();
    FBookmarkSize = cursor.BookmarkSize();
    FCanModify = !cursor.ReadOnly();
    BuildFieldDefs(cursor);
    ReadIndexInfo();
    CreateFields();
    for (const auto& field : Fields()) {
        const TCursorFieldDesc& desc = cursor.GetFieldDesc(field->FieldNo());
        field->Origin = desc.Origin;
        if (AutoDisplayLabels && !desc.Field.Description.empty()) field->DisplayLabel = desc.Field.Description;
    }
    FOldRecord.assign(static_cast<std::size_t>(FRecordSize), 0);
    for (auto& key : FKeyBuffers) key.assign(static_cast<std::size_t>(FRecordSize) + kKeyHeaderSize, 0);
    FBlobModified.assign(static_cast<std::size_t>(cursor.FieldCount()) + 1, false);
    FSearchRecord.assign(static_cast<std::size_t>(FRecordSize), 0);
    CreateExpressionFilter();
    CreateCallbackFilter();
    if (FFiltered) ActivateFilters(true);
    // Active filters change the view: its first record is to be found.
    if (!std::exchange(FHandleAtFirst, false) || FFiltered) cursor.First();
    PrepareCursor();
}

void TPirinDataSet::InternalClose() {
    for (auto& key : FKeyBuffers) key.clear();
    FOldRecord.clear();
    FSearchRecord.clear();
    FCandidate.clear();
    // The cursor takes its filters with it.
    FExpressionFilter = FCallbackFilter = nullptr;
    DestroyFields();
    FIndexFieldCount = 0;
    FKeyLength = 0;
    FIndexCaseInsensitive = false;
    FCanModify = false;
}

void TPirinDataSet::BuildFieldDefs(TDataCursor& cursor) {
    auto& defs = MutableFieldDefs();
    defs.clear();
    defs.reserve(static_cast<std::size_t>(cursor.FieldCount()));
    for (int number = 1; number <= cursor.FieldCount(); ++number) {
        const TFieldDescriptor& field = cursor.GetFieldDesc(number).Field;
        const TTypeMapping mapping = MapFieldType(field);
        if (mapping.Type == TFieldType::Unknown) continue;
        TFieldDef def;
        def.Name = field.Name;
        for (int suffix = 1; std::any_of(defs.begin(), defs.end(),
                                          [&](const TFieldDef& other) { return SameEngineName(other.Name, def.Name); });
             ++suffix)
            def.Name = field.Name + "_" + std::to_string(suffix);
        def.FieldNo = number;
        def.DataType = mapping.Type;
        def.Required = field.Required;
        if (mapping.SizeFromField) def.Size = field.DeclaredSize;
        if (mapping.Type == TFieldType::Bcd) {
            def.Size = field.Scale;
            def.Precision = 32;
        }
        def.DataSize = static_cast<int>(FieldValueSize(field));
        defs.push_back(std::move(def));
    }
}

void TPirinDataSet::ReadIndexInfo() {
    TDataCursor& cursor = *FCursor;
    const auto& keyFields = cursor.KeyFields();
    FIndexFieldCount = static_cast<int>(std::min<std::size_t>(keyFields.size(), kMaxKeyFields));
    for (int i = 0; i < FIndexFieldCount; ++i) FIndexFields[static_cast<std::size_t>(i)] = keyFields[static_cast<std::size_t>(i)].Number;
    FIndexCaseInsensitive = cursor.CaseInsensitive();
    FKeyLength = cursor.KeyLength();
    FBookmarkSize = cursor.BookmarkSize();
}

bool TPirinDataSet::IsIndexField(const TField& field) const {
    return std::find(FIndexFields.begin(), FIndexFields.begin() + FIndexFieldCount, field.FieldNo()) !=
           FIndexFields.begin() + FIndexFieldCount;
}

// ---- records ----

std::size_t TPirinDataSet::RecordBufferSize() const {
    return static_cast<std::size_t>(FRecordSize) + 8 + FBookmarkSize;
}

TGetResult TPirinDataSet::GetRecord(std::span<std::uint8_t> buffer, TGetMode mode, bool check) {
    if (!FCursor) return TGetResult::Error;
    TDataCursor& cursor = *FCursor;
    const auto image = buffer.first(static_cast<std::size_t>(FRecordSize));
    std::int32_t code = 0;
    try {
        switch (mode) {
            case TGetMode::Current:
                code = cursor.GetCurrentRecord(image, false);
                break;
            case TGetMode::Next:
                code = cursor.GetNextRecord(image);
                break;
            case TGetMode::Prior:
                code = cursor.GetPriorRecord(image);
                break;
            case TGetMode::Last:
                code = cursor.GetLastRecord(image);
                break;
        }
    } catch (const std::exception& error) {
        code = ErrorCodeOf(error);
    }
    if (code == 0) return CompleteFetched(buffer);
    if (code == PIRIN_BOF) return TGetResult::BOF;
    if (code == PIRIN_EOF) return TGetResult::EOF_;
    if (check) cursor.CheckError(static_cast<std::uint16_t>(code));
    return TGetResult::Error;
}

TGetResult TPirinDataSet::CompleteFetched(std::span<std::uint8_t> buffer) {
    buffer[FlagOffset()] = static_cast<std::uint8_t>(TBookmarkFlag::Current);
    // The fetch just placed the cursor: its position needs no second
    // operation.
    PutI32(buffer, RecNoOffset(), FCursor->CurrentRecNo());
    FCursor->GetBookmark(buffer.subspan(BookmarkOffset(), FBookmarkSize));
    return TGetResult::OK;
}

TGetResult TPirinDataSet::CompleteSearched(std::span<std::uint8_t> buffer) {
    if (!FCursor) return TGetResult::Error;
    // Where GetCurrentRecord would answer with a code, there is no record.
    if (FCursor->Bof() && FCursor->Eof()) return TGetResult::Error;
    if (FCursor->Bof()) return TGetResult::BOF;
    if (FCursor->Eof()) return TGetResult::EOF_;
    return CompleteFetched(buffer);
}

TGetResult TPirinDataSet::CompletePosted(std::span<std::uint8_t> buffer) {
    // The write left the stored record in the buffer (bytes 1..4: its own
    // number) and the cursor's current record is that same image, unless
    // the view put the cursor elsewhere. Under strict change detection the
    // read's own check of the files must still run.
    if (!FCursor || FCursor->Session().StrictChangeDetection() || FCursor->Bof() || FCursor->Eof())
        return TGetResult::Error;
    const auto image = buffer.first(static_cast<std::size_t>(FRecordSize));
    if (GetI32(image, 1) != FCursor->CurrentRecordNumber()) return TGetResult::Error;
    return CompleteFetched(buffer);
}

void TPirinDataSet::InternalFirst() { FCursor->First(); }

void TPirinDataSet::InternalSetToRecord(std::span<const std::uint8_t> buffer) {
    // A step from the record the cursor still stands on (a walk) needs no
    // key search: the search would land on the same entry of the same leaf,
    // and the step's own begin picks up any change of the table.
    if (CursorStandsOn(buffer)) return;
    FCursor->GotoBookmark(BookmarkOf(buffer), false);
}

bool TPirinDataSet::CursorStandsOn(std::span<const std::uint8_t> buffer) const {
    const TDataCursor& cursor = *FCursor;
    if (FlagOf(buffer) != TBookmarkFlag::Current || cursor.Bof() || cursor.Eof() ||
        cursor.Table() == nullptr || cursor.ChangeSnapshot() != cursor.Table()->ChangeCounters() ||
        cursor.BookmarkSize() != FBookmarkSize || FRecordSize < 5)
        return false;
    // An index holds one entry per record, and the buffer's bookmark belongs
    // to the cursor's index (a switch of index reads the buffer again): with
    // nothing changed since, the cursor stands on the buffer's entry exactly
    // when it stands on its record, whose number bytes 1..4 of a fetched
    // image carry. No bookmark is built and compared (a step of a walk comes
    // here once per record).
    const std::int32_t record = GetI32(buffer, 1);
    return record != 0 && cursor.CurrentRecordNumber() == record;
}

void TPirinDataSet::InternalRefresh() { FCursor->Refresh(); }

std::span<const std::uint8_t> TPirinDataSet::BookmarkOf(std::span<const std::uint8_t> buffer) const {
    return buffer.subspan(BookmarkOffset(), FBookmarkSize);
}

TBookmarkFlag TPirinDataSet::FlagOf(std::span<const std::uint8_t> buffer) const {
    return static_cast<TBookmarkFlag>(buffer[FlagOffset()]);
}

std::int32_t TPirinDataSet::RecordCount() { return FCursor ? FCursor->RecordCount() : 0; }

std::int32_t TPirinDataSet::RecNo() const {
    const auto buffer = ActiveBuffer();
    if (buffer.empty()) return -1;
    return GetI32(buffer, RecNoOffset());
}

void TPirinDataSet::SetRecNo(std::int32_t value) {
    if (!FCursor || value == RecNo()) return;
    Fire(BeforeScroll);
    if (FCursor->SetRecNo(value)) ResyncToCursor();
    Fire(AfterScroll);
}

std::vector<std::uint8_t> TPirinDataSet::GetBookmark() const {
    const auto buffer = ActiveBuffer();
    if (buffer.empty() || FlagOf(buffer) != TBookmarkFlag::Current) return {};
    const auto bookmark = BookmarkOf(buffer);
    return {bookmark.begin(), bookmark.end()};
}

bool TPirinDataSet::GotoBookmark(std::span<const std::uint8_t> bookmark) {
    if (!FCursor || bookmark.empty()) return false;
    Fire(BeforeScroll);
    const bool found = FCursor->GotoBookmark(bookmark, false) && ResyncToCursor();
    Fire(AfterScroll);
    return found;
}

int TPirinDataSet::CompareBookmarks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) const {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return 1;
    if (b.empty()) return -1;
    return FCursor->CompareBookmarks(a, b);
}

// ---- field values ----

std::span<std::uint8_t> TPirinDataSet::RecordImage() const {
    auto& self = const_cast<TPirinDataSet&>(*this);
    switch (State()) {
        case TDataSetState::Browse:
        case TDataSetState::Edit:
        case TDataSetState::Insert:
        case TDataSetState::NewValue:
        case TDataSetState::Filter:
            if (!FFilterImage.empty()) return FFilterImage;
            [[fallthrough]];
        case TDataSetState::CalcFields:
        case TDataSetState::BlockRead: {
            const auto buffer = self.ActiveBuffer();
            return buffer.empty() ? buffer : buffer.first(static_cast<std::size_t>(FRecordSize));
        }
        case TDataSetState::SetKey:
            return self.KeyRecord(FEditedKey);
        case TDataSetState::OldValue:
            return self.FOldRecord;
        default:
            return {};
    }
}

bool TPirinDataSet::GetFieldData(const TField& field, std::span<std::uint8_t> value) const {
    const auto image = RecordImage();
    if (image.empty() || !FCursor || field.FieldNo() <= 0) return false;
    return !FCursor->GetField(field.FieldNo(), image, value);
}

void TPirinDataSet::SetFieldData(TField& field, std::optional<std::span<const std::uint8_t>> value) {
    const TDataSetState state = State();
    if (state != TDataSetState::Edit && state != TDataSetState::Insert &&
        state != TDataSetState::SetKey && state != TDataSetState::Filter &&
        state != TDataSetState::NewValue)
        DatabaseError(messages::kNotEditing);
    if (state == TDataSetState::SetKey &&
        (field.FieldNo() < 0 || (FIndexFieldCount > 0 && !IsIndexField(field))))
        DatabaseErrorFmt(messages::kNotIndexField, field.DisplayName());
    if (field.ReadOnly && state != TDataSetState::SetKey && state != TDataSetState::Filter)
        DatabaseErrorFmt(messages::kFieldReadOnly, field.DisplayName());
    const auto image = RecordImage();
    if (image.empty() || field.FieldNo() <= 0) return;
    FCursor->SetField(field.FieldNo(), image, value);
    if (state != TDataSetState::Filter && state != TDataSetState::NewValue) FieldChanged();
}

std::unique_ptr<TPirinBlobStream> TPirinDataSet::CreateBlobStream(const TField& field, TBlobStreamMode mode) {
    return std::make_unique<TPirinBlobStream>(*this, field, mode);
}

void TPirinDataSet::WriteBlobText(const TField& field, std::span<const std::uint8_t> bytes) {
    // The stream a caller would make, kept on the stack.
    TPirinBlobStream stream(*this, field, TBlobStreamMode::Write);
    stream.Write(bytes);
}

std::uint32_t TPirinDataSet::ReadWholeBlob(int fieldNo, std::vector<std::uint8_t>& bytes) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto image = ActiveBuffer().first(std::min<std::size_t>(ActiveBuffer().size(),
                                                                      static_cast<std::size_t>(FRecordSize)));
        if (image.empty() || !FCursor) return 0;
        std::uint32_t size = 0;
        std::uint16_t status = 0;
        try {
            status = FCursor->OpenBlob(fieldNo, image, TBlobOpenMode::Read, size);
        } catch (const std::exception& error) {
            status = static_cast<std::uint16_t>(ErrorCodeOf(error));
        }
        if (status == PIRIN_KEYORRECDELETED && attempt == 0) {
            Refresh();
            continue;
        }
        if (status != 0) return 0;
        if (bytes.size() <= size) bytes.resize(size + size / 4);
        std::uint32_t count = 0;
        try {
            status = FCursor->GetBlob(fieldNo, image, 0, std::span(bytes).first(size), count);
        } catch (const std::exception& error) {
            status = static_cast<std::uint16_t>(ErrorCodeOf(error));
        }
        (void)FCursor->FreeBlob(fieldNo, image);
        return status == 0 || status == PIRIN_ENDOFBLOB ? size : 0;
    }
    return 0;
}

bool TPirinDataSet::BlobModified(int fieldNo) const {
    return fieldNo > 0 && static_cast<std::size_t>(fieldNo) < FBlobModified.size() &&
           FBlobModified[static_cast<std::size_t>(fieldNo)];
}

void TPirinDataSet::SetBlobModified(int fieldNo, bool value) {
    if (fieldNo > 0 && static_cast<std::size_t>(fieldNo) < FBlobModified.size())
        FBlobModified[static_cast<std::size_t>(fieldNo)] = value;
}

// ---- editing ----

std::span<std::uint8_t> TPirinDataSet::ActiveImage() {
    const auto buffer = ActiveBuffer();
    return buffer.empty() ? buffer : buffer.first(static_cast<std::size_t>(FRecordSize));
}

void TPirinDataSet::InternalEdit() {
    const auto buffer = ActiveBuffer();
    InternalSetToRecord(buffer);
    // Locks the record (pessimistic) and checks it is still the one read.
    FCursor->CheckError(FCursor->GetCurrentRecord(ActiveImage(), true));
    std::copy(buffer.begin(), buffer.begin() + FRecordSize, FOldRecord.begin());
    std::fill(FBlobModified.begin(), FBlobModified.end(), false);
}

void TPirinDataSet::InternalInitRecord(std::span<std::uint8_t> buffer, bool copyCurrent) {
    const auto image = buffer.first(static_cast<std::size_t>(FRecordSize));
    if (!copyCurrent) FCursor->InitRecord(image);
    std::copy(image.begin(), image.end(), FOldRecord.begin());
    PutI32(buffer, RecNoOffset(), -1);
    buffer[FlagOffset()] = static_cast<std::uint8_t>(TBookmarkFlag::Inserted);
    std::fill(FBlobModified.begin(), FBlobModified.end(), false);
}

void TPirinDataSet::InternalPost(bool inserting) {
    const auto image = ActiveImage();
    if (inserting)
        FCursor->InsertRecord(image, true);
    else
        FCursor->ModifyRecord(image, true, true);
    std::fill(FBlobModified.begin(), FBlobModified.end(), false);
}

void TPirinDataSet::ReleaseWrittenBlobs() {
    const auto image = ActiveImage();
    for (std::size_t fieldNo = 1; fieldNo < FBlobModified.size(); ++fieldNo)
        if (FBlobModified[fieldNo] && !image.empty())
            (void)FCursor->FreeBlob(static_cast<int>(fieldNo), image);
    std::fill(FBlobModified.begin(), FBlobModified.end(), false);
}

void TPirinDataSet::InternalCancel(bool inserting) {
    ReleaseWrittenBlobs();
    if (!inserting) FCursor->CancelEdit();
}

void TPirinDataSet::InternalDelete() { FCursor->DeleteRecord(ActiveImage(), true); }

// ---- key buffers ----

void TPirinDataSet::BeginKeyEdit(TKeyIndex key) {
    auto& buffer = FKeyBuffers[static_cast<std::size_t>(key)];
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    FCursor->BlankRecord(KeyRecord(key));
    FEditedKey = key;
}

std::span<std::uint8_t> TPirinDataSet::KeyRecord(TKeyIndex key) {
    auto& buffer = FKeyBuffers[static_cast<std::size_t>(key)];
    if (buffer.empty()) return {};
    return std::span<std::uint8_t>(buffer).subspan(kKeyHeaderSize);
}

std::int32_t TPirinDataSet::KeyFieldCount(TKeyIndex key) const {
    const auto& buffer = FKeyBuffers[static_cast<std::size_t>(key)];
    return buffer.empty() ? 0 : GetI32(buffer, 4);
}

void TPirinDataSet::SetKeyFieldCount(TKeyIndex key, std::int32_t count) {
    auto& buffer = FKeyBuffers[static_cast<std::size_t>(key)];
    if (!buffer.empty()) PutI32(buffer, 4, count);
}

// ---- TPirinDBDataSet ----

TPirinDBDataSet::TPirinDBDataSet(const void* owner) : FOwner(owner) {
    Sessions().RegisterDataSet(*this);
}

TPirinDBDataSet::~TPirinDBDataSet() {
    try {
        Close();
    } catch (...) {
        // A dataset that fails to close still goes.
    }
    Sessions().UnregisterDataSet(*this);
}

void TPirinDBDataSet::CheckInactive() const {
    if (Active()) DatabaseError(messages::kDataSetOpen);
}

void TPirinDBDataSet::SetDatabaseName(std::string_view value) {
    const std::string name = NormalizeSeparators(value);
    if (name == FDatabaseName) return;
    CheckInactive();
    if (FDatabase != nullptr) DatabaseError(messages::kDatabaseOpen);
    FDatabaseName = name;
    FInMemory = SameEngineName(name, "Memory");
    NamesChanged();
}

void TPirinDBDataSet::SetSessionName(std::string_view value) {
    if (value == FSessionName) return;
    CheckInactive();
    FSessionName = value;
    NamesChanged();
}

void TPirinDBDataSet::TakeSessionName(const std::string& name) {
    if (Active()) return;
    FSessionName = name;
    NamesChanged();
}

void TPirinDBDataSet::SetDBFlag(int flag, bool value) {
    const unsigned bit = 1u << flag;
    if (value) {
        if (FDBFlags == 0) {
            TPirinSession* named = Sessions().FindSession(FSessionName);
            if (named != nullptr && named->FindDatabase(FDatabaseName) == nullptr) {
                TPirinDatabase* inDefault = Session().FindDatabase(FDatabaseName);
                if (inDefault != nullptr) inDefault->ResolveSession();
            }
            TPirinSession& session = Sessions().GetSession(FSessionName);
            FDatabase = &session.OpenDatabase(FDatabaseName, FOwner);
            FDatabase->AddDataSet(*this);
        }
        FDBFlags |= bit;
        return;
    }
    if ((FDBFlags & bit) == 0) return;
    FDBFlags &= ~bit;
    if (FDBFlags != 0 || FDatabase == nullptr) return;
    TPirinDatabase* database = std::exchange(FDatabase, nullptr);
    database->RemoveDataSet(*this);
    database->Session().CloseDatabase(*database);
}

void TPirinDBDataSet::OpenCursor() {
    SetDBFlag(kFlagOpen, true);
    try {
        TPirinDataSet::OpenCursor();
    } catch (...) {
        try {
            TPirinDataSet::CloseCursor();
        } catch (...) {
            // The open's own error is the one to report.
        }
        SetDBFlag(kFlagOpen, false);
        throw;
    }
}

void TPirinDBDataSet::CloseCursor() {
    try {
        TPirinDataSet::CloseCursor();
    } catch (...) {
        SetDBFlag(kFlagOpen, false);
        throw;
    }
    SetDBFlag(kFlagOpen, false);
}

}  // namespace pirin
