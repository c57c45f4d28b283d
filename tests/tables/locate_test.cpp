// Searches by field value: Locate by the table's own index, by a lookup
// cursor on another index and by a scan through an equality filter, with
// the case and partial-key options; the kept lookup cursor; Lookup.
#include <gmock/gmock.h>

#include "tests/tables/tables_test_support.h"

namespace pirin::testing {
namespace {

// A table that records the lookup cursors it hands to the searches.
class TProbedTable : public TPirinTable {
  public:
    // The index name of each lookup cursor given ("-" for none: a scan).
    std::vector<std::string> Given;
    std::vector<const TDataCursor*> GivenCursors;

  protected:
    TDataCursor* GetLookupCursor(std::string_view fieldNames, bool caseInsensitive) override {
        TDataCursor* cursor = TPirinTable::GetLookupCursor(fieldNames, caseInsensitive);
        Given.push_back(cursor ? cursor->IndexName() : "-");
        GivenCursors.push_back(cursor);
        return cursor;
    }
};

// Word has a case-insensitive index, Table a case-sensitive one and a
// descending case-insensitive one, Num an index, Tag (same values as Table)
// none.
TTableDefinition SearchDefinition() {
    TTableDefinition d;
    d.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 30), Field("Table", "VARCHAR", 20),
                Field("Tag", "VARCHAR", 20), Field("Num", "INTEGER")};
    d.Primary = TIndexDefinition{.Fields = {"Id"}};
    d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true},
                 {.Name = "IdxTable", .Fields = {"Table"}},
                 {.Name = "IdxTableDesc", .Fields = {"Table"}, .CaseInsensitive = true, .Descending = true},
                 {.Name = "IdxNum", .Fields = {"Num"}, .CaseInsensitive = true}};
    d.Language = 1026;
    return d;
}

class LocateTest : public TablesTest {
  protected:
    LocateTest() : Fixture(SearchDefinition(), TFixtureStorage::Disk, "Search") {
        Fixture.Append({1, "apricot", "alpha", "alpha", 30});
        Fixture.Append({2, "apple", "Beta", "Beta", 20});
        Fixture.Append({3, "Banana", nullptr, nullptr, 10});
        Fixture.Append({4, "cherry", "gamma", "gamma", nullptr});
        PointAt(Table, Fixture);
        Table.Open();
    }
    std::int64_t Id() { return Table.FieldByName("Id").AsInteger(); }

    TFixtureTable Fixture;
    TProbedTable Table;
};

struct TLocateCase {
    const char* Fields;
    TKeyValue Value;
    TLocateOptions Options;
    const char* Way;  // the lookup index, "-" for a scan, "" for the table's own index
    std::int64_t Id;  // 0: not found
};

TEST_F(LocateTest, FindsTheSameRecordByEachWayAndLeavesTheRecordWhenNothingMatches) {
    const TLocateOptions ci{.CaseInsensitive = true};
    const TLocateOptions partial{.PartialKey = true};
    const TLocateOptions both{.CaseInsensitive = true, .PartialKey = true};
    const std::vector<TLocateCase> cases = {
        {"Word", "apple", {}, "-", 2},  // the only Word index ignores case
        {"Word", "APPLE", ci, "IdxWord", 2},
        {"Table", "Beta", {}, "IdxTable", 2},
        {"Table", "beta", {}, "IdxTable", 0},
        {"Table", "BETA", ci, "-", 2},  // neither the case-sensitive nor the descending index
        {"Tag", "BETA", ci, "-", 2},
        {"Tag", "BETA", {}, "-", 0},
        {"Num", std::int64_t{20}, ci, "IdxNum", 2},  // the case option does not matter for numbers
        {"Id", std::int64_t{3}, {}, "", 3},
        {"Table", "", {}, "IdxTable", 3},  // an empty text is no value
        {"Tag", nullptr, {}, "-", 3},
        // Partial keys: the first record in the order of the way taken.
        {"Word", "ap", partial, "-", 1},
        {"Word", "AP", both, "IdxWord", 2},
        {"Word", "ap*", both, "IdxWord", 2},
        {"Tag", "Be*", partial, "-", 2},
        {"Table", "Be", partial, "IdxTable", 2},
        {"Word", "ab", both, "IdxWord", 0},
    };
    for (const TLocateCase& c : cases) {
        SCOPED_TRACE(std::string(c.Fields) + " " + c.Way);
        Table.Last();
        Table.Given.clear();
        const bool found = Table.Locate(c.Fields, c.Value, c.Options);
        EXPECT_EQ(found, c.Id != 0);
        EXPECT_EQ(Id(), c.Id != 0 ? c.Id : 4);
        if (std::string_view(c.Way).empty())
            EXPECT_THAT(Table.Given, ::testing::IsEmpty());
        else
            EXPECT_THAT(Table.Given, ::testing::ElementsAre(c.Way));
        EXPECT_EQ(Table.State(), TDataSetState::Browse);
        // The dataset walks on from the record found.
        if (found && c.Id < 4) {
            Table.Next();
            EXPECT_FALSE(Table.Eof());
        }
    }
}

