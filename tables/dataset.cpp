#include "tables/dataset.h"

#include <algorithm>

#include "engine/data_session.h"
#include "errors/database_error.h"
#include "tables/typed_fields.h"

namespace pirin {

namespace {

constexpr std::string_view kDataSetClosed = "Cannot perform this operation on a closed dataset";
constexpr std::string_view kDataSetReadOnly = "Cannot modify a read-only dataset";
constexpr std::string_view kDataSetEmpty = "Cannot perform this operation on an empty dataset";

}  // namespace

TDataSet::~TDataSet() = default;

void TDataSet::SetActive(bool value) {
    if (value == Active()) return;
    if (value) {
        Fire(BeforeOpen);
        try {
            OpenCursor();
            AllocateBuffers();
            SetState(TDataSetState::Browse);
            ReadFirst();
        } catch (...) {
            SetState(TDataSetState::Inactive);
            try {
                CloseCursor();
            } catch (...) {
                // The open's own error is the one to report.
            }
            ReleaseBuffers();
            throw;
        }
        Fire(AfterOpen);
        return;
    }
    Fire(BeforeClose);
    if (FState == TDataSetState::Edit || FState == TDataSetState::Insert) Cancel();
    SetState(TDataSetState::Inactive);
    ReleaseBuffers();
    CloseCursor();
    Fire(AfterClose);
}

void TDataSet::AllocateBuffers() {
    FActive.assign(RecordBufferSize(), 0);
    FScratch.assign(RecordBufferSize(), 0);
}

void TDataSet::ResizeBuffers() {
    FActive.resize(RecordBufferSize());
    FScratch.resize(RecordBufferSize());
}

void TDataSet::ReleaseBuffers() noexcept {
    FActive.clear();
    FScratch.clear();
    FHasRecord = false;
    FBof = FEof = true;
}

void TDataSet::CheckActive() const {
    if (!Active()) DatabaseError(kDataSetClosed);
}

std::span<std::uint8_t> TDataSet::ActiveBuffer() noexcept {
    return FHasRecord ? std::span<std::uint8_t>(FActive) : std::span<std::uint8_t>();
}

std::span<const std::uint8_t> TDataSet::ActiveBuffer() const noexcept {
    return FHasRecord ? std::span<const std::uint8_t>(FActive) : std::span<const std::uint8_t>();
}

void TDataSet::ReadFirst() {
    FHasRecord = GetRecord(FScratch, TGetMode::Next, true) == TGetResult::OK;
    if (FHasRecord) std::swap(FActive, FScratch);
    FBof = true;
    FEof = !FHasRecord;
}

bool TDataSet::ResyncToCursor() {
    if (GetRecord(FScratch, TGetMode::Current, false) != TGetResult::OK) return false;
    std::swap(FActive, FScratch);
    FHasRecord = true;
    FBof = FEof = false;
    return true;
}

bool TDataSet::ResyncToSearched() {
    if (CompleteSearched(FScratch) != TGetResult::OK) return false;
    std::swap(FActive, FScratch);
    FHasRecord = true;
    FBof = FEof = false;
    return true;
}

void TDataSet::First() {
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    InternalFirst();
    ReadFirst();
    Fire(AfterScroll);
}

void TDataSet::Last() {
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    FHasRecord = GetRecord(FScratch, TGetMode::Last, true) == TGetResult::OK;
    if (FHasRecord) std::swap(FActive, FScratch);
    FEof = true;
    FBof = !FHasRecord;
    Fire(AfterScroll);
}

bool TDataSet::Step(TGetMode mode) {
    if (!FHasRecord) return false;
    InternalSetToRecord(FActive);
    if (GetRecord(FScratch, mode, true) != TGetResult::OK) return false;
    std::swap(FActive, FScratch);
    return true;
}

void TDataSet::Next() { MoveBy(1); }

void TDataSet::Prior() { MoveBy(-1); }

int TDataSet::MoveBy(int distance) {
    CheckActive();
    CheckBrowseMode();
    if (distance == 0) return 0;
    Fire(BeforeScroll);
    const TGetMode mode = distance > 0 ? TGetMode::Next : TGetMode::Prior;
    int moved = 0;
    const int wanted = distance > 0 ? distance : -distance;
    while (moved < wanted) {
        if (!Step(mode)) {
            (distance > 0 ? FEof : FBof) = true;
            break;
        }
        FBof = FEof = false;
        ++moved;
    }
    Fire(AfterScroll);
    return distance > 0 ? moved : -moved;
}

void TDataSet::Refresh() {
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeRefresh);
    InternalRefresh();
    if (FHasRecord) {
        InternalSetToRecord(FActive);
        if (!ResyncToCursor()) {
            InternalFirst();
            ReadFirst();
        }
    } else {
        InternalFirst();
        ReadFirst();
    }
    Fire(AfterRefresh);
}

