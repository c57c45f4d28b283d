// pirin-tool run as a program: create, info and verify on a schema of every
// field type, in clear and encrypted; tables filled through the engine
// fixture and then damaged; usage, schema and definition errors with their
// exit codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "engine/table_files.h"
#include "tests/engine/table_fixture.h"
#include "tests/tools/tool_test_support.h"

namespace pirin::testing {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Every field type, names and texts in Cyrillic, indexes of every kind.
json EveryTypeSchema(const json& password) {
    json fields = EveryTypeFields();
    fields[1].update({{"size", 40}, {"case", 2}, {"default", "нищо"}});
    fields[2]["size"] = 50;
    fields[3]["min"] = "1900-01-01";
    fields[5]["default"] = "true";
    fields[6]["max"] = 100;
    fields[7]["required"] = true;
    fields[10]["scale"] = 2;
    fields[11]["size"] = 8;
    fields[15]["size"] = 12;
    return {
        {"language", 1026},
        {"sort", 0},
        {"password", password},
        {"description", "Всички типове"},
        {"blob_block_size", 100},
        {"fields", fields},
        {"primary", {{"fields", {"Count", "Id"}}}},
        {"indexes", json::array({{{"name", "ПоДума"},
                                  {"fields", {"Дума"}},
                                  {"unique", false},
                                  {"case_insensitive", true},
                                  {"descending", false},
                                  {"field_descending", {false}},
                                  {"compression", 3}},
                                 {{"name", "ByBorn"},
                                  {"fields", {"Born", "Amount"}},
                                  {"descending", true},
                                  {"field_descending", {false, true}},
                                  {"compression", 1}},
                                 {{"name", "ByLarge"}, {"fields", {"Large"}}, {"unique", true}}})}};
}

TRow EveryTypeRow(int n) {
    return {nullptr,
            "дума " + std::to_string(n % 5),
            "f" + std::to_string(n),
            "2001-02-03",
            std::string(static_cast<std::size_t>(n * 41), 'm'),
            1,
            n,
            n * 7,
            n / 7.0,
            2.5,
            "3.25",
            TValue::Bytes({1, 2}),
            "01:02:03",
            "2020-02-02 02:02:02",
            5,
            TValue::Bytes({3}),
            TValue::Bytes({1, 2, 3, 4}),
            TValue::Bytes(std::vector<std::uint8_t>(10, 7)),
            std::int64_t{n},
            TValue::Bytes(std::vector<std::uint8_t>(static_cast<std::size_t>(n * 97), 1)),
            n % 2 ? TValue("plain") : TValue(),
            TValue::Bytes({0, 1, 0})};
}

class PirinToolEveryType : public PirinTool, public ::testing::WithParamInterface<bool> {};

TEST_P(PirinToolEveryType, CreatesDescribesAndVerifiesATable) {
    const bool encrypted = GetParam();
    const json password = encrypted ? json("Таен ключ") : json(nullptr);
    ASSERT_EQ(
        Run({"create", Db(), "Every", "--schema", WriteSchema(EveryTypeSchema(password))}).Exit, 0);
    const std::vector<std::string> withPassword = {"--password", "other", "--password",
                                                   "Таен ключ"};
    const auto command = [&](const std::string& name) {
        std::vector<std::string> arguments = {name, Db(), "Every"};
        arguments.insert(arguments.end(), withPassword.begin(), withPassword.end());
        return arguments;
    };

    const TRun info = Run(command("info"));
    ASSERT_EQ(info.Exit, 0) << info.Err;
    const json described = json::parse(info.Out);
    EXPECT_EQ(described["encrypted"], encrypted);
    EXPECT_EQ(described["description"], "Всички типове");
    EXPECT_EQ(described["language"], 1026);
    EXPECT_EQ(described["blob_block_size"], 100);
    EXPECT_EQ(described["records"], 0);
    const json& fields = described["fields"];
    ASSERT_EQ(fields.size(), 22u);
    const std::pair<const char*, json> types[] = {
        {"AUTOINC", 29}, {"VARCHAR", 0},  {"VARCHAR", 31}, {"DATE", 0},      {"MEMO", 22},
        {"BOOLEAN", 0},  {"SMALLINT", 0}, {"INTEGER", 0},  {"FLOAT", 0},     {"MONEY", 21},
        {"DECIMAL", 0},  {"BYTES", 0},    {"TIME", 0},     {"TIMESTAMP", 0}, {"WORD", 0},
        {"", 0},         {"", 0},         {"", 0},         {"LARGEINT", 0},  {"GRAPHIC", 26},
        {"BLOB", 0},     {"BLOB", 23}};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (*types[i].first != '\0') {
            EXPECT_EQ(fields[i]["type"], types[i].first) << i;
        }
        EXPECT_EQ(fields[i]["subtype"], types[i].second) << i;
    }
    EXPECT_EQ(fields[15]["type"], 15);
    EXPECT_EQ(fields[1]["name"], "Дума");
    EXPECT_EQ(fields[1]["case"], 2);
    EXPECT_EQ(fields[1]["default"], "нищо");
    EXPECT_EQ(fields[6]["max"], "100");
    EXPECT_EQ(fields[7]["required"], true);
    EXPECT_EQ(fields[10]["scale"], 2);
    EXPECT_EQ(fields[0]["offset"], 5);
    const json& indexes = described["indexes"];
    ASSERT_EQ(indexes.size(), 4u);
    EXPECT_EQ(indexes[0]["number"], 0);
    EXPECT_EQ(indexes[0]["fields"], json({"Count", "Id"}));
    EXPECT_EQ(indexes[0]["unique"], true);
    EXPECT_EQ(indexes[1]["name"], "ПоДума");
    EXPECT_EQ(indexes[1]["case_insensitive"], true);
    EXPECT_EQ(indexes[1]["compression"], 3);
    EXPECT_EQ(indexes[1]["key_length"], 1 + 41 + 4);
    EXPECT_EQ(indexes[2]["field_descending"], json({false, true}));
    EXPECT_EQ(indexes[3]["unique"], true);

