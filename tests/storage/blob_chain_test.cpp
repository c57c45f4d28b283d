// BLOB chains: how values of each length lie in blocks, how a rewrite reuses
// and frees blocks, and what a BLOB buffer keeps in memory.
#include <gtest/gtest.h>

#include "tests/storage/blob_test_support.h"

namespace pirin::blob_test {
namespace {

struct TLayoutCase {
    std::uint32_t BlockSize;  // as stored in the data file (0 = 512)
    std::size_t Length;
    std::vector<std::uint16_t> Used;  // bytes used per block, in chain order
};

class BlobLayout : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(BlobLayout, ValueFillsTheBlocksItNeedsLinkedBothWaysAndReadsBack) {
    const TLayoutCase& c = GetParam();
    TBlobTable table(c.BlockSize);
    const auto value = Pattern(c.Length, 7);
    const std::int32_t first = table.Store(value, 41);
    table.Reopen();

    ASSERT_EQ(table.Blocks(), c.Used.size());
    if (c.Used.empty()) {
        EXPECT_EQ(first, 0);
        return;
    }
    const auto chain = table.Chain(first);
    ASSERT_EQ(chain.size(), c.Used.size());
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const auto block = table.Block(chain[i]);
        EXPECT_EQ(block.Used, c.Used[i]) << i;
        EXPECT_EQ(block.Owner, 41) << i;
        EXPECT_EQ(block.Previous, i == 0 ? 0 : chain[i - 1]) << i;
        EXPECT_EQ(block.Total, i == 0 ? static_cast<std::int32_t>(c.Length) : 0) << i;
    }
    EXPECT_EQ(table.Load(first, 41), value);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, BlobLayout,
    ::testing::Values(TLayoutCase{0, 0, {}}, TLayoutCase{0, 1, {1}}, TLayoutCase{0, 494, {494}},
                      TLayoutCase{0, 495, {494, 1}}, TLayoutCase{512, 988, {494, 494}},
                      TLayoutCase{1024, 1006, {1006}}, TLayoutCase{1024, 2013, {1006, 1006, 1}},
                      TLayoutCase{4096, 10000, {4078, 4078, 1844}},
                      // Only the low 16 bits of the stored size count.
                      TLayoutCase{0x10000 + 64, 100, {46, 46, 8}}));

TEST(BlobChain, RewriteShorterReusesTheFirstBlockAndFreesTheRestLastInFirstOut) {
    TBlobTable table;
    const std::int32_t first = table.Store(Pattern(3 * 494, 1), 10);
    ASSERT_EQ(table.Chain(first), (std::vector<std::int32_t>{1, 2, 3}));

    const auto shorter = Pattern(300, 2);
    EXPECT_EQ(table.Store(shorter, 11, first, 10), first);
    EXPECT_EQ(table.Block(first).Next, 0);
    EXPECT_EQ(table.Block(first).Total, 300);
    EXPECT_EQ(table.FreeChain(), (std::vector<std::int32_t>{3, 2}));
    table.Reopen();
    EXPECT_EQ(table.Load(first, 11), shorter);

    // The next allocations take the last block freed first, then grow.
    for (std::int32_t expected : {3, 2, 4}) {
        TBlockPin pin = table.File.AllocateBlock(nullptr);
        EXPECT_EQ(pin->UnitNumber(), expected);
        EXPECT_EQ(pin->Next(), 0);
        EXPECT_EQ(pin->OwnerStamp(), 0);
    }
    EXPECT_EQ(table.File.Header().FirstFreeBlock(), 0);
}

TEST(BlobChain, RewriteLongerKeepsTheOldBlocksInOrderThenTakesFreeOnesThenGrows) {
    TBlobTable table;
    const std::int32_t a = table.Store(Pattern(600, 1), 1);  // blocks 1, 2
    std::int32_t b = table.Store(Pattern(100, 2), 2);        // block 3
    table.File.FreeChain(&table.Cursor, b, 2, false);
    EXPECT_EQ(b, 0);

    const auto longer = Pattern(4 * 494, 3);
    EXPECT_EQ(table.Store(longer, 5, a, 1), a);
    EXPECT_EQ(table.Chain(a), (std::vector<std::int32_t>{1, 2, 3, 4}));
    EXPECT_TRUE(table.FreeChain().empty());
    table.Reopen();
    EXPECT_EQ(table.Load(a, 5), longer);
}

TEST(BlobChain, StoringAnEmptyValueFreesItsChain) {
    TBlobTable table;
    const std::int32_t first = table.Store(Pattern(700, 1), 3);
    EXPECT_EQ(table.Store({}, 4, first, 3), 0);
    EXPECT_EQ(table.FreeChain(), (std::vector<std::int32_t>{2, 1}));
}

TEST(BlobChain, LoadingReadsTheFirstBlockAloneThenRunsOfAtMost16KiB) {
    TBlobTable table;
    const auto value = Pattern(40 * 494, 5);
    const std::int32_t first = table.Store(value, 2);
    table.Reopen();
    EXPECT_EQ(table.Load(first, 2), value);
    // Block 1, then blocks 2..33 (32 blocks of 512 bytes), then 34..40.
    EXPECT_EQ(table.File.Cache().Stats().Reads, 3u);
    EXPECT_EQ(table.File.Cache().Stats().Misses, 3u);
}

TEST(BlobBuffer, KeepsItsOriginalAndTracksChangesUntilStored) {
    TBlobTable table;
    const std::int32_t first = table.Store(Pattern(50, 1), 8);
    TBlobBuffer buffer(table.File, &table.Cursor, 3, 17, first, 8);
    buffer.LoadBlob();
    EXPECT_FALSE(buffer.Modified());
    buffer.KeepOriginal();
    const std::vector<std::uint8_t> tail{1, 2, 3};
    buffer.WriteBytes(60, tail);  // past the end: the gap reads as zeros
    EXPECT_TRUE(buffer.Modified());
    EXPECT_EQ(buffer.Length(), 63u);
    EXPECT_EQ(buffer.Data()[55], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.Original().begin(), buffer.Original().end()),
              Pattern(50, 1));
    buffer.SetBlobLength(20);
    EXPECT_EQ(buffer.OriginalLength(), 50u);

