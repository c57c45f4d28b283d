#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "storage/unit_cache_map.h"

namespace pirin {
namespace {

struct TMapUnit {
    std::int32_t Number = 0;
};

// The map against std::map under random inserts and erases: dense runs (a
// walk, appends), numbers far apart (colliding homes), and erases in the
// middle of probe runs, which must move the entries behind them back. A
// wrong shift loses units silently: a cached unit would read as missing and
// be loaded twice, or a stale pointer would be found.
TEST(UnitNumberMap, AgreesWithAnOrderedMapUnderRandomInsertsAndErases) {
    for (const std::uint32_t seed : {1u, 2u, 3u}) {
        std::mt19937 random(seed);
        TUnitNumberMap<TMapUnit> map;
        std::map<std::int32_t, TMapUnit*> model;
        std::vector<std::unique_ptr<TMapUnit>> units;
        const auto unitFor = [&](std::int32_t n) {
            units.push_back(std::make_unique<TMapUnit>(TMapUnit{n}));
            return units.back().get();
        };
        const auto insert = [&](std::int32_t n) {
            if (model.contains(n)) return;
            TMapUnit* unit = unitFor(n);
            map.Insert(n, unit);
            model[n] = unit;
        };
        const auto erase = [&](std::int32_t n) {
            map.Erase(n);
            model.erase(n);
        };
        for (int round = 0; round < 4000; ++round) {
            const int kind = static_cast<int>(random() % 6);
            const auto n = static_cast<std::int32_t>(1 + random() % 3000);
            if (kind == 0) {
                for (std::int32_t m = n; m < n + 40; ++m) insert(m);
            } else if (kind == 1) {
                insert(n * 1024 % 2'000'000'000 + 1);  // far apart, same low bits
            } else if (kind <= 3) {
                insert(n);
            } else if (kind == 4 && !model.empty()) {
                auto it = model.lower_bound(n);
                if (it == model.end()) it = model.begin();
                erase(it->first);
            } else {
                erase(n);  // often absent: nothing happens
            }
            if (round % 200 == 0) {
                ASSERT_EQ(map.Size(), model.size());
                for (std::int32_t m = 1; m <= 3100; ++m) {
                    const auto it = model.find(m);
                    ASSERT_EQ(map.Find(m), it == model.end() ? nullptr : it->second)
                        << "seed " << seed << " round " << round << " number " << m;
                }
                for (const auto& [m, unit] : model) ASSERT_EQ(map.Find(m), unit);
            }
        }
        // Sorted output in both ways of ordering: the dense and the sparse.
        std::vector<TMapUnit*> sorted;
        map.AppendSorted(sorted, [](const TMapUnit&) { return true; });
        std::vector<TMapUnit*> expected;
        for (const auto& [m, unit] : model) expected.push_back(unit);
        EXPECT_EQ(sorted, expected);
        std::vector<TMapUnit*> dense;
        map.AppendSorted(dense, [](const TMapUnit& unit) { return unit.Number <= 3100; });
        expected.clear();
        for (const auto& [m, unit] : model)
            if (m <= 3100) expected.push_back(unit);
        EXPECT_EQ(dense, expected);

        map.Clear();
        EXPECT_EQ(map.Size(), 0u);
        for (const auto& [m, unit] : model) EXPECT_EQ(map.Find(m), nullptr);
    }
}

// A large table fills to four fifths before it doubles: a long dense run
// (one transaction's appended units) with erases in it stays exact.
TEST(UnitNumberMap, KeepsALargeDenseTableExact) {
    TUnitNumberMap<TMapUnit> map;
    std::vector<TMapUnit> units(120'001);
    for (std::int32_t n = 1; n <= 120'000; ++n) {
        units[n].Number = n;
        map.Insert(n, &units[n]);
    }
    for (std::int32_t n = 3; n <= 120'000; n += 3) map.Erase(n);
    map.Insert(5'000'000, &units[0]);
    ASSERT_EQ(map.Size(), 80'001u);
    for (std::int32_t n = 1; n <= 120'000; ++n)
        ASSERT_EQ(map.Find(n), n % 3 == 0 ? nullptr : &units[n]) << n;
    EXPECT_EQ(map.Find(5'000'000), &units[0]);
    std::vector<TMapUnit*> sorted;
    map.AppendSorted(sorted, [](const TMapUnit& unit) { return unit.Number != 0; });
    ASSERT_EQ(sorted.size(), 80'000u);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(),
                               [](const TMapUnit* a, const TMapUnit* b) { return a->Number < b->Number; }));
}

}  // namespace
}  // namespace pirin