// ---- editing ----

void TDataSet::CheckCanModify() const {
    CheckActive();
    if (!CanEdit()) DatabaseError(kDataSetReadOnly);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    if (FState == TDataSetState::Edit || FState == TDataSetState::Insert) Post();
}

void TDataSet::Edit() {
    if (FState == TDataSetState::Edit || FState == TDataSetState::Insert) return;
    CheckCanModify();
    if (!FHasRecord) return Insert();
    Fire(BeforeEdit);
    InternalEdit();
    SetState(TDataSetState::Edit);
    FModified = false;
    Fire(AfterEdit);
}

void TDataSet::Insert() { StartNewRecord(false); }

void TDataSet::Append() { StartNewRecord(true); }

void TDataSet::StartNewRecord(bool append) {
    CheckBrowseMode();
    CheckCanModify();
    Fire(BeforeInsert);
    Fire(BeforeScroll);
    // Cancel comes back to the last record. Unless the new record copies it,
    // the last record is read only then: a run of appends (each placed by
    // its key when posted) does not descend to the end of the index for a
    // record nobody looks at.
    FLastOnCancel = append && !CopiesOnAppend();
    if (append && !FLastOnCancel) {
        FHasRecord = GetRecord(FScratch, TGetMode::Last, true) == TGetResult::OK;
        if (FHasRecord) std::swap(FActive, FScratch);
    }
    FHadRecordBeforeInsert = FHasRecord;
    FBeforeInsert = FActive;
    const bool copy = CopiesOnAppend() && FHadRecordBeforeInsert;
    if (!copy) FActive.assign(RecordBufferSize(), 0);
    InternalInitRecord(FActive, copy);
    FHasRecord = true;
    FBof = FEof = false;
    SetState(TDataSetState::Insert);
    FModified = false;
    Fire(OnNewRecord);
    Fire(AfterInsert);
    Fire(AfterScroll);
}

void TDataSet::Post() {
    if (FState != TDataSetState::Edit && FState != TDataSetState::Insert) return;
    Fire(BeforePost);
    const bool inserting = FState == TDataSetState::Insert;
    InternalPost(inserting);
    SetState(TDataSetState::Browse);
    FModified = false;
    if (FHasRecord && CompletePosted(FActive) == TGetResult::OK)
        FBof = FEof = false;
    else
        ReadAfterChange();
    Fire(AfterPost);
}

void TDataSet::Cancel() {
    if (FState != TDataSetState::Edit && FState != TDataSetState::Insert) return;
    Fire(BeforeCancel);
    const bool inserting = FState == TDataSetState::Insert;
    // An append not yet on the last record goes there now; a failure leaves
    // the dataset inserting, as a failed Append would have left it browsing.
    const bool toLast = inserting && FLastOnCancel;
    if (toLast) {
        FHadRecordBeforeInsert = GetRecord(FScratch, TGetMode::Last, true) == TGetResult::OK;
        if (FHadRecordBeforeInsert) FBeforeInsert = FScratch;
    }
    InternalCancel(inserting);
    SetState(TDataSetState::Browse);
    FModified = false;
    FLastOnCancel = false;
    if (inserting) {
        FActive = FBeforeInsert;
        FHasRecord = FHadRecordBeforeInsert;
        FBof = FEof = !FHasRecord;
    }
    if (FHasRecord) {
        InternalSetToRecord(FActive);
        (void)ResyncToCursor();
    }
    Fire(AfterCancel);
}

