// Key ranges on a real cursor: empty ranges, a non-unique index's equal
// bounds, a prefix of a two-field index, a descending index, positions and
// key search inside a range, and CancelRange keeping the record.
#include <gtest/gtest.h>

#include "tests/engine/view_test_support.h"

namespace pirin::testing {
namespace {

class CursorRangeTest : public ::testing::Test {
  protected:
    CursorRangeTest() : FTable(Definition(), TFixtureStorage::Memory), FSession(FTable) {
        const TRow rows[] = {{1, "vine", "b"}, {2, "apple", "a"}, {3, "Dom", "b"},
                             {4, "mango", "a"}, {5, "dom", "a"},  {6, "kiwi", "c"},
                             {7, "berry", "b"}};
        for (const TRow& row : rows) FTable.Append(row);
        FCursor = FSession.OpenCursor();
    }

    static TTableDefinition Definition() {
        TTableDefinition d;
        d.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20),
                    Field("Kind", "VARCHAR", 5)};
        d.Primary = TIndexDefinition{.Fields = {"Id"}};
        d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true},
                     {.Name = "KindWord", .Fields = {"Kind", "Word"}, .Unique = true},
                     {.Name = "WordDown", .Fields = {"Word"}, .CaseInsensitive = true,
                      .Descending = true}};
        d.Language = 1026;
        return d;
    }

    std::vector<std::uint8_t> Word(const std::string& word) { return TextImage(*FCursor, {{2, word}}); }

    TFixtureTable FTable;
    TTableSession FSession;
    std::unique_ptr<TDataCursor> FCursor;
};

TEST_F(CursorRangeTest, StartAboveEndGivesAnEmptyView) {
    FCursor->SetToIndex("IdxWord");
    FCursor->SetRange(false, Word("mango"), 1, Word("berry"), 1);
    EXPECT_EQ(FCursor->RecordCount(), 0);
    FCursor->First();
    EXPECT_EQ(FCursor->GetNextRecord(), PIRIN_EOF);
    EXPECT_EQ(FCursor->RecNo(), 0);
}

TEST_F(CursorRangeTest, EqualBoundsOnANonUniqueIndexHoldEveryRecordOfThatValue) {
    FCursor->SetToIndex("IdxWord");
    // Both spellings: the index ignores case, and the row suffix is filled.
    FCursor->SetRange(false, Word("DOM"), 0, Word("dom"), 0);
    EXPECT_EQ(FCursor->RecordCount(), 2);
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{3, 5}));
    FCursor->Last();
    EXPECT_EQ(FCursor->GetPriorRecord(), 0);
    EXPECT_EQ(CurrentId(*FCursor), 5);
    EXPECT_EQ(FCursor->RecNo(), 2);
}

TEST_F(CursorRangeTest, FewerFieldsThanTheIndexCoverThePrefix) {
    FCursor->SetToIndex("KindWord");
    const auto kind = TextImage(*FCursor, {{3, "b"}});
    FCursor->SetRange(false, kind, 1, kind, 1);
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{7, 3, 1}));  // berry, Dom, vine
    // Key search inside the range: below it lands on its first record,
    // above it on its last.
    EXPECT_FALSE(FCursor->FindKey(false, TextImage(*FCursor, {{3, "a"}, {2, "zzz"}}), {}, 0,
                                  true, 2));
    EXPECT_EQ(CurrentId(*FCursor), 7);
    EXPECT_FALSE(FCursor->FindKey(false, TextImage(*FCursor, {{3, "c"}, {2, "a"}}), {}, 0,
                                  true, 2));
    EXPECT_EQ(CurrentId(*FCursor), 1);
    EXPECT_EQ(FCursor->RecNo(), 3);
}

TEST_F(CursorRangeTest, DescendingIndexTakesBoundsInItsOwnOrder) {
    FCursor->SetToIndex("WordDown");
    FCursor->SetRange(false, Word("mango"), 1, Word("berry"), 1);
    // The row suffix descends too: the later "dom" comes first.
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{4, 6, 5, 3, 7}));
    EXPECT_EQ(FCursor->RecordCount(), 5);
}

TEST_F(CursorRangeTest, CancelRangeRestoresTheCountAndKeepsTheRecord) {
    FCursor->SetToIndex("IdxWord");
    FCursor->SetRange(false, Word("berry"), 1, Word("kiwi"), 1);
    EXPECT_EQ(FCursor->RecordCount(), 4);
    ASSERT_TRUE(FCursor->SetRecNo(3));
    const std::int32_t id = CurrentId(*FCursor);
    EXPECT_EQ(id, 5);
    FCursor->CancelRange();
    EXPECT_EQ(FCursor->RecordCount(), 7);
    EXPECT_EQ(CurrentId(*FCursor), id);
    EXPECT_EQ(FCursor->RecNo(), 4);  // apple, berry, Dom, dom
}

TEST_F(CursorRangeTest, SettingARangeMovesIntoItAndSelectingAnIndexDropsIt) {
    FCursor->SetToIndex("IdxWord");
    FCursor->Last();
    FCursor->SetRange(false, Word("apple"), 1, Word("dom"), 1);
    EXPECT_NE(CurrentId(*FCursor), 1);  // vine lies outside
    FCursor->SetToIndex("KindWord");
    EXPECT_FALSE(FCursor->RangeActive());
    EXPECT_EQ(FCursor->RecordCount(), 7);
}

TEST_F(CursorRangeTest, BadKeyArgumentsAreRefused) {
    FCursor->SetToIndex("IdxWord");
    EXPECT_EQ(CodeOfCall([&] { FCursor->SetRange(true, std::vector<std::uint8_t>(2), 1, {}, 0); }),
              PIRIN_INVALIDKEY);
    EXPECT_EQ(CodeOfCall([&] { FCursor->SetRange(false, Word("a"), 5, {}, 0); }), PIRIN_INVALIDKEY);
    EXPECT_FALSE(FCursor->RangeActive());
}

}  // namespace
}  // namespace pirin::testing
