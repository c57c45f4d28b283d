#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::cache_test {
namespace {

constexpr std::size_t kUnit = 1000;  // 8 records per 8192-byte run

struct UnitCacheReadAhead : ::testing::Test {
    TTestFile File{kUnit, 127};
    TTestStack Stack{kRecordStackLimit};
    TTestCache Cache{File, Stack, kRecordCacheParams, 64};

    void SetUp() override { File.Populate(20); }
};

TEST_F(UnitCacheReadAhead, RunIsCutToTheRunBytesAndTheFileEnd) {
    struct TCase {
        std::int32_t Asked, Count;
        TReadDirection Direction;
        std::int32_t First, Units;
    };
    const TCase cases[] = {
        {5, 1, TReadDirection::Forward, 5, 1},           {5, 4, TReadDirection::Forward, 5, 4},
        {5, 100, TReadDirection::Forward, 5, 8},         {18, 8, TReadDirection::Forward, 18, 3},
        {5, 0, TReadDirection::Forward, 5, 1},           {12, 4, TReadDirection::Backward, 9, 4},
        {3, 8, TReadDirection::Backward, 1, 3},          {20, -7, TReadDirection::Backward, 20, 1},
        {10, INT32_MAX, TReadDirection::Backward, 3, 8},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Asked << " count " << c.Count);
        Cache.DiscardAll();
        File.Reads.clear();
        TTestCache::TPin pin = Cache.Fetch(c.Asked, {c.Count, c.Direction});
        ASSERT_TRUE(pin);
        EXPECT_EQ(BytesOf(*pin), Pattern(c.Asked, 0, kUnit));
        ASSERT_EQ(File.Reads.size(), 1u);
        EXPECT_EQ(File.Reads[0].Offset, File.UnitOffset(c.First));
        EXPECT_EQ(File.Reads[0].Length, c.Units * kUnit);
        EXPECT_EQ(Cache.Size(), static_cast<std::size_t>(c.Units));
        for (std::int32_t n = c.First; n < c.First + c.Units; ++n)
            EXPECT_EQ(BytesOf(*Cache.Find(n)), Pattern(n, 0, kUnit)) << n;
        // The unit asked for is the most recently used.
        EXPECT_EQ(Cache.ChainNumbers().front(), c.Asked);
    }
}

TEST_F(UnitCacheReadAhead, RefreshesCleanUnitsAndLeavesDirtyAndPinnedOnes) {
    for (const TReadDirection direction : {TReadDirection::Forward, TReadDirection::Backward}) {
        SCOPED_TRACE(direction == TReadDirection::Forward ? "forwards" : "backwards");
        Cache.DiscardAll();
        for (std::int32_t n = 3; n <= 9; ++n) File.PutOnDisk(n, Pattern(n, 0, kUnit));
        for (std::int32_t n : {4, 6, 8}) ASSERT_TRUE(Cache.Fetch(n));
        TTestCache::TPin pinned = Cache.Fetch(8);
        {
            TTestCache::TPin dirty = Cache.Fetch(6);
            dirty->Bytes()[3] = 0x55;
            dirty->MarkDirty();
        }
        // Another writer (whose change we were told about) rewrote 3 to 9.
        for (std::int32_t n = 3; n <= 9; ++n) File.PutOnDisk(n, Pattern(n, 1, kUnit));
        File.Reads.clear();

        const std::int32_t asked = direction == TReadDirection::Forward ? 3 : 9;
        TTestCache::TPin pin = Cache.Fetch(asked, {7, direction});
        ASSERT_TRUE(pin);
        ASSERT_EQ(File.Reads.size(), 1u);
        EXPECT_EQ(File.Reads[0].Offset, File.UnitOffset(3));
        EXPECT_EQ(File.Reads[0].Length, 7 * kUnit);
        for (std::int32_t n : {3, 4, 5, 7, 9})
            EXPECT_EQ(BytesOf(*Cache.Find(n)), Pattern(n, 1, kUnit)) << n;
        auto dirty = Pattern(6, 0, kUnit);
        dirty[3] = 0x55;
        EXPECT_EQ(BytesOf(*Cache.Find(6)), dirty);
        EXPECT_TRUE(Cache.Find(6)->Dirty());
        EXPECT_EQ(BytesOf(*pinned), Pattern(8, 0, kUnit));
        EXPECT_EQ(Cache.Size(), 7u);
    }
}