void TDataSet::Delete() {
    CheckActive();
    if (FState == TDataSetState::Insert) return Cancel();
    if (!FHasRecord) DatabaseError(kDataSetEmpty);
    CheckCanModify();
    Fire(BeforeDelete);
    Fire(BeforeScroll);
    InternalSetToRecord(FActive);
    InternalDelete();
    SetState(TDataSetState::Browse);
    ReadAfterChange();
    Fire(AfterDelete);
    Fire(AfterScroll);
}

void TDataSet::ReadAfterChange() {
    if (ResyncToCursor()) return;
    // The cursor stands on a crack: the next record, else the previous one.
    if (GetRecord(FScratch, TGetMode::Next, false) == TGetResult::OK ||
        GetRecord(FScratch, TGetMode::Prior, false) == TGetResult::OK) {
        std::swap(FActive, FScratch);
        FHasRecord = true;
        FBof = FEof = false;
        return;
    }
    FHasRecord = false;
    FBof = FEof = true;
}

TField* TDataSet::FindField(std::string_view name) const {
    for (const auto& field : FFields)
        if (SameEngineName(field->FieldName(), name)) return field.get();
    return nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) const {
    TField* field = FindField(name);
    if (field == nullptr) DatabaseErrorFmt(messages::kFieldNotFound, name);
    return *field;
}

TField* TDataSet::FieldByNumber(int fieldNo) const {
    for (const auto& field : FFields)
        if (field->FieldNo() == fieldNo) return field.get();
    return nullptr;
}

// The field class a type asks for.
std::unique_ptr<TField> TDataSet::NewField(const TFieldDef& def) {
    switch (def.DataType) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            return std::make_unique<TStringField>(*this, def);
        case TFieldType::SmallInt:
            return std::make_unique<TSmallintField>(*this, def);
        case TFieldType::Integer:
            return std::make_unique<TIntegerField>(*this, def);
        case TFieldType::AutoInc:
            return std::make_unique<TAutoIncField>(*this, def);
        case TFieldType::Word:
            return std::make_unique<TWordField>(*this, def);
        case TFieldType::LargeInt:
            return std::make_unique<TLargeintField>(*this, def);
        case TFieldType::Float:
            return std::make_unique<TFloatField>(*this, def);
        case TFieldType::Currency:
            return std::make_unique<TCurrencyField>(*this, def);
        case TFieldType::Boolean:
            return std::make_unique<TBooleanField>(*this, def);
        case TFieldType::Date:
            return std::make_unique<TDateField>(*this, def);
        case TFieldType::Time:
            return std::make_unique<TTimeField>(*this, def);
        case TFieldType::DateTime:
            return std::make_unique<TDateTimeField>(*this, def);
        case TFieldType::Bcd:
            return std::make_unique<TBCDField>(*this, def);
        case TFieldType::Bytes:
            return std::make_unique<TBytesField>(*this, def);
        case TFieldType::VarBytes:
            return std::make_unique<TVarBytesField>(*this, def);
        case TFieldType::Memo:
            return std::make_unique<TMemoField>(*this, def);
        case TFieldType::FmtMemo:
            return std::make_unique<TFmtMemoField>(*this, def);
        case TFieldType::Graphic:
            return std::make_unique<TGraphicField>(*this, def);
        case TFieldType::TypedBinary:
        case TFieldType::Blob:
            return std::make_unique<TBlobField>(*this, def);
        default:
            return std::make_unique<TField>(*this, def);
    }
}

void TDataSet::CreateFields() {
    FFields.clear();
    ++FFieldsGeneration;
    for (const TFieldDef& def : FFieldDefs) FFields.push_back(NewField(def));
}

}  // namespace pirin
