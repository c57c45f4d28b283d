#include "tables/pirin_table.h"

#include "engine/data_directory.h"
#include "engine/data_table.h"
#include "errors/database_error.h"
#include "tables/pirin_session.h"

namespace pirin {

namespace {

// Turns a flag of the dataset on for one scope.
class TDBFlagScope {
  public:
    TDBFlagScope(std::function<void(bool)> set) : FSet(std::move(set)) { FSet(true); }
    ~TDBFlagScope() {
        try {
            FSet(false);
        } catch (...) {
            // Releasing the database must not hide the scope's own error.
        }
    }
    TDBFlagScope(const TDBFlagScope&) = delete;
    TDBFlagScope& operator=(const TDBFlagScope&) = delete;

  private:
    std::function<void(bool)> FSet;
};

}  // namespace

TPirinTable::~TPirinTable() {
    try {
        Close();
    } catch (...) {
        // The table goes in any case.
    }
}

std::string TPirinTable::EngineVersion() const { return kEngineVersion; }

void TPirinTable::SetTableName(std::string_view value) {
    const std::string name = NormalizeSeparators(value);
    if (name == FTableName) return;
    CheckInactive();
    const std::size_t slash = name.rfind('/');
    if (!InMemory() && !name.empty() && slash != std::string::npos) {
        SetDatabaseName(name.substr(0, slash + 1));
        FTableName = name.substr(slash + 1);
    } else {
        FTableName = name;
    }
    FIndexDefsValid = false;
}

void TPirinTable::SetExclusive(bool value) {
    CheckInactive();
    FExclusive = value;
}

void TPirinTable::SetReadOnly(bool value) {
    CheckInactive();
    FReadOnly = value;
}

// ---- opening ----

std::unique_ptr<TDataCursor> TPirinTable::MakeCursor(bool exclusive, bool readOnly,
                                                   std::string_view openIndex) {
    if (FTableName.empty()) DatabaseError(messages::kNoTableName);
    TPirinDatabase& database = *Database();
    TPirinSession& session = database.Session();
    auto cursor = std::make_unique<TDataCursor>(*database.EngineDirectory());
    cursor->SetTableName(FTableName);
    cursor->SetExclusive(exclusive);
    cursor->SetReadOnly(readOnly);
    cursor->SetInMemory(InMemory());
    cursor->SetOpenIndex(openIndex);
    cursor->SetPasswordCallback(&session, [](void* userData, TDataCursor&) {
        return static_cast<TPirinSession*>(userData)->PasswordPrompt();
    });
    cursor->Open();
    return cursor;
}

std::unique_ptr<TDataCursor> TPirinTable::CreateHandle() {
    if (FTableName.empty()) DatabaseError(messages::kNoTableName);
    FIndexDefsValid = false;
    // An index known by name: the cursor opens straight onto it and stands
    // on its first record, as the open goes on to want. One given by field
    // names is resolved once the cursor can tell the index definitions.
    const std::string_view openIndex = FFieldsIndex ? std::string_view{} : FIndexName;
    auto cursor = MakeCursor(FExclusive, FReadOnly, openIndex);
    FReadOnly = cursor->ReadOnly();
    if (!FFieldsIndex) {
        SetHandleAtFirst();
        return cursor;
    }
    // The cursor is the table's from here on, so IndexDefs can use it.
    FCursor = std::move(cursor);
    try {
        const std::string index = ResolvedIndexName();
        if (!index.empty()) FCursor->SetToIndex(index);
    } catch (...) {
        FCursor->Close(true);
        FCursor.reset();
        throw;
    }
    return std::move(FCursor);
}

std::string TPirinTable::ResolvedIndexName() {
    if (!FFieldsIndex) return FIndexName;
    const auto wanted = SplitFieldNames(FIndexName);
    for (const TIndexDef& def : IndexDefs()) {
        const auto fields = SplitFieldNames(def.Fields);
        if (fields.size() < wanted.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < wanted.size() && match; ++i)
            match = SameEngineName(fields[i], wanted[i]);
        if (match) return def.Name;
    }
    DatabaseErrorFmt(messages::kNoIndexForFields, FIndexName);
}

// ---- index definitions ----

const std::vector<TIndexDef>& TPirinTable::IndexDefs() {
    if (!FIndexDefsValid) RefreshIndexDefs();
    return FIndexDefs;
}

void TPirinTable::RefreshIndexDefs() {
    TDBFlagScope flag([this](bool on) { SetDBFlag(kFlagIndexDefs, on); });
    std::unique_ptr<TDataCursor> temporary;
    TDataCursor* cursor = FCursor.get();
    if (cursor == nullptr) {
        temporary = MakeCursor(false, FReadOnly);
        cursor = temporary.get();
    }
    if (!Active()) BuildFieldDefs(*cursor);
    FIndexDefs.clear();
    const bool hasPrimary = !cursor->Table()->IndexFile().NoPrimaryIndex();
    std::array<std::uint8_t, kIndexDescriptorSize> bytes{};
    for (int number = hasPrimary ? 0 : 1; number <= cursor->IndexCount(); ++number) {
        cursor->GetIndexDesc(number, bytes);
        const TIndexDescriptor desc = TIndexDescriptor::Unpack(bytes);
        TIndexDef def;
        def.Name = desc.Name;
        for (int i = 0; i < desc.FieldCount && i < kMaxKeyFields; ++i) {
            const int fieldNo = desc.FieldNumbers[static_cast<std::size_t>(i)];
            for (const TFieldDef& field : FieldDefs())
                if (field.FieldNo == fieldNo) {
                    if (!def.Fields.empty()) def.Fields += ';';
                    def.Fields += field.Name;
                }
        }
        def.Primary = number == kPrimaryIndex;
        def.Unique = desc.Unique;
        def.Descending = desc.Descending;
        def.CaseInsensitive = desc.CaseInsensitive;
        FIndexDefs.push_back(std::move(def));
    }
    FIndexDefsValid = true;
    if (temporary) temporary->Close(true);
}

bool TPirinTable::Exists() {
    if (Active()) return true;
    if (FTableName.empty()) return false;
    TDBFlagScope flag([this](bool on) { SetDBFlag(kFlagExists, on); });
    return Database()->EngineDirectory()->TableExists(FTableName, InMemory());
}

// ---- choosing an index ----

void TPirinTable::SetIndexName(std::string_view value) { SelectIndex(value, false); }

void TPirinTable::SetIndexFieldNames(std::string_view value) { SelectIndex(value, !value.empty()); }

void TPirinTable::SelectIndex(std::string_view value, bool fieldsMode) {
    if (Active()) CheckBrowseMode();
    if (value == FIndexName && fieldsMode == FFieldsIndex) return;
    const std::string oldName = FIndexName;
    const bool oldMode = FFieldsIndex;
    FIndexName = value;
    FFieldsIndex = fieldsMode;
    if (!Active()) return;
    try {
        const std::string index = ResolvedIndexName();
        const auto active = ActiveBuffer();
        if (!active.empty()) InternalSetToRecord(active);
        FCursor->SetToIndex(index);
    } catch (...) {
        FIndexName = oldName;
        FFieldsIndex = oldMode;
        throw;
    }
    ReadIndexInfo();
    try {
        ResizeBuffers();
    } catch (...) {
        Close();
        throw;
    }
    if (!ResyncToCursor()) ReadFirst();
}

// ---- keys ----

void TPirinTable::SetKeyFields(TKeyIndex key, const std::vector<TKeyValue>& values) {
    if (IndexFieldCount() == 0) DatabaseError(messages::kNoFieldIndexes);
    const TDataSetState saved = State();
    SetState(TDataSetState::SetKey);
    try {
        BeginKeyEdit(key);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (static_cast<int>(i) >= IndexFieldCount()) DatabaseError(messages::kFieldIndexError);
            const int fieldNo = IndexFieldNo(static_cast<int>(i));
            TField* field = FieldByNumber(fieldNo);
            if (field == nullptr)
                DatabaseErrorFmt(messages::kIndexFieldMissing, FCursor->GetFieldDesc(fieldNo).Field.Name);
            AssignValue(*field, values[i]);
        }
        SetKeyFieldCount(key, static_cast<std::int32_t>(values.size()));
    } catch (...) {
        SetState(saved);
        throw;
    }
    SetState(saved);
}

