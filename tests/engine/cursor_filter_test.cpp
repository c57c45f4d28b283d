// Filters on a real cursor: equality, null and empty-text constants, index
// walks against record scans (case option matched and not), AND, not-equal,
// activation and deactivation, after-others callbacks, ranges together with
// filters, the order without an index, clones, and the list's limits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "tests/engine/view_test_support.h"

namespace pirin::testing {
namespace {

constexpr int kId = 1;
constexpr int kWord = 2;
constexpr int kCopy = 3;  // the same text as Word, without an index
constexpr int kTag = 4;

class CursorFilterTest : public ::testing::Test {
  protected:
    CursorFilterTest() : FTable(Definition(), TFixtureStorage::Memory), FSession(FTable) {
        const TRow rows[] = {{5, "pear", "pear", "x"},  {2, "Plum", "Plum", nullptr},
                             {4, "apple", "apple", "y"}, {1, "plum", "plum", "x"},
                             {3, "fig", "fig", nullptr}};
        for (const TRow& row : rows) FTable.Append(row);
        FCursor = FSession.OpenCursor();
    }

    static TTableDefinition Definition() {
        TTableDefinition d;
        d.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20),
                    Field("Copy", "VARCHAR", 20), Field("Tag", "VARCHAR", 5)};
        d.Primary = TIndexDefinition{.Fields = {"Id"}};
        d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true},
                     {.Name = "IdxTag", .Fields = {"Tag"}}};
        d.Language = 1026;
        return d;
    }

    static std::unique_ptr<TFilterNode> Equal(int field, std::string_view text, bool ci = false,
                                              int partial = 0) {
        return TFilterNode::CompareText(field, TFilterOperator::Equal, text, ci, partial);
    }
    std::set<std::int32_t> IdSet() {
        const auto ids = ViewIds(*FCursor);
        return {ids.begin(), ids.end()};
    }
    // The ids a filter on `tree` selects (added, activated, read, removed).
    std::set<std::int32_t> Selected(std::unique_ptr<TFilterNode> tree, int* level = nullptr) {
        TFilter& filter = FCursor->AddFilter(std::move(tree));
        if (level != nullptr) *level = filter.Level();
        FCursor->ActivateFilter(&filter);
        auto ids = IdSet();
        EXPECT_EQ(FCursor->RecordCount(), static_cast<std::int32_t>(ids.size()));
        FCursor->RemoveFilter(&filter);
        return ids;
    }

    TFixtureTable FTable;
    TTableSession FSession;
    std::unique_ptr<TDataCursor> FCursor;
};

TEST_F(CursorFilterTest, EqualityFilterGivesItsRecordsInIndexOrder) {
    FCursor->SetToIndex("IdxWord");
    TFilter& filter = FCursor->AddFilter(Equal(kCopy, "plum", true));
    EXPECT_EQ(FCursor->RecordCount(), 5);  // inactive: nothing changes
    FCursor->ActivateFilter(&filter);
    EXPECT_TRUE(FCursor->FilterActive());
    EXPECT_EQ(FCursor->RecordCount(), 2);
    FCursor->First();
    ASSERT_EQ(FCursor->GetNextRecord(), 0);
    EXPECT_EQ(CurrentId(*FCursor), 2);  // "Plum" came first into the index
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{2, 1}));
    FCursor->Last();
    ASSERT_EQ(FCursor->GetPriorRecord(), 0);
    EXPECT_EQ(CurrentId(*FCursor), 1);
}

TEST_F(CursorFilterTest, AConstantNoRecordHoldsGivesAnEmptyView) {
    FCursor->ActivateFilter(&FCursor->AddFilter(Equal(kWord, "quince")));
    EXPECT_EQ(FCursor->RecordCount(), 0);
    FCursor->First();
    EXPECT_EQ(FCursor->GetNextRecord(), PIRIN_EOF);
}

TEST_F(CursorFilterTest, NullAndEmptyTextSelectTheRecordsWithoutAValue) {
    const std::set<std::int32_t> blank = {2, 3};
    for (int field : {kTag, kCopy}) {
        EXPECT_EQ(Selected(Equal(kTag, "")), blank) << field;
        EXPECT_EQ(Selected(TFilterNode::Compare(kTag, TFilterOperator::Equal, std::nullopt)),
                  blank);
    }
    EXPECT_EQ(Selected(TFilterNode::Compare(kTag, TFilterOperator::NotEqual, std::nullopt)),
              (std::set<std::int32_t>{1, 4, 5}));
}