    buffer.StoreBlob(9);
    EXPECT_FALSE(buffer.Modified());
    EXPECT_EQ(buffer.Stamp(), 9);
    const auto original = Pattern(50, 1);
    EXPECT_EQ(table.Load(first, 9),
              std::vector<std::uint8_t>(original.begin(), original.begin() + 20));
    // The stored length is a signed 32-bit field.
    EXPECT_EQ(CodeOf([&] { buffer.SetBlobLength(std::size_t{1} << 31); }), PIRIN_INVALIDBLOBLEN);
    EXPECT_EQ(buffer.Length(), 20u);

    buffer.DropBlob();
    EXPECT_EQ(buffer.FirstBlock(), 0);
    EXPECT_TRUE(buffer.Modified());  // 20 bytes in memory, nothing stored
}

TEST(BlobBlock, ReadsAtMostWhatIsUsedAndRefusesMoreThanItsDataPart) {
    TBlock block(512);
    const auto bytes = Pattern(10, 3);
    ASSERT_EQ(block.WriteData(484, bytes), 0);
    EXPECT_EQ(block.BytesUsed(), 494);
    EXPECT_EQ(block.WriteData(485, bytes), PIRIN_INVALIDBLOBLEN);
    EXPECT_EQ(block.BytesUsed(), 494);

    ASSERT_EQ(block.WriteData(0, bytes), 0);
    std::vector<std::uint8_t> out(100, 0xFF);
    std::size_t copied = 0;
    ASSERT_EQ(block.ReadData(out, copied), 0);
    EXPECT_EQ(copied, 10u);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 10), bytes);
    std::vector<std::uint8_t> tooMany(495);
    EXPECT_EQ(block.ReadData(tooMany, copied), PIRIN_INVALIDBLOBLEN);

    // A damaged count never makes a read run past the data part.
    block.SetBytesUsed(495);
    EXPECT_EQ(block.ReadData(out, copied), PIRIN_MEMOCORRUPT);
    EXPECT_EQ(copied, 0u);
}

}  // namespace
}  // namespace pirin::blob_test