bool TPirinTable::FindKey(const std::vector<TKeyValue>& values) {
    CheckBrowseMode();
    SetKeyFields(TKeyIndex::Lookup, values);
    return GotoKey();
}

void TPirinTable::EditKey(TKeyIndex key) {
    CheckBrowseMode();
    if (IndexFieldCount() == 0) DatabaseError(messages::kNoFieldIndexes);
    BeginKeyEdit(key);
    FEditingKey = key;
    SetState(TDataSetState::SetKey);
}

void TPirinTable::EndKeyEdit() {
    if (State() != TDataSetState::SetKey) return;
    // Every index field may have been assigned; count the leading ones.
    std::int32_t count = 0;
    while (count < IndexFieldCount()) {
        TField* field = FieldByNumber(IndexFieldNo(count));
        if (field == nullptr || field->IsNull()) break;
        ++count;
    }
    SetKeyFieldCount(FEditingKey, count);
    SetState(TDataSetState::Browse);
}

void TPirinTable::SetKey() { EditKey(TKeyIndex::Lookup); }

bool TPirinTable::SearchKey(bool nearest) {
    FSearchKey.resize(FCursor->KeyLength());
    FCursor->BuildKey(KeyRecord(TKeyIndex::Lookup), FSearchKey);
    return FCursor->FindKey(true, FSearchKey, SearchBuffer(), 0, nearest,
                            KeyFieldCount(TKeyIndex::Lookup));
}

