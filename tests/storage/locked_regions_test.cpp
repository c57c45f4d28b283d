// The in-process lock list against a plain model: every answer of IsFree,
// Has, Remove and the run calls must match a byte-overlap check over the
// locked regions,
// whatever the order of locks and unlocks (the engine's patterns — records
// locked downwards and released from the top, a write lock over read bytes —
// take the list's shortcuts, the random mix takes its searches).
#include "storage/locked_regions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace pirin {
namespace {

struct TModel {
    std::vector<TLockedRegion> Regions;

    bool IsFree(std::uint64_t start, std::uint64_t length) const {
        if (length == 0 || length - 1 > std::numeric_limits<std::uint64_t>::max() - start)
            return false;
        const std::uint64_t end = start + length - 1;
        return std::none_of(Regions.begin(), Regions.end(), [&](const TLockedRegion& r) {
            return r.Start <= end && start <= r.End;
        });
    }
    bool Remove(std::uint64_t start, std::uint64_t length) {
        const auto it = std::find_if(Regions.begin(), Regions.end(), [&](const TLockedRegion& r) {
            return length != 0 && r.Start == start && r.End - r.Start + 1 == length;
        });
        if (it == Regions.end()) return false;
        Regions.erase(it);
        return true;
    }
    // The regions that meet the bytes must lie inside them and, not
    // overlapping, add up to their length.
    bool HasRun(std::uint64_t start, std::uint64_t length) const {
        if (length == 0 || length - 1 > std::numeric_limits<std::uint64_t>::max() - start)
            return false;
        const std::uint64_t end = start + length - 1;
        std::uint64_t covered = 0;
        for (const TLockedRegion& r : Regions) {
            if (r.End < start || r.Start > end) continue;
            if (r.Start < start || r.End > end) return false;
            covered += r.End - r.Start + 1;
        }
        return covered == length;
    }
    void RemoveRun(std::uint64_t start, std::uint64_t length) {
        const std::uint64_t end = start + length - 1;
        std::erase_if(Regions, [&](const TLockedRegion& r) { return r.Start >= start && r.End <= end; });
    }
};

// Locks (when free) or unlocks, checking both lists agree at every step.
class Checker {
  public:
    void Lock(std::uint64_t start, std::uint64_t length) {
        const bool free = FModel.IsFree(start, length);
        ASSERT_EQ(FList.IsFree(start, length), free) << start << "+" << length;
        if (!free) return;
        FList.Add(start, length);
        FModel.Regions.push_back({start, start + length - 1});
        ASSERT_TRUE(FList.Has(start, length));
        ASSERT_EQ(FList.Size(), FModel.Regions.size());
    }
    void Unlock(std::uint64_t start, std::uint64_t length) {
        const bool held = FModel.Remove(start, length);
        ASSERT_EQ(FList.Has(start, length), held) << start << "+" << length;
        ASSERT_EQ(FList.Remove(start, length), held) << start << "+" << length;
        ASSERT_FALSE(FList.Has(start, length));
        ASSERT_EQ(FList.Size(), FModel.Regions.size());
    }
    void UnlockRun(std::uint64_t start, std::uint64_t length) {
        const bool run = FModel.HasRun(start, length);
        ASSERT_EQ(FList.HasRun(start, length), run) << start << "+" << length;
        ASSERT_EQ(FList.RemoveRun(start, length), run) << start << "+" << length;
        if (run) FModel.RemoveRun(start, length);
        ASSERT_EQ(FList.Size(), FModel.Regions.size());
        for (const TLockedRegion& r : FModel.Regions)
            ASSERT_TRUE(FList.Has(r.Start, r.End - r.Start + 1)) << r.Start;
    }
    const TModel& Model() const { return FModel; }

