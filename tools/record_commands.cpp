#include "tools/record_commands.h"

#include <nlohmann/json.hpp>

#include "tools/record_json.h"
#include "tools/table_text.h"

namespace pirin::tools {

namespace {

using nlohmann::json;

std::string Line(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::strict);
}

// Index names are stored in the table's code page.
void SelectIndex(TToolTable& table, const std::string& indexName) {
    std::string name = indexName;
    try {
        name = EncodeTableText(table.CodePage(), indexName);
    } catch (const ETableTextError&) {
        // No index has such a name; the cursor says so.
    }
    table.Cursor().SetToIndex(name);
}

}  // namespace

void DumpRecords(TToolTable& table, const std::string& indexName, std::ostream& out) {
    TDataCursor& cursor = table.Cursor();
    if (!indexName.empty()) SelectIndex(table, indexName);
    TRecordJson records(cursor, table.CodePage());
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    cursor.First();
    while (cursor.GetNextRecord(image) == 0)
        out << Line(records.ToJson(cursor.CurrentRecordNumber(), image)) << '\n';
}

bool FindRecord(TToolTable& table, const std::string& indexName,
                const std::vector<std::string>& values, std::ostream& out) {
    TDataCursor& cursor = table.Cursor();
    SelectIndex(table, indexName);
    if (cursor.WithoutIndex()) throw ERecordValueError("find needs an index with key fields");
    const auto keyFields = static_cast<std::size_t>(cursor.KeyFieldCount());
    if (values.empty() || values.size() > keyFields)
        throw ERecordValueError("the index has " + std::to_string(keyFields) +
                                " key fields: give 1 to " + std::to_string(keyFields) + " values");
    TRecordJson records(cursor, table.CodePage());
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    cursor.BlankRecord(image);
    for (std::size_t i = 0; i < values.size(); ++i)
        records.Store(cursor.KeyFields()[i].Number, json(values[i]), image);
    std::vector<std::uint8_t> key(cursor.KeyLength());
    cursor.BuildKey(image, key);
    std::vector<std::uint8_t> found(image.size());
    const bool hit = cursor.FindKey(true, key, found, 0, true, static_cast<int>(values.size()));
    nlohmann::ordered_json result;
    result["found"] = hit;
    const std::int32_t record = cursor.CurrentRecordNumber();
    result["record"] = record == 0 ? nlohmann::ordered_json() : records.ToJson(record, found);
    out << Line(result) << '\n';
    return hit;
}

}  // namespace pirin::tools
