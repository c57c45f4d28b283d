// Searches within an index page: the descent's binary search on interior
// pages and leaves, insertion points, range bounds and record runs.
#include <gtest/gtest.h>

#include "tests/storage/index_page_test_support.h"

namespace pirin::page_test {
namespace {

constexpr std::size_t kK = 4;

struct TFindCase {
    std::uint32_t Key;
    bool Nearest;
    bool Found;
    int Position;
    std::int64_t KeysBefore;
};

void ExpectFinds(const TPage& page, const std::vector<TFindCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "key " << c.Key << " nearest " << c.Nearest);
        const TPageFind found = page.FindEntry(NumberKey(c.Key, kK), kK, c.Nearest);
        EXPECT_EQ(found.Found, c.Found);
        EXPECT_EQ(found.Position, c.Position);
        EXPECT_EQ(found.KeysBefore, c.KeysBefore);
    }
}

TEST(IndexPageSearch, FindEntryOnALeaf) {
    // 10 20 20 20 30; the search stops on whichever equal entry it meets.
    auto page = PageOf(Config(kK), TPageType::Leaf,
                       {NumberKey(10, kK), NumberKey(20, kK), NumberKey(20, kK), NumberKey(20, kK),
                        NumberKey(30, kK)});
    ExpectFinds(*page, {
                           {5, false, false, 1, 0},   // below all
                           {5, true, false, 1, 0},    //
                           {10, false, true, 1, 0},   //
                           {15, false, false, 1, 0},  // greatest below
                           {15, true, false, 2, 1},   // first above
                           {20, false, true, 3, 2},   // among duplicates
                           {20, true, true, 3, 2},    //
                           {25, false, false, 4, 3},  //
                           {25, true, false, 5, 4},   //
                           {30, true, true, 5, 4},    //
                           {35, false, false, 5, 4},  // above all
                           {35, true, false, 5, 4},   //
                       });
}

TEST(IndexPageSearch, FindEntryOnAnInteriorPage) {
    // Counts 10, 20, 30: the keys before an entry are the counts before it.
    auto page = PageOf(Config(kK), TPageType::Root,
                       {NumberKey(10, kK), NumberKey(20, kK), NumberKey(30, kK)});
    for (const bool nearest : {false, true}) {
        ExpectFinds(*page, {
                               {5, nearest, false, 1, 0},  // below all: the first child
                               {10, nearest, true, 1, 0},
                               {15, nearest, false, 1, 0},
                               {20, nearest, true, 2, 10},
                               {29, nearest, false, 2, 10},
                               {35, nearest, false, 3, 30},
                           });
    }
    EXPECT_EQ(page->PageTotal(), 60);
}

TEST(IndexPageSearch, InsertPositionsAndRangeBounds) {
    auto page = PageOf(Config(kK), TPageType::Leaf,
                       {NumberKey(10, kK), NumberKey(20, kK), NumberKey(20, kK), NumberKey(20, kK),
                        NumberKey(30, kK)});
    struct TCase {
        std::uint32_t Key;
        int Insert, First, Last;
    };
    const TCase cases[] = {
        {5, 0, 1, 0}, {10, 1, 1, 1}, {20, 4, 2, 4}, {25, 4, 5, 4}, {30, 5, 5, 5}, {35, 5, 6, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Key);
        EXPECT_EQ(page->FindInsertPosition(NumberKey(c.Key, kK)), c.Insert);
        EXPECT_EQ(page->FindFirst(NumberKey(c.Key, kK), kK), c.First);
        EXPECT_EQ(page->FindLast(NumberKey(c.Key, kK), kK), c.Last);
    }
    auto empty = NewPage(Config(kK), TPageType::RootLeaf);
    EXPECT_EQ(empty->FindInsertPosition(NumberKey(1, kK)), 0);
    EXPECT_EQ(empty->FindFirst(NumberKey(1, kK), kK), 1);
    EXPECT_EQ(empty->FindLast(NumberKey(1, kK), kK), 0);
}

