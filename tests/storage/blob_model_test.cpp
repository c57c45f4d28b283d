// Model-based test of BLOB chains: random stores, rewrites, drops, loads,
// write-backs and reopenings against a plain map of values, over several
// block sizes and a cache small enough to evict and write back mid-store.
// After every batch each value reads back, every block lies in exactly one
// chain (a value's or the free chain), and the file never grew while a
// free block was waiting. A failure prints its seed.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/storage/blob_test_support.h"

namespace pirin::blob_test {
namespace {

struct TModelValue {
    std::int32_t First = 0;
    std::int32_t Stamp = 0;
    std::vector<std::uint8_t> Bytes;
};

struct TModelCase {
    std::uint32_t BlockSize;
    unsigned Seed;
};

class BlobModel : public ::testing::TestWithParam<TModelCase> {};

TEST_P(BlobModel, RandomStoresDropsAndReopensMatchTheModel) {
    const auto [blockSize, seed] = GetParam();
    SCOPED_TRACE("block size " + std::to_string(blockSize) + ", seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](std::size_t below) {
        return std::uniform_int_distribution<std::size_t>(0, below - 1)(random);
    };

    TBlobTable table(blockSize);
    table.Context.Budgets.BlobBytes = static_cast<std::int32_t>(4 * blockSize);
    table.Reopen();
    const std::size_t perBlock = table.File.DataBytesPerBlock();
    std::vector<TModelValue> values(6);
    std::int32_t lastStamp = 0;
    std::size_t peakLive = 0;

    const auto live = [&] {
        std::size_t blocks = 0;
        for (const auto& v : values) blocks += (v.Bytes.size() + perBlock - 1) / perBlock;
        return blocks;
    };
    const auto randomLength = [&]() -> std::size_t {
        const std::size_t blocks = pick(5);
        switch (pick(3)) {
            case 0:
                return blocks * perBlock;  // exactly full blocks
            case 1:
                return blocks * perBlock + 1;
            default:
                return pick(5 * perBlock + 1);
        }
    };
    const auto verify = [&] {
        std::multiset<std::int32_t> seen;
        for (const auto& v : values) {
            ASSERT_EQ(table.Load(v.First, v.Stamp), v.Bytes);
            for (std::int32_t n : table.Chain(v.First)) seen.insert(n);
        }
        for (std::int32_t n : table.FreeChain()) seen.insert(n);
        std::multiset<std::int32_t> all;
        for (std::int32_t n = 1; n <= table.File.LastBlockNumber(); ++n) all.insert(n);
        ASSERT_EQ(seen, all);
        ASSERT_EQ(table.Blocks(), peakLive);
    };

    for (int step = 0; step < 400; ++step) {
        TModelValue& v = values[pick(values.size())];
        const std::size_t action = pick(10);
        if (action < 5) {
            // What the write path does: open (load), change, post (store).
            TBlobBuffer buffer(table.File, &table.Cursor, 1, 1, v.First, v.Stamp);
            buffer.LoadBlob();
            ASSERT_EQ(std::vector<std::uint8_t>(buffer.Data().begin(), buffer.Data().end()),
                      v.Bytes);
            const auto bytes = Pattern(randomLength(), static_cast<unsigned>(step));
            buffer.SetBlobLength(0);
            buffer.WriteBytes(0, bytes);
            buffer.StoreBlob(++lastStamp);
            v = {buffer.FirstBlock(), lastStamp, bytes};
            ASSERT_EQ(v.First == 0, bytes.empty());
        } else if (action < 7) {
            TBlobBuffer buffer(table.File, &table.Cursor, 1, 1, v.First, v.Stamp);
            buffer.DropBlob();
            v = {0, v.Stamp, {}};
        } else if (action < 8) {
            table.Reopen();
        } else if (action < 9) {
            table.Flush();
            table.File.DiscardBlocks();
        } else {
            ASSERT_EQ(table.Load(v.First, v.Stamp), v.Bytes);
        }
        peakLive = std::max(peakLive, live());
        if (step % 25 == 24) {
            verify();
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
    table.Reopen();
    verify();
}

INSTANTIATE_TEST_SUITE_P(Seeds, BlobModel,
                         ::testing::Values(TModelCase{64, 1}, TModelCase{64, 2}, TModelCase{512, 3},
                                           TModelCase{1024, 4}, TModelCase{4096, 5}));

}  // namespace
}  // namespace pirin::blob_test
