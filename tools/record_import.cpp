// import: see record_commands.h.
#include <fstream>
#include <nlohmann/json.hpp>

#include "errors/engine_error.h"
#include "tools/field_json.h"
#include "tools/record_commands.h"

namespace pirin::tools {

using nlohmann::json;

int ImportRecords(TToolTable& table, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ERecordValueError("cannot read " + file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(std::move(line));

    TPirinTable& dataSet = table.DataSet();
    TFieldJson records(dataSet);
    const auto blank = [&](std::size_t i) {
        return lines[i].find_first_not_of(" \t\r") == std::string::npos;
    };
    // A new record holding line i; the record is given up on a bad value.
    const auto fill = [&](std::size_t i) {
        const std::string where = "line " + std::to_string(i + 1) + ": ";
        json object;
        try {
            object = json::parse(lines[i]);
        } catch (const json::exception& error) {  // parse errors and numbers out of range
            throw ERecordValueError(where + "not JSON: " + error.what());
        }
        dataSet.Insert();
        try {
            records.StoreAll(object);
        } catch (const ERecordValueError& error) {
            dataSet.Cancel();
            throw ERecordValueError(where + error.what());
        } catch (...) {
            dataSet.Cancel();
            throw;
        }
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (blank(i)) continue;
        fill(i);
        dataSet.Cancel();
    }
    int inserted = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (blank(i)) continue;
        fill(i);
        try {
            dataSet.Post();
        } catch (const EPirinEngineError& error) {
            dataSet.Cancel();
            throw ERecordValueError("line " + std::to_string(i + 1) + ": " + error.what() + " (" +
                                    std::to_string(inserted) + " records imported before it)");
        }
        ++inserted;
    }
    return inserted;
}

}  // namespace pirin::tools
