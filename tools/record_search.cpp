#include "tools/record_search.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/field_json.h"
#include "tools/record_commands.h"
#include "tools/tool_table.h"

namespace pirin::tools {

namespace {

using nlohmann::json;

struct TCondition {
    const TFieldJson::TColumn* Column = nullptr;
    std::string Value;  // UTF-8
};

TToolTable OpenTable(const TToolArguments& arguments) {
    return TToolTable(ToolTableLocation(arguments.Positional()[0], arguments.Positional()[1]),
                      arguments.Values("password"));
}

// FIELD=VALUE items; a field must have a field object to be searched.
std::vector<TCondition> ParseConditions(const std::vector<std::string>& items,
                                        const TFieldJson& records) {
    std::vector<TCondition> conditions;
    for (const std::string& item : items) {
        const auto equals = item.find('=');
        if (equals == std::string::npos || equals == 0)
            throw EUsageError("expected FIELD=VALUE, got " + item);
        const std::string name = item.substr(0, equals);
        const TFieldJson::TColumn* column = records.Find(name);
        if (column == nullptr || column->Field == nullptr)
            throw ERecordValueError("Field '" + name + "' not found");
        conditions.push_back({column, item.substr(equals + 1)});
    }
    return conditions;
}

// The conditions as the dataset's filter text: [Name] = 'value' ... joined
// by AND, in the table's code page.
std::string FilterText(const std::vector<TCondition>& conditions, const TFieldJson& records) {
    std::string text;
    for (const TCondition& condition : conditions) {
        if (!text.empty()) text += " and ";
        text += "[" + condition.Column->Field->FieldName() + "] = ";
        const TKeyValue value = records.SearchValue(*condition.Column, condition.Value);
        if (const auto* constant = std::get_if<std::string>(&value)) {
            text += '\'';
            for (const char c : *constant) text += c == '\'' ? std::string("''") : std::string(1, c);
            text += '\'';
        } else {
            text += "NULL";
        }
    }
    return text;
}

// Edits a range bound: one value per leading key field.
void StoreBound(TPirinTable& dataSet, TFieldJson& records, const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        records.Store(records.Column(dataSet.IndexFieldNo(static_cast<int>(i))), json(values[i]));
}

}  // namespace

int LocateCommand(const TToolArguments& arguments, std::ostream& out) {
    TToolTable table = OpenTable(arguments);
    TPirinTable& dataSet = table.DataSet();
    const TFieldJson records(dataSet);
    const std::vector<std::string>& positional = arguments.Positional();
    std::string names;
    std::vector<TKeyValue> values;
    for (const TCondition& condition :
         ParseConditions({positional.begin() + 2, positional.end()}, records)) {
        names += (names.empty() ? "" : ";") + condition.Column->Field->FieldName();
        values.push_back(records.SearchValue(*condition.Column, condition.Value));
    }
    const bool found = dataSet.Locate(
        names, values,
        {.CaseInsensitive = arguments.Flag("case-insensitive"), .PartialKey = arguments.Flag("partial")});
    nlohmann::ordered_json result;
    result["found"] = found;
    result["record"] = found ? records.ToJson() : nlohmann::ordered_json();
    out << result.dump(-1, ' ', false, json::error_handler_t::strict) << '\n';
    return 0;
}

int DumpViewCommand(const TToolArguments& arguments, std::ostream& out) {
    TToolTable table = OpenTable(arguments);
    TPirinTable& dataSet = table.DataSet();
    const std::vector<std::string> index = arguments.Values("index");
    if (index.size() > 1) throw EUsageError("give --index once");
    const auto start = arguments.Values("range-start");
    const auto end = arguments.Values("range-end");
    const auto where = arguments.Values("where");
    if (start.empty() && end.empty() && where.empty()) {
        DumpRecords(table, index.empty() ? std::string() : index.front(), out);
        return 0;
    }
    if (start.empty() != end.empty()) throw EUsageError("give --range-start and --range-end together");
    if (!index.empty()) dataSet.SetIndexName(table.TableName(index.front()));
    TFieldJson records(dataSet);
    if (!start.empty()) {
        const auto keyFields = static_cast<std::size_t>(dataSet.IndexFieldCount());
        if (keyFields == 0) throw EUsageError("a range needs an index with key fields");
        if (start.size() > keyFields || end.size() > keyFields)
            throw EUsageError("the index has " + std::to_string(keyFields) + " key fields");
        dataSet.SetRangeStart();
        StoreBound(dataSet, records, start);
        dataSet.SetRangeEnd();
        StoreBound(dataSet, records, end);
        dataSet.ApplyRange();
    }
    if (!where.empty()) {
        // Exact comparisons: letter case counts and a trailing "*" is a character.
        dataSet.SetFilterOptions({.CaseInsensitive = false, .NoPartialCompare = true});
        dataSet.SetFilter(FilterText(ParseConditions(where, records), records));
        dataSet.SetFiltered(true);
    }
    // The dataset shows its view now: the dump walks it as it is.
    DumpRecords(table, std::string(), out);
    return 0;
}

}  // namespace pirin::tools
