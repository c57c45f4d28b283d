// pirin-tool dump, find and import run as a program: the printed form of
// every field type on records the engine fixture wrote at file level, key
// search hits and misses, and the import/dump round trip of a table of every
// type, in clear and encrypted, with the errors of bad input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "locale/code_page.h"
#include "tests/engine/table_fixture.h"
#include "tests/tools/tool_test_support.h"
#include "tools/table_text.h"

namespace pirin::testing {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Every field type; Cyrillic names and texts; no bounds, so that extreme
// values pass the write path's checks.
json RecordsSchema(const json& password) {
    return {{"language", 1026},
            {"password", password},
            {"blob_block_size", 100},
            {"fields",
             json::array({{{"name", "Id"}, {"type", "AUTOINC"}},
                          {{"name", "Дума"}, {"type", "VARCHAR"}, {"size", 30}},
                          {{"name", "Fixed"}, {"type", "CHAR"}, {"size", 10}, {"subtype", 31}},
                          {{"name", "Born"}, {"type", "DATE"}},
                          {{"name", "Memo"}, {"type", "MEMO"}},
                          {{"name", "Flag"}, {"type", "BOOLEAN"}},
                          {{"name", "Small"}, {"type", "SMALLINT"}},
                          {{"name", "Count"}, {"type", "INTEGER"}},
                          {{"name", "Ratio"}, {"type", "FLOAT"}},
                          {{"name", "Price"}, {"type", "MONEY"}},
                          {{"name", "Amount"}, {"type", "DECIMAL"}, {"scale", 3}},
                          {{"name", "Raw"}, {"type", "BYTES"}, {"size", 4}},
                          {{"name", "At"}, {"type", "TIME"}},
                          {{"name", "Stamp"}, {"type", "TIMESTAMP"}},
                          {{"name", "Unsigned"}, {"type", "WORD"}},
                          {{"name", "Var"}, {"type", 15}, {"size", 6}},
                          {{"name", "Four"}, {"type", 13}},
                          {{"name", "Ten"}, {"type", 14}},
                          {{"name", "Large"}, {"type", "LARGEINT"}},
                          {{"name", "Picture"}, {"type", "GRAPHIC"}},
                          {{"name", "Plain"}, {"type", "BLOB(1, 2)"}},
                          {{"name", "Binary"}, {"type", "BLOB"}}})},
            {"primary", {{"fields", {"Count"}}}},
            {"indexes", json::array({{{"name", "ПоДума"},
                                      {"fields", {"Дума"}},
                                      {"case_insensitive", true}},
                                     {{"name", "ByBornAmount"}, {"fields", {"Born", "Amount"}}},
                                     {{"name", "ByLarge"}, {"fields", {"Large"}}, {"unique", true}}})}};
}

std::string Cp1251(const std::string& utf8) {
    return tools::EncodeTableText(TCodePage::OfLanguage(1026), utf8);
}

std::vector<ordered_json> Lines(const std::string& out) {
    std::vector<ordered_json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(ordered_json::parse(line));
    return lines;
}

class RecordCommands : public PirinTool, public ::testing::WithParamInterface<bool> {
  protected:
    void CreateTable(const std::string& name) {
        const json password = GetParam() ? json("Таен ключ") : json(nullptr);
        ASSERT_EQ(Run({"create", Db(), name, "--schema", WriteSchema(RecordsSchema(password))}).Exit,
                  0);
    }
    TRun Tool(std::vector<std::string> arguments) const {
        arguments.insert(arguments.end(), {"--password", "Таен ключ"});
        return Run(arguments);
    }
};

// Three fruits written at file level; the first has a value in every field.
void AppendFruits(const TTableLocation& location, const std::string& memo) {
    TFixtureTable table(location);
    table.Append({nullptr,
                  Cp1251("Ябълка"),
                  "ab",
                  "2004-03-07",
                  Cp1251(memo),
                  1,
                  -32768,
                  7,
                  0.1,
                  12.5,
                  "-1234.5",
                  TValue::Bytes({1, 2, 3}),
                  "13:05:09.5",
                  "2020-02-29 23:59:59.999",
                  65535,
                  TValue::Bytes({9}),
                  TValue::Bytes({0xFF, 0xFF, 0xFF, 0xFF}),
                  TValue::Bytes(std::vector<std::uint8_t>(10, 7)),
                  std::numeric_limits<std::int64_t>::min(),
                  TValue::Bytes({0, 1, 2, 255}),
                  nullptr,
                  nullptr});
    table.Append({nullptr, Cp1251("круша"), nullptr, "2004-03-07", nullptr, 0, nullptr, 3});
    table.Append({nullptr, Cp1251("банан"), nullptr, "1999-12-31", nullptr, nullptr, nullptr, 5,
                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                  nullptr, std::int64_t{1}});
}

TEST_P(RecordCommands, DumpPrintsEveryTypeInItsForm) {
    CreateTable("T");
    std::string memo;
    for (int i = 0; i < 40; ++i) memo += "Дълъг ред " + std::to_string(i) + "\n";
    AppendFruits(ToolLocation("T"), memo);

    const TRun dump = Tool({"dump", Db(), "T"});
    ASSERT_EQ(dump.Exit, 0) << dump.Err;
    ordered_json first;
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, ordered_json>>{
             {"_recno", 1},
             {"Id", 1},
             {"Дума", "Ябълка"},
             {"Fixed", "ab"},
             {"Born", "2004-03-07"},
             {"Memo", memo},
             {"Flag", true},
             {"Small", -32768},
             {"Count", 7},
             {"Ratio", 0.1},
             {"Price", "12.5"},
             {"Amount", "-1234.5"},
             {"Raw", "AQIDAA=="},
             {"At", "13:05:09.005"},
             {"Stamp", "2020-02-29 23:59:59.999"},
             {"Unsigned", 65535},
             {"Var", "CQAAAAAA"},
             {"Four", 4294967295u},
             {"Ten", "BwcHBwcHBwcHBw=="},
             {"Large", std::numeric_limits<std::int64_t>::min()},
             {"Picture", "AAEC/w=="},
             {"Plain", nullptr},
             {"Binary", nullptr}})
        first[name] = value;
    // Primary order: Count 3, 5, 7.
    const auto lines = Lines(dump.Out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].dump(), first.dump());
    EXPECT_EQ(lines[0]["_recno"], 2);
    EXPECT_EQ(lines[0]["Flag"], false);
    EXPECT_EQ(lines[0]["Fixed"], nullptr);
    EXPECT_EQ(lines[1]["Large"], 1);

    // Any index orders the dump; export is dump.
    const TRun byWord = Tool({"export", Db(), "T", "--index", "ПоДума"});
    ASSERT_EQ(byWord.Exit, 0) << byWord.Err;
    std::vector<std::string> words;
    for (const auto& line : Lines(byWord.Out)) words.push_back(line["Дума"]);
    EXPECT_EQ(words, (std::vector<std::string>{"банан", "круша", "Ябълка"}));

    const TRun unknown = Tool({"dump", Db(), "T", "--index", "Nowhere"});
    EXPECT_EQ(unknown.Exit, 1);
    EXPECT_THAT(unknown.Err, HasSubstr("10022"));
    EXPECT_THAT(unknown.Out, IsEmpty());
}

