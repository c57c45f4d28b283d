#include <gtest/gtest.h>

#include "storage/blob_block.h"
#include "storage/record.h"
#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::cache_test {
namespace {

constexpr std::size_t kUnit = 40;
constexpr std::size_t kStep = kRecordCacheParams.GrowStep;

// A transaction that appends far past the budget: the cache grows in slabs,
// a pinned unit's bytes stay put through every growth step, nothing is
// written early, and write-back plus trimming give the slabs back.
TEST(UnitSlabs, GrowthKeepsPinnedBytesInPlaceAndTrimmingFreesTheSlabs) {
    const int before = TTestUnit::Live;
    TTestFile file(kUnit);
    file.Transaction = true;
    TTestStack stack(kRecordStackLimit);
    {
        TTestCache cache(file, stack, kRecordCacheParams, 8);
        TTestCache::TPin first = cache.Fetch(1);
        first->Bytes()[0] = 1;
        first->Bytes()[3] = 0x5A;
        const std::uint8_t* const firstBytes = first->Bytes().data();
        const int count = static_cast<int>(kStep) * 5 + 3;
        for (std::int32_t n = 2; n <= count; ++n) {
            TTestCache::TPin pin = cache.Fetch(n);
            ASSERT_TRUE(pin);
            pin->Bytes()[0] = static_cast<std::uint8_t>(n);
        }
        EXPECT_EQ(first->Bytes().data(), firstBytes);
        EXPECT_EQ(first->Bytes()[3], 0x5A);
        EXPECT_TRUE(file.Writes.empty());
        EXPECT_EQ(stack.Slabs().SlotsInUse(), static_cast<std::size_t>(count));
        EXPECT_EQ(stack.Slabs().SlabCount(), (static_cast<std::size_t>(count) + kStep - 1) / kStep);

        first.Release();
        file.Transaction = false;
        cache.WriteBack();
        cache.Trim();
        EXPECT_EQ(cache.Size(), 8u);
        for (std::int32_t n = 1; n <= count; ++n)
            EXPECT_EQ(file.OnDisk(n)[0], static_cast<std::uint8_t>(n)) << n;
        // The 8 kept units and the stack's spares fill whole slabs; the
        // rest went back (one empty slab may be kept).
        const std::size_t inUse = stack.Slabs().SlotsInUse();
        EXPECT_EQ(inUse, 8u + stack.Size());
        EXPECT_LE(stack.Slabs().SlabCount(), (inUse + kStep - 1) / kStep + 2);
    }
    EXPECT_EQ(stack.Slabs().SlotsInUse(), stack.Size());
    EXPECT_EQ(TTestUnit::Live, before + static_cast<int>(stack.Size()));
}

// Units from several sources live side by side and each goes back where it
// came from: slab units, units made alone, a unit whose size does not fit
// the slots, and a unit that outlives its stack.
TEST(UnitSlabs, EveryUnitGoesBackWhereItCameFromEvenAfterItsStack) {
    const int before = TTestUnit::Live;
    std::unique_ptr<TTestUnit> survivor;
    {
        TTestStack stack(kPageStackLimit);
        std::vector<std::unique_ptr<TTestUnit>> units;
        for (int i = 0; i < 6; ++i) units.push_back(stack.Pop(kUnit));
        EXPECT_EQ(stack.Slabs().SlabCount(), 2u);
        // Another size while slots are in use: made alone, with its bytes.
        std::unique_ptr<TTestUnit> other = stack.Pop(3 * kUnit);
        EXPECT_EQ(other->Bytes().size(), 3 * kUnit);
        EXPECT_EQ(stack.Slabs().SlotsInUse(), 6u);
        auto alone = std::make_unique<TTestUnit>(kUnit);
        // A unit grown past its slot keeps working on bytes of its own.
        stack.Push(std::move(units[5]));
        std::unique_ptr<TTestUnit> grown = stack.Pop(2 * kUnit);
        EXPECT_EQ(BytesOf(*grown), std::vector<std::uint8_t>(2 * kUnit, 0));
        grown->Bytes()[2 * kUnit - 1] = 7;
        survivor = std::move(units[0]);
        survivor->Bytes()[0] = 0x33;
        units.clear();
        other.reset();
        alone.reset();
        grown.reset();
        EXPECT_EQ(stack.Slabs().SlotsInUse(), 1u);
        EXPECT_EQ(TTestUnit::Live, before + 1);
    }
    // The stack and its pool are gone; the survivor's slab waits for it.
    EXPECT_EQ(survivor->Bytes()[0], 0x33);
    survivor.reset();
    EXPECT_EQ(TTestUnit::Live, before);
}

// The engine's units take their bytes inline: a record's image and a
// block's bytes are the unit size, cleared, and keep their contents through
// a trip to the stack and back at the same size.
TEST(UnitSlabs, RecordsAndBlocksHoldTheirBytesInTheirSlots) {
    TRecordStack records;
    std::unique_ptr<TRecord> record = records.Take(55);
    EXPECT_EQ(record->Image().size(), 55u);
    const auto* recordStart = reinterpret_cast<const std::uint8_t*>(record.get());
    EXPECT_GT(record->Image().data(), recordStart);
    EXPECT_LT(record->Image().data(), recordStart + sizeof(TRecord) + 8);
    record->SetAutoIncValue(9);
    records.Give(std::move(record));
    record = records.Take(55);
    EXPECT_EQ(record->AutoIncValue(), 0);

    TUnitStack<TBlock> blocks(kBlockStackLimit);
    std::unique_ptr<TBlock> block = blocks.Pop(512);
    EXPECT_EQ(block->Bytes().size(), 512u);
    EXPECT_EQ(block->WriteData(0, std::vector<std::uint8_t>(494, 0xAB)), 0);
    EXPECT_EQ(block->BytesUsed(), 494);
    EXPECT_EQ(blocks.Slabs().SlotsInUse(), 1u);
}

}  // namespace
}  // namespace pirin::cache_test