  private:
    TLockedRegions FList;
    TModel FModel;
};

TEST(LockedRegionsTest, TransactionPatternLocksDownwardAndReleasesFromTheTop) {
    // The writer's byte, then record bytes below it; released with the
    // writer's byte first or kept (an owed write-back), records from 1 on.
    constexpr std::uint64_t kWriter = 4294967295;
    for (const bool keepWriter : {false, true}) {
        Checker check;
        check.Lock(kWriter, 1);
        for (std::uint64_t record = 1; record <= 300; ++record) {
            check.Lock(kWriter - 1 - record, 1);
            check.Lock(kWriter - 1 - record, 1);  // refused: already held
        }
        if (!keepWriter) check.Unlock(kWriter, 1);
        for (std::uint64_t record = 1; record <= 300; ++record) {
            check.Unlock(kWriter - 1 - record, 1);
            check.Unlock(kWriter - 1 - record, 1);  // no longer held
            if (record % 50 == 0) check.Lock(kWriter - 1 - record, 1);  // taken again
        }
        if (keepWriter) check.Unlock(kWriter, 1);
    }
}

TEST(LockedRegionsTest, RunsOfRecordBytesGoTogetherOnlyWhenTheyCoverTheBytesExactly) {
    // Record n's byte is kBase - n: a run of records is a run of bytes
    // whose highest record has the lowest byte.
    constexpr std::uint64_t kWriter = 4294967295;
    constexpr std::uint64_t kBase = kWriter - 1;
    Checker check;
    check.Lock(kWriter, 1);
    for (std::uint64_t record = 1; record <= 200; ++record)
        if (record != 50) check.Lock(kBase - record, 1);
    check.Lock(kBase - 300, 3);  // a wider region, alone
    check.UnlockRun(kBase - 60, 20);  // records 41..60: a gap at 50, refused
    check.UnlockRun(kBase - 201, 3);  // reaches past record 200, refused
    check.UnlockRun(kBase - 301, 3);  // cuts the wider region, refused
    check.UnlockRun(kBase - 300, 3);  // exactly it
    check.UnlockRun(kBase - 49, 49);  // records 1..49, from the front
    check.UnlockRun(kBase - 120, 20);  // records 101..120, in the middle
    check.UnlockRun(kBase - 200, 80);  // records 121..200, at the back
    check.UnlockRun(kBase - 100, 50);  // records 51..100, then nothing but the writer's byte
    check.UnlockRun(kWriter, 1);
    check.UnlockRun(kWriter, 1);  // gone
}

TEST(LockedRegionsTest, RangesOverlapAtEveryByteAndAtTheLargestOffset) {
    Checker check;
    check.Lock(4294901759, 65536);  // a file write lock
    for (const std::uint64_t key : {1u, 65535u, 65536u}) check.Lock(4294967295 - key, 1);
    check.Lock(4294901758, 1);  // just below it
    check.Lock(4294967295, 1);  // just above it
    check.Lock(4294901757, 3);  // reaches its first byte
    check.Lock(0, 0);           // empty
    const std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
    check.Lock(top, 2);  // past the largest offset
    check.Lock(top, 1);
    check.Lock(top - 1, 2);  // overlaps the last byte
    check.Unlock(4294901759, 65535);  // wrong length
    check.Unlock(4294901759, 65536);
    check.Lock(4294967295 - 7, 1);  // a read byte, free now
    check.Unlock(top, 1);

    // The same limits with nothing locked yet (the list's short way).
    Checker empty;
    empty.Lock(0, 0);
    empty.Lock(top, 2);
    empty.Lock(top - 1, 2);
    empty.Unlock(top - 1, 1);  // wrong length
    empty.Unlock(top - 2, 2);  // nothing there
    empty.Unlock(top - 1, 2);
    empty.Lock(top, 1);
    empty.Unlock(top, 1);
}

TEST(LockedRegionsTest, RandomLocksAndUnlocksMatchTheModel) {
    std::mt19937 random(12);
    Checker check;
    for (int step = 0; step < 20000; ++step) {
        const std::uint64_t start = random() % 400;
        const std::uint64_t length = random() % 4;
        if (random() % 3 != 0) {
            check.Lock(start, length);
        } else if (random() % 4 == 0) {
            check.UnlockRun(start, random() % 12);
        } else if (!check.Model().Regions.empty() && random() % 2 == 0) {
            const TLockedRegion region =
                check.Model().Regions[random() % check.Model().Regions.size()];
            check.Unlock(region.Start, region.End - region.Start + 1);
        } else {
            check.Unlock(start, length);
        }
        if (testing::Test::HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace pirin
