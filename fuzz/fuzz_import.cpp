// Fuzzes `pirin-tool import`: the input is the import file (one JSON record
// a line) for a table in the process's scratch folder, with a field of every
// kind, a primary key and a unique case-insensitive index. An import may
// refuse a line (ERecordValueError) or stop at an engine error; anything else
// is a finding, and so is a table that no longer passes the whole-table
// verifier after it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
#include "tools/record_json.h"
#include "tools/tool_table.h"

namespace {

using namespace pirin;

// The tools open tables in folders only: the scratch folder of the process.
const vorlano::fuzz::TScratchFolder& Scratch() {
    static const vorlano::fuzz::TScratchFolder scratch("fuzz-import");
    return scratch;
}

const TTableLocation& Location() {
    static const TTableLocation location{.Directory = Scratch().Path().string() + "/",
                                         .Name = "Import"};
    return location;
}

TFieldDefinition Field(std::string name, std::string_view keyword, std::uint8_t size = 0) {
    const TSqlFieldType type = *SqlFieldType(keyword);
    TFieldDefinition field{.Name = std::move(name), .Type = type.Type, .Subtype = type.Subtype};
    if (type.Type == kFieldBcd)
        field.Decimals = size;
    else
        field.Size = size;
    return field;
}

TTableDefinition Definition() {
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

void RemoveTable() {
    const TTableFileNames names = TableFileNames(Location().Directory, Location().Name);
    for (const std::string& name : {names.Data, names.Index, names.Blob})
        std::filesystem::remove(name);
}

void ExpectSoundTable() {
    TTableFiles files(Location());
    const std::vector<std::string> problems =
        TTableVerifier(files.Data(), files.Index(), files.Blob()).Run();
    if (problems.empty()) return;
    for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
    ExpectSoundTable();
    RemoveTable();
    std::remove(path.c_str());
    return 0;
}