TEST(IndexPageSearch, LeadingPartOfTheKey) {
    auto page = PageOf(Config(6), TPageType::Leaf,
                       {Key("AA", 6), Key("ABx", 6), Key("ABy", 6), Key("AC", 6)});
    const Bytes ab = Key("AB", 6);
    EXPECT_EQ(page->FindFirst(ab, 2), 2);
    EXPECT_EQ(page->FindLast(ab, 2), 3);
    const TPageFind found = page->FindEntry(ab, 2, false);
    EXPECT_TRUE(found.Found);
    EXPECT_TRUE(found.Position == 2 || found.Position == 3);
    // Over the whole key "AB" lies between "AA" and "ABx".
    EXPECT_FALSE(page->FindEntry(ab, 6, true).Found);
    EXPECT_EQ(page->FindEntry(ab, 6, true).Position, 2);
}

TEST(IndexPageSearch, ComparesByTheIndexsKeyDescription) {
    // A descending index keeps its largest key first.
    TKeyDescription descending;
    descending.IndexNumber = 2;
    descending.Descending = true;
    TPageConfig config = Config(kK, TIndexCompression::None, true, false, 2);
    config.Keys = &descending;
    auto page =
        PageOf(config, TPageType::Leaf, {NumberKey(30, kK), NumberKey(20, kK), NumberKey(10, kK)});
    EXPECT_EQ(page->FindEntry(NumberKey(10, kK), kK, false).Position, 3);
    EXPECT_EQ(page->FindEntry(NumberKey(25, kK), kK, true).Position, 2);
    EXPECT_EQ(page->FindInsertPosition(NumberKey(15, kK)), 2);
}

TEST(IndexPageSearch, Refusals) {
    auto empty = NewPage(Config(kK), TPageType::Leaf);
    EXPECT_EQ(CodeOf([&] { (void)empty->FindEntry(NumberKey(1, kK), kK, false); }),
              PIRIN_INDEXCORRUPT);
    auto page = PageOf(Config(kK), TPageType::Leaf, {NumberKey(1, kK)});
    EXPECT_EQ(CodeOf([&] { (void)page->FindEntry(NumberKey(1, kK), kK + 1, false); }),
              PIRIN_INVALIDKEY);
    const Bytes shortKey(2, 0);
    EXPECT_EQ(CodeOf([&] { (void)page->FindFirst(shortKey, kK); }), PIRIN_INVALIDKEY);
    EXPECT_EQ(CodeOf([&] { (void)page->FindInsertPosition(shortKey); }), PIRIN_INVALIDKEY);
    EXPECT_EQ(CodeOf([&] { page->InsertEntry(1, shortKey, 1); }), PIRIN_INVALIDKEY);
}

TEST(IndexPageSearch, RunsOfConsecutiveRecords) {
    auto page = NewPage(Config(kK), TPageType::Leaf);
    const std::int32_t refs[] = {5, 6, 7, 9, 10};
    for (int i = 0; i < 5; ++i) page->InsertEntry(i + 1, NumberKey(i, kK), refs[i]);
    using D = TReadDirection;
    struct TCase {
        int Position;
        D Direction;
        int Limit, Run;
    };
    const TCase cases[] = {
        {1, D::Forward, 10, 3}, {1, D::Forward, 2, 2},   {4, D::Forward, 10, 2},
        {5, D::Forward, 10, 1}, {3, D::Backward, 10, 3}, {4, D::Backward, 10, 1},
        {0, D::Forward, 10, 0}, {6, D::Backward, 10, 0}, {1, D::Forward, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Position);
        EXPECT_EQ(page->ConsecutiveRun(c.Position, c.Direction, c.Limit), c.Run);
    }
    const auto even = [](std::int32_t ref) { return ref % 2 == 0; };
    EXPECT_EQ(page->NextAccepted(1, D::Forward, even), 2);
    EXPECT_EQ(page->NextAccepted(3, D::Forward, even), 5);
    EXPECT_EQ(page->NextAccepted(4, D::Backward, even), 2);
    EXPECT_EQ(page->NextAccepted(1, D::Backward, even), 0);
}

}  // namespace
}  // namespace pirin::page_test
