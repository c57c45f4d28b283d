#include "tools/record_commands.h"

#include <nlohmann/json.hpp>

#include "tools/field_json.h"

namespace pirin::tools {

namespace {

using nlohmann::json;

std::string Line(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::strict);
}

}  // namespace

void DumpRecords(TToolTable& table, const std::string& indexName, std::ostream& out) {
    TPirinTable& dataSet = table.DataSet();
    if (!indexName.empty()) dataSet.SetIndexName(table.TableName(indexName));
    const TFieldJson records(dataSet);
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) out << Line(records.ToJson()) << '\n';
}

bool FindRecord(TToolTable& table, const std::string& indexName,
                const std::vector<std::string>& values, std::ostream& out) {
    TPirinTable& dataSet = table.DataSet();
    dataSet.SetIndexName(table.TableName(indexName));
    const auto keyFields = static_cast<std::size_t>(dataSet.IndexFieldCount());
    if (keyFields == 0) throw ERecordValueError("find needs an index with key fields");
    if (values.empty() || values.size() > keyFields)
        throw ERecordValueError("the index has " + std::to_string(keyFields) +
                                " key fields: give 1 to " + std::to_string(keyFields) + " values");
    TFieldJson records(dataSet);
    dataSet.SetKey();
    for (std::size_t i = 0; i < values.size(); ++i)
        records.Store(records.Column(dataSet.IndexFieldNo(static_cast<int>(i))), json(values[i]));
    const bool found = dataSet.GotoKey();
    if (!found) dataSet.GotoNearest();
    nlohmann::ordered_json result;
    result["found"] = found;
    result["record"] = dataSet.IsEmpty() ? nlohmann::ordered_json() : records.ToJson();
    out << Line(result) << '\n';
    return found;
}

}  // namespace pirin::tools