bool TPirinTable::GotoKey() {
    EndKeyEdit();
    CheckBrowseMode();
    Fire(BeforeScroll);
    if (!SearchKey(false)) return false;
    ResyncToSearched();
    Fire(AfterScroll);
    return true;
}

void TPirinTable::FindNearest(const std::vector<TKeyValue>& values) {
    CheckBrowseMode();
    SetKeyFields(TKeyIndex::Lookup, values);
    GotoNearest();
}

void TPirinTable::GotoNearest() {
    EndKeyEdit();
    CheckBrowseMode();
    Fire(BeforeScroll);
    SearchKey(true);
    if (ResyncToSearched()) {
        Fire(AfterScroll);
        return;
    }
    // Above every key the cursor stands after the last record (Last scrolls
    // with its own events).
    Last();
}

// ---- ranges ----

void TPirinTable::SetRangeStart() { EditKey(TKeyIndex::RangeStart); }

void TPirinTable::SetRangeEnd() {
    EndKeyEdit();
    EditKey(TKeyIndex::RangeEnd);
}

void TPirinTable::SetRange(const std::vector<TKeyValue>& start, const std::vector<TKeyValue>& end) {
    CheckBrowseMode();
    SetKeyFields(TKeyIndex::RangeStart, start);
    SetKeyFields(TKeyIndex::RangeEnd, end);
    ApplyRange();
}

void TPirinTable::ApplyRange() {
    EndKeyEdit();
    CheckBrowseMode();
    // A bound of every key field is given as count 0, which the cursor takes
    // for the whole key on any index.
    const auto bound = [&](TKeyIndex key) {
        const std::int32_t count = KeyFieldCount(key);
        return std::pair(count == 0 ? std::span<std::uint8_t>() : KeyRecord(key),
                         count == IndexFieldCount() ? 0 : count);
    };
    const auto [start, startCount] = bound(TKeyIndex::RangeStart);
    const auto [end, endCount] = bound(TKeyIndex::RangeEnd);
    FCursor->SetRange(false, start, startCount, end, endCount);
    FreeLookupCursor();
    First();
}

void TPirinTable::CancelRange() {
    CheckBrowseMode();
    if (!FCursor->RangeActive()) return;
    FCursor->CancelRange();
    FreeLookupCursor();
    First();
}

}  // namespace pirin
