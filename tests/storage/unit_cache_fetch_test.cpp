#include <gtest/gtest.h>

#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::cache_test {
namespace {

constexpr std::size_t kUnit = 40;

struct UnitCacheFetch : ::testing::Test {
    TTestFile File{kUnit};
    TTestStack Stack{kRecordStackLimit};
    TTestCache Cache{File, Stack, kRecordCacheParams, 16};
};

TEST_F(UnitCacheFetch, MissReadsAndUnscramblesThenHitsFromTheChain) {
    File.Populate(10);
    {
        TTestCache::TPin pin = Cache.Fetch(7);
        ASSERT_TRUE(pin);
        EXPECT_EQ(pin->UnitNumber(), 7);
        EXPECT_EQ(BytesOf(*pin), Pattern(7, 0, kUnit));
        EXPECT_EQ(pin->PinCount(), 1);
        EXPECT_FALSE(pin->Dirty());
    }
    ASSERT_EQ(File.Reads.size(), 1u);
    EXPECT_EQ(File.Reads[0].Offset, File.UnitOffset(7));
    EXPECT_EQ(File.Reads[0].Length, kUnit);
    EXPECT_EQ(Cache.Find(7)->PinCount(), 0);

    for (std::int32_t n : {3, 5, 9, 1, 7}) ASSERT_TRUE(Cache.Fetch(n)) << n;
    // 7 came from the binary search (it had left the first four chain
    // entries) and is now at the head; a hit reads nothing.
    EXPECT_EQ(File.Reads.size(), 5u);
    EXPECT_EQ(Cache.ChainNumbers(), (std::vector<std::int32_t>{7, 1, 9, 5, 3}));
    EXPECT_EQ(Cache.Stats().Hits, 1u);
    EXPECT_EQ(Cache.Stats().Misses, 5u);
    EXPECT_EQ(Cache.Stats().Reads, 5u);
    std::vector<std::int32_t> listed;
    Cache.ForEachCached([&](const TTestUnit& unit) { listed.push_back(unit.UnitNumber()); });
    EXPECT_EQ(listed, (std::vector<std::int32_t>{1, 3, 5, 7, 9}));
}

TEST_F(UnitCacheFetch, PinsCountAndReleaseNeverGoesBelowZero) {
    File.Populate(3);
    TTestCache::TPin first = Cache.Fetch(2);
    TTestCache::TPin second = Cache.Fetch(2);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(first->PinCount(), 2);
    TTestUnit* unit = first.Get();
    second.Release();
    EXPECT_FALSE(second);
    TTestCache::TPin moved = std::move(first);
    EXPECT_EQ(unit->PinCount(), 1);
    moved.Release();
    Cache.Release(*unit);
    EXPECT_EQ(unit->PinCount(), 0);
}

TEST_F(UnitCacheFetch, NewUnitAtTheEndIsDirtyAndAdvancesTheHeader) {
    File.Populate(4);
    TTestCache::TPin pin = Cache.Fetch(5);
    ASSERT_TRUE(pin);
    EXPECT_EQ(File.Next, 6);
    EXPECT_TRUE(File.HeaderChanged);
    EXPECT_TRUE(pin->Dirty());
    EXPECT_EQ(BytesOf(*pin), std::vector<std::uint8_t>(kUnit, 0));
    EXPECT_TRUE(File.Reads.empty());
    pin.Release();
    // Even untouched, the new unit reaches the file, so the header never
    // counts a unit the file lacks.
    EXPECT_EQ(Cache.WriteBack(), 1u);
    EXPECT_EQ(File.OnDisk(5), std::vector<std::uint8_t>(kUnit, 0));
}

TEST_F(UnitCacheFetch, ANewUnitMadeFromAVictimComesZeroedToo) {
    // Callers of a new unit rely on its bytes being zero: the object of an
    // evicted unit must not bring its bytes along.
    File.Populate(20);
    for (std::int32_t n = 1; n <= 16; ++n) ASSERT_TRUE(Cache.Fetch(n)) << n;
    TTestCache::TPin pin = Cache.Fetch(21);
    ASSERT_TRUE(pin);
    EXPECT_EQ(Cache.Size(), 16u);
    EXPECT_EQ(Cache.Find(1), nullptr);
    EXPECT_EQ(BytesOf(*pin), std::vector<std::uint8_t>(kUnit, 0));
}

TEST_F(UnitCacheFetch, BadNumbersAndFullTablesRaise) {
    struct TCase {
        const char* Name;
        std::int32_t Populated, Limit, Asked;
        std::uint64_t EndLimit;
        std::uint16_t CorruptCode;
        int Expected;
    };
    const TCase cases[] = {
        {"zero", 4, kRecordNumberLimit, 0, kUnitEndOffsetLimit, PIRIN_FILECORRUPT,
         PIRIN_FILECORRUPT},
        {"negative", 4, kPageNumberLimit, -3, kUnitEndOffsetLimit, PIRIN_INDEXCORRUPT,
         PIRIN_INDEXCORRUPT},
        {"past next", 4, kBlockNumberLimit, 6, kUnitEndOffsetLimit, PIRIN_MEMOCORRUPT,
         PIRIN_MEMOCORRUPT},
        {"limit reached", 4, 4, 5, kUnitEndOffsetLimit, PIRIN_FILECORRUPT, PIRIN_TABLEFULL},
        {"at the limit", 4, 5, 5, kUnitEndOffsetLimit, PIRIN_FILECORRUPT, 0},
        {"end offset past", 4, kRecordNumberLimit, 5, 16 + 5 * kUnit - 1, PIRIN_FILECORRUPT,
         PIRIN_TABLEFULL},
        {"end offset at", 4, kRecordNumberLimit, 5, 16 + 5 * kUnit, PIRIN_FILECORRUPT, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTestFile file(kUnit);
        file.Populate(c.Populated);
        file.Limit = c.Limit;
        file.EndLimit = c.EndLimit;
        file.Corrupt = c.CorruptCode;
        TTestStack stack(kRecordStackLimit);
        TTestCache cache(file, stack, kRecordCacheParams, 8);
        EXPECT_EQ(CodeOf([&] { (void)cache.Fetch(c.Asked); }), c.Expected);
        EXPECT_EQ(file.Next, c.Populated + 1 + (c.Expected == 0 ? 1 : 0));
        EXPECT_EQ(cache.Size(), c.Expected == 0 ? 1u : 0u);
    }
}

TEST_F(UnitCacheFetch, TruncatedFileRaisesInsteadOfDeliveringGarbage) {
    File.Populate(10);
    File.File.resize(File.UnitOffset(6));  // units 6 to 10 are gone
    // Short reads not allowed: the owner's read error.
    EXPECT_EQ(CodeOf([&] { (void)Cache.Fetch(7); }), PIRIN_READERR);
    // Also when the owner only reports the short count.
    File.ChecksShortReads = false;
    EXPECT_EQ(CodeOf([&] { (void)Cache.Fetch(7, {.Count = 1}); }), PIRIN_READERR);
    EXPECT_EQ(CodeOf([&] { (void)Cache.Fetch(4, {.Count = 3}); }), PIRIN_READERR);
    EXPECT_EQ(Cache.Size(), 0u);
    // Allowed: the run ends early, and a unit the file lacks is corrupt.
    File.ShortAllowed = true;
    EXPECT_EQ(CodeOf([&] { (void)Cache.Fetch(8); }), PIRIN_FILECORRUPT);
    // A run that starts inside the file keeps the whole units it got.
    TTestCache::TPin pin = Cache.Fetch(4, {.Count = 5});
    ASSERT_TRUE(pin);
    EXPECT_EQ(BytesOf(*pin), Pattern(4, 0, kUnit));
    EXPECT_EQ(Cache.Size(), 2u);
    EXPECT_NE(Cache.Find(5), nullptr);
    EXPECT_EQ(Cache.Find(6), nullptr);
}

TEST_F(UnitCacheFetch, ChangeHookIsAskedOnlyBeforeReadingFromDisk) {
    File.Populate(10);
    ASSERT_TRUE(Cache.Fetch(2));
    EXPECT_EQ(File.ResyncCalls, 1);

    // A change elsewhere empties the caches; the fetch delivers nothing.
    File.ChangePending = true;
    File.OnChange = [&] { Cache.DiscardAll(); };
    TTestCache::TPin changed = Cache.Fetch(3);
    EXPECT_FALSE(changed);
    EXPECT_EQ(File.Reads.size(), 1u);
    EXPECT_EQ(Cache.Size(), 0u);
    EXPECT_EQ(File.ResyncCalls, 2);

    // Cached units are served without asking.
    ASSERT_TRUE(Cache.Fetch(3));
    ASSERT_TRUE(Cache.Fetch(3));
    EXPECT_EQ(File.ResyncCalls, 3);

    // Under strict change detection the cursor checked up front.
    File.Strict = true;
    File.ChangePending = true;
    EXPECT_TRUE(Cache.Fetch(9));
    EXPECT_EQ(File.ResyncCalls, 3);
}

TEST_F(UnitCacheFetch, DiscardWhilePinnedKeepsTheHeldUnitAlive) {
    File.Populate(10);
    TTestCache::TPin held = Cache.Fetch(4);
    held->Bytes()[5] = 0x77;
    held->MarkDirty();
    File.ChangePending = true;
    File.OnChange = [&] { Cache.DiscardAll(); };
    EXPECT_FALSE(Cache.Fetch(8));

    // The held unit is out of the cache but still valid for its holder.
    EXPECT_EQ(Cache.Size(), 0u);
    EXPECT_EQ(Cache.DetachedCount(), 1u);
    EXPECT_EQ(held->UnitNumber(), 4);
    EXPECT_EQ(held->Bytes()[5], 0x77);
    // Discarded changes are never written, and the next fetch reads the file.
    EXPECT_EQ(Cache.WriteBack(), 0u);
    TTestCache::TPin fresh = Cache.Fetch(4);
    EXPECT_NE(fresh.Get(), held.Get());
    EXPECT_EQ(BytesOf(*fresh), Pattern(4, 0, kUnit));

    const std::size_t spare = Stack.Size();
    held.Release();
    EXPECT_EQ(Cache.DetachedCount(), 0u);
    EXPECT_EQ(Stack.Size(), spare + 1);
}

}  // namespace
}  // namespace pirin::cache_test
