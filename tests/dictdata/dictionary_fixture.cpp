#include "tests/dictdata/dictionary_fixture.h"

#include <unistd.h>

#include <cstdio>

#include "dictdata/datas.h"
#include "engine/table_create.h"
#include "locale/code_page.h"
#include "locale/field_types.h"
#include "tables/pirin_session.h"
#include "tables/pirin_table.h"
#include "tables/session_list.h"

namespace vorlano::testing {

namespace {

using pirin::TFieldDefinition;
using pirin::TIndexDefinition;
using pirin::TTableDefinition;

std::vector<TFixtureEntry> Words(std::initializer_list<std::u16string> words) {
    std::vector<TFixtureEntry> entries;
    for (const auto& word : words) entries.push_back({word, {}});
    return entries;
}

std::vector<TFixtureTableData> MakeTables() {
    constexpr std::uint16_t kBg = 1026, kEn = 1033, kDe = 1031, kEs = 1034, kIt = 1040, kFr = 1036;
    std::vector<TFixtureTableData> tables = {
        {"Bg_Bg", 1251, kBg,
         Words({u"абажур", u"аз", u"банан", u"бряг", u"вода", u"град", u"градина", u"дом", u"дъжд", u"език",
                u"жаба", u"зима", u"игра", u"йод", u"книга", u"къща", u"лято", u"маса", u"нос", u"огън",
                u"писмо", u"река", u"слънце", u"стол", u"трева", u"улица", u"фар", u"хляб", u"цвят",
                u"чаша", u"шапка", u"щука", u"юг"}),
         {}},
        {"Bg_Jd", 1251, kBg, Words({u"абонамент", u"бюро", u"вагон", u"гараж", u"депо", u"жест", u"идея"}),
         {u"абонамент", u"", u"бюро", u"вагон", u"гараж", u"депо", u"жест", u"идея"}},
        {"Bg_En", 1251, kBg, Words({u"банан", u"вода", u"дом", u"къща", u"куче", u"маса", u"ябълка"}),
         {u"банан", u"вода", u"дом", u"къща", u"куче", u"маса", u"призрак", u"ябълка"}},
        {"En_Bg", 1252, kEn,
         Words({u"ab", u"ac", u"apple", u"dog", u"h", u"hose", u"hot", u"house", u"household", u"houses",
                u"table", u"water", u"zoo"}),
         {u"ab", u"ac", u"apple", u"dog", u"ghost", u"h", u"hose", u"hot", u"house", u"household", u"houses",
          u"table", u"water", u"zoo"}},
        {"Bg_Gs", 1251, kBg, Words({u"къща", u"упражнение", u"ябълка"}), {}},
        {"Gs_Bg", 1252, kDe, Words({u"Apfel", u"ähnlich", u"Haus", u"über", u"Übung"}), {}},
        {"Bg_Sp", 1251, kBg, Words({u"къща", u"успех"}), {}},
        {"Sp_Bg", 1252, kEs, Words({u"casa", u"él", u"éxito", u"niño"}), {}},
        {"Bg_It", 1251, kBg, Words({u"къща", u"град"}), {}},
        {"It_Bg", 1252, kIt, Words({u"casa", u"città"}), {}},
        {"Bg_Fr", 1251, kBg, Words({u"къща", u"училище"}), {}},
        {"Fr_Bg", 1252, kFr, Words({u"école", u"été", u"maison"}), {}},
    };
    // One plain-text article.
    tables[0].Entries.push_back({u"ябълка", u"ябълка - плод\r\nвтори ред"});
    return tables;
}

TTableDefinition DictionaryDefinition(std::uint16_t language) {
    TTableDefinition d;
    d.Fields = {{.Name = "Id", .Type = pirin::kFieldInteger},
                {.Name = "Word", .Type = pirin::kFieldString, .Subtype = pirin::kSubtypeFixedString, .Size = 50},
                {.Name = "Desc", .Type = pirin::kFieldBlob, .Subtype = pirin::kSubtypeMemo}};
    d.Primary = TIndexDefinition{.Fields = {"Id"}};
    d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true, .Compression = 3}};
    d.Language = language;
    d.Password = kTablePassword;
    return d;
}

