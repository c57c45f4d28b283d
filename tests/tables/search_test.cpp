// Searches by field value: Locate by the table's own index, by a lookup
// cursor on another index and by a scan through an equality filter, with
// the case and partial-key options; the kept lookup cursor; Lookup. The
// dataset's filters (Filter, OnFilterRecord, Filtered) and FindFirst/...
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

TEST_F(TablesTest, MemosReadTheRecordFound) {
    TFixtureTable fixture(WordsDefinition(), TFixtureStorage::Disk, "Words");
    fixture.Append({1, "cherry", "red"});
    fixture.Append({2, "apple", "green"});
    fixture.Append({3, "banana", "yellow"});
    TPirinTable table;
    PointAt(table, fixture);
    table.Open();
    EXPECT_THAT(table.Lookup("Word", {std::string("apple")}, "Desc"),
                ::testing::ElementsAre(TKeyValue(std::string("green"))));
    EXPECT_EQ(table.FieldByName("Desc").AsString(), "red");
    ASSERT_TRUE(table.Locate("Word", "banana"));
    EXPECT_EQ(table.FieldByName("Desc").AsString(), "yellow");
}

std::vector<std::int64_t> VisibleIds(TPirinTable& table) {
    std::vector<std::int64_t> ids;
    for (table.First(); !table.Eof() && !table.IsEmpty(); table.Next())
        ids.push_back(table.FieldByName("Id").AsInteger());
    return ids;
}

TEST_F(LocateTest, FilterTextLimitsTheRecordsWhileFiltered) {
    using ::testing::ElementsAre;
    struct TCase {
        const char* Text;
        TPirinDataSet::TFilterOptionSet Options;
        std::vector<std::int64_t> Ids;
    };
    const std::vector<TCase> cases = {
        {"Num >= 20", {}, {1, 2}},
        {"Num < 20 and Num <> NULL", {}, {3}},
        {"Tag = NULL", {}, {3}},
        {"[Tag] <> 'alpha' AND Word < 'c'", {}, {2}},  // null Tag compares with nothing
        {"Tag = 'BETA'", {}, {}},
        {"Tag = 'BETA'", {.CaseInsensitive = true}, {2}},
        {"Word = 'ap*'", {}, {1, 2}},
        {"Word = 'ap*'", {.NoPartialCompare = true}, {}},
        {"Word = 'it''s'", {}, {}},
    };
    Table.SetFiltered(true);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        Table.SetFilterOptions(c.Options);
        Table.SetFilter(c.Text);
        EXPECT_EQ(VisibleIds(Table), c.Ids);
    }
    Table.SetFiltered(false);
    EXPECT_THAT(VisibleIds(Table), ElementsAre(1, 2, 3, 4));
}

TEST_F(LocateTest, UnreadableFilterTextRaisesAndKeepsTheFilter) {
    Table.SetFilter("Num >= 20");
    Table.SetFiltered(true);
    for (const char* text : {"Num >>= 1", "Num = 'open", "Num = 1 or Num = 2", "= 3", "Num = 12abc"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(CodeOfCall([&] { Table.SetFilter(text); }), PIRIN_INVALIDFILTER);
        EXPECT_EQ(Table.Filter(), "Num >= 20");
    }
    EXPECT_EQ(MessageOf([&] { Table.SetFilter("Nope = 1"); }), "Field 'Nope' not found");
    EXPECT_THAT(VisibleIds(Table), ::testing::ElementsAre(1, 2));
    // Set while closed, the text is read when the table opens.
    Table.Close();
    Table.SetFilter("Num =");
    EXPECT_EQ(CodeOfCall([&] { Table.Open(); }), PIRIN_INVALIDFILTER);
    EXPECT_FALSE(Table.Active());
}

TEST_F(LocateTest, OnFilterRecordReadsEachCandidate) {
    std::vector<std::int64_t> seen;
    Table.SetOnFilterRecord([&](TDataSet& dataSet, bool& accept) {
        seen.push_back(dataSet.FieldByName("Id").AsInteger());
        accept = dataSet.FieldByName("Num").IsNull() || dataSet.FieldByName("Num").AsInteger() > 15;
    });
    Table.SetFiltered(true);
    EXPECT_THAT(VisibleIds(Table), ::testing::ElementsAre(1, 2, 4));
    EXPECT_THAT(seen, ::testing::IsSupersetOf({1, 2, 3, 4}));
    // Both filters apply together.
    Table.SetFilter("Num <> NULL");
    EXPECT_THAT(VisibleIds(Table), ::testing::ElementsAre(1, 2));
}

TEST_F(LocateTest, AnExceptionInOnFilterRecordGoesToTheHandlerOrOut) {
    Table.SetOnFilterRecord([&](TDataSet& dataSet, bool& accept) {
        const auto id = dataSet.FieldByName("Id").AsInteger();
        if (id == 2) accept = false;
        if (id >= 2) throw std::runtime_error("event failed");
    });
    int handled = 0;
    Table.OnFilterException = [&](std::exception_ptr) { ++handled; };
    Table.SetFiltered(true);
    // Record 2 refused before the failure, 3 and 4 accepted despite it.
    EXPECT_THAT(VisibleIds(Table), ::testing::ElementsAre(1, 3, 4));
    EXPECT_GE(handled, 3);
    Table.SetFiltered(false);
    Table.OnFilterException = nullptr;
    EXPECT_THROW(Table.SetFiltered(true), std::runtime_error);
}

TEST_F(LocateTest, FindOperationsApplyTheFiltersForOneSearch) {
    int scrolls = 0;
    Table.AfterScroll = [&](TDataSet&) { ++scrolls; };
    Table.SetOnFilterRecord([](TDataSet& dataSet, bool& accept) {
        accept = dataSet.FieldByName("Id").AsInteger() % 2 == 0;
    });
    ASSERT_TRUE(Table.FindFirst());
    EXPECT_EQ(Id(), 2);
    ASSERT_TRUE(Table.FindNext());
    EXPECT_EQ(Id(), 4);
    EXPECT_FALSE(Table.FindNext());
    EXPECT_EQ(Id(), 4);
    ASSERT_TRUE(Table.FindPrior());
    EXPECT_EQ(Id(), 2);
    ASSERT_TRUE(Table.FindLast());
    EXPECT_EQ(Id(), 4);
    EXPECT_EQ(scrolls, 4);
    // Unfiltered again: every record walks.
    EXPECT_EQ(Table.RecordCount(), 4);
    Table.Prior();
    EXPECT_EQ(Id(), 3);
}

TEST_F(LocateTest, LocateSeesOnlyTheFilteredRecords) {
    Table.SetFilter("Num >= 20");
    Table.SetFiltered(true);
    EXPECT_FALSE(Table.Locate("Tag", "gamma"));          // a scan
    EXPECT_FALSE(Table.Locate("Table", "gamma"));        // the lookup cursor carries the filter
    EXPECT_TRUE(Table.Locate("Table", "Beta"));
    EXPECT_EQ(Id(), 2);
    // Switching the filter off gives up that lookup cursor.
    Table.SetFiltered(false);
    EXPECT_TRUE(Table.Locate("Table", "gamma"));
    EXPECT_EQ(Id(), 4);
}

}  // namespace
}  // namespace pirin::testing
