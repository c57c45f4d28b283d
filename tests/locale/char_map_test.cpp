#include "locale/char_map.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "collation_test_support.h"
#include "locale/list_quick_sort.h"
#include "locale/locale_compare.h"

namespace pirin {
namespace {

using namespace test;

int PositionOf(const TLanguageCharMap& map, std::uint8_t byte) {
    for (int p = 0; p < 256; ++p)
        if (map[p] == byte) return p;
    return -1;
}

TEST(ListQuickSort, MiddlePivotLeavesTiesWhereTheAlgorithmPutsThem) {
    // Sorted by the number only; a stable sort would keep b,d and a,c,e.
    std::vector<std::pair<int, char>> items = {{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {2, 'e'}};
    ListQuickSort(std::span(items), [](const auto& x, const auto& y) { return x.first - y.first; });
    const std::vector<std::pair<int, char>> expected = {
        {1, 'd'}, {1, 'b'}, {2, 'e'}, {2, 'a'}, {2, 'c'}};
    EXPECT_EQ(items, expected);

    std::vector<int> many(1000);
    for (int i = 0; i < 1000; ++i) many[i] = (i * 7919) % 1000;
    ListQuickSort(std::span(many), [](int x, int y) { return x - y; });
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(many[i], i);
}

TEST(CharMap, Language0IsTheIdentity) {
    const TLanguageCharMap map = TLanguageCharMap::Build(kAnsi, 0);
    for (int p = 0; p < 256; ++p) ASSERT_EQ(map[p], p);
    EXPECT_EQ(map.Lowest(), 0);
    EXPECT_EQ(map.Highest(), 255);
    EXPECT_TRUE(map.IsLowest(0));
    EXPECT_FALSE(map.IsLowest(1));
    EXPECT_EQ(map.NextHigher('A'), 'B');
    EXPECT_EQ(map.NextLower('A'), '@');
    EXPECT_EQ(map.NextLower(0), std::nullopt);
    EXPECT_EQ(map.NextHigher(255), std::nullopt);
}

TEST(CharMap, BulgarianLettersInAlphabeticalOrderEachFollowedByItsUpperCase) {
    const TLanguageCharMap map = TLanguageCharMap::Build(kBulgarian, 0);
    const std::u16string alphabet = u"абвгдежзийклмнопрстуфхцчшщъьюя";
    const std::string lower = Cp1251(alphabet);
    const std::string upper = Cp1251(u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЬЮЯ");
    int previous = -1;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        const int p = PositionOf(map, static_cast<std::uint8_t>(lower[i]));
        EXPECT_GT(p, previous) << i;
        // The upper case is the next run up (г shares its run with ѓ and ґ).
        const auto next = map.NextHigher(static_cast<std::uint8_t>(lower[i]));
        ASSERT_TRUE(next.has_value()) << i;
        EXPECT_EQ(LocaleCompareChar(kBulgarian, 0, *next, static_cast<std::uint8_t>(upper[i])), 0)
            << i;
        previous = p;
    }
}

// Checks the map against LocaleCompareChar over every pair of bytes: it is a
// sorted permutation, and the neighbours are the nearest bytes that compare
// different, nothing exactly at the ends.
void ExpectConsistentMap(std::uint16_t language) {
    const TLanguageCharMap map = TLanguageCharMap::Build(language, 0);
    auto cmp = [&](int a, int b) {
        return LocaleCompareChar(language, 0, static_cast<std::uint8_t>(a),
                                 static_cast<std::uint8_t>(b));
    };
    std::vector<bool> seen(256);
    for (int p = 0; p < 256; ++p) {
        seen[map[p]] = true;
        if (p > 0) {
            ASSERT_LE(cmp(map[p - 1], map[p]), 0) << language << " at " << p;
        }
    }
    ASSERT_EQ(std::count(seen.begin(), seen.end(), true), 256);
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        const auto higher = map.NextHigher(byte);
        const auto lower = map.NextLower(byte);
        EXPECT_EQ(!higher, map.IsHighest(byte)) << b;
        EXPECT_EQ(!lower, map.IsLowest(byte)) << b;
        EXPECT_EQ(map.IsLowest(byte), cmp(b, map.Lowest()) == 0) << b;
        EXPECT_EQ(map.IsHighest(byte), cmp(b, map.Highest()) == 0) << b;
        for (int x = 0; x < 256; ++x) {
            if (higher) {
                ASSERT_FALSE(cmp(b, x) < 0 && cmp(x, *higher) < 0) << b << " " << x;
            }
            if (lower) {
                ASSERT_FALSE(cmp(*lower, x) < 0 && cmp(x, b) < 0) << b << " " << x;
            }
        }
        if (higher) {
            EXPECT_LT(cmp(b, *higher), 0) << b;
        }
        if (lower) {
            EXPECT_GT(cmp(b, *lower), 0) << b;
        }
    }
}

TEST(CharMap, NeighboursSkipBytesThatCompareEqual) {
    ExpectConsistentMap(kBulgarian);
    ExpectConsistentMap(kFrench);
    // е and ё compare equal in Bulgarian: both lead to the upper case, never to each other.
    const TLanguageCharMap bg = TLanguageCharMap::Build(kBulgarian, 0);
    for (std::uint8_t e : {std::uint8_t{0xE5}, std::uint8_t{0xB8}}) {
        const auto next = bg.NextHigher(e);
        ASSERT_TRUE(next.has_value());
        EXPECT_TRUE(*next == 0xC5 || *next == 0xA8) << int(*next);
    }
    // In French e, é, è, ê, ë are one run.
    const TLanguageCharMap fr = TLanguageCharMap::Build(kFrench, 0);
    EXPECT_EQ(fr.NextHigher(0xE9), fr.NextHigher('e'));
    EXPECT_EQ(fr.NextLower(0xEB), fr.NextLower('e'));
}

TEST(CharMap, CacheBuildsEachLocaleOnce) {
    TLanguageCharMapsList cache;
    const TLanguageCharMap first = cache.Get(kBulgarian, 0);
    EXPECT_EQ(cache.Count(), 1u);
    const TLanguageCharMap second = cache.Get(kBulgarian, 0);
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(first.Map(), second.Map());
    EXPECT_EQ(first.Map(), TLanguageCharMap::Build(kBulgarian, 0).Map());
    cache.Get(kAnsi, 0);
    cache.Get(kBulgarian, 1);  // another sort is another entry
    EXPECT_EQ(cache.Count(), 3u);
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0u);

    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] { EXPECT_EQ(cache.Get(kFrench, 0).Language(), kFrench); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(cache.Count(), 1u);

    EXPECT_EQ(&TLanguageCharMapsList::Instance(), &TLanguageCharMapsList::Instance());
    EXPECT_EQ(EngineErrorOf([&] { cache.Get(0x7FFF, 0); }), 15878);
    EXPECT_EQ(cache.Count(), 1u);  // a failed build leaves no entry
}

}  // namespace
}  // namespace pirin
