// Random fetches, read-aheads, changes, pins, write-backs, trims and discards against a
// plain map of what every unit must hold. After each batch, every unit read
// through the cache or from the file must equal the map. The seed is printed;
// set PIRIN_TEST_SEED to replay one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <random>

#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::cache_test {
namespace {

constexpr std::size_t kUnit = 16;

class TModelRun {
  public:
    explicit TModelRun(std::uint32_t seed) : FRandom(seed) {
        FFile.Encrypted = Chance(2);
        FFile.ShortAllowed = true;  // we are the only writer
        FFile.Populate(Between(1, 30));
        for (std::int32_t n = 1; n < FFile.Next; ++n) FModel[n] = Pattern(n, 0, kUnit);
        FCache.SetBudget(static_cast<std::size_t>(Between(0, 8)));
    }

    void Step() {
        switch (Between(0, 10)) {
            case 0:
            case 1:
            case 2:
                Read();
                break;
            case 3:
            case 4:
                Change();
                break;
            case 5:
                ChangeHeld();
                break;
            case 6:
                ReleaseHeld();
                break;
            case 7:
                WriteBack();
                break;
            case 8:
                if (Chance(2))
                    FCache.Trim();
                else
                    FCache.SetBudget(static_cast<std::size_t>(Between(0, 10)));
                break;
            case 9:
                Other();
                break;
            case 10:
                Prefetch();
                break;
        }
    }

    void Verify() {
        ASSERT_EQ(FFile.ForbiddenWrites, 0) << "a unit was written early inside a transaction";
        ASSERT_LE(FCache.Size(), FCache.Capacity());
        std::vector<std::int32_t> listed;
        FCache.ForEachCached([&](const TTestUnit& unit) { listed.push_back(unit.UnitNumber()); });
        ASSERT_TRUE(std::is_sorted(listed.begin(), listed.end()));
        ASSERT_EQ(std::adjacent_find(listed.begin(), listed.end()), listed.end());
        std::vector<std::int32_t> chain = FCache.ChainNumbers();
        std::sort(chain.begin(), chain.end());
        ASSERT_EQ(chain, listed);
        ASSERT_EQ(static_cast<std::int32_t>(FModel.size()), FFile.Next - 1);
        for (const auto& [n, bytes] : FModel) {
            const TTestUnit* cached = FCache.Find(n);
            if (cached != nullptr) {
                ASSERT_EQ(BytesOf(*cached), bytes) << "cached unit " << n;
                if (!cached->Dirty()) {
                    ASSERT_EQ(FFile.OnDisk(n), bytes) << "clean unit " << n;
                }
            } else {
                ASSERT_EQ(FFile.OnDisk(n), bytes) << "unit on disk " << n;
            }
        }
        for (const TTestCache::TPin& held : FHeld) ASSERT_GE(held->PinCount(), 1);
    }

    void Finish() {
        FHeld.clear();
        FFile.WritesAllowed = true;
        (void)FCache.WriteBack();
        for (const auto& [n, bytes] : FModel) ASSERT_EQ(FFile.OnDisk(n), bytes) << "final " << n;
    }

  private:
    std::int32_t Between(std::int32_t low, std::int32_t high) {
        return std::uniform_int_distribution<std::int32_t>(low, high)(FRandom);
    }
    bool Chance(std::int32_t oneIn) { return Between(1, oneIn) == 1; }
    std::int32_t AnyUnit() { return Between(1, FFile.Next - 1); }
    std::int32_t AnyHeld() { return Between(0, static_cast<std::int32_t>(FHeld.size()) - 1); }

    TTestCache::TPin Fetch(std::int32_t n) {
        TReadAhead readAhead{Between(1, 12),
                             Chance(2) ? TReadDirection::Forward : TReadDirection::Backward};
        TTestCache::TPin pin = FCache.Fetch(n, readAhead);
        EXPECT_TRUE(pin);
        EXPECT_EQ(pin->UnitNumber(), n);
        return pin;
    }
    void Hold(TTestCache::TPin pin) {
        if (FHeld.size() < 3 && Chance(3)) FHeld.push_back(std::move(pin));
    }
    void Scribble(TTestUnit& unit, std::vector<std::uint8_t>& model) {
        // Byte 0 stays: it tells the test unit it is not damaged.
        for (std::int32_t i = Between(1, 3); i > 0; --i) {
            const auto at = static_cast<std::size_t>(Between(1, kUnit - 1));
            unit.Bytes()[at] = static_cast<std::uint8_t>(Between(0, 255));
            model[at] = unit.Bytes()[at];
        }
        unit.MarkDirty();
    }

