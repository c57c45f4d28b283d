// Searches by field value: Locate, Lookup and the LocateRecord they share.
// A search fills the search record with the values (through the field
// objects, in the Filter state), then either searches a key cursor (the
// table's own when its index serves, else the lookup cursor the derived
// table supplies) or scans the table's cursor through a temporary equality
// filter. Both ways take the values from the same search record, so they
// find the same record.
#include <algorithm>
#include <cstring>

#include "errors/database_error.h"
#include "tables/pirin_dataset.h"

namespace pirin {

namespace {

constexpr std::string_view kTooFewValues = "Missing search value for field %s";

bool IsStringType(TFieldType type) noexcept {
    return type == TFieldType::String || type == TFieldType::FixedChar;
}

// A string's value form: its characters up to the first zero.
std::string_view TextOf(std::span<const std::uint8_t> value) {
    const auto* chars = reinterpret_cast<const char*>(value.data());
    return {chars, strnlen(chars, value.size())};
}

// Restores the dataset state when a search step leaves, also by an error,
// so a failed search leaves the dataset in browse state.
class TStateScope {
  public:
    TStateScope(TDataSetState saved, std::function<void(TDataSetState)> restore)
        : FSaved(saved), FRestore(std::move(restore)) {}
    ~TStateScope() { FRestore(FSaved); }
    TStateScope(const TStateScope&) = delete;
    TStateScope& operator=(const TStateScope&) = delete;

  private:
    TDataSetState FSaved;
    std::function<void(TDataSetState)> FRestore;
};

}  // namespace

void TPirinDataSet::AssignValue(TField& field, const TKeyValue& value) {
    if (std::holds_alternative<std::nullptr_t>(value))
        field.Clear();
    else if (const auto* number = std::get_if<std::int64_t>(&value))
        field.SetAsInteger(*number);
    else
        field.SetAsString(std::get<std::string>(value));
}

bool TPirinDataSet::Locate(std::string_view fieldNames, const std::vector<TKeyValue>& values,
                           TLocateOptions options) {
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    const bool found = LocateRecord(fieldNames, values, options, true);
    if (found) {
        ResyncToCursor();
        Fire(AfterScroll);
    }
    return found;
}

std::vector<TKeyValue> TPirinDataSet::Lookup(std::string_view fieldNames, const std::vector<TKeyValue>& values,
                                             std::string_view resultFields) {
    CheckActive();
    std::vector<TField*> results;
    for (const std::string& name : SplitFieldNames(resultFields)) results.push_back(&FieldByName(name));
    if (!LocateRecord(fieldNames, values, {}, false)) return {};
    // The result fields read the search record, which holds the record found.
    std::vector<TKeyValue> out;
    InFilterState(FSearchRecord, [&] {
        for (TField* field : results) {
            if (field->IsNull())
                out.emplace_back(nullptr);
            else if (dynamic_cast<TIntegerField*>(field) != nullptr)
                out.emplace_back(field->AsInteger());
            else
                out.emplace_back(field->AsString());
        }
    });
    return out;
}

bool TPirinDataSet::LocateRecord(std::string_view fieldNames, const std::vector<TKeyValue>& values,
                                 TLocateOptions options, bool move) {
    CheckActive();
    CheckBrowseMode();
    std::vector<TField*> fields;
    const auto names = SplitFieldNames(fieldNames);
    if (names.empty()) DatabaseErrorFmt(messages::kFieldNotFound, fieldNames);
    for (const std::string& name : names) fields.push_back(&FieldByName(name));
    if (values.size() < fields.size()) DatabaseErrorFmt(kTooFewValues, fields[values.size()]->FieldName());

    TDataCursor* keyCursor = CurrentIndexServes(fields, options.CaseInsensitive)
                                 ? FCursor.get()
                                 : GetLookupCursor(fieldNames, options.CaseInsensitive);
    FillSearchRecord(fields, values, options.PartialKey);
    if (keyCursor != nullptr) return SearchByKey(*keyCursor, fields, options.PartialKey, move);
    return SearchByScan(fields, options);
}

bool TPirinDataSet::CurrentIndexServes(const std::vector<TField*>& fields, bool caseInsensitive) const {
    if (static_cast<int>(fields.size()) > FIndexFieldCount) return false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i]->FieldNo() != FIndexFields[i]) return false;
        if (IsStringType(fields[i]->DataType()) && FIndexCaseInsensitive != caseInsensitive) return false;
    }
    return true;
}

