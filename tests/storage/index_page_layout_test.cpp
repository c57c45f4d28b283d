// Index pages on disk: capacities, the exact bytes of each compression, and
// pack/unpack round trips over random keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "tests/storage/index_page_test_support.h"

namespace pirin::page_test {
namespace {

using C = TIndexCompression;

TEST(IndexPageLayout, CapacityOfUncompressedPages) {
    struct TCase {
        const char* Name;
        TPageConfig Config;
        TPageType Type;
        int Max;
    };
    const TCase cases[] = {
        {"leaf", Config(20), TPageType::Leaf, 170},
        {"interior with counts", Config(20), TPageType::Interior, 145},
        {"interior without counts", Config(20, C::None, true, true), TPageType::Interior, 170},
        {"text index interior", Config(20, C::None, false, false, kTextIndex), TPageType::Root,
         170},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto page = NewPage(c.Config, c.Type);
        EXPECT_EQ(page->MaxEntries(), c.Max);
        for (int i = 1; i <= c.Max; ++i) page->InsertEntry(i, NumberKey(i, 20), i, 1);
        EXPECT_FALSE(page->Overflows());
        EXPECT_NO_THROW(Packed(*page));
        page->InsertEntry(c.Max + 1, NumberKey(c.Max + 1, 20), 1, 1);
        EXPECT_TRUE(page->Overflows());
        EXPECT_EQ(CodeOf([&] { (void)Packed(*page); }), PIRIN_INDEXCORRUPT);
    }
}

// The packed bytes of one page: header then entries, the rest zero.
struct TLayoutCase {
    const char* Name;
    TPageConfig Config;
    TPageType Type;
    std::vector<Bytes> Keys;  // references 1, 2, ...; interior counts 10, 20, ...
    Bytes Entries;
};

TEST(IndexPageLayout, BytesOfEachCompression) {
    const Bytes nu1 = RowKey("ABC", 9, 0x10);    // 41 42 43 00 00 | 00 00 00 10
    const Bytes nu2 = RowKey("ABD", 9, 0x0200);  // 41 42 44 00 00 | 00 00 02 00
    const Bytes nu3 = RowKey("ABD", 9, 0x0201);  // shares 8 bytes with nu2
    const TLayoutCase cases[] = {
        {"none, leaf",
         Config(4),
         TPageType::Leaf,
         {Key("AB", 4), Key("AC", 4)},
         {0x41, 0x42, 0, 0, 1, 0, 0, 0, 0x41, 0x43, 0, 0, 2, 0, 0, 0}},
        {"interior with counts",
         Config(3, C::Full),
         TPageType::Root,
         {Key("AB", 3), Key("C", 3)},
         {0x41, 0x42, 0, 1, 0, 0, 0, 10, 0, 0, 0, 0x43, 0, 0, 2, 0, 0, 0, 20, 0, 0, 0}},
        {"interior without counts",
         Config(3, C::Full, true, true),
         TPageType::Interior,
         {Key("AB", 3), Key("C", 3)},
         {0x41, 0x42, 0, 1, 0, 0, 0, 0x43, 0, 0, 2, 0, 0, 0}},
        {"duplicate bytes",
         Config(6, C::Duplicate),
         TPageType::Leaf,
         {Key("ABCD", 6), Key("ABCE", 6), Key("XY", 6)},
         {0, 0x41, 0x42, 0x43, 0x44, 0, 0, 1, 0, 0, 0,  //
          3, 0x45, 0,    0,    2,    0, 0, 0,           //
          0, 0x58, 0x59, 0,    0,    0, 0, 3, 0, 0, 0}},
        {"trailing bytes, unique",
         Config(6, C::Trailing),
         TPageType::RootLeaf,
         {Key("AB", 6), Key("ABCD", 6)},
         {4, 0x41, 0x42, 1, 0, 0, 0,  //
          2, 0x41, 0x42, 0x43, 0x44, 2, 0, 0, 0}},
        // The row suffix (00 00 01 00) is kept whole, its zeros included; t
        // counts the zeros before it.
        {"trailing bytes, not unique",
         Config(8, C::Trailing, false),
         TPageType::Leaf,
         {RowKey("AB", 8, 0x100)},
         {2, 0x41, 0x42, 0, 0, 1, 0, 1, 0, 0, 0}},
        {"full, unique",
         Config(8, C::Full),
         TPageType::Leaf,
         {Key("ABCD", 8), Key("ABCE", 8)},
         {0, 4, 0x41, 0x42, 0x43, 0x44, 1, 0, 0, 0,  //
          3, 4, 0x45, 2, 0, 0, 0}},
        // d reaching into the row suffix (k - d < 5) leaves t at 0 and
        // writes the rest of the key.
        {"full, not unique",
         Config(9, C::Full, false),
         TPageType::Leaf,
         {nu1, nu2, nu3},
         {0, 2, 0x41, 0x42, 0x43, 0, 0, 0, 0x10, 1, 0, 0, 0,  //
          2, 2, 0x44, 0,    0,    2, 0, 2, 0,    0, 0,        //
          8, 0, 0x01, 3,    0,    0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto page = PageOf(c.Config, c.Type, c.Keys);
        page->SetPrevious(0x01020304);
        page->SetNext(7);
        Bytes expected(TPage::kPageSize, 0);
        expected[0] = static_cast<std::uint8_t>(c.Type);
        expected[1] = static_cast<std::uint8_t>(c.Keys.size());
        expected[3] = 4, expected[4] = 3, expected[5] = 2, expected[6] = 1;
        expected[7] = 7;
        expected[11] = static_cast<std::uint8_t>(c.Entries.size());
        std::copy(c.Entries.begin(), c.Entries.end(), expected.begin() + TPage::kHeaderSize);
        EXPECT_EQ(page->PackedSize(), c.Entries.size());
        EXPECT_EQ(Packed(*page), expected);
        ExpectRoundTrip(*page);
    }
}

TEST(IndexPageLayout, SharedPrefixIsStoredOnce) {
    for (const auto compression : {C::Duplicate, C::Full}) {
        SCOPED_TRACE(static_cast<int>(compression));
        std::vector<Bytes> keys;
        for (char c = 'a'; c <= 'z'; ++c) keys.push_back(Key(std::string("PREFIX0123") + c, 20));
        auto page = PageOf(Config(20, compression), TPageType::Leaf, keys);
        const Bytes bytes = Packed(*page);
        // Walk the packed entries: d first, each entry after the first d = 10.
        std::size_t at = TPage::kHeaderSize;
        for (int i = 1; i <= page->NumberOfEntries(); ++i) {
            EXPECT_EQ(page->EntryPrefix(i), i == 1 ? 0 : 10);
            EXPECT_EQ(bytes[at], i == 1 ? 0 : 10);
            const std::size_t t = compression == C::Full ? bytes[at + 1] : 0;
            at += (compression == C::Full ? 2 : 1) + (20 - bytes[at] - t) + 4;
        }
        EXPECT_EQ(at - TPage::kHeaderSize, page->PackedSize());
        ExpectRoundTrip(*page);
    }
}

TEST(IndexPageLayout, PrefixAndTrailingRunsStopAt254) {
    const std::size_t k = 300;
    Bytes first(k, 'x');
    Bytes second = first;
    second[k - 1] = 'y';  // 299 shared bytes
    Bytes zeros(k, 0);
    zeros[0] = 'z';  // 299 trailing zeros
    auto page = PageOf(Config(k, C::Full), TPageType::Leaf, {first, second, zeros});
    EXPECT_EQ(page->EntryPrefix(2), 254);
    EXPECT_EQ(page->EntryTrailing(3), 254);
    ExpectRoundTrip(*page);
}

// Sorted distinct keys with shared prefixes and trailing zeros, so every
// compression has something to drop.
std::vector<Bytes> RandomKeys(std::mt19937& random, std::size_t k, bool unique, std::size_t count) {
    std::set<Bytes> keys;
    std::uniform_int_distribution<int> letter('a', 'd');
    std::uniform_int_distribution<std::size_t> length(0, unique ? k : k - 4);
    std::uniform_int_distribution<std::uint32_t> row(0, 0x20000);
    while (keys.size() < count) {
        Bytes key(k, 0);
        const std::size_t used = length(random);
        for (std::size_t i = 0; i < used; ++i) key[i] = static_cast<std::uint8_t>(letter(random));
        if (!unique) {
            const std::uint32_t r = row(random);
            for (int i = 0; i < 4; ++i)
                key[k - 4 + i] = static_cast<std::uint8_t>(r >> (24 - 8 * i));
        }
        keys.insert(key);
    }
    return {keys.begin(), keys.end()};
}

TEST(IndexPageLayout, RoundTripsForEveryFormat) {
    const unsigned seed = 20261210;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    for (const auto compression : {C::None, C::Duplicate, C::Trailing, C::Full}) {
        for (const bool unique : {true, false}) {
            for (const auto type : {TPageType::Leaf, TPageType::Root}) {
                for (const std::size_t k : {std::size_t{6}, std::size_t{16}, std::size_t{37}}) {
                    SCOPED_TRACE(::testing::Message()
                                 << "compression " << static_cast<int>(compression) << " unique "
                                 << unique << " type " << static_cast<int>(type) << " k " << k);
                    const auto config = Config(static_cast<std::uint16_t>(k), compression, unique);
                    auto page = NewPage(config, type);
                    page->SetNext(3);
                    std::uniform_int_distribution<std::int32_t> ref(1, 1'000'000);
                    for (const Bytes& key : RandomKeys(random, k, unique, 2000)) {
                        page->InsertEntry(page->NumberOfEntries() + 1, key, ref(random),
                                          ref(random));
                        if (page->Overflows()) {
                            page->DeleteEntry(page->NumberOfEntries());
                            break;
                        }
                    }
                    ASSERT_GT(page->NumberOfEntries(), 10);
                    ExpectRoundTrip(*page);
                }
            }
        }
    }
}

TEST(IndexPageLayout, FreeAndParameterPages) {
    auto page = PageOf(Config(8), TPageType::Leaf, {Key("A", 8), Key("B", 8)});
    page->SetPrevious(4);
    page->MarkFree(9);
    Bytes expected(TPage::kPageSize, 0);
    expected[0] = 2, expected[3] = 4, expected[7] = 9;
    EXPECT_EQ(Packed(*page), expected);

    auto parameters = NewPage(Config(68, C::Full, false, true, kTextIndex), TPageType::Parameter);
    parameters->SetNext(12);
    const auto data = parameters->ParameterData();
    ASSERT_EQ(data.size(), TPage::kDataSize);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    const Bytes bytes = Packed(*parameters);
    EXPECT_EQ(bytes[0], 4);
    EXPECT_EQ(bytes[7], 12);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + TPage::kHeaderSize));
    auto again = Loaded(parameters->Config(), bytes);
    EXPECT_TRUE(again->IsParameterPage());
    EXPECT_EQ(again->Next(), 12);
    EXPECT_EQ(Packed(*again), bytes);
}

}  // namespace
}  // namespace pirin::page_test