    void Read() {
        if (FFile.Next == 1) return;
        const std::int32_t n = AnyUnit();
        TTestCache::TPin pin = Fetch(n);
        if (!pin) return;
        EXPECT_EQ(BytesOf(*pin), FModel[n]) << "read " << n;
        Hold(std::move(pin));
    }
    // Read-ahead of a few numbers, some repeated, some outside the file:
    // nothing is written, the cache does not grow, and whatever it holds
    // still matches the map (checked by Verify).
    void Prefetch() {
        std::vector<std::int32_t> numbers(static_cast<std::size_t>(Between(0, 8)));
        for (std::int32_t& n : numbers)
            n = FFile.Next == 1 || Chance(8) ? Between(-1, FFile.Next + 1) : AnyUnit();
        const std::size_t writes = FFile.Writes.size();
        const std::size_t capacity = FCache.Capacity();
        EXPECT_TRUE(FCache.Prefetch(numbers));
        EXPECT_EQ(FFile.Writes.size(), writes);
        EXPECT_EQ(FCache.Capacity(), capacity);
    }
    void Change() {
        std::int32_t n = FFile.Next;
        if (FFile.Next == 1 || Chance(5))
            FModel[n] = std::vector<std::uint8_t>(kUnit, 0);
        else
            n = AnyUnit();
        TTestCache::TPin pin = Fetch(n);
        if (!pin) return;
        Scribble(*pin, FModel[n]);
        Hold(std::move(pin));
    }
    void ChangeHeld() {
        if (FHeld.empty()) return;
        TTestCache::TPin& held = FHeld[static_cast<std::size_t>(AnyHeld())];
        Scribble(*held, FModel[held->UnitNumber()]);
    }
    void ReleaseHeld() {
        if (FHeld.empty()) return;
        FHeld.erase(FHeld.begin() + AnyHeld());
    }
    void WriteBack() {
        FFile.WritesAllowed = true;
        (void)FCache.WriteBack();
        FFile.WritesAllowed = !FFile.Transaction;
    }
    void Other() {
        if (Chance(2)) {
            // Begin or end a transaction (ending one writes everything).
            if (FFile.Transaction) WriteBack();
            FFile.Transaction = !FFile.Transaction;
            FFile.WritesAllowed = !FFile.Transaction;
        } else {
            // Close and reopen: write everything back, then drop the cache.
            FHeld.clear();
            WriteBack();
            FCache.DiscardAll();
        }
    }

    std::mt19937 FRandom;
    TTestFile FFile{kUnit};
    TTestStack FStack{kRecordStackLimit};
    TTestCache FCache{FFile, FStack, kRecordCacheParams, 0};
    std::map<std::int32_t, std::vector<std::uint8_t>> FModel;
    std::vector<TTestCache::TPin> FHeld;
};

TEST(UnitCacheModel, RandomOperationsMatchAPlainMap) {
    std::uint32_t firstSeed = std::random_device{}();
    int runs = 30;
    if (const char* fixed = std::getenv("PIRIN_TEST_SEED")) {
        firstSeed = static_cast<std::uint32_t>(std::strtoul(fixed, nullptr, 10));
        runs = 1;
    }
    for (int run = 0; run < runs; ++run) {
        const std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(run);
        std::cout << "unit cache model seed " << seed << "\n";
        SCOPED_TRACE(::testing::Message() << "PIRIN_TEST_SEED=" << seed);
        TModelRun model(seed);
        for (int batch = 0; batch < 60; ++batch) {
            for (int step = 0; step < 25; ++step) model.Step();
            ASSERT_NO_FATAL_FAILURE(model.Verify()) << "batch " << batch;
            if (::testing::Test::HasFailure()) return;
        }
        ASSERT_NO_FATAL_FAILURE(model.Finish());
    }
}

}  // namespace
}  // namespace pirin::cache_test
