#include <gtest/gtest.h>

#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::cache_test {
namespace {

constexpr std::size_t kUnit = 32;

TEST(UnitCacheTrim, ReleasesLeastRecentlyUsedCleanUnitsDownToTheBudget) {
    TTestFile file(kUnit);
    file.Populate(20);
    file.Transaction = true;  // let the cache grow past its budget
    TTestStack stack(kBlockStackLimit);
    TTestCache cache(file, stack, kBlockCacheParams, 4);
    TTestCache::TPin pinned = cache.Fetch(1);
    for (std::int32_t n = 2; n <= 6; ++n) {
        TTestCache::TPin pin = cache.Fetch(n);
        pin->MarkDirty();
    }
    for (std::int32_t n = 7; n <= 12; ++n) ASSERT_TRUE(cache.Fetch(n));
    ASSERT_EQ(cache.Size(), 12u);
    ASSERT_EQ(cache.Capacity(), 4u + 32u);
    cache.Trim();
    // Only pinned 1 and dirty 2 to 6 stay, above the budget; nothing was
    // written.
    EXPECT_EQ(cache.Size(), 6u);
    EXPECT_EQ(cache.Capacity(), 6u);
    for (std::int32_t n = 7; n <= 12; ++n) EXPECT_EQ(cache.Find(n), nullptr) << n;
    EXPECT_TRUE(file.Writes.empty());

    // After the commit the cache goes down to its budget, the least
    // recently used first.
    file.Transaction = false;
    pinned.Release();
    EXPECT_EQ(cache.WriteBack(), 1u);
    cache.Trim();
    EXPECT_EQ(cache.Size(), 4u);
    EXPECT_EQ(cache.Capacity(), 4u);
    std::vector<std::int32_t> chain = cache.ChainNumbers();
    std::sort(chain.begin(), chain.end());
    EXPECT_EQ(chain, (std::vector<std::int32_t>{3, 4, 5, 6}));
}

TEST(UnitCacheTrim, CapacityNeverDropsBelowTheBudget) {
    TTestFile file(kUnit);
    file.Populate(10);
    TTestStack stack(kRecordStackLimit);
    TTestCache cache(file, stack, kRecordCacheParams, 5);
    ASSERT_TRUE(cache.Fetch(1));
    cache.Trim();
    EXPECT_EQ(cache.Capacity(), 5u);
    // So the cache still fills to its budget without evicting.
    for (std::int32_t n = 2; n <= 5; ++n) ASSERT_TRUE(cache.Fetch(n));
    EXPECT_EQ(cache.Size(), 5u);
    cache.SetBudget(2);
    EXPECT_EQ(cache.Size(), 2u);
    EXPECT_EQ(cache.Capacity(), 2u);
}

TEST(UnitCacheTrim, FreeStackKeepsUpToItsLimitAndConstructsWhenEmpty) {
    const int before = TTestUnit::Live;
    {
        TTestStack stack(kPageStackLimit);
        std::vector<std::unique_ptr<TTestUnit>> units;
        for (int i = 0; i < 6; ++i) units.push_back(stack.Pop(4096));
        EXPECT_EQ(TTestUnit::Live, before + 6);
        units[0]->Bytes()[10] = 0x42;
        for (auto& unit : units) stack.Push(std::move(unit));
        // Two over the limit were destroyed.
        EXPECT_EQ(stack.Size(), 4u);
        EXPECT_EQ(TTestUnit::Live, before + 4);
        // A recycled unit comes back cleared and at the size asked.
        for (int i = 0; i < 4; ++i) {
            std::unique_ptr<TTestUnit> unit = stack.Pop(100);
            EXPECT_EQ(unit->Size(), 100u);
            EXPECT_EQ(BytesOf(*unit), std::vector<std::uint8_t>(100, 0));
            EXPECT_EQ(unit->UnitNumber(), 0);
        }
        EXPECT_EQ(stack.Size(), 0u);
        EXPECT_EQ(TTestUnit::Live, before + 0);
        std::unique_ptr<TTestUnit> fresh = stack.Pop(64);
        EXPECT_EQ(TTestUnit::Live, before + 1);
    }
    EXPECT_EQ(TTestUnit::Live, before);
}

TEST(UnitCacheTrim, DiscardAllRecyclesUnitsWithoutWriting) {
    TTestFile file(kUnit);
    file.Populate(6);
    TTestStack stack(kRecordStackLimit);
    TTestCache cache(file, stack, kRecordCacheParams, 8);
    for (std::int32_t n = 1; n <= 6; ++n) {
        TTestCache::TPin pin = cache.Fetch(n);
        pin->MarkDirty();
    }
    const std::vector<std::uint8_t> disk = file.File;
    cache.DiscardAll();
    EXPECT_EQ(cache.Size(), 0u);
    EXPECT_TRUE(cache.ChainNumbers().empty());
    EXPECT_EQ(stack.Size(), 6u);
    EXPECT_EQ(cache.WriteBack(), 0u);
    EXPECT_EQ(file.File, disk);
    // The next fetch takes a recycled object and reads the file afresh.
    TTestCache::TPin pin = cache.Fetch(3);
    EXPECT_EQ(stack.Size(), 5u);
    EXPECT_EQ(BytesOf(*pin), Pattern(3, 0, kUnit));
}

TEST(UnitCacheTrim, BudgetsFollowTheSessionSettings) {
    const TCacheBudgets defaults;
    EXPECT_EQ(RecordCacheBudget(defaults, 100), 163u);
    EXPECT_EQ(RecordCacheBudget(defaults, 1), 8192u);  // the count bounds it
    EXPECT_EQ(RecordCacheBudget(defaults, 0), 8192u);
    EXPECT_EQ(RecordCacheBudget(defaults, 20000), 0u);
    // Record bytes / 8192, with the engine's floor of 256 pages.
    EXPECT_EQ(PageCacheBudget(defaults), 256u);
    EXPECT_EQ(PageCacheBudget({.IndexPages = 0}), 2u);
    EXPECT_EQ(PageCacheBudget({.RecordBytes = 8192 * 300}), 300u);
    EXPECT_EQ(PageCacheBudget({.IndexPages = -1}), 2u);
    EXPECT_EQ(BlockCacheBudget(defaults, 512), 64u);
    EXPECT_EQ(BlockCacheBudget(defaults, 0), 8192u);
    EXPECT_EQ(BlockCacheBudget({.BlobBytes = -5}, 512), 0u);
    EXPECT_EQ(UnitsPerRun(8192, 100), 81);
    EXPECT_EQ(UnitsPerRun(8192, 9000), 1);
    EXPECT_EQ(UnitsPerRun(16384, 0), 1);
}

TEST(UnitCacheTrim, CacheWithNoBudgetStillServesUnits) {
    TTestFile file(kUnit);
    file.Populate(3);
    TTestStack stack(kRecordStackLimit);
    TTestCache cache(file, stack, kRecordCacheParams, 0);
    TTestCache::TPin pin = cache.Fetch(2);
    ASSERT_TRUE(pin);
    EXPECT_EQ(BytesOf(*pin), Pattern(2, 0, kUnit));
    pin.Release();
    cache.Trim();
    EXPECT_EQ(cache.Size(), 0u);
}

}  // namespace
}  // namespace pirin::cache_test