TTableDefinition WordListDefinition() {
    TTableDefinition d;
    d.Fields = {{.Name = "Id", .Type = pirin::kFieldWord},
                {.Name = "Table", .Type = pirin::kFieldString, .Subtype = pirin::kSubtypeFixedString, .Size = 5},
                {.Name = "Words", .Type = pirin::kFieldBlob, .Subtype = pirin::kSubtypeMemo}};
    d.Primary = TIndexDefinition{.Fields = {"Id"}};
    d.Language = 1026;
    d.Password = kTablePassword;
    return d;
}

// "{\rtf1 ... \b word\b0\par translation of word}" with the bytes as \'hh.
std::string RtfArticle(const std::string& word, int codePage) {
    std::string hex;
    char buffer[8];
    for (unsigned char c : word) {
        if (c < 0x80) {
            hex.push_back(static_cast<char>(c));
        } else {
            std::snprintf(buffer, sizeof buffer, "\\'%02x", c);
            hex += buffer;
        }
    }
    const std::string charset = codePage == 1251 ? "204" : "0";
    return "{\\rtf1\\ansi\\ansicpg" + std::to_string(codePage) + "{\\fonttbl{\\f0\\fcharset" + charset +
           " Arial;}}\\f0\\b " + hex + "\\b0\\par article of " + hex + "\\par}";
}

}  // namespace

const std::vector<TFixtureTableData>& TDictionaryFixture::Tables() {
    static const std::vector<TFixtureTableData> tables = MakeTables();
    return tables;
}

std::string TDictionaryFixture::Bytes(const std::u16string& text, int codePage) {
    return pirin::TCodePage::Of(codePage).Encode(text);
}

TDictionaryFixture::TDictionaryFixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorlano-dict-XXXXXX").string();
    FDir = ::mkdtemp(pattern.data());
    const std::string dir = DataDir();
    pirin::Session().AddPassword(kTablePassword);

    const auto fill = [&](const std::string& name, auto&& write) {
        pirin::TPirinTable table;
        table.SetDatabaseName(dir);
        table.SetTableName(name);
        table.Open();
        write(table);
        table.Close();
    };

    pirin::CreateTable({.Directory = dir, .Name = kWordListTable}, WordListDefinition());
    std::uint16_t row = 1;
    for (const TFixtureTableData& data : Tables()) {
        pirin::CreateTable({.Directory = dir, .Name = data.Name}, DictionaryDefinition(data.Language));
        fill(data.Name, [&](pirin::TPirinTable& table) {
            int id = 1;
            for (const TFixtureEntry& entry : data.Entries) {
                const std::string word = Bytes(entry.Word, data.CodePage);
                table.Append();
                table.FieldByName("Id").SetAsInteger(id++);
                table.FieldByName("Word").SetAsString(word);
                table.FieldByName("Desc").SetAsString(entry.Article.empty() ? RtfArticle(word, data.CodePage)
                                                                            : Bytes(entry.Article, 1251));
                table.Post();
            }
        });
        std::string memo;
        if (data.List.empty()) {
            for (const TFixtureEntry& entry : data.Entries) memo += Bytes(entry.Word, data.CodePage) + "\r\n";
        } else {
            for (const std::u16string& word : data.List) memo += Bytes(word, data.CodePage) + "\r\n";
        }
        fill(kWordListTable, [&](pirin::TPirinTable& table) {
            table.Append();
            table.FieldByName("Id").SetAsInteger(row++);
            table.FieldByName("Table").SetAsString(data.Name);
            table.FieldByName("Words").SetAsString(memo);
            table.Post();
        });
    }
}

TDictionaryFixture::~TDictionaryFixture() {
    std::error_code error;
    std::filesystem::remove_all(FDir, error);
}

}  // namespace vorlano::testing