    TFixtureTable table(ToolLocation("Every"));
    for (int n = 1; n <= 30; ++n) table.Append(EveryTypeRow(n));
    table.Delete(7);
    table.Delete(20);
    EXPECT_EQ(Run(command("verify")).Out, "ok\n");
    EXPECT_EQ(json::parse(Run(command("info")).Out)["records"], 28);

    // A copy is the same table under another name; a second copy there is refused.
    const std::string copy = Db() + "/Copy";
    ASSERT_EQ(Run({"copy", Db(), "Every", copy, "--password", "Таен ключ"}).Exit, 0);
    EXPECT_EQ(Run({"verify", Db(), "Copy", "--password", "Таен ключ"}).Out, "ok\n");
    EXPECT_EQ(json::parse(Run({"info", Db(), "Copy", "--password", "Таен ключ"}).Out)["records"],
              28);
    const TRun again = Run({"copy", Db(), "Every", copy, "--password", "Таен ключ"});
    EXPECT_EQ(again.Exit, 1);
    EXPECT_THAT(again.Err, HasSubstr("13060"));
    // Compressed, the copy is zlib chunks: smaller than the table.
    std::filesystem::create_directory(Db() + "/packed");
    ASSERT_EQ(
        Run({"copy", Db(), "Every", Db() + "/packed", "--compress", "--password", "Таен ключ"})
            .Exit,
        0);
    EXPECT_LT(std::filesystem::file_size(Db() + "/packed/Every.BLB"),
              std::filesystem::file_size(Db() + "/Every.BLB"));

