// import: see record_commands.h.
#include <fstream>
#include <nlohmann/json.hpp>

#include "errors/engine_error.h"
#include "tools/record_commands.h"
#include "tools/record_json.h"

namespace pirin::tools {

using nlohmann::json;

int ImportRecords(TToolTable& table, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ERecordValueError("cannot read " + file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(std::move(line));

    TDataCursor& cursor = table.Cursor();
    TRecordJson records(cursor, table.CodePage());
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    const auto convert = [&](std::size_t i) {
        try {
            records.StoreAll(json::parse(lines[i]), image);
        } catch (const json::exception& error) {  // parse errors and numbers out of range
            throw ERecordValueError("line " + std::to_string(i + 1) +
                                    ": not JSON: " + error.what());
        } catch (const ERecordValueError& error) {
            records.ReleaseBlobs(image);
            throw ERecordValueError("line " + std::to_string(i + 1) + ": " + error.what());
        }
    };
    const auto blank = [&](std::size_t i) {
        return lines[i].find_first_not_of(" \t\r") == std::string::npos;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (blank(i)) continue;
        convert(i);
        records.ReleaseBlobs(image);
    }
    int inserted = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (blank(i)) continue;
        convert(i);
        try {
            cursor.InsertRecord(image, false);
        } catch (const EPirinEngineError& error) {
            records.ReleaseBlobs(image);
            throw ERecordValueError("line " + std::to_string(i + 1) + ": " + error.what() + " (" +
                                    std::to_string(inserted) + " records imported before it)");
        }
        records.ReleaseBlobs(image);
        ++inserted;
    }
    return inserted;
}

}  // namespace pirin::tools
