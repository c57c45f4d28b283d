// Importing fuzzed lines with `pirin-tool import`, as the import fuzzer and
// its regression tests do: the input is the import file (one JSON record a
// line) for a table in the process's scratch folder, with a field of every
// kind, a primary key and a unique case-insensitive index. An import may
// refuse a line (ERecordValueError) or stop at an engine error; any other
// exception passes on. ExerciseImport returns the whole-table verifier's
// problems with the table afterwards, which must be none.
//
// Threads: one at a time (the table has a fixed name). The table and the
// import file are removed again before it returns.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/table_create.h"
#include "engine/table_files.h"
#include "errors/engine_error.h"
#include "fuzz/fuzz_scratch.h"
#include "storage/field_descriptor.h"
#include "storage/table_verifier.h"
#include "tools/record_commands.h"
#include "tools/field_json.h"
#include "tools/tool_table.h"

namespace vorlano::fuzz {

namespace import_detail {

using namespace pirin;

// The tools open tables in folders only: the scratch folder of the process.
inline const TScratchFolder& Scratch() {
    static const TScratchFolder scratch("fuzz-import");
    return scratch;
}

inline const TTableLocation& Location() {
    static const TTableLocation location{.Directory = Scratch().Path().string() + "/",
                                         .Name = "Import"};
    return location;
}

inline TFieldDefinition Field(std::string name, std::string_view keyword, std::uint8_t size = 0) {
    const TSqlFieldType type = *SqlFieldType(keyword);
    TFieldDefinition field{.Name = std::move(name), .Type = type.Type, .Subtype = type.Subtype};
    if (type.Type == kFieldBcd)
        field.Decimals = size;
    else
        field.Size = size;
    return field;
}

inline TTableDefinition Definition() {
    return {
        .Fields = {Field("Id", "AUTOINC"), Field("Word", "VARCHAR", 20), Field("Count", "SMALLINT"),
                   Field("Big", "LARGEINT"), Field("Price", "MONEY"), Field("Amount", "DECIMAL", 2),
                   Field("Ratio", "FLOAT"), Field("Day", "DATE"), Field("At", "TIME"),
                   Field("Stamp", "TIMESTAMP"), Field("Flag", "BOOLEAN"), Field("Raw", "BYTES", 8),
                   Field("Note", "MEMO"), Field("Data", "BLOB")},
        .Primary = TIndexDefinition{.Fields = {"Id"}},
        .Indexes = {
            {.Name = "ByWord", .Fields = {"Word"}, .Unique = true, .CaseInsensitive = true}}};
}

inline void RemoveTable() {
    const TTableFileNames names = TableFileNames(Location().Directory, Location().Name);
    for (const std::string& name : {names.Data, names.Index, names.Blob})
        std::filesystem::remove(name);
}

}  // namespace import_detail

inline std::vector<std::string> ExerciseImport(const std::uint8_t* data, std::size_t size) {
    using namespace import_detail;
    const std::string path = Scratch().Put("lines.jsonl", {data, size});
    CreateTable(Location(), Definition());
    {
        tools::TToolTable table(Location(), {});
        try {
            (void)tools::ImportRecords(table, path);
        } catch (const tools::ERecordValueError&) {
        } catch (const EPirinEngineError&) {
        }
    }
    std::vector<std::string> problems;
    {
        TTableFiles files(Location());
        problems = TTableVerifier(files.Data(), files.Index(), files.Blob()).Run();
    }
    RemoveTable();
    std::remove(path.c_str());
    return problems;
}

}  // namespace vorlano::fuzz
