// The lookup cursor of TPirinTable: the key cursor of searches by field
// value when the table's own index does not begin with the fields searched.
#include "engine/data_session.h"
#include "tables/pirin_table.h"

namespace pirin {

namespace {

bool IsStringType(TFieldType type) noexcept {
    return type == TFieldType::String || type == TFieldType::FixedChar;
}

}  // namespace

TDataCursor* TPirinTable::GetLookupCursor(std::string_view fieldNames, bool caseInsensitive) {
    if (FLookupAsked && SameEngineName(fieldNames, FLookupFields) && caseInsensitive == FLookupCaseInsensitive)
        return FLookupCursor.get();
    FreeLookupCursor();
    if (!FCursor || FCursor->RangeActive()) return nullptr;
    const std::optional<std::string> index = IndexForFields(fieldNames, caseInsensitive);
    if (index) {
        auto clone = FCursor->CloneCursor();
        try {
            clone->SetToIndex(*index);
        } catch (...) {
            clone->Close(true);
            throw;
        }
        FLookupCursor = std::move(clone);
    }
    FLookupAsked = true;
    FLookupFields = fieldNames;
    FLookupCaseInsensitive = caseInsensitive;
    return FLookupCursor.get();
}

void TPirinTable::FreeLookupCursor() {
    FLookupAsked = false;
    FLookupFields.clear();
    if (!FLookupCursor) return;
    auto cursor = std::move(FLookupCursor);
    cursor->Close(true);
}

void TPirinTable::InternalRefresh() {
    TPirinDBDataSet::InternalRefresh();
    if (FLookupCursor) FLookupCursor->Refresh();
}

std::optional<std::string> TPirinTable::IndexForFields(std::string_view fieldNames, bool caseInsensitive) {
    FIndexDefsValid = false;
    const std::vector<TIndexDef>& defs = IndexDefs();
    auto usable = [&](const TIndexDef& def) {
        if (def.Descending) return false;
        if (def.CaseInsensitive == caseInsensitive) return true;
        // A case option that differs matters only for string fields.
        for (const std::string& name : SplitFieldNames(def.Fields)) {
            const TField* field = FindField(name);
            if (field != nullptr && IsStringType(field->DataType())) return false;
        }
        return true;
    };
    for (const TIndexDef& def : defs)
        if (usable(def) && SameEngineName(def.Fields, fieldNames)) return def.Name;
    for (const TIndexDef& def : defs) {
        if (!usable(def) || def.Fields.size() < fieldNames.size()) continue;
        const std::string_view head = std::string_view(def.Fields).substr(0, fieldNames.size());
        if (SameEngineName(head, fieldNames) &&
            (def.Fields.size() == fieldNames.size() || def.Fields[fieldNames.size()] == ';'))
            return def.Name;
    }
    return std::nullopt;
}

}  // namespace pirin
