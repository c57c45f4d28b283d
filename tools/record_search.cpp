#include "tools/record_search.h"

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "engine/field_access.h"
#include "locale/field_types.h"
#include "tools/record_commands.h"
#include "tools/record_json.h"
#include "tools/table_text.h"
#include "tools/tool_table.h"

namespace pirin::tools {

namespace {

using nlohmann::json;

struct TCondition {
    int FieldNo = 0;
    std::string Value;  // UTF-8
};

TToolTable OpenTable(const TToolArguments& arguments) {
    return TToolTable(ToolTableLocation(arguments.Positional()[0], arguments.Positional()[1]),
                      arguments.Values("password"));
}

std::vector<TCondition> ParseConditions(const std::vector<std::string>& items,
                                        const TRecordJson& records) {
    std::vector<TCondition> conditions;
    for (const std::string& item : items) {
        const auto equals = item.find('=');
        if (equals == std::string::npos || equals == 0)
            throw EUsageError("expected FIELD=VALUE, got " + item);
        const std::string name = item.substr(0, equals);
        const int fieldNo = records.FieldNumber(name);
        if (fieldNo == 0) throw ERecordValueError("Field '" + name + "' not found");
        conditions.push_back({fieldNo, item.substr(equals + 1)});
    }
    return conditions;
}

// One equality comparison per condition, ANDed. The values go through the
// record form (SetField), so each constant is what the field would store.
std::unique_ptr<TFilterNode> EqualityTree(TDataCursor& cursor, TRecordJson& records,
                                          const std::vector<TCondition>& conditions,
                                          bool caseInsensitive, bool partial) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    std::unique_ptr<TFilterNode> tree;
    for (const TCondition& condition : conditions) {
        const TFieldDescriptor& field = cursor.GetFieldDesc(condition.FieldNo).Field;
        std::string value = condition.Value;
        const bool text = field.Type == kFieldString;
        if (partial && text && !value.empty() && value.back() == '*') value.pop_back();
        cursor.BlankRecord(image);
        if (!value.empty()) records.Store(condition.FieldNo, json(value), image);
        std::optional<std::vector<std::uint8_t>> constant;
        std::vector<std::uint8_t> bytes(FieldValueSize(field));
        if (!cursor.GetField(condition.FieldNo, image, bytes)) constant = std::move(bytes);
        int partialLength = 0;
        if (partial && text && constant) {
            const auto end = std::find(constant->begin(), constant->end(), std::uint8_t{0});
            partialLength = static_cast<int>(end - constant->begin());
        }
        auto node = TFilterNode::Compare(condition.FieldNo, TFilterOperator::Equal,
                                         std::move(constant), caseInsensitive, partialLength);
        tree = tree ? TFilterNode::And(std::move(tree), std::move(node)) : std::move(node);
    }
    return tree;
}

// The key of the leading key fields holding `values`, as a record image.
std::vector<std::uint8_t> BoundImage(TDataCursor& cursor, TRecordJson& records,
                                     const std::vector<std::string>& values) {
    const auto keyFields = static_cast<std::size_t>(cursor.KeyFieldCount());
    if (values.size() > keyFields)
        throw EUsageError("the index has " + std::to_string(keyFields) + " key fields");
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    cursor.BlankRecord(image);
    for (std::size_t i = 0; i < values.size(); ++i)
        records.Store(cursor.KeyFields()[i].Number, json(values[i]), image);
    return image;
}

}  // namespace

int LocateCommand(const TToolArguments& arguments, std::ostream& out) {
    TToolTable table = OpenTable(arguments);
    TDataCursor& cursor = table.Cursor();
    TRecordJson records(cursor, table.CodePage());
    const std::vector<std::string>& positional = arguments.Positional();
    const auto conditions = ParseConditions({positional.begin() + 2, positional.end()}, records);
    TFilter& filter =
        cursor.AddFilter(EqualityTree(cursor, records, conditions,
                                      arguments.Flag("case-insensitive"), arguments.Flag("partial")));
    cursor.ActivateFilter(&filter);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    cursor.First();
    const bool found = cursor.GetNextRecord(image) == 0;
    nlohmann::ordered_json result;
    result["found"] = found;
    result["record"] =
        found ? records.ToJson(cursor.CurrentRecordNumber(), image) : nlohmann::ordered_json();
    cursor.RemoveFilter(&filter);
    out << result.dump(-1, ' ', false, json::error_handler_t::strict) << '\n';
    return 0;
}

int DumpViewCommand(const TToolArguments& arguments, std::ostream& out) {
    TToolTable table = OpenTable(arguments);
    TDataCursor& cursor = table.Cursor();
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
    // Index names are stored in the table's code page.
    if (!index.empty()) cursor.SetToIndex(EncodeTableText(table.CodePage(), index.front()));
    TRecordJson records(cursor, table.CodePage());
    if (!start.empty()) {
        if (cursor.WithoutIndex()) throw EUsageError("a range needs an index with key fields");
        cursor.SetRange(false, BoundImage(cursor, records, start), static_cast<int>(start.size()),
                        BoundImage(cursor, records, end), static_cast<int>(end.size()));
    }
    if (!where.empty())
        cursor.ActivateFilter(&cursor.AddFilter(
            EqualityTree(cursor, records, ParseConditions(where, records), false, false)));
    // The cursor stands on its view now: the dump walks it as it is.
    DumpRecords(table, std::string(), out);
    return 0;
}

}  // namespace pirin::tools