void TPirinDataSet::FillSearchRecord(const std::vector<TField*>& fields, const std::vector<TKeyValue>& values,
                                     bool partialKey) {
    InFilterState(FSearchRecord, [&] {
        FCursor->BlankRecord(FSearchRecord);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const TKeyValue& value = values[i];
            const auto* text = std::get_if<std::string>(&value);
            // A partial text may end in "*", which stands for the rest.
            if (partialKey && i + 1 == fields.size() && text != nullptr && !text->empty() && text->back() == '*' &&
                IsStringType(fields[i]->DataType())) {
                fields[i]->SetAsString(std::string_view(*text).substr(0, text->size() - 1));
                continue;
            }
            AssignValue(*fields[i], value);
        }
    });
}

void TPirinDataSet::InFilterState(std::span<std::uint8_t> image, const std::function<void()>& fill) {
    const std::span<std::uint8_t> savedImage = FFilterImage;
    TStateScope scope(State(), [this, savedImage](TDataSetState state) {
        SetState(state);
        FFilterImage = savedImage;
    });
    SetState(TDataSetState::Filter);
    FFilterImage = image;
    fill();
}

bool TPirinDataSet::SearchByKey(TDataCursor& keyCursor, const std::vector<TField*>& fields, bool partialKey,
                                bool move) {
    int fieldCount = static_cast<int>(fields.size());
    int partialLength = 0;
    const TField& last = *fields.back();
    if (partialKey && IsStringType(last.DataType())) {
        std::vector<std::uint8_t> value(static_cast<std::size_t>(last.DataSize()));
        // An empty text asks for a field without a value: a whole-key match.
        if (!FCursor->GetField(last.FieldNo(), FSearchRecord, value)) {
            partialLength = static_cast<int>(TextOf(value).size());
            --fieldCount;
        }
    }
    const bool found = keyCursor.FindKey(false, FSearchRecord, FSearchRecord, partialLength, partialLength > 0,
                                         fieldCount);
    if (found && move && &keyCursor != FCursor.get()) FCursor->CheckError(FCursor->SyncToCursor(keyCursor));
    return found;
}

bool TPirinDataSet::SearchByScan(const std::vector<TField*>& fields, TLocateOptions options) {
    std::unique_ptr<TFilterNode> tree;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        auto node = ComparisonNode(*fields[i], TFilterOperator::Equal, options.CaseInsensitive,
                                   options.PartialKey && i + 1 == fields.size());
        tree = tree ? TFilterNode::And(std::move(tree), std::move(node)) : std::move(node);
    }
    TFilter& filter = FCursor->AddFilter(std::move(tree));
    std::uint16_t code = 0;
    try {
        FCursor->ActivateFilter(&filter);
        FCursor->First();
        code = FCursor->GetNextRecord(FSearchRecord);
    } catch (...) {
        FCursor->RemoveFilter(&filter);
        throw;
    }
    FCursor->RemoveFilter(&filter);
    return code == 0;
}

std::unique_ptr<TFilterNode> TPirinDataSet::ComparisonNode(const TField& field, TFilterOperator op,
                                                           bool caseInsensitive, bool partial) const {
    const int fieldNo = field.FieldNo();
    if (fieldNo <= 0 || fieldNo > FCursor->FieldCount()) DatabaseErrorFmt(messages::kFieldNotFound, field.FieldName());
    std::vector<std::uint8_t> value(static_cast<std::size_t>(field.DataSize()));
    const bool blank = FCursor->GetField(fieldNo, FSearchRecord, value);
    if (FCursor->GetFieldDesc(fieldNo).Field.Type == kFieldString) {
        const std::string_view text = blank ? std::string_view() : TextOf(value);
        return TFilterNode::CompareText(fieldNo, op, text, caseInsensitive, partial ? static_cast<int>(text.size()) : 0);
    }
    std::optional<std::vector<std::uint8_t>> constant;
    if (!blank) constant = std::move(value);
    return TFilterNode::Compare(fieldNo, op, std::move(constant));
}

}  // namespace pirin