TEST_F(UnitCacheReadAhead, RunLongerThanTheCacheStillDeliversTheUnitAsked) {
    TTestCache small(File, Stack, kRecordCacheParams, 2);
    for (const TReadDirection direction : {TReadDirection::Forward, TReadDirection::Backward}) {
        small.DiscardAll();
        TTestCache::TPin pin = small.Fetch(10, {8, direction});
        ASSERT_TRUE(pin);
        EXPECT_EQ(pin->UnitNumber(), 10);
        EXPECT_EQ(BytesOf(*pin), Pattern(10, 0, kUnit));
        EXPECT_LE(small.Size(), small.Capacity());
        EXPECT_EQ(small.Capacity(), 2u);
        EXPECT_EQ(small.ChainNumbers().front(), 10);
    }
}

TEST_F(UnitCacheReadAhead, DamagedUnitInARunKeepsWhatWasAlreadyCached) {
    auto damaged = Pattern(6, 0, kUnit);
    damaged[0] = kDamagedMark;
    File.PutOnDisk(6, damaged);
    ASSERT_TRUE(Cache.Fetch(5));  // cached clean: would be refreshed by the run

    TTestUnit* asked = nullptr;
    EXPECT_EQ(CodeOf([&] {
                  TTestCache::TPin pin = Cache.Fetch(3, {6});
                  asked = pin.Get();
              }),
              PIRIN_FILECORRUPT);
    // 3 to 5 stay cached and consistent, the damaged unit is not cached, and
    // the failed fetch left no pin behind.
    EXPECT_EQ(Cache.Size(), 3u);
    EXPECT_EQ(Cache.Find(6), nullptr);
    EXPECT_EQ(Cache.Find(7), nullptr);
    for (std::int32_t n : {3, 4, 5}) {
        ASSERT_NE(Cache.Find(n), nullptr) << n;
        EXPECT_EQ(Cache.Find(n)->PinCount(), 0) << n;
        EXPECT_EQ(BytesOf(*Cache.Find(n)), Pattern(n, 0, kUnit)) << n;
    }
    EXPECT_EQ(asked, nullptr);
    // A cached clean unit that turns out damaged on refresh is dropped.
    File.PutOnDisk(4, damaged);
    EXPECT_EQ(CodeOf([&] { (void)Cache.Fetch(2, {3}); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(Cache.Find(4), nullptr);
    ASSERT_NE(Cache.Find(2), nullptr);
    EXPECT_EQ(Cache.Find(2)->PinCount(), 0);
    EXPECT_EQ(Cache.ChainNumbers().size(), Cache.Size());
}

// A full cache reuses its least recently used unit for a miss, moving it to
// its new place in the sorted list; a unit that fails to load there leaves
// the list without it, sorted, and the victim gone.
TEST_F(UnitCacheReadAhead, FullCacheReusesItsVictimInPlaceOrDropsItOnDamage) {
    TTestCache small(File, Stack, kRecordCacheParams, 3);
    for (std::int32_t n : {9, 2, 14}) ASSERT_TRUE(small.Fetch(n));
    // Victims 9 (to the end), 2 (to the middle), 14 (to the front).
    for (std::int32_t n : {17, 8, 1}) {
        ASSERT_TRUE(small.Fetch(n)) << n;
        std::vector<std::int32_t> listed;
        small.ForEachCached([&](const TTestUnit& unit) {
            listed.push_back(unit.UnitNumber());
            EXPECT_EQ(BytesOf(unit), Pattern(unit.UnitNumber(), 0, kUnit));
        });
        EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end())) << n;
        EXPECT_EQ(small.Size(), 3u);
        EXPECT_EQ(small.ChainNumbers().front(), n);
    }
    auto damaged = Pattern(12, 0, kUnit);
    damaged[0] = kDamagedMark;
    File.PutOnDisk(12, damaged);
    EXPECT_EQ(CodeOf([&] { (void)small.Fetch(12); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(small.Size(), 2u);
    EXPECT_EQ(small.Find(17), nullptr);  // the victim
    EXPECT_EQ(small.Find(12), nullptr);
    EXPECT_EQ(small.ChainNumbers(), (std::vector<std::int32_t>{1, 8}));
    ASSERT_TRUE(small.Fetch(5));
    EXPECT_NE(small.Find(1), nullptr);
    EXPECT_NE(small.Find(5), nullptr);
    EXPECT_NE(small.Find(8), nullptr);
}

}  // namespace
}  // namespace pirin::cache_test
