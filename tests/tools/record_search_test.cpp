// pirin-tool locate and dump with --range-start/--range-end/--where, run as
// a program on a table the engine fixture wrote at file level: hits and
// misses, case and partial options, null values, ranges on a two-field
// index, conditions, and the usage and value errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/engine/table_fixture.h"
#include "tests/tools/tool_test_support.h"

namespace pirin::testing {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

class RecordSearch : public PirinTool {
  protected:
    void SetUp() override {
        const json schema = {
            {"language", 1033},
            {"fields", json::array({{{"name", "Id"}, {"type", "INTEGER"}},
                                    {{"name", "Word"}, {"type", "VARCHAR"}, {"size", 20}},
                                    {{"name", "Kind"}, {"type", "VARCHAR"}, {"size", 5}},
                                    {{"name", "Note"}, {"type", "VARCHAR"}, {"size", 10}}})},
            {"primary", {{"fields", {"Id"}}}},
            {"indexes", json::array({{{"name", "ByKindWord"}, {"fields", {"Kind", "Word"}}},
                                     {{"name", "ByWordNoCase"},
                                      {"fields", {"Word"}},
                                      {"case_insensitive", true}}})}};
        ASSERT_EQ(Run({"create", Db(), "T", "--schema", WriteSchema(schema)}).Exit, 0);
        TFixtureTable table(ToolLocation("T"));
        table.Append({4, "Pear", "b", "ripe"});
        table.Append({1, "apple", "a", nullptr});
        table.Append({3, "plum", "b", nullptr});
        table.Append({2, "peach", "a", "ripe"});
        table.Append({5, "fig", "c", "dry"});
    }

    // The ids a dump prints, in its order.
    std::vector<int> DumpIds(std::vector<std::string> options) {
        std::vector<std::string> arguments = {"dump", Db(), "T"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const TRun run = Run(arguments);
        EXPECT_EQ(run.Exit, 0) << run.Err;
        std::vector<int> ids;
        std::istringstream in(run.Out);
        for (std::string line; std::getline(in, line);) ids.push_back(json::parse(line)["Id"]);
        return ids;
    }
    json Locate(std::vector<std::string> options) {
        std::vector<std::string> arguments = {"locate", Db(), "T"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const TRun run = Run(arguments);
        EXPECT_EQ(run.Exit, 0) << run.Err;
        return run.Exit == 0 ? json::parse(run.Out) : json();
    }
};

// Locate searches by key where an index serves (the first match in that
// index's order) and scans in the primary order where none does.
TEST_F(RecordSearch, LocateFindsTheFirstMatchByKeyOrByScan) {
    struct TCase {
        std::vector<std::string> Options;
        int Id;  // 0: not found
    };
    const TCase cases[] = {
        {{"Kind=b"}, 4},  // ByKindWord: (b, Pear) before (b, plum)
        {{"Kind=b", "Word=Pear"}, 4},
        {{"Word=pear"}, 0},                         // scan: no case-sensitive index on Word
        {{"Word=pear", "--case-insensitive"}, 4},   // by key on ByWordNoCase
        {{"Word=PEA", "--case-insensitive", "--partial"}, 2},
        {{"Note=RIPE", "--case-insensitive"}, 2},   // scan, primary order
        {{"Word=p*", "--partial"}, 2},
        {{"Note=ripe", "Word=pe", "--partial"}, 2},
        {{"Word=pe", "--partial", "Note=ripe"}, 0},  // only the last field is partial
        {{"Note="}, 1},
        {{"Id=5"}, 5},
        {{"Kind=z"}, 0},
    };
    for (const TCase& c : cases) {
        const json result = Locate(c.Options);
        EXPECT_EQ(result["found"], c.Id != 0) << c.Options.front();
        if (c.Id != 0)
            EXPECT_EQ(result["record"]["Id"], c.Id) << c.Options.front();
        else
            EXPECT_TRUE(result["record"].is_null());
    }
}

TEST_F(RecordSearch, DumpLimitsToARangeAndConditions) {
    EXPECT_EQ(DumpIds({"--index", "ByKindWord", "--range-start", "a", "--range-end", "b"}),
              (std::vector<int>{1, 2, 4, 3}));
    EXPECT_EQ(DumpIds({"--index", "ByKindWord", "--range-start", "b", "--range-start", "pea",
                       "--range-end", "b", "--range-end", "pl"}),
              (std::vector<int>{4}));
    EXPECT_EQ(DumpIds({"--where", "Note=ripe"}), (std::vector<int>{2, 4}));
    EXPECT_EQ(DumpIds({"--index", "ByKindWord", "--range-start", "b", "--range-end", "c",
                       "--where", "Note="}),
              (std::vector<int>{3}));
    EXPECT_EQ(DumpIds({"--where", "Kind=a", "--where", "Note=dry"}), (std::vector<int>{}));
}

TEST_F(RecordSearch, BadArgumentsAreReported) {
    TRun run = Run({"locate", Db(), "T", "Colour=red"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_THAT(run.Err, HasSubstr("Field 'Colour' not found"));
    run = Run({"locate", Db(), "T", "Word"});
    EXPECT_EQ(run.Exit, 2);
    run = Run({"dump", Db(), "T", "--index", "ByKindWord", "--range-start", "a"});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_THAT(run.Err, HasSubstr("together"));
    run = Run({"locate", Db(), "T", "Id=x"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_THAT(run.Err, HasSubstr("'x' is not a valid integer value"));
}

}  // namespace
}  // namespace pirin::testing
