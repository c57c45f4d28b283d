#include "bench/demo_lookup.h"

#include <algorithm>
#include <filesystem>
#include <random>

#include "lookup/rtf_reader.h"

namespace vorlano::bench {
namespace {

constexpr int kEnglishBulgarian = 2;  // the selector's position of the dictionary
constexpr char kForeignTable[] = "En_Bg";

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Every row of a table of the data module (Id, Word, Desc).
std::vector<TBenchRow> ReadRows(TDatas& datas, std::string_view tableName) {
    pirin::TPirinTable table;
    table.SetDatabaseName(kDatabaseName);
    table.SetTableName(tableName);
    datas.OpenTable(table);
    std::vector<TBenchRow> rows;
    pirin::TField& id = table.FieldByName("Id");
    pirin::TField& word = table.FieldByName("Word");
    pirin::TField& desc = table.FieldByName("Desc");
    for (table.First(); !table.Eof(); table.Next())
        rows.push_back({static_cast<std::int32_t>(id.AsInteger()), word.AsString(), desc.AsString()});
    table.Close();
    return rows;
}

}  // namespace

TDemoLookup::TDemoLookup(const std::string& demoDir, const std::string& sqlitePath) {
    // The program's start-up, without a log (the desktop program keeps none
    // unless asked) and with an English keyboard for Latin keys.
    TLookupViews views = FViews.Views();
    views.Log = nullptr;
    FViews.Keyboard.Bulgarian = false;
    FLookup = std::make_unique<TDictionaryLookup>(
        FDatas, views, TLookupSettings{.DataDir = demoDir + "Dictionary/", .SourcePath = demoDir});
    FDatas.DataModuleCreate(*FLookup);
    FLookup->ComboBox1Select(kEnglishBulgarian);
    // Coming from the explanatory dictionary the list shows the Bulgarian
    // side; the first Latin key turns it to the English words, as typing
    // does in the program.
    FLookup->SearchWord("a");

    pirin::TField& table = FDatas.tWords.FieldByName("Table");
    for (FDatas.tWords.First(); !FDatas.tWords.Eof(); FDatas.tWords.Next())
        FTableNames.push_back(table.AsString());

    const bool made = std::filesystem::exists(sqlitePath);
    FSqlite = std::make_unique<TSqliteWords>(sqlitePath);
    if (!made) {
        FSqlite->Load(ReadRows(FDatas, kForeignTable));
        FSqlite->LoadNames(FTableNames);
    }

    std::mt19937 random(20261210);
    for (const std::string& word : FLookup->Words().Items()) {
        if (word.size() < 2 || !IsAsciiLetter(word[0]) || !IsAsciiLetter(word[1])) continue;
        std::uniform_int_distribution<std::size_t> length(2, word.size());
        FKeys.push_back(random() % 2 == 0 ? word : word.substr(0, length(random)));
    }
    std::shuffle(FKeys.begin(), FKeys.end(), random);
}

TDemoLookup::~TDemoLookup() = default;

std::size_t TDemoLookup::Keystroke(const std::string& key) {
    FLookup->SearchWord(key);
    return ArticleToHtml(FViews.reDescription.Article).size();
}

std::size_t TDemoLookup::KeystrokeSqlite(const std::string& key) {
    FSqlite->FindNearest(key, FDesc);
    return ArticleToHtml(FDesc).size();
}

bool TDemoLookup::Locate(std::string_view tableName) {
    return FDatas.tWords.Locate("Table", std::string(tableName));
}

bool TDemoLookup::LocateSqlite(std::string_view tableName) { return FSqlite->FindName(tableName); }

}  // namespace vorlano::bench