TEST_F(LocateTest, MatchesEveryListedField) {
    EXPECT_TRUE(Table.Locate("Tag;Num", {std::string("alpha"), std::int64_t{30}}));
    EXPECT_EQ(Id(), 1);
    EXPECT_FALSE(Table.Locate("Tag;Num", {std::string("alpha"), std::int64_t{20}}));
    EXPECT_TRUE(Table.Locate("Word;Tag", {std::string("CHERRY"), std::string("GAMMA")}, {.CaseInsensitive = true}));
    EXPECT_EQ(Id(), 4);
}

TEST_F(LocateTest, KeepsOneLookupCursorPerFieldListAndCaseOption) {
    ASSERT_TRUE(Table.Locate("Table", "gamma"));
    ASSERT_TRUE(Table.Locate("Table", "alpha"));
    ASSERT_EQ(Table.GivenCursors.size(), 2u);
    EXPECT_NE(Table.GivenCursors[0], nullptr);
    EXPECT_EQ(Table.GivenCursors[0], Table.GivenCursors[1]);
    EXPECT_EQ(Id(), 1);
    ASSERT_TRUE(Table.Locate("Num", std::int64_t{10}));
    ASSERT_TRUE(Table.Locate("Table", "Beta"));
    EXPECT_THAT(Table.Given, ::testing::ElementsAre("IdxTable", "IdxTable", "IdxNum", "IdxTable"));
    EXPECT_EQ(Id(), 2);
    // The table's own index still drives the walk.
    Table.Next();
    EXPECT_EQ(Id(), 3);
}

TEST_F(LocateTest, LookupReturnsValuesWithoutMovingOrScrolling) {
    int scrolls = 0;
    Table.BeforeScroll = Table.AfterScroll = [&](TDataSet&) { ++scrolls; };
    Table.Last();
    scrolls = 0;
    EXPECT_THAT(Table.Lookup("Table", {std::string("Beta")}, "Word;Num;Tag"),
                ::testing::ElementsAre(TKeyValue(std::string("apple")), TKeyValue(std::int64_t{20}),
                                       TKeyValue(std::string("Beta"))));
    EXPECT_THAT(Table.Lookup("Tag", {std::string("gamma")}, "Num"), ::testing::ElementsAre(TKeyValue(nullptr)));
    EXPECT_THAT(Table.Lookup("Tag", {std::string("delta")}, "Num"), ::testing::IsEmpty());
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(Id(), 4);
    Table.Prior();
    EXPECT_EQ(Id(), 3);
}

TEST_F(LocateTest, BadFieldListsRaiseAndLeaveTheTableBrowsing) {
    Table.Last();
    EXPECT_EQ(MessageOf([&] { Table.Locate("Nope", "x"); }), "Field 'Nope' not found");
    EXPECT_EQ(MessageOf([&] { Table.Lookup("Tag", {std::string("alpha")}, "Nope"); }), "Field 'Nope' not found");
    EXPECT_EQ(MessageOf([&] { Table.Locate("Tag;Num", std::vector<TKeyValue>{std::string("alpha")}); }),
              "Missing search value for field Num");
    EXPECT_EQ(Table.State(), TDataSetState::Browse);
    EXPECT_EQ(Id(), 4);
    Table.Close();
    EXPECT_NE(MessageOf([&] { Table.Locate("Tag", "alpha"); }), "");
}

}  // namespace
}  // namespace pirin::testing