TEST_F(CursorFilterTest, IndexWalksSelectWhatRecordScansSelect) {
    struct TCase {
        std::string_view Text;
        bool CaseInsensitive;
        int Partial;
        TFilterOperator Op;
        int IndexedLevel;  // Word has only a case-insensitive index
    };
    const TCase cases[] = {
        {"PLUM", true, 0, TFilterOperator::Equal, 2},
        {"plum", false, 0, TFilterOperator::Equal, 0},
        {"pl", true, 2, TFilterOperator::Equal, 2},
        {"p", true, 1, TFilterOperator::NotEqual, 2},
        {"fig", true, 0, TFilterOperator::NotEqual, 2},
    };
    for (const TCase& c : cases) {
        int level = -1;
        const auto indexed = Selected(
            TFilterNode::CompareText(kWord, c.Op, c.Text, c.CaseInsensitive, c.Partial), &level);
        const auto scanned =
            Selected(TFilterNode::CompareText(kCopy, c.Op, c.Text, c.CaseInsensitive, c.Partial));
        EXPECT_EQ(level, c.IndexedLevel) << c.Text;
        EXPECT_EQ(indexed, scanned) << c.Text;
        EXPECT_FALSE(indexed.empty()) << c.Text;
    }
    // Not equal never selects a record without a value, by index or scan.
    EXPECT_EQ(Selected(TFilterNode::CompareText(kTag, TFilterOperator::NotEqual, "x")),
              (std::set<std::int32_t>{4}));
}

TEST_F(CursorFilterTest, AndJoinsAnIndexedAndAScannedComparison) {
    int level = -1;
    const auto ids = Selected(TFilterNode::And(Equal(kCopy, "plum", true), Equal(kTag, "x")),
                              &level);
    EXPECT_EQ(level, 1);
    EXPECT_EQ(ids, (std::set<std::int32_t>{1}));
    EXPECT_EQ(Selected(TFilterNode::And(Equal(kWord, "plum", true), Equal(kTag, "x"))),
              (std::set<std::int32_t>{1}));
}

TEST_F(CursorFilterTest, ReactivationEvaluatesAnewAndRemovalRestoresTheView) {
    int calls = 0;
    TFilter& filter = FCursor->AddFilter(
        nullptr, [&](void*, TCursorNavigation&, std::span<const std::uint8_t>, std::int32_t n) {
            ++calls;
            return n % 2 == 1;
        });
    FCursor->ActivateFilter(&filter);
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(FCursor->RecordCount(), 3);
    FCursor->DeactivateFilter(&filter);
    EXPECT_FALSE(FCursor->FilterActive());
    EXPECT_EQ(FCursor->RecordCount(), 5);
    EXPECT_EQ(FCursor->Filters().size(), 1u);
    FCursor->ActivateFilter(&filter);
    EXPECT_EQ(calls, 10);

    // The cursor stays on its record when the filter goes.
    FCursor->First();
    ASSERT_EQ(FCursor->GetNextRecord(), 0);
    ASSERT_EQ(FCursor->GetNextRecord(), 0);
    const std::int32_t id = CurrentId(*FCursor);
    FCursor->RemoveFilter(&filter);
    EXPECT_TRUE(FCursor->Filters().empty());
    EXPECT_EQ(FCursor->RecordCount(), 5);
    EXPECT_EQ(CurrentId(*FCursor), id);
}

TEST_F(CursorFilterTest, ChangesByAnotherWriterReachTheViewThroughReset) {
    FCursor->SetToIndex("IdxWord");
    FCursor->ActivateFilter(&FCursor->AddFilter(Equal(kTag, "x")));
    const std::int32_t slot = FTable.Append({6, "apricot", "apricot", "x"});
    FTable.Append({7, "cherry", "cherry", "z"});
    FTable.Delete(1);  // pear
    FCursor->Refresh();
    EXPECT_EQ(FCursor->RecordCount(), 2);
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{6, 1}));
    EXPECT_EQ(FCursor->InUseBitmap().Count(), 6);
    EXPECT_TRUE(FCursor->ViewBitmap().Test(slot));
}

