#include <gtest/gtest.h>

#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::cache_test {
namespace {

constexpr std::size_t kUnit = 24;

struct UnitCacheWriteBack : ::testing::Test {
    TTestFile File{kUnit};
    TTestStack Stack{kRecordStackLimit};
    TTestCache Cache{File, Stack, kRecordCacheParams, 64};

    // Fetches n, stamps it with version `version` and marks it dirty.
    void Change(std::int32_t n, std::uint8_t version) {
        TTestCache::TPin pin = Cache.Fetch(n);
        ASSERT_TRUE(pin);
        const auto bytes = Pattern(n, version, kUnit);
        std::copy(bytes.begin(), bytes.end(), pin->Bytes().begin());
        pin->MarkDirty();
    }
    std::vector<std::uint8_t> Scrambled(std::vector<std::uint8_t> bytes) {
        ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
        return bytes;
    }
};

TEST_F(UnitCacheWriteBack, DirtyUnitsGoOutInRunsOfConsecutiveNumbers) {
    File.Populate(12);
    for (std::int32_t n = 1; n <= 12; ++n) ASSERT_TRUE(Cache.Fetch(n));
    for (std::int32_t n : {10, 2, 8, 1, 7, 3}) Change(n, 5);
    TTestCache::TPin pinned = Cache.Fetch(11);
    pinned->MarkDirty();  // pinned: its holder is still changing it

    EXPECT_EQ(Cache.WriteBack(), 3u);
    ASSERT_EQ(File.Writes.size(), 3u);
    const std::vector<std::vector<std::int32_t>> runs{{1, 2, 3}, {7, 8}, {10}};
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(File.Writes[i].Offset, File.UnitOffset(runs[i].front()));
        EXPECT_EQ(File.Writes[i].Units, runs[i]);
        // Each unit is scrambled by itself, from the seeds.
        std::vector<std::uint8_t> expected;
        for (std::int32_t n : runs[i]) {
            const auto unit = Scrambled(Pattern(n, 5, kUnit));
            expected.insert(expected.end(), unit.begin(), unit.end());
        }
        EXPECT_EQ(File.Writes[i].Bytes, expected);
    }
    // The cache keeps clear bytes; only the write buffer was scrambled.
    EXPECT_EQ(BytesOf(*Cache.Find(7)), Pattern(7, 5, kUnit));
    for (std::int32_t n : {1, 2, 3, 7, 8, 10}) EXPECT_FALSE(Cache.Find(n)->Dirty()) << n;
    EXPECT_TRUE(pinned->Dirty());
    EXPECT_TRUE(File.WrittenSinceOpen);
    EXPECT_EQ(Cache.WriteBack(), 0u);
    pinned.Release();
    EXPECT_EQ(Cache.WriteBack(), 1u);
    EXPECT_EQ(File.Writes.back().Units, std::vector<std::int32_t>{11});
}

TEST_F(UnitCacheWriteBack, FullDirtyCacheWritesFirstOutsideATransactionAndGrowsInside) {
    for (const bool transaction : {false, true}) {
        SCOPED_TRACE(transaction ? "in a transaction" : "outside");
        TTestFile file(kUnit);
        file.Populate(4);
        file.Transaction = transaction;
        TTestStack stack(kRecordStackLimit);
        TTestCache cache(file, stack, kRecordCacheParams, 4);
        for (std::int32_t n = 1; n <= 4; ++n) {
            TTestCache::TPin pin = cache.Fetch(n);
            pin->Bytes()[2] = 0x99;
            pin->MarkDirty();
        }
        ASSERT_EQ(cache.Size(), cache.Capacity());

        TTestCache::TPin added = cache.Fetch(5);
        ASSERT_TRUE(added);
        if (transaction) {
            EXPECT_TRUE(file.Writes.empty());
            EXPECT_EQ(cache.Capacity(), 4u + 64u);
            EXPECT_EQ(cache.Size(), 5u);
        } else {
            ASSERT_EQ(file.Writes.size(), 1u);
            EXPECT_EQ(file.Writes[0].Units, (std::vector<std::int32_t>{1, 2, 3, 4}));
            EXPECT_EQ(cache.Capacity(), 4u);
            EXPECT_EQ(cache.Size(), 4u);
            // The least recently used unit, now clean, made room.
            EXPECT_EQ(cache.Find(1), nullptr);
            EXPECT_EQ(file.OnDisk(1)[2], 0x99);
        }
    }
}

TEST_F(UnitCacheWriteBack, FailedWriteLeavesItsRunAndLaterOnesDirty) {
    File.Populate(12);
    for (std::int32_t n : {1, 2, 5, 9}) Change(n, 3);
    File.FailWrite = 1;
    EXPECT_EQ(CodeOf([&] { (void)Cache.WriteBack(); }), PIRIN_WRITEERR);
    EXPECT_FALSE(Cache.Find(1)->Dirty());
    EXPECT_FALSE(Cache.Find(2)->Dirty());
    EXPECT_TRUE(Cache.Find(5)->Dirty());
    EXPECT_TRUE(Cache.Find(9)->Dirty());
    EXPECT_TRUE(File.WrittenSinceOpen);
    EXPECT_EQ(Cache.Stats().Writes, 1u);

    File.FailWrite = -1;
    EXPECT_EQ(Cache.WriteBack(), 2u);
    for (std::int32_t n : {1, 2, 5, 9}) EXPECT_EQ(File.OnDisk(n), Pattern(n, 3, kUnit)) << n;
}

TEST_F(UnitCacheWriteBack, UnitsOfSeveralCachesOfOneFileAreSortedIntoCommonRuns) {
    // Two indexes share the index file and its page stack.
    File.Populate(8);
    File.Corrupt = PIRIN_INDEXCORRUPT;
    TTestCache second(File, Stack, kPageCacheParams, 2);
    TTestCache first(File, Stack, kPageCacheParams, 2);
    for (std::int32_t n : {3, 5}) {
        TTestCache::TPin pin = first.Fetch(n);
        pin->MarkDirty();
    }
    for (std::int32_t n : {4, 6}) {
        TTestCache::TPin pin = second.Fetch(n);
        pin->MarkDirty();
    }
    std::vector<TTestUnit*> units;
    first.CollectWritable(units);
    second.CollectWritable(units);
    TUninitBytes buffer;
    std::uint64_t writes = 0;
    TTestCache::WriteRuns(File, units, TWriteOrder::ByUnitNumber, buffer, writes);
    EXPECT_EQ(writes, 1u);
    ASSERT_EQ(File.Writes.size(), 1u);
    EXPECT_EQ(File.Writes[0].Units, (std::vector<std::int32_t>{3, 4, 5, 6}));
    EXPECT_FALSE(first.Find(3)->Dirty());
    EXPECT_FALSE(second.Find(6)->Dirty());
}

}  // namespace
}  // namespace pirin::cache_test
