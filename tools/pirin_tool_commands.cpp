#include "tools/pirin_tool_commands.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string_view>

#include "engine/data_table.h"
#include "engine/table_create.h"
#include "errors/database_error.h"
#include "errors/engine_error.h"
#include "locale/convert_error.h"
#include "storage/file_handler.h"
#include "storage/table_verifier.h"
#include "tools/record_commands.h"
#include "tools/record_search.h"
#include "tools/table_info.h"
#include "tools/table_schema.h"
#include "tools/table_text.h"
#include "tools/tool_arguments.h"
#include "tools/tool_table.h"

namespace pirin::tools {

namespace {

struct TCommand {
    std::string_view Name;
    std::string_view Usage;
    TOptionKinds Options;
    std::size_t LeastPositional;
    std::size_t MostPositional;
    std::function<int(const TToolArguments&, std::ostream&)> Run;
};

const std::vector<std::string>& Passwords(const TToolArguments& arguments) {
    static thread_local std::vector<std::string> passwords;
    passwords = arguments.Values("password");
    return passwords;
}

TTableLocation Location(const TToolArguments& arguments) {
    return ToolTableLocation(arguments.Positional()[0], arguments.Positional()[1]);
}

int Create(const TToolArguments& arguments, std::ostream& out) {
    const std::string schemaFile = arguments.Required("schema");
    std::ifstream in(schemaFile);
    if (!in) throw ESchemaError("schema: cannot read " + schemaFile);
    nlohmann::json schema;
    try {
        schema = nlohmann::json::parse(in);
    } catch (const nlohmann::json::parse_error& error) {
        throw ESchemaError("schema: " + schemaFile + ": " + error.what());
    }
    CreateTable(Location(arguments), ParseTableSchema(schema));
    out << "created\n";
    return 0;
}

int Info(const TToolArguments& arguments, std::ostream& out) {
    TToolTable table(Location(arguments), Passwords(arguments));
    out << TableInfo(table).dump(2) << "\n";
    return 0;
}

int Verify(const TToolArguments& arguments, std::ostream& out) {
    // Opening a table whose index file is gone makes a new one: verify
    // reports the loss instead of repairing it behind the user's back.
    const TTableLocation location = Location(arguments);
    const TTableFileNames names = TableFileNames(location.Directory, location.Name);
    if (TFileHandler(names.Data).FileExists() && !TFileHandler(names.Index).FileExists()) {
        out << "the index file " << names.Index << " is missing\n";
        return 1;
    }
    TToolTable table(location, Passwords(arguments));
    TDataTable& open = table.Table();
    // Under the shared read lock no writer changes the table mid-check.
    (void)open.BeginRead();
    std::vector<std::string> problems;
    try {
        problems = TTableVerifier(open.DataFile(), open.IndexFile(), open.BlobFile()).Run();
    } catch (...) {
        open.EndRead();
        throw;
    }
    open.EndRead();
    if (problems.empty()) {
        out << "ok\n";
        return 0;
    }
    for (const std::string& problem : problems) out << problem << "\n";
    return 1;
}

// DEST is a folder (the copy keeps the table's name) or a folder and a new
// table name.
TTableLocation CopyDestination(const std::string& dest, const std::string& table) {
    const std::filesystem::path path(dest);
    if (std::filesystem::is_directory(path)) return ToolTableLocation(dest, table);
    return ToolTableLocation(path.parent_path().string(), path.filename().string());
}

int Copy(const TToolArguments& arguments, std::ostream& out) {
    TToolTable table(Location(arguments), Passwords(arguments));
    const TTableLocation destination =
        CopyDestination(arguments.Positional()[2], arguments.Positional()[1]);
    const TTableFileNames names = TableFileNames(destination.Directory, destination.Name);
    // Copying creates its files afresh: an existing table there is refused
    // rather than overwritten.
    if (TFileHandler(names.Data).FileExists())
        RaiseEngineError(PIRIN_TABLEEXISTS,
                         {.database = destination.Directory, .table = destination.Name});
    TDataTable& files = table.Table();
    const bool compress = arguments.Flag("compress");
    std::vector<std::string> made;
    try {
        made.push_back(names.Data);
        files.DataFile().CopyToFile(names.Data, compress);
        made.push_back(names.Index);
        files.IndexFile().CopyToFile(names.Index, compress);
        if (files.BlobFile() != nullptr) {
            made.push_back(names.Blob);
            files.BlobFile()->CopyToFile(names.Blob, compress);
        }
    } catch (const EPirinEngineError&) {
        // Nothing half-copied stays behind.
        std::error_code ignored;
        for (const std::string& name : made) std::filesystem::remove(name, ignored);
        throw;
    }
    out << "copied\n";
    return 0;
}

// find DIR TABLE --index NAME VALUE...: the values follow the table.
int Find(const TToolArguments& arguments, std::ostream& out) {
    TToolTable table(Location(arguments), Passwords(arguments));
    const std::vector<std::string>& positional = arguments.Positional();
    FindRecord(table, arguments.Required("index"), {positional.begin() + 2, positional.end()}, out);
    return 0;
}

int Import(const TToolArguments& arguments, std::ostream& out) {
    TToolTable table(Location(arguments), Passwords(arguments));
    const int inserted = ImportRecords(table, arguments.Positional()[2]);
    table.Close();
    out << "imported " << inserted << "\n";
    return 0;
}

const std::vector<TCommand>& Commands() {
    static const std::vector<TCommand> commands = {
        {"create", "create DIR TABLE --schema FILE.json", {{"schema"}, {}}, 2, 2, Create},
        {"info", "info DIR TABLE [--password P]...", {{"password"}, {}}, 2, 2, Info},
        {"dump",
         "dump DIR TABLE [--index NAME] [--range-start VALUE... --range-end VALUE...] "
         "[--where FIELD=VALUE]... [--password P]...",
         {{"password", "index", "range-start", "range-end", "where"}, {}},
         2,
         2,
         DumpViewCommand},
        {"export",
         "export DIR TABLE [--index NAME] [--range-start VALUE... --range-end VALUE...] "
         "[--where FIELD=VALUE]... [--password P]...",
         {{"password", "index", "range-start", "range-end", "where"}, {}},
         2,
         2,
         DumpViewCommand},
        {"locate",
         "locate DIR TABLE FIELD=VALUE... [--case-insensitive] [--partial] [--password P]...",
         {{"password"}, {"case-insensitive", "partial"}},
         3,
         SIZE_MAX,
         LocateCommand},
        {"find",
         "find DIR TABLE --index NAME VALUE... [--password P]...",
         {{"password", "index"}, {}},
         3,
         2 + kMaxKeyFields,
         Find},
        {"import",
         "import DIR TABLE FILE.jsonl [--password P]...",
         {{"password"}, {}},
         3,
         3,
         Import},
        {"verify", "verify DIR TABLE [--password P]...", {{"password"}, {}}, 2, 2, Verify},
        {"copy",
         "copy DIR TABLE DEST [--compress] [--password P]...",
         {{"password"}, {"compress"}},
         3,
         3,
         Copy},
    };
    return commands;
}

void PrintUsage(std::ostream& err) {
    err << "usage: pirin-tool COMMAND ...\n";
    for (const TCommand& command : Commands()) err << "  pirin-tool " << command.Usage << "\n";
}

}  // namespace

int RunPirinTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.empty()) {
        PrintUsage(err);
        return 2;
    }
    const TCommand* command = nullptr;
    for (const TCommand& candidate : Commands())
        if (candidate.Name == arguments.front()) command = &candidate;
    if (command == nullptr) {
        err << "pirin-tool: unknown command " << arguments.front() << "\n";
        PrintUsage(err);
        return 2;
    }
    try {
        const TToolArguments parsed({arguments.begin() + 1, arguments.end()}, command->Options);
        parsed.ExpectPositional(command->LeastPositional, command->MostPositional);
        return command->Run(parsed, out);
    } catch (const EUsageError& error) {
        err << "pirin-tool " << command->Name << ": " << error.what() << "\nusage: pirin-tool "
            << command->Usage << "\n";
        return 2;
    } catch (const EPirinEngineError& error) {
        err << error.what() << "\n";
    } catch (const ESchemaError& error) {
        err << error.what() << "\n";
    } catch (const ETableTextError& error) {
        err << error.what() << "\n";
    } catch (const ERecordValueError& error) {
        err << error.what() << "\n";
    } catch (const EDatabaseError& error) {
        err << error.what() << "\n";
    } catch (const EConvertError& error) {
        err << error.what() << "\n";
    }
    return 1;
}

}  // namespace pirin::tools
