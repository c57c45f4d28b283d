// Damaged and foreign BLOB chains: every link, count and stamp read from the
// file is checked, so damage ends in a clear engine error, never in a loop,
// a huge allocation or silently wrong bytes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>

#include "tests/storage/blob_test_support.h"

namespace pirin::blob_test {
namespace {

TEST(BlobForeignWriter, RestampedChainFailsToLoadButFreesWithRepair) {
    TBlobTable table;
    std::int32_t first = table.Store(Pattern(3 * 494, 1), 20);
    table.Flush();
    table.File.DiscardBlocks();

    {  // Another writer of the same file rewrites the chain's stamps.
        TPlainTableContext context;
        TBlobFile other(context, table.Name);
        other.SetInMemory(true);
        other.OpenFile();
        for (std::int32_t n : {1, 2, 3}) other.FetchBlock(nullptr, n)->SetOwnerStamp(99);
        (void)other.WriteBackBlocks();
        EXPECT_TRUE(other.WriteBlobHeader(true));
    }
    // The cursor learns of the change from the header and drops the caches.
    table.Cursor.OnCheck = [&](int) { return table.File.BlobHeaderChanged(); };
    EXPECT_EQ(table.LoadCode(first, 20), PIRIN_KEYORRECDELETED);
    EXPECT_GE(table.Cursor.Calls, 2);  // started over once after the change

    std::int32_t copy = first;
    EXPECT_EQ(CodeOf([&] { table.File.FreeChain(&table.Cursor, copy, 20, false); }),
              PIRIN_MEMOCORRUPT);
    EXPECT_EQ(copy, first);
    EXPECT_TRUE(table.FreeChain().empty());  // a refused free changes nothing

    table.File.FreeChain(&table.Cursor, first, 20, true);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(table.FreeChain(), (std::vector<std::int32_t>{3, 2, 1}));
    EXPECT_EQ(table.Block(2).Owner, 20);
}

TEST(BlobForeignWriter, AChangeReportedMidChainStartsTheLoadOverFromTheFirstBlock) {
    TBlobTable table;
    std::int32_t value = table.Store(Pattern(300, 1), 5);  // block 1
    const std::int32_t other = table.Store(Pattern(10, 2), 6);
    value = table.Store(Pattern(700, 3), 7, value, 5);  // blocks 1 and 3
    ASSERT_EQ(table.Chain(value), (std::vector<std::int32_t>{1, 3}));
    ASSERT_EQ(other, 2);
    table.Reopen();

    // The first block is read alone; block 3 then misses and asks the
    // cursor, just after another writer changed the first block's bytes.
    table.Cursor.OnCheck = [&](int call) {
        if (call != 2) return false;
        auto first = table.Raw(table.File.BlockOffset(1) + TBlock::kHeaderSize, 1);
        first[0] ^= 0xFF;
        table.PutRaw(table.File.BlockOffset(1) + TBlock::kHeaderSize, first);
        table.File.DiscardBlocks();
        return true;
    };
    auto expected = Pattern(700, 3);
    expected[0] ^= 0xFF;
    EXPECT_EQ(table.Load(value, 7), expected);
    EXPECT_EQ(table.Cursor.Calls, 4);
}

struct TDamageCase {
    const char* Name;
    std::function<void(TBlobTable&)> Damage;
    int Code;
};

class BlobDamagedChain : public ::testing::TestWithParam<TDamageCase> {};

// A three-block value (blocks 1, 2, 3) stamped 30, then damaged.
TEST_P(BlobDamagedChain, LoadingEndsWithTheEngineErrorAndKeepsNothing) {
    TBlobTable table;
    const std::int32_t first = table.Store(Pattern(3 * 494, 4), 30);
    GetParam().Damage(table);
    TBlobBuffer buffer(table.File, &table.Cursor, 1, 1, first, 30);
    EXPECT_EQ(CodeOf([&] { buffer.LoadBlob(); }), GetParam().Code);
    EXPECT_EQ(buffer.Length(), 0u);
    // The load into a string (a reader's whole-value read) checks the same.
    std::string text = "left over";
    EXPECT_EQ(CodeOf([&] { TBlobBuffer::LoadText(table.File, &table.Cursor, first, 30, text); }),
              GetParam().Code);
    EXPECT_EQ(text, "");
}

INSTANTIATE_TEST_SUITE_P(
    Damage, BlobDamagedChain,
    ::testing::Values(
        TDamageCase{"SelfLink", [](TBlobTable& t) { t.Damage(2, [](TBlock& b) { b.SetNext(2); }); },
                    PIRIN_MEMOCORRUPT},
        // Without a visited check the walk would read 1, 2, 1 and return the
        // first block's bytes twice as if they were the third's.
        TDamageCase{"CycleBackToTheFirst",
                    [](TBlobTable& t) { t.Damage(2, [](TBlock& b) { b.SetNext(1); }); },
                    PIRIN_MEMOCORRUPT},
        TDamageCase{"LinkBeyondTheLastBlock",
                    [](TBlobTable& t) { t.Damage(2, [](TBlock& b) { b.SetNext(4); }); },
                    PIRIN_MEMOCORRUPT},
        TDamageCase{"NegativeLink",
                    [](TBlobTable& t) { t.Damage(1, [](TBlock& b) { b.SetNext(-5); }); },
                    PIRIN_MEMOCORRUPT},
        TDamageCase{"ChainEndsEarly",
                    [](TBlobTable& t) { t.Damage(2, [](TBlock& b) { b.SetNext(0); }); },
                    PIRIN_ENDOFBLOB},
        TDamageCase{"BlockUsesLessThanItHolds",
                    [](TBlobTable& t) { t.Damage(2, [](TBlock& b) { b.SetBytesUsed(100); }); },
                    PIRIN_ENDOFBLOB},
        TDamageCase{"UsedCountBeyondTheDataPart",
                    [](TBlobTable& t) { t.Damage(3, [](TBlock& b) { b.SetBytesUsed(600); }); },
                    PIRIN_MEMOCORRUPT},
        TDamageCase{"StampChangedInTheMiddle",
                    [](TBlobTable& t) { t.Damage(3, [](TBlock& b) { b.SetOwnerStamp(31); }); },
                    PIRIN_KEYORRECDELETED},
        TDamageCase{
            "HugeTotalLength",
            [](TBlobTable& t) { t.Damage(1, [](TBlock& b) { b.SetTotalLength(INT32_MAX); }); },
            PIRIN_MEMOCORRUPT},
        TDamageCase{"NegativeTotalLength",
                    [](TBlobTable& t) { t.Damage(1, [](TBlock& b) { b.SetTotalLength(-1); }); },
                    PIRIN_MEMOCORRUPT}),
    [](const ::testing::TestParamInfo<TDamageCase>& info) { return info.param.Name; });

TEST(BlobDamagedChain, ALongerChainIsReadOnlyAsFarAsTheStoredLength) {
    TBlobTable table;
    const std::int32_t first = table.Store(Pattern(3 * 494, 4), 30);
    table.Damage(1, [](TBlock& b) { b.SetTotalLength(494 + 10); });
    table.Damage(3, [](TBlock& b) { b.SetNext(3); });  // never reached
    const auto all = Pattern(3 * 494, 4);
    EXPECT_EQ(table.Load(first, 30), std::vector<std::uint8_t>(all.begin(), all.begin() + 504));
}

// Memory the process may still map, for the allocation test.
std::size_t MappedBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

TEST(BlobDamagedChain, APlausibleButFalseLengthAllocatesOnlyWhatTheChainHolds) {
    // The header claims two million blocks, so a 900 MB length passes the
    // first check; the chain has one block. Loading in a child limited to a
    // few hundred megabytes of address space must end with 8711, not with a
    // failed allocation.
    pirin::testing::TChildProcess child([](auto&) {
        TBlobTable table;
        const std::int32_t first = table.Store(Pattern(100, 1), 3);
        table.Flush();
        table.PutHeader([](TBlobHeader& h) { h.SetNextBlockNumber(2'000'000); });
        table.Damage(first, [](TBlock& b) { b.SetTotalLength(900'000'000); });
        const rlimit limit{MappedBytes() + (256u << 20), MappedBytes() + (256u << 20)};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) return 2;
        return table.LoadCode(first, 3) == PIRIN_ENDOFBLOB ? 0 : 1;
    });
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.Wait(), 0);
}

