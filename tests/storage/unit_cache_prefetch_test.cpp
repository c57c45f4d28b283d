// Read-ahead of a list of units (TUnitCache::Prefetch): what it reads, where
// the units end up, and what it leaves alone when places or reads run out.
#include <gtest/gtest.h>

#include <vector>

#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::cache_test {
namespace {

constexpr std::size_t kUnit = 100;

struct UnitCachePrefetch : ::testing::Test {
    TTestFile File{kUnit, 64};
    TTestStack Stack{kRecordStackLimit};
    TTestCache Cache{File, Stack, kRecordCacheParams, 16};

    void SetUp() override { File.Populate(40); }

    std::vector<std::int32_t> Listed() const {
        std::vector<std::int32_t> listed;
        Cache.ForEachCached([&](const TTestUnit& unit) { listed.push_back(unit.UnitNumber()); });
        return listed;
    }
};

TEST_F(UnitCachePrefetch, ReadsEachMissingRunOnceAndLeavesTheChainAsFetchesWould) {
    for (std::int32_t n : {9, 30}) ASSERT_TRUE(Cache.Fetch(n));
    File.Reads.clear();
    // Walk order; 9 is cached, 21 comes twice, 0 ends the list.
    const std::vector<std::int32_t> numbers{22, 21, 9, 5, 23, 6, 21, 0, 11};
    ASSERT_TRUE(Cache.Prefetch(numbers));

    // Missing 5-6 and 21-23 are two runs: one read each, in number order.
    ASSERT_EQ(File.Reads.size(), 2u);
    EXPECT_EQ(File.Reads[0].Offset, File.UnitOffset(5));
    EXPECT_EQ(File.Reads[0].Length, 2 * kUnit);
    EXPECT_EQ(File.Reads[1].Offset, File.UnitOffset(21));
    EXPECT_EQ(File.Reads[1].Length, 3 * kUnit);
    EXPECT_EQ(Listed(), (std::vector<std::int32_t>{5, 6, 9, 21, 22, 23, 30}));
    for (std::int32_t n : Listed()) {
        EXPECT_EQ(BytesOf(*Cache.Find(n)), Pattern(n, 0, kUnit)) << n;
        EXPECT_EQ(Cache.Find(n)->PinCount(), 0) << n;
    }

    // The same chain as fetching the numbers one by one.
    TTestStack otherStack{kRecordStackLimit};
    TTestCache other{File, otherStack, kRecordCacheParams, 16};
    for (std::int32_t n : {9, 30, 22, 21, 9, 5, 23, 6, 21}) ASSERT_TRUE(other.Fetch(n));
    EXPECT_EQ(Cache.ChainNumbers(), other.ChainNumbers());
    // Later fetches are hits.
    File.Reads.clear();
    for (std::int32_t n : {22, 21, 9, 5, 23, 6}) ASSERT_TRUE(Cache.Fetch(n));
    EXPECT_TRUE(File.Reads.empty());
}

TEST_F(UnitCachePrefetch, TakesOnlyFreePlacesAndCleanUnpinnedVictims) {
    // A full cache: 1-16, of which 1 is pinned and 2 dirty; 1 and 2 are the
    // oldest, so they would be the first victims.
    Cache.SetBudget(4);
    TTestCache::TPin pinned = Cache.Fetch(1);
    {
        TTestCache::TPin dirty = Cache.Fetch(2);
        dirty->Bytes()[5] ^= 0xFF;
        dirty->MarkDirty();
    }
    for (std::int32_t n : {3, 4}) ASSERT_TRUE(Cache.Fetch(n));
    ASSERT_EQ(Cache.Size(), 4u);
    File.WritesAllowed = false;

    // Two victims (3 and 4) for four numbers: the first two in the order
    // given get them, the rest are left out.
    ASSERT_TRUE(Cache.Prefetch(std::vector<std::int32_t>{20, 10, 30, 31}));
    EXPECT_EQ(Listed(), (std::vector<std::int32_t>{1, 2, 10, 20}));
    EXPECT_EQ(Cache.Capacity(), 4u);
    EXPECT_EQ(File.ForbiddenWrites, 0);
    EXPECT_TRUE(Cache.Find(2)->Dirty());
    EXPECT_NE(BytesOf(*Cache.Find(2)), Pattern(2, 0, kUnit));  // not read again
    EXPECT_EQ(pinned->PinCount(), 1);
    for (std::int32_t n : {10, 20}) EXPECT_EQ(BytesOf(*Cache.Find(n)), Pattern(n, 0, kUnit));
}

TEST_F(UnitCachePrefetch, FailuresLeaveTheCacheConsistent) {
    struct TCase {
        const char* Name;
        std::int32_t Damaged;      // unit whose bytes fail to load (0: none)
        bool FileEndsEarly;        // the file lacks units the header counts
        int Code;                  // raised by Prefetch
        std::vector<std::int32_t> Kept;  // listed afterwards
    };
    const TCase cases[] = {
        {"read error", 0, true, PIRIN_READERR, {7}},
        {"damaged unit", 12, false, PIRIN_FILECORRUPT, {7, 11}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTestFile file{kUnit, 64};
        file.Populate(40);
        if (c.Damaged != 0) {
            std::vector<std::uint8_t> bad = Pattern(c.Damaged, 0, kUnit);
            bad[0] = kDamagedMark;
            file.PutOnDisk(c.Damaged, bad);
        }
        if (c.FileEndsEarly) file.File.resize(file.UnitOffset(30));
        TTestStack stack{kRecordStackLimit};
        TTestCache cache{file, stack, kRecordCacheParams, 16};
        ASSERT_TRUE(cache.Fetch(7));
        EXPECT_EQ(CodeOf([&] { (void)cache.Prefetch(std::vector<std::int32_t>{35, 11, 12, 13}); }),
                  c.Code);
        std::vector<std::int32_t> listed;
        cache.ForEachCached([&](const TTestUnit& unit) { listed.push_back(unit.UnitNumber()); });
        EXPECT_EQ(listed, c.Kept);
        std::vector<std::int32_t> chain = cache.ChainNumbers();
        std::sort(chain.begin(), chain.end());
        EXPECT_EQ(chain, listed);
        // The cache goes on working: the good units come, from disk or cache.
        for (std::int32_t n : {7, 11, 13}) {
            TTestCache::TPin pin = cache.Fetch(n);
            ASSERT_TRUE(pin);
            EXPECT_EQ(BytesOf(*pin), Pattern(n, 0, kUnit)) << n;
        }
    }

    // A short read where short reads are allowed leaves the units the file
    // lacks out, without raising.
    File.ShortAllowed = true;
    File.File.resize(File.UnitOffset(30));
    EXPECT_TRUE(Cache.Prefetch(std::vector<std::int32_t>{29, 30, 31}));
    EXPECT_EQ(Listed(), (std::vector<std::int32_t>{29}));
}

TEST_F(UnitCachePrefetch, ChangeByAnotherProcessDropsTheCacheAndReadsNothing) {
    ASSERT_TRUE(Cache.Fetch(3));
    File.Reads.clear();
    File.ChangePending = true;
    File.OnChange = [&] { Cache.DiscardAll(); };
    EXPECT_FALSE(Cache.Prefetch(std::vector<std::int32_t>{3, 8}));
    EXPECT_TRUE(File.Reads.empty());
    EXPECT_EQ(Cache.Size(), 0u);
    // Cached units alone ask nobody.
    ASSERT_TRUE(Cache.Fetch(3));
    const int asked = File.ResyncCalls;
    File.ChangePending = true;
    EXPECT_TRUE(Cache.Prefetch(std::vector<std::int32_t>{3}));
    EXPECT_EQ(File.ResyncCalls, asked);
}

}  // namespace
}  // namespace pirin::cache_test