// Inserts, deletes and a change through the filtered cursor itself: no resync
// happens, so only the write path's view steps can bring these about.
TEST_F(CursorFilterTest, RecordsWrittenThroughTheCursorEnterAndLeaveItsView) {
    for (const bool withIndex : {true, false}) {
        SCOPED_TRACE(withIndex);
        TFixtureTable table(Definition(), TFixtureStorage::Memory, "Written");
        for (const TRow& row : {TRow{5, "pear", "pear", "x"}, TRow{1, "plum", "plum", "x"},
                                TRow{3, "fig", "fig", nullptr}})
            table.Append(row);
        TTableSession session(table);
        auto cursor = session.OpenCursor();
        if (withIndex)
            cursor->SetToIndex("IdxWord");
        else
            cursor->SelectIndex(kNoIndex);
        cursor->ActivateFilter(&cursor->AddFilter(Equal(kTag, "x")));
        const auto row = [&](std::int32_t id, const std::string& word, const std::string& tag) {
            auto image = TextImage(*cursor, {{kWord, word}, {kCopy, word}, {kTag, tag}});
            cursor->SetField(kId, image,
                             std::span<const std::uint8_t>(
                                 reinterpret_cast<const std::uint8_t*>(&id), 4));
            return image;
        };
        auto accepted = row(6, "apricot", "x");
        cursor->InsertRecord(accepted, true);
        EXPECT_EQ(cursor->RecordCount(), 3);
        EXPECT_EQ(CurrentId(*cursor), 6);
        auto refused = row(7, "cherry", "z");
        cursor->InsertRecord(refused, true);
        EXPECT_EQ(cursor->RecordCount(), 3);
        EXPECT_EQ(ViewIds(*cursor), withIndex ? (std::vector<std::int32_t>{6, 5, 1})
                                              : (std::vector<std::int32_t>{5, 1, 6}));

        cursor->First();
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
        ASSERT_EQ(cursor->GetNextRecord(image), 0);
        cursor->DeleteRecord(image, true);
        EXPECT_EQ(cursor->RecordCount(), 2);
        EXPECT_EQ(ViewIds(*cursor), withIndex ? (std::vector<std::int32_t>{5, 1})
                                              : (std::vector<std::int32_t>{1, 6}));

        // Changed so that the filter refuses it: it leaves the view.
        cursor->First();
        ASSERT_EQ(cursor->GetNextRecord(image), 0);
        cursor->SetField(kTag, image, std::span<const std::uint8_t>(
                                          reinterpret_cast<const std::uint8_t*>("z"), 1));
        cursor->ModifyRecord(image, true, true);
        EXPECT_EQ(cursor->RecordCount(), 1);
        EXPECT_THAT(table.Verify(), ::testing::IsEmpty());
    }
}

TEST_F(CursorFilterTest, AfterOthersCallbackSeesOnlyRecordsTheEarlierFilterAccepts) {
    std::vector<std::int32_t> seen;
    TFilter& last = FCursor->AddFilter(
        nullptr,
        [&](void*, TCursorNavigation&, std::span<const std::uint8_t>, std::int32_t n) {
            seen.push_back(n);
            return true;
        },
        {.AfterOthers = true});
    TFilter& first = FCursor->AddFilter(Equal(kTag, "x"));
    EXPECT_EQ(FCursor->Filters().front().get(), &first);  // put before the after-others one
    FCursor->ActivateFilter();
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 4}));  // slots of the two "x"
    EXPECT_EQ(FCursor->RecordCount(), 2);
    (void)last;
}

TEST_F(CursorFilterTest, RangeAndFilterTogether) {
    FCursor->SetToIndex("IdxWord");
    FCursor->SetRange(false, TextImage(*FCursor, {{kWord, "fig"}}), 1,
                      TextImage(*FCursor, {{kWord, "pear"}}), 1);
    FCursor->ActivateFilter(&FCursor->AddFilter(
        TFilterNode::Compare(kTag, TFilterOperator::NotEqual, std::nullopt)));
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{5}));
    FCursor->CancelRange();
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{4, 5, 1}));
    // Another index keeps the filter and rebuilds the view in its order.
    FCursor->SetToIndex("");
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{1, 4, 5}));
}