TEST(BlobDamagedChain, AFreeChainLeadingIntoTheValueBeingStoredIsRefused) {
    TBlobTable table;
    const std::int32_t value = table.Store(Pattern(3 * 494, 1), 1);  // blocks 1..3
    std::int32_t spare = table.Store(Pattern(10, 2), 2);             // block 4
    table.File.FreeChain(&table.Cursor, spare, 2, false);
    table.Damage(4, [](TBlock& b) { b.SetNext(2); });  // free chain 4 -> 2
    // Growing the value takes block 4, then would take block 2 a second time.
    EXPECT_EQ(CodeOf([&] { (void)table.Store(Pattern(5 * 494, 3), 5, value, 1); }),
              PIRIN_MEMOCORRUPT);
}

TEST(BlobDamagedChain, ADamagedOldChainIsRefusedBeforeAnyBlockIsRewritten) {
    TBlobTable table;
    const std::int32_t value = table.Store(Pattern(3 * 494, 1), 1);
    table.Damage(3, [](TBlock& b) { b.SetNext(1); });
    EXPECT_EQ(CodeOf([&] { (void)table.Store(Pattern(2 * 494, 2), 2, value, 1); }),
              PIRIN_MEMOCORRUPT);
    EXPECT_EQ(table.Block(1).Owner, 1);
    EXPECT_EQ(table.Block(1).Total, 3 * 494);
}

TEST(BlobAllocation, NewBlocksStopAtTheBlockAndOffsetLimits) {
    struct TCase {
        std::uint32_t BlockSize;
        std::int32_t Next;
        int Code;
    };
    // Block n ends at 512 + n * block size, which may not pass 4,000,000,000.
    // (The block-number limit of two billion lies beyond that for every
    // block size a file can have.)
    for (const TCase c : {TCase{4096, 976562, 0}, TCase{4096, 976563, PIRIN_TABLEFULL},
                          TCase{512, 7812499, 0}, TCase{512, 7812500, PIRIN_TABLEFULL}}) {
        TBlobTable table(c.BlockSize);
        table.PutHeader([&](TBlobHeader& h) { h.SetNextBlockNumber(c.Next); });
        EXPECT_EQ(CodeOf([&] { (void)table.File.AllocateBlock(nullptr); }), c.Code) << c.Next;
        table.File.DiscardBlocks();  // never write the block at 4 GB
    }
}

TEST(BlobAllocation, AFreeChainHeadOutsideTheFileIsAHeaderError) {
    TBlobTable table;
    (void)table.Store(Pattern(10, 1), 1);
    table.PutHeader([](TBlobHeader& h) { h.SetFirstFreeBlock(2); });
    EXPECT_EQ(CodeOf([&] { (void)table.File.AllocateBlock(nullptr); }), PIRIN_HEADERCORRUPT);
}

}  // namespace
}  // namespace pirin::blob_test
