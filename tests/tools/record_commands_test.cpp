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

// Every field type with no bounds, so that extreme values pass the write
// path's checks.
json RecordsSchema(const json& password) {
    json fields = EveryTypeFields();
    fields[14]["default"] = "42";  // Unsigned
    return {{"language", 1026},
            {"password", password},
            {"blob_block_size", 100},
            {"fields", fields},
            {"primary", {{"fields", {"Count"}}}},
            {"indexes",
             json::array({{{"name", "ПоДума"}, {"fields", {"Дума"}}, {"case_insensitive", true}},
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
        ASSERT_EQ(
            Run({"create", Db(), name, "--schema", WriteSchema(RecordsSchema(password))}).Exit, 0);
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
    for (const auto& [name, value] : std::vector<std::pair<std::string, ordered_json>>{
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

    // A range on the date and decimal index, and a condition on a decimal.
    const auto counts = [&](const std::vector<std::string>& options) {
        std::vector<std::string> arguments = {"dump", Db(), "T"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const TRun run = Tool(arguments);
        EXPECT_EQ(run.Exit, 0) << run.Err;
        std::vector<int> values;
        for (const auto& line : Lines(run.Out)) values.push_back(line["Count"]);
        return values;
    };
    EXPECT_EQ(counts({"--index", "ByBornAmount", "--range-start", "2004-03-07", "--range-end",
                      "2004-03-07"}),
              (std::vector<int>{3, 7}));
    EXPECT_EQ(counts({"--where", "Amount=-1234.50"}), (std::vector<int>{7}));
    EXPECT_EQ(counts({"--where", "Born=1999-12-31"}), (std::vector<int>{5}));

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
        {{"", "5"}, true, 5},             // primary, unique: exact
        {{"", "4"}, false, 5},            // the next record above
        {{"", "99"}, false, 7},           // above all: the last one
        {{"ПоДума", "ЯБЪЛКА"}, true, 7},  // case-insensitive
        {{"ПоДума", "в"}, false, 3},      // between банан and круша
        {{"ByBornAmount", "2004-03-07", "-1234.5"}, true, 7},
        {{"ByBornAmount", "2004-03-07"}, true, 3},  // prefix: blank Amount sorts first
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
        {{"ByLarge", "1.5"}, "field Large: '1.5' is not a whole number"},
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

// A record of the round trip in dump form, fields in table order.
ordered_json Record(const std::vector<std::pair<std::string, ordered_json>>& values) {
    static const char* const kFields[] = {"Id",    "Дума",    "Fixed",    "Born",  "Memo",   "Flag",
                                          "Small", "Count",   "Ratio",    "Price", "Amount", "Raw",
                                          "At",    "Stamp",   "Unsigned", "Var",   "Four",   "Ten",
                                          "Large", "Picture", "Plain",    "Binary"};
    ordered_json record;
    record["_recno"] = 0;
    for (const char* field : kFields) record[field] = nullptr;
    for (const auto& [name, value] : values) record[name] = value;
    return record;
}

std::string JsonLines(const std::vector<ordered_json>& records) {
    std::string text;
    for (const auto& record : records) text += record.dump() + "\n";
    return text;
}

TEST_P(RecordCommands, ImportAndDumpRoundTripEveryType) {
    CreateTable("T");
    std::string memo;
    for (int i = 0; i < 60; ++i) memo += "Ред " + std::to_string(i) + " с кирилица\t€\n";
    std::string picture;
    for (int i = 0; i < 300; ++i) picture.push_back(static_cast<char>(i % 256));
    const std::string pictureBase64 = [&] {
        // Encoded here rather than by the tool's own code, which is under test.
        static const char* kAlphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string text;
        for (std::size_t i = 0; i < picture.size(); i += 3) {
            const auto byte = [&](std::size_t k) {
                return static_cast<std::uint32_t>(static_cast<unsigned char>(picture[k]));
            };
            const std::uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
            for (int shift = 18; shift >= 0; shift -= 6)
                text.push_back(kAlphabet[(group >> shift) & 63]);
        }
        return text;
    }();
    const std::vector<ordered_json> given = {
        Record({{"_recno", 99},
                {"Id", 1234},
                {"Дума", "Ябълка\u0098"},  // 0x98 is undefined in code page 1251
                {"Fixed", "ЖЖЖЖЖЖЖЖЖЖ"},
                {"Born", "0001-01-01"},
                {"Memo", memo},
                {"Flag", true},
                {"Small", -32768},
                {"Count", 2147483647},
                {"Ratio", 1.7976931348623157e308},
                {"Price", "-0.0001"},
                {"Amount", "-12345678901234567890123456789.123"},
                {"Raw", "AQIDBA=="},
                {"At", "23:59:59.999"},
                {"Stamp", "9999-12-31 23:59:59.999"},
                {"Unsigned", 65535},
                {"Var", "AAECAwQF"},
                {"Four", 4294967295u},
                {"Ten", "AQIDBAUGBwgJCg=="},
                {"Large", std::numeric_limits<std::int64_t>::max()},
                {"Picture", pictureBase64},
                {"Plain", "AA=="}}),
        Record({{"Дума", "ь"},
                {"Born", "9999-12-31"},
                {"Flag", false},
                {"Small", 32767},
                {"Count", -2147483647 - 1},
                {"Ratio", 5e-324},
                {"Price", "123456789012345683968"},  // the double's exact value
                {"Amount", "0"},
                {"At", "00:00:00.000"},
                {"Stamp", "0001-01-01 00:00:00.000"},
                {"Unsigned", 0},
                {"Large", std::numeric_limits<std::int64_t>::min()},
                {"Binary", "/w=="}}),
        Record({{"Count", 0}, {"Ratio", "NaN"}, {"Price", "-Infinity"}, {"Amount", "0.5"}}),
    };
    std::string input = JsonLines(given);
    // The third line leaves Unsigned out: it takes its default.
    input.replace(input.rfind(",\"Unsigned\":null"), std::string(",\"Unsigned\":null").size(), "");
    // More records with BLOBs than a cursor may hold open at once.
    std::vector<ordered_json> many;
    for (int i = 1; i <= 140; ++i)
        many.push_back(Record({{"Count", 1000 + i},
                               {"Memo", "бележка " + std::to_string(i)},
                               {"Picture", "AQI="},
                               {"Large", i}}));
    input += "\n" + JsonLines(many);

    const TRun import = Tool({"import", Db(), "T", WriteFile("in.jsonl", input)});
    ASSERT_EQ(import.Exit, 0) << import.Err;
    EXPECT_EQ(import.Out, "imported 143\n");

    // Primary order (Count); slots and autoincrement values in import order.
    std::vector<ordered_json> expected = {given[1], given[2]};
    expected[0]["_recno"] = 2;
    expected[0]["Id"] = 2;
    expected[1]["_recno"] = 3;
    expected[1]["Id"] = 3;
    expected[1]["Unsigned"] = 42;
    for (int i = 1; i <= 140; ++i) {
        ordered_json record = many[static_cast<std::size_t>(i - 1)];
        record["_recno"] = 3 + i;
        record["Id"] = 3 + i;
        expected.push_back(record);
    }
    expected.push_back(given[0]);
    expected.back()["_recno"] = 1;
    expected.back()["Id"] = 1;
    const TRun dump = Tool({"dump", Db(), "T"});
    ASSERT_EQ(dump.Exit, 0) << dump.Err;
    const auto dumped = Lines(dump.Out);
    ASSERT_EQ(dumped.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(dumped[i].dump(), expected[i].dump()) << i;
    EXPECT_EQ(Tool({"verify", Db(), "T"}).Out, "ok\n");

    // What dump prints imports as it is: a second table dumps the same
    // (its slots and autoincrement values follow the order of the dump).
    CreateTable("Copy");
    const TRun again = Tool({"import", Db(), "Copy", WriteFile("dump.jsonl", dump.Out)});
    ASSERT_EQ(again.Exit, 0) << again.Err;
    const auto withoutNumbers = [](const std::string& out) {
        std::vector<ordered_json> lines = Lines(out);
        for (auto& line : lines) {
            line.erase("_recno");
            line.erase("Id");
        }
        return lines;
    };
    EXPECT_EQ(withoutNumbers(Tool({"dump", Db(), "Copy"}).Out), withoutNumbers(dump.Out));
    EXPECT_EQ(Tool({"verify", Db(), "Copy"}).Out, "ok\n");
}

TEST_P(RecordCommands, ImportRefusesABadLineWithItsNumber) {
    CreateTable("T");
    const std::pair<std::string, std::string> cases[] = {
        {R"({"Count": 2, "Nope": 2})", "the table has no field Nope"},
        {R"({"Count": "x"})", "field Count: 'x' is not a whole number"},
        {R"({"Count": 1.5})", "field Count: a whole number is needed"},
        {R"({"Count": 2, "Small": 32768})", "field Small: 32768 is out of range"},
        {R"({"Count": 2, "Дума": "1234567890123456789012345678901"})", "longer than 30"},
        {R"({"Count": 2, "Дума": "日本"})", "cannot store"},
        {R"({"Count": 2, "Дума": "a\u0000b"})", "U+0000"},
        {R"({"Count": 2, "Amount": "1.2345"})", "more than 3 decimals"},
        {R"({"Count": 2, "Amount": "1e5"})", "not a decimal number"},
        {R"({"Count": 2, "Raw": "AQIDBAU="})", "more than 4 bytes"},
        {R"({"Count": 2, "Picture": "AQI"})", "not base64"},
        {R"({"Count": 2, "Born": "2004-02-30"})", "'2004-02-30' is not a valid date"},
        {R"({"Count": 2, "Flag": 1})", "true or false is needed"},
        {R"({"Count": 2,)", "not JSON"},
        {R"([2])", "a JSON object is needed"},
    };
    for (const auto& [line, message] : cases) {
        const std::string file =
            WriteFile("bad.jsonl", "{\"Count\": 1, \"Memo\": \"м\"}\n" + line + "\n");
        const TRun run = Tool({"import", Db(), "T", file});
        EXPECT_EQ(run.Exit, 1) << line;
        EXPECT_THAT(run.Err, HasSubstr("line 2: ")) << line;
        EXPECT_THAT(run.Err, HasSubstr(message)) << line;
        // Every line is converted before the first insert.
        EXPECT_EQ(Tool({"dump", Db(), "T"}).Out, "") << line;
    }

    // An insert the engine refuses stops the import at its line; the lines
    // before it stay, and nothing of the refused one is left.
    const std::string file =
        WriteFile("dup.jsonl",
                  "{\"Count\": 1, \"Large\": 1, \"Memo\": \"а\"}\n\n{\"Count\": 2, \"Large\": 2}\n"
                  "{\"Count\": 1, \"Large\": 3, \"Memo\": \"б\"}\n{\"Count\": 3, \"Large\": 4}\n");
    const TRun duplicate = Tool({"import", Db(), "T", file});
    EXPECT_EQ(duplicate.Exit, 1);
    EXPECT_THAT(duplicate.Err, HasSubstr("line 4: Pirin Engine Error # 9729"));
    EXPECT_THAT(duplicate.Err, HasSubstr("2 records imported before it"));
    EXPECT_EQ(Lines(Tool({"dump", Db(), "T"}).Out).size(), 2u);
    EXPECT_EQ(Tool({"verify", Db(), "T"}).Out, "ok\n");

    const TRun missing = Tool({"import", Db(), "T", Db() + "/none.jsonl"});
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_THAT(missing.Err, HasSubstr("cannot read"));
}

TEST_F(PirinTool, ATableWithoutPrimaryKeyDumpsInRecordOrder) {
    const json schema = {
        {"fields", json::array({{{"name", "Word"}, {"type", "VARCHAR"}, {"size", 10}}})},
        {"primary", nullptr},
        {"indexes", json::array({{{"name", "ByWord"}, {"fields", {"Word"}}}})}};
    ASSERT_EQ(Run({"create", Db(), "T", "--schema", WriteSchema(schema)}).Exit, 0);
    const std::string file =
        WriteFile("in.jsonl", "{\"Word\": \"c\"}\n{\"Word\": \"a\"}\n{\"Word\": \"b\"}\n");
    ASSERT_EQ(Run({"import", Db(), "T", file}).Exit, 0);
    EXPECT_EQ(Run({"dump", Db(), "T"}).Out,
              "{\"_recno\":1,\"Word\":\"c\"}\n{\"_recno\":2,\"Word\":\"a\"}\n"
              "{\"_recno\":3,\"Word\":\"b\"}\n");
    EXPECT_EQ(Run({"find", Db(), "T", "--index", "ByWord", "b"}).Out,
              "{\"found\":true,\"record\":{\"_recno\":3,\"Word\":\"b\"}}\n");
    const TRun noIndex = Run({"find", Db(), "T", "--index", "", "b"});
    EXPECT_EQ(noIndex.Exit, 1);
    EXPECT_THAT(noIndex.Err, HasSubstr("find needs an index"));
}

INSTANTIATE_TEST_SUITE_P(Encryption, RecordCommands, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Encrypted" : "Clear"; });

}  // namespace
}  // namespace pirin::testing
