#include "tools/vorlano_cli_commands.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>

#include "dictdata/datas.h"
#include "errors/database_error.h"
#include "lookup/article_text.h"
#include "lookup/dictionary_lookup.h"
#include "lookup/memory_views.h"
#include "lookup/search_key.h"
#include "tables/session_list.h"
#include "tools/vorlano_cli_build.h"

namespace vorlano::cli {

namespace {

class EUsage : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

constexpr char kUsage[] =
    "usage: vorlano-cli [--data DIR] lookup [--dict N|NAME] [--rtf|--json] WORD\n"
    "       vorlano-cli [--data DIR] dicts\n"
    "       vorlano-cli build --out DIR [--sources DIR]\n";

struct TArguments {
    std::string Command;
    std::string DataDir;
    std::string Dictionary;
    std::string Out;
    std::string Sources;
    bool Rtf = false;
    bool Json = false;
    std::vector<std::string> Words;
};

TArguments ParseArguments(const std::vector<std::string>& arguments) {
    TArguments parsed;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= arguments.size()) throw EUsage(argument + " needs a value");
            return arguments[++i];
        };
        if (argument == "--data") parsed.DataDir = value();
        else if (argument == "--dict") parsed.Dictionary = value();
        else if (argument == "--out") parsed.Out = value();
        else if (argument == "--sources") parsed.Sources = value();
        else if (argument == "--rtf") parsed.Rtf = true;
        else if (argument == "--json") parsed.Json = true;
        else if (argument.starts_with("--")) throw EUsage("unknown option " + argument);
        else if (parsed.Command.empty()) parsed.Command = argument;
        else parsed.Words.push_back(argument);
    }
    if (parsed.Command.empty()) throw EUsage("no command");
    return parsed;
}

// The folder that holds "Dictionary/", ending in "/".
std::string ResolveDataDir(const TArguments& arguments, const std::string& executableDir) {
    namespace fs = std::filesystem;
    if (!arguments.DataDir.empty()) return (fs::path(arguments.DataDir) / "").string();
    if (fs::is_directory(fs::path(executableDir) / "Dictionary")) return (fs::path(executableDir) / "").string();
    return (fs::path(VORLANO_DEMO_DATA_DIR) / "").string();
}

// Position in the selector of --dict: a number, a caption or either table.
int DictionaryPosition(const std::string& name) {
    if (name.empty()) return 0;
    if (name.find_first_not_of("0123456789") == std::string::npos && name.size() < 3) {
        const int position = std::stoi(name);
        if (position < static_cast<int>(DictTables.size())) return position;
    }
    const auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    };
    for (std::size_t i = 0; i < DictTables.size(); ++i) {
        const TDictionaryInfo& d = DictTables[i];
        if (name == d.Caption || same(name, d.Tables.Bg) || same(name, d.Tables.For)) return static_cast<int>(i);
    }
    throw EUsage("no dictionary " + name);
}

const char* ModeText(TLookupMode mode) {
    switch (mode) {
        case TLookupMode::lmBgToForeign: return "bg-to-foreign";
        case TLookupMode::lmForeignToBg: return "foreign-to-bg";
        case TLookupMode::lmExplanatory: return "explanatory";
        case TLookupMode::lmForeignWords: return "foreign-words";
    }
    return "";
}

// The lookup logic started on a data folder, with the console's views.
class TConsoleLookup {
  public:
    explicit TConsoleLookup(const std::string& dataDir)
        : FLookup(FDatas, FViews.Views(), {.DataDir = dataDir + "Dictionary/", .SourcePath = dataDir}) {
        FDatas.DataModuleCreate(FLookup);
    }