TEST_F(CursorFilterTest, AnErrorInACallbackPassesOutAndLeavesTheCursorUsable) {
    TFilter& failing = FCursor->AddFilter(
        nullptr, [](void*, TCursorNavigation&, std::span<const std::uint8_t>, std::int32_t n) {
            if (n == 3) throw std::runtime_error("callback failed");
            return true;
        });
    EXPECT_THROW(FCursor->ActivateFilter(&failing), std::runtime_error);
    FCursor->RemoveFilter(&failing);
    EXPECT_FALSE(FCursor->FilterActive());
    EXPECT_EQ(Selected(Equal(kTag, "x")), (std::set<std::int32_t>{1, 5}));
}

TEST_F(CursorFilterTest, WithoutAnIndexTheViewFollowsRecordNumbers) {
    FCursor->SelectIndex(kNoIndex);
    FCursor->ActivateFilter(&FCursor->AddFilter(Equal(kTag, "x")));
    EXPECT_EQ(ViewIds(*FCursor), (std::vector<std::int32_t>{5, 1}));
    EXPECT_EQ(FCursor->RecordCount(), 2);
}

TEST_F(CursorFilterTest, ClonesCarryRangeAndFilters) {
    FCursor->SetToIndex("IdxWord");
    FCursor->SetRange(false, TextImage(*FCursor, {{kWord, "apple"}}), 1,
                      TextImage(*FCursor, {{kWord, "pear"}}), 1);
    TFilter& inactive = FCursor->AddFilter(Equal(kWord, "fig"));
    FCursor->ActivateFilter(&FCursor->AddFilter(Equal(kTag, "x")));
    (void)inactive;
    auto clone = FCursor->CloneCursor();
    EXPECT_EQ(clone->Filters().size(), 2u);
    EXPECT_EQ(ViewIds(*clone), (std::vector<std::int32_t>{5}));
    // The copies are the clone's own.
    EXPECT_EQ(CodeOfCall([&] { FCursor->RemoveFilter(clone->Filters().front().get()); }),
              PIRIN_NOSUCHFILTER);
}

TEST_F(CursorFilterTest, TheListHoldsAtMost64Filters) {
    for (std::size_t i = 0; i < TCursorNavigation::kMaxFilters; ++i)
        (void)FCursor->AddFilter(Equal(kTag, "x"), {.EstimateCounts = false});
    EXPECT_EQ(CodeOfCall([&] { (void)FCursor->AddFilter(Equal(kTag, "x")); }),
              PIRIN_INTERNALLIMIT);
    EXPECT_EQ(FCursor->Filters().size(), TCursorNavigation::kMaxFilters);
}

TEST_F(CursorFilterTest, BadFiltersAreRefused) {
    EXPECT_EQ(CodeOfCall([&] { (void)FCursor->AddFilter(nullptr); }), PIRIN_INVALIDFILTER);
    EXPECT_EQ(CodeOfCall([&] { (void)FCursor->AddFilter(Equal(9, "x")); }), PIRIN_INVALIDFILTER);
    // An integer constant of the wrong size.
    EXPECT_EQ(CodeOfCall([&] {
                  (void)FCursor->AddFilter(TFilterNode::Compare(
                      kId, TFilterOperator::Equal, std::vector<std::uint8_t>{1, 2}));
              }),
              PIRIN_INVALIDFILTER);
    EXPECT_TRUE(FCursor->Filters().empty());
}

TEST_F(CursorFilterTest, NumbersCompareByValue) {
    const auto id = [](std::int32_t value) {
        std::vector<std::uint8_t> bytes(4);
        std::memcpy(bytes.data(), &value, 4);
        return bytes;
    };
    EXPECT_EQ(Selected(TFilterNode::Compare(kId, TFilterOperator::Equal, id(3))),
              (std::set<std::int32_t>{3}));
    EXPECT_EQ(Selected(TFilterNode::Compare(kId, TFilterOperator::AtLeast, id(4))),
              (std::set<std::int32_t>{4, 5}));
    EXPECT_EQ(Selected(TFilterNode::Compare(kId, TFilterOperator::Below, id(-1))),
              (std::set<std::int32_t>{}));
}

}  // namespace
}  // namespace pirin::testing