TEST_P(RecordCommands, FindPositionsByKey) {
    CreateTable("T");
    AppendFruits(ToolLocation("T"), "memo");
    const auto find = [&](std::vector<std::string> values) {
        std::vector<std::string> arguments = {"find", Db(), "T", "--index"};
        arguments.insert(arguments.end(), values.begin(), values.end());
        const TRun run = Tool(arguments);
        EXPECT_EQ(run.Exit, 0) << run.Err;
        const auto lines = Lines(run.Out);
        EXPECT_EQ(lines.size(), 1u);
        return lines.empty() ? ordered_json() : lines.front();
    };
    struct TCase {
        std::vector<std::string> Arguments;
        bool Found;
        int Count;  // of the record the cursor stands on
    };
    const TCase cases[] = {
        {{"", "5"}, true, 5},                             // primary, unique: exact
        {{"", "4"}, false, 5},                            // the next record above
        {{"", "99"}, false, 7},                           // above all: the last one
        {{"ПоДума", "ЯБЪЛКА"}, true, 7},                  // case-insensitive
        {{"ПоДума", "в"}, false, 3},                      // between банан and круша
        {{"ByBornAmount", "2004-03-07", "-1234.5"}, true, 7},
        {{"ByBornAmount", "2004-03-07"}, true, 3},        // prefix: blank Amount sorts first
        {{"ByLarge", "-9223372036854775808"}, true, 7},
    };
    for (const TCase& c : cases) {
        const ordered_json result = find(c.Arguments);
        EXPECT_EQ(result["found"], c.Found) << ::testing::PrintToString(c.Arguments);
        EXPECT_EQ(result["record"]["Count"], c.Count) << ::testing::PrintToString(c.Arguments);
    }
    EXPECT_EQ(find({"ByLarge", "-9223372036854775808"}).begin().key(), "found");

    const std::pair<std::vector<std::string>, const char*> errors[] = {
        {{"ПоДума", "а", "б"}, "give 1 to 1 values"},
        {{"ByBornAmount", "2004-02-30"}, "field Born: '2004-02-30' is not a valid date"},
        {{"ByLarge", "1.5"}, "field Large: '1.5' is out of range"},
        {{"Nowhere", "x"}, "10022"},
    };
    for (const auto& [values, message] : errors) {
        std::vector<std::string> arguments = {"find", Db(), "T", "--index"};
        arguments.insert(arguments.end(), values.begin(), values.end());
        const TRun run = Tool(arguments);
        EXPECT_EQ(run.Exit, 1) << ::testing::PrintToString(values);
        EXPECT_THAT(run.Err, HasSubstr(message)) << ::testing::PrintToString(values);
    }

    EXPECT_EQ(Tool({"find", Db(), "T", "--index", "ПоДума"}).Exit, 2);  // no value

    // An empty table: no record to stand on.
    CreateTable("Empty");
    const TRun empty = Tool({"find", Db(), "Empty", "--index", "", "1"});
    EXPECT_EQ(empty.Out, "{\"found\":false,\"record\":null}\n");
}

INSTANTIATE_TEST_SUITE_P(Encryption, RecordCommands, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Encrypted" : "Clear"; });

}  // namespace
}  // namespace pirin::testing