    // Types the word letter by letter, as a person would; the keyboard
    // layout follows the script of each letter.
    void Type(const std::u16string& word) {
        for (char16_t c : word) {
            if ((c >= u'А' && c <= u'я') || c == u'ѝ') FViews.Keyboard.Bulgarian = true;
            else if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 0xC0) FViews.Keyboard.Bulgarian = false;
            if (FLookup.Edit1KeyPress(c)) FViews.Edit1.Insert(c);
        }
    }

    TMemoryViews& Views() { return FViews; }
    TDictionaryLookup& Lookup() { return FLookup; }
    TDatas& Datas() { return FDatas; }

  private:
    TMemoryViews FViews;
    TDatas FDatas;
    TDictionaryLookup FLookup;
};

int RunLookup(const TArguments& arguments, const std::string& dataDir, std::ostream& out, std::ostream& err) {
    if (arguments.Words.size() != 1) throw EUsage("lookup needs one WORD");
    const int position = DictionaryPosition(arguments.Dictionary);
    TConsoleLookup console(dataDir);
    TDictionaryLookup& lookup = console.Lookup();
    TMemoryViews& views = console.Views();
    if (position != 0) lookup.ComboBox1Select(position);
    const std::u16string word = Utf8ToUtf16(arguments.Words[0]);
    console.Type(word);
    for (const std::string& message : views.MessageBox.Messages) err << message << "\n";

    const bool western = views.lWord.CharSet == TCharSet::Western;
    const int codePage = western ? 1252 : 1251;
    const std::string headword = BytesToUtf8(views.lWord.Caption, codePage);
    const std::string& stored = views.reDescription.Article;
    const std::string article = arguments.Rtf ? BytesToUtf8(stored, codePage) : ArticleToPlainText(stored, codePage);
    const int index = views.lbWords.ItemIndex();
    const bool exact = index >= 0 && index == lookup.Words().FindExact(ToSearchKey(views.Edit1.Text()));
    if (arguments.Json) {
        nlohmann::json result = {{"dictionary", DictTables[static_cast<std::size_t>(position)].Caption},
                                 {"mode", ModeText(lookup.Mode())},
                                 {"headword", headword},
                                 {"list_index", index},
                                 {"exact", exact},
                                 {"article", article}};
        out << result.dump() << "\n";
    } else {
        out << headword << "\n\n" << article << "\n";
    }
    return 0;
}

int RunDicts(const std::string& dataDir, std::ostream& out) {
    TConsoleLookup console(dataDir);
    pirin::TPirinTable table;
    table.SetDatabaseName(kDatabaseName);
    const auto count = [&](std::string_view name) {
        table.Close();
        table.SetTableName(name);
        console.Datas().OpenTable(table);
        return table.RecordCount();
    };
    for (std::size_t i = 0; i < DictTables.size(); ++i) {
        const TDictionaryInfo& d = DictTables[i];
        out << i << "  " << d.Caption << "  " << d.Tables.Bg << " (" << count(d.Tables.Bg) << ")";
        if (d.Tables.For != d.Tables.Bg) out << "  " << d.Tables.For << " (" << count(d.Tables.For) << ")";
        out << "\n";
    }
    table.Close();
    return 0;
}

}  // namespace

int RunVorlanoCli(const std::vector<std::string>& arguments, const std::string& executableDir,
                  std::ostream& out, std::ostream& err) {
    int code = 0;
    try {
        const TArguments parsed = ParseArguments(arguments);
        if (parsed.Command == "lookup") {
            code = RunLookup(parsed, ResolveDataDir(parsed, executableDir), out, err);
        } else if (parsed.Command == "dicts") {
            code = RunDicts(ResolveDataDir(parsed, executableDir), out);
        } else if (parsed.Command == "build") {
            if (parsed.Out.empty()) throw EUsage("build needs --out DIR");
            code = RunBuild(parsed.Out, parsed.Sources, out);
        } else {
            throw EUsage("unknown command " + parsed.Command);
        }
    } catch (const EUsage& error) {
        err << "vorlano-cli: " << error.what() << "\n" << kUsage;
        code = 2;
    } catch (const std::exception& error) {
        err << error.what() << "\n";
        code = 1;
    }
    pirin::ShutdownTableLayer();
    return code;
}

}  // namespace vorlano::cli