    // An index record count off by one is damage verify reports.
    {
        TTableFiles files(ToolLocation("Every"));
        files.Index().IncrementRecordCount();
        files.WriteAll();
    }
    const TRun damaged = Run(command("verify"));
    EXPECT_EQ(damaged.Exit, 1);
    EXPECT_THAT(damaged.Out, HasSubstr("28 active records, the index header counts 29"));

    if (encrypted) {
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"info", Db(), "Every"},
              std::vector<std::string>{"verify", Db(), "Every", "--password", "таен ключ"}}) {
            const TRun refused = Run(arguments);
            EXPECT_EQ(refused.Exit, 1);
            EXPECT_THAT(refused.Err, HasSubstr("10498"));
            EXPECT_THAT(refused.Out, IsEmpty());
        }
    }

    // A lost index file is reported, not silently made anew by the open.
    std::filesystem::remove(Db() + "/Every.IDX");
    const TRun lost = Run(command("verify"));
    EXPECT_EQ(lost.Exit, 1);
    EXPECT_THAT(lost.Out, HasSubstr("Every.IDX is missing"));
    EXPECT_FALSE(std::filesystem::exists(Db() + "/Every.IDX"));
}

INSTANTIATE_TEST_SUITE_P(Encryption, PirinToolEveryType, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Encrypted" : "Clear"; });

TEST_F(PirinTool, UsageErrorsExitTwo) {
    const std::string schema = WriteSchema({{"fields", json::array()}});
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", Db(), "T"},
        {"info", Db()},
        {"info", Db(), "T", "extra"},
        {"info", Db(), "T", "--colour", "red"},
        {"info", Db(), "T", "--password"},
        {"create", Db(), "T"},
        {"create", Db(), "T", "--schema", schema, "--schema", schema},
    };
    for (const auto& arguments : cases) {
        const TRun run = Run(arguments);
        EXPECT_EQ(run.Exit, 2) << ::testing::PrintToString(arguments);
        EXPECT_THAT(run.Err, HasSubstr("usage"));
    }
}

TEST_F(PirinTool, SchemaAndDefinitionErrorsExitOneAndCreateNothing) {
    const auto field = [](const char* name, const char* type) {
        return json{{"name", name}, {"type", type}};
    };
    const std::pair<json, const char*> cases[] = {
        {{{"fields", {field("Id", "INTEGER")}}, {"primry", nullptr}}, "unknown key \"primry\""},
        {{{"fields", {field("Id", "INTEGR")}}}, "unknown field type \"INTEGR\""},
        {{{"fields", {{{"name", "Id"}, {"type", "CHAR"}, {"size", -1}}}}}, "fields[0].size"},
        {{{"fields", {field("词", "INTEGER")}}, {"language", 1026}}, "cannot store"},
        {{{"fields", {field("Id", "INTEGER")}}, {"indexes", {{{"name", "I"}, {"fields", {"X"}}}}}},
         "Pirin Engine Error # 10023"},
        {{{"fields", {field("Id", "INTEGER"), field("ID", "INTEGER")}}},
         "Pirin Engine Error # 10038"},
    };
    for (const auto& [schema, message] : cases) {
        const TRun run = Run({"create", Db(), "T", "--schema", WriteSchema(schema)});
        EXPECT_EQ(run.Exit, 1) << schema.dump();
        EXPECT_THAT(run.Err, HasSubstr(message)) << schema.dump();
        EXPECT_TRUE(std::filesystem::is_empty(Db())) << schema.dump();
    }
    std::ofstream(Db() + "/../broken.json") << "{\"fields\": [";
    const TRun broken = Run({"create", Db(), "T", "--schema", Db() + "/../broken.json"});
    EXPECT_EQ(broken.Exit, 1);
    EXPECT_THAT(broken.Err, HasSubstr("schema: "));
    const TRun missing = Run({"info", Db(), "T"});
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_THAT(missing.Err, HasSubstr("Pirin Engine Error # 11010"));
}

}  // namespace
}  // namespace pirin::testing
