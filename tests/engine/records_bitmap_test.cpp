// TRecordsBitmap against a plain set of record numbers, and its pool.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine/records_bitmap.h"

namespace pirin {
namespace {

TEST(RecordsBitmapTest, SetClearTestIgnoreNumbersOutsideTheSize) {
    TRecordsBitmap bitmap;
    bitmap.SetSize(40);
    bitmap.Set(0);
    bitmap.Set(41);
    bitmap.Set(-3);
    EXPECT_EQ(bitmap.Count(), 0);
    bitmap.Set(1);
    bitmap.Set(32);
    bitmap.Set(33);
    bitmap.Set(40);
    EXPECT_TRUE(bitmap.Test(32));
    EXPECT_TRUE(bitmap.Test(33));
    EXPECT_FALSE(bitmap.Test(31));
    EXPECT_FALSE(bitmap.Test(41));
    bitmap.Clear(32);
    EXPECT_EQ(bitmap.Count(), 3);
}

TEST(RecordsBitmapTest, InvertAndSetAllNeverReachBeyondTheSize) {
    TRecordsBitmap bitmap;
    bitmap.SetSize(37);
    bitmap.Invert();
    EXPECT_EQ(bitmap.Count(), 37);
    EXPECT_EQ(bitmap.FindPrior(1000), 37);
    // Growing after a shrink finds the dropped records clear.
    bitmap.SetSize(3);
    bitmap.SetSize(100);
    EXPECT_EQ(bitmap.Count(), 3);
    bitmap.SetAll();
    EXPECT_EQ(bitmap.Count(), 100);
    bitmap.ClearAll();
    EXPECT_EQ(bitmap.Count(), 0);
}

TEST(RecordsBitmapTest, AndOrAndCopyWorkOverTheCommonSize) {
    TRecordsBitmap a;
    TRecordsBitmap b;
    a.SetSize(70);
    b.SetSize(35);
    a.SetAll();
    b.Set(2);
    b.Set(35);
    TRecordsBitmap both;
    both.CopyFrom(a);
    both.And(b);
    EXPECT_EQ(both.Count(), 2);  // records 36..70 are not in b
    EXPECT_TRUE(both.Test(35));
    EXPECT_FALSE(both.Test(36));
    b.Or(a);  // b keeps its size
    EXPECT_EQ(b.Count(), 35);
}

// Random sets checked against std::set: counts, k-th next and prior with the
// running position, across word boundaries and whole empty or full words.
TEST(RecordsBitmapTest, SearchesAndCountsMatchASetModel) {
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const std::int32_t size = 1 + static_cast<std::int32_t>(random() % 700);
        TRecordsBitmap bitmap;
        bitmap.SetSize(size);
        std::set<std::int32_t> model;
        // Dense stretches and empty stretches, so whole words are skipped.
        const unsigned density = seed % 2 == 0 ? 90 : 8;
        for (std::int32_t n = 1; n <= size; ++n) {
            const bool dense = (n / 96) % 2 == 0;
            if (random() % 100 < (dense ? density : 100 - density)) {
                bitmap.Set(n);
                model.insert(n);
            }
        }
        ASSERT_EQ(bitmap.Count(), static_cast<std::int32_t>(model.size()));
        for (std::int32_t from = 0; from <= size + 1; from += 1 + static_cast<std::int32_t>(random() % 7)) {
            const auto below = static_cast<std::int32_t>(
                std::distance(model.begin(), model.lower_bound(from)));
            EXPECT_EQ(bitmap.CountBelow(from), below) << from;
            for (const std::int32_t k : {1, 2, 5, 40}) {
                auto next = model.upper_bound(from);
                std::int32_t passed = 0;
                while (next != model.end() && passed + 1 < k) {
                    ++next;
                    ++passed;
                }
                const std::int32_t expectedNext = next == model.end() ? 0 : *next;
                std::int32_t position = 100;
                EXPECT_EQ(bitmap.FindNext(from, k, &position), expectedNext) << from << " " << k;
                const auto after = static_cast<std::int32_t>(
                    std::distance(model.upper_bound(from), model.end()));
                EXPECT_EQ(position, 100 + (expectedNext != 0 ? k : after));

                std::int32_t expectedPrior = 0;
                std::int32_t seen = 0;
                for (auto it = model.lower_bound(from); it != model.begin();) {
                    --it;
                    if (++seen == k) {
                        expectedPrior = *it;
                        break;
                    }
                }
                position = 100;
                EXPECT_EQ(bitmap.FindPrior(from, k, &position), expectedPrior) << from << " " << k;
                EXPECT_EQ(position, 100 - (expectedPrior != 0 ? k : below));
            }
        }
    }
}

TEST(RecordsBitmapStackTest, HandsOutClearedBitmapsAndKeepsAtMost64) {
    TRecordsBitmapStack& pool = TRecordsBitmapStack::Instance();
    std::vector<std::unique_ptr<TRecordsBitmap>> taken;
    for (int i = 0; i < 70; ++i) taken.push_back(pool.Take());
    taken[0]->SetSize(500);
    taken[0]->SetAll();
    for (auto& bitmap : taken) pool.Give(std::move(bitmap));
    EXPECT_EQ(pool.Kept(), TRecordsBitmapStack::kLimit);
    for (std::size_t i = 0; i < TRecordsBitmapStack::kLimit; ++i) {
        auto bitmap = pool.Take();
        EXPECT_EQ(bitmap->Size(), 0);
        bitmap->SetSize(500);
        EXPECT_EQ(bitmap->Count(), 0);
        taken.push_back(std::move(bitmap));
    }
    for (auto& bitmap : taken) pool.Give(std::move(bitmap));
}

}  // namespace
}  // namespace pirin
