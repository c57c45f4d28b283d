// Editing index pages: inserts and deletes against a model, the packed size
// kept up to date, counts, and the moves of splits and merges.
#include <gtest/gtest.h>

#include <random>

#include "tests/storage/index_page_test_support.h"

namespace pirin::page_test {
namespace {

using C = TIndexCompression;

struct TEntry {
    Bytes Key;
    std::int32_t Ref;
    std::int32_t Count;
};

void ExpectEntries(const TPage& page, const std::vector<TEntry>& model) {
    ASSERT_EQ(page.NumberOfEntries(), static_cast<int>(model.size()));
    for (int i = 1; i <= page.NumberOfEntries(); ++i) {
        const auto key = page.EntryKey(i);
        const auto& entry = model[static_cast<std::size_t>(i - 1)];
        ASSERT_EQ(Bytes(key.begin(), key.end()), entry.Key) << "entry " << i;
        ASSERT_EQ(page.EntryReference(i), entry.Ref) << "entry " << i;
        ASSERT_EQ(page.EntryCount(i), page.IsLeaf() ? 0 : entry.Count) << "entry " << i;
    }
}

std::vector<TEntry> EntriesOf(const TPage& page) {
    std::vector<TEntry> entries;
    for (int i = 1; i <= page.NumberOfEntries(); ++i) {
        const auto key = page.EntryKey(i);
        entries.push_back(
            {Bytes(key.begin(), key.end()), page.EntryReference(i), page.EntryCount(i)});
    }
    return entries;
}

// Random inserts (at the insertion point), deletes and key changes on a
// compressed leaf, checked against a vector after every step and packed and
// unpacked every few steps, so a stale d, t or packed size shows at once.
TEST(IndexPageEdit, EditsAgainstAModel) {
    for (const auto compression : {C::Duplicate, C::Trailing, C::Full}) {
        for (const bool unique : {true, false}) {
            const unsigned seed = 7001 + static_cast<unsigned>(compression) * 2 + unique;
            SCOPED_TRACE(::testing::Message()
                         << "seed " << seed << " compression " << static_cast<int>(compression)
                         << " unique " << unique);
            std::mt19937 random(seed);
            const std::size_t k = 24;
            auto page = NewPage(Config(k, compression, unique), TPageType::Leaf);
            std::vector<TEntry> model;
            std::uniform_int_distribution<int> op(0, 9), letter('a', 'c'), length(0, 16);
            for (int step = 0; step < 3000; ++step) {
                const int what = op(random);
                if (what < 6 || model.empty()) {
                    Bytes key(k, 0);
                    const int used = length(random);
                    for (int i = 0; i < used; ++i)
                        key[static_cast<std::size_t>(i)] =
                            static_cast<std::uint8_t>(letter(random));
                    if (!unique) key[k - 1] = static_cast<std::uint8_t>(step);
                    const int at = page->FindInsertPosition(key);
                    page->InsertEntry(at + 1, key, step);
                    model.insert(model.begin() + at, {key, step, 0});
                    if (page->Overflows()) {
                        page->DeleteEntry(at + 1);
                        model.erase(model.begin() + at);
                    }
                } else {
                    std::uniform_int_distribution<std::size_t> pick(0, model.size() - 1);
                    const std::size_t i = pick(random);
                    if (what < 9) {
                        page->DeleteEntry(static_cast<int>(i + 1));
                        model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
                    } else {
                        // Same key with a zeroed tail: its order may only move down,
                        // so put it where it sorts.
                        Bytes key = model[i].Key;
                        std::fill(key.begin() + 2, key.begin() + static_cast<std::ptrdiff_t>(k - 1),
                                  0);
                        page->DeleteEntry(static_cast<int>(i + 1));
                        model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
                        const int at = page->FindInsertPosition(key);
                        page->InsertEntry(at + 1, Key("", k), -1);
                        page->SetEntryKey(at + 1, key);
                        page->SetEntryReference(at + 1, step);
                        model.insert(model.begin() + at, {key, step, 0});
                    }
                }
                ExpectEntries(*page, model);
                if (step % 97 == 0) ExpectRoundTrip(*page);
                if (::testing::Test::HasFatalFailure()) return;
            }
            ExpectRoundTrip(*page);
        }
    }
}

TEST(IndexPageEdit, InsertACopyOfAnEntryOfTheSamePage) {
    // The keys grow (and move) while the new key is copied in.
    auto page = PageOf(Config(40, C::Full), TPageType::Leaf, {Key("last", 40)});
    for (int i = 0; i < 60; ++i) page->InsertEntry(1, page->EntryKey(page->NumberOfEntries()), i);
    for (int i = 1; i <= page->NumberOfEntries(); ++i) {
        const auto key = page->EntryKey(i);
        EXPECT_EQ(Bytes(key.begin(), key.end()), Key("last", 40)) << i;
    }
    ExpectRoundTrip(*page);
}

TEST(IndexPageEdit, CountsAndTotals) {
    auto page = PageOf(Config(8), TPageType::Interior, {Key("a", 8), Key("b", 8), Key("c", 8)});
    page->AdjustEntryCount(2, 5);
    page->AdjustEntryCount(3, -30);
    EXPECT_EQ(page->EntryCount(2), 25);
    EXPECT_EQ(page->EntryCount(3), 0);
    EXPECT_EQ(page->PageTotal(), 35);
    EXPECT_EQ(page->KeysBefore(3), 35);
    EXPECT_EQ(page->KeysBefore(4), 35);
    EXPECT_EQ(CodeOf([&] { page->AdjustEntryCount(1, -11); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { (void)page->KeysBefore(5); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { page->DeleteEntry(4); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { page->InsertEntry(5, Key("d", 8), 4); }), PIRIN_INDEXCORRUPT);
    // Interior and leaf entries differ on disk: no change of kind with entries.
    EXPECT_EQ(CodeOf([&] { page->SetType(TPageType::Leaf); }), PIRIN_INDEXCORRUPT);
    page->SetType(TPageType::Root);
    EXPECT_TRUE(page->IsRoot());

    // Without counts an interior page totals nothing and keeps no counts.
    auto uncounted = PageOf(Config(8, C::None, true, true), TPageType::Interior, {Key("a", 8)});
    EXPECT_EQ(uncounted->EntryCount(1), 0);
    EXPECT_EQ(uncounted->PageTotal(), 0);
    auto leaf = PageOf(Config(8), TPageType::Leaf, {Key("a", 8), Key("b", 8)});
    EXPECT_EQ(leaf->PageTotal(), 2);
}

TEST(IndexPageEdit, UnderfullBelowHalfTheMaximum) {
    struct TCase {
        TPageConfig Config;
        TPageType Type;
        int Underfull;  // the largest entry count still underfull; -1 never
    };
    const TCase cases[] = {
        {Config(20), TPageType::Interior, 71},  // max 145
        {Config(20), TPageType::Leaf, 84},      // max 170
        {Config(20, C::Full), TPageType::Leaf, -1},
    };
    for (const auto& c : cases) {
        auto page = NewPage(c.Config, c.Type);
        for (int i = 1; i <= 90; ++i) {
            page->InsertEntry(i, NumberKey(i, 20), i, 1);
            EXPECT_EQ(page->IsUnderfull(), i <= c.Underfull) << i;
        }
    }
}

TEST(IndexPageEdit, SplitMovesTheTopHalf) {
    const auto config = Config(20);
    auto left = NewPage(config, TPageType::Leaf);
    for (int i = 1; i <= 171; ++i) left->InsertEntry(i, NumberKey(i, 20), i);
    const auto all = EntriesOf(*left);
    auto right = NewPage(config, TPageType::Leaf);
    left->MoveTopHalfTo(*right);
    ExpectEntries(*left, {all.begin(), all.begin() + 86});
    ExpectEntries(*right, {all.begin() + 86, all.end()});
    EXPECT_FALSE(left->Overflows());
    EXPECT_FALSE(right->Overflows());
    left->BalanceForPacking(*right);  // nothing to do: both fit
    EXPECT_EQ(left->NumberOfEntries(), 86);
    // Pages of another format cannot take the entries.
    auto other = NewPage(Config(21), TPageType::Leaf);
    EXPECT_EQ(CodeOf([&] { left->MoveTopHalfTo(*other); }), PIRIN_INDEXCORRUPT);
    auto interior = NewPage(config, TPageType::Interior);
    EXPECT_EQ(CodeOf([&] { left->MoveAllTo(*interior, TPageSide::Left); }), PIRIN_INDEXCORRUPT);
}

TEST(IndexPageEdit, CompressedSplitMovesEntriesUntilBothPack) {
    // 300 keys that pack into 7 bytes each, then 20 that take 206 each: the
    // top half by count is 140 small and 20 large entries, too many bytes.
    const std::size_t k = 200;
    const auto config = Config(k, C::Full);
    auto left = NewPage(config, TPageType::Leaf);
    for (int i = 0; i < 300; ++i) {
        Bytes key(k, 'a');
        key[k - 2] = static_cast<std::uint8_t>('a' + i / 200);
        key[k - 1] = static_cast<std::uint8_t>(1 + i % 200);
        left->InsertEntry(i + 1, key, i);
    }
    for (int i = 0; i < 20; ++i)
        left->InsertEntry(301 + i, Bytes(k, static_cast<std::uint8_t>('b' + i)), 300 + i);
    const auto all = EntriesOf(*left);
    auto right = NewPage(config, TPageType::Leaf);
    left->MoveTopHalfTo(*right);
    EXPECT_TRUE(right->Overflows());
    left->BalanceForPacking(*right);
    EXPECT_FALSE(left->Overflows());
    EXPECT_FALSE(right->Overflows());
    EXPECT_EQ(right->NumberOfEntries(), 19);
    auto joined = EntriesOf(*left);
    const auto rest = EntriesOf(*right);
    joined.insert(joined.end(), rest.begin(), rest.end());
    ASSERT_EQ(joined.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(joined[i].Key, all[i].Key) << i;
    ExpectRoundTrip(*left);
    ExpectRoundTrip(*right);

    // 41 entries of 206 bytes: no boundary gives two pages that pack.
    auto big = NewPage(config, TPageType::Leaf);
    for (int i = 0; i < 41; ++i)
        big->InsertEntry(i + 1, Bytes(k, static_cast<std::uint8_t>('A' + i)), i);
    auto half = NewPage(config, TPageType::Leaf);
    big->MoveTopHalfTo(*half);
    EXPECT_EQ(CodeOf([&] { big->BalanceForPacking(*half); }), PIRIN_INDEXCORRUPT);
}

TEST(IndexPageEdit, MergeAndShareWithANeighbour) {
    const auto config = Config(8);
    const auto keys = [](char from, int count) {
        std::vector<Bytes> out;
        for (int i = 0; i < count; ++i)
            out.push_back(Key(std::string(1, static_cast<char>(from + i)), 8));
        return out;
    };
    struct TCase {
        TPageSide Side;
        bool Share;
        int PageKept, NeighbourKept;
    };
    // The page holds 3 entries, its neighbour 6; sharing leaves the
    // neighbour half of the 9, rounded up.
    const TCase cases[] = {
        {TPageSide::Left, false, 0, 9},
        {TPageSide::Right, false, 0, 9},
        {TPageSide::Left, true, 4, 5},
        {TPageSide::Right, true, 4, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "side " << static_cast<int>(c.Side) << " share " << c.Share);
        const bool left = c.Side == TPageSide::Left;
        auto page = PageOf(config, TPageType::Interior, keys(left ? 'g' : 'a', 3));
        auto neighbour = PageOf(config, TPageType::Interior, keys(left ? 'a' : 'd', 6));
        auto all = left ? EntriesOf(*neighbour) : EntriesOf(*page);
        const auto second = left ? EntriesOf(*page) : EntriesOf(*neighbour);
        all.insert(all.end(), second.begin(), second.end());
        const std::int64_t total = page->PageTotal() + neighbour->PageTotal();
        if (c.Share)
            page->ShareWith(*neighbour, c.Side);
        else
            page->MoveAllTo(*neighbour, c.Side);
        EXPECT_EQ(page->NumberOfEntries(), c.PageKept);
        EXPECT_EQ(neighbour->NumberOfEntries(), c.NeighbourKept);
        EXPECT_EQ(page->PageTotal() + neighbour->PageTotal(), total);
        const TPage& first = left ? *neighbour : *page;
        const TPage& last = left ? *page : *neighbour;
        ExpectEntries(first, {all.begin(), all.begin() + first.NumberOfEntries()});
        ExpectEntries(last, {all.begin() + first.NumberOfEntries(), all.end()});
        ExpectRoundTrip(*page);
        ExpectRoundTrip(*neighbour);
    }
}

}  // namespace
}  // namespace pirin::page_test
