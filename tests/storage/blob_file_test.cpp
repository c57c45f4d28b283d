// The BLOB file itself: creating and opening, the header and its change
// counter, the file check, and the two scrambled runs of every block.
#include <gtest/gtest.h>

#include "storage/scramble.h"
#include "tests/storage/blob_test_support.h"

namespace pirin::blob_test {
namespace {

TEST(BlobFile, CreateWritesNothingUntilTheHeaderIsWrittenThenOthersSeeTheCounter) {
    TPlainTableContext context;
    const std::string name = MemoryName();
    TBlobFile file(context, name);
    file.SetInMemory(true);
    file.CreateNewFile();
    EXPECT_EQ(file.FileLength(), 0);
    EXPECT_TRUE(file.HeaderIsChanged());
    EXPECT_EQ(file.Header(), TBlobHeader::New());
    EXPECT_EQ(file.LastBlockNumber(), 0);
    EXPECT_EQ(file.ReadAheadBlocks(), 32);  // 16384 / 512

    EXPECT_TRUE(file.WriteBlobHeader());
    EXPECT_FALSE(file.WriteBlobHeader());  // nothing changed since
    EXPECT_TRUE(context.Written);
    file.CloseFile();
    file.OpenFile();

    std::vector<std::uint8_t> raw(512);
    {
        TFileHandler handler(name);
        handler.SetInMemory(true);
        handler.OpenFile();
        ASSERT_EQ(handler.FileLength(), 512);
        handler.ReadAt(0, raw.data(), raw.size());
    }
    std::vector<std::uint8_t> expected(512, 0);
    expected[0] = 1;   // change counter
    expected[8] = 5;   // version
    expected[13] = 1;  // next block number
    expected[17] = 1;  // the writer's changed mark
    EXPECT_EQ(raw, expected);

    // Another handler of the file touches and writes the header: the first
    // sees the change once.
    TPlainTableContext otherContext;
    TBlobFile other(otherContext, name);
    other.SetInMemory(true);
    other.OpenFile();
    other.TouchBlobHeader();
    EXPECT_TRUE(otherContext.Written);
    EXPECT_TRUE(other.WriteBlobHeader());
    EXPECT_EQ(other.Header().ChangeCounter(), 3);
    EXPECT_TRUE(file.BlobHeaderChanged());
    EXPECT_FALSE(file.BlobHeaderChanged());
    EXPECT_EQ(file.Header().ChangeCounter(), 3);
    file.CloseFile();
    other.CloseFile();
    file.RemoveFile();
}

TEST(BlobFile, ABlockSizeWithoutRoomForDataIsRefused) {
    for (std::uint32_t size : {1u, 18u, 0x10012u}) {
        TPlainTableContext context;
        TBlobFile file(context, MemoryName(), size);
        file.SetInMemory(true);
        EXPECT_EQ(CodeOf([&] { file.CreateNewFile(); }), PIRIN_HEADERCORRUPT) << size;
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST(BlobFile, AFileShorterThanItsHeaderFailsToOpenAndStaysClosed) {
    TBlobTable table;
    table.File.CloseFile();
    {
        TFileHandler handler(table.Name);
        handler.SetInMemory(true);
        handler.OpenFile();
        handler.SeekTo(0, 100);
        handler.WriteBytes(nullptr, 0);  // truncate
    }
    EXPECT_EQ(CodeOf([&] { table.File.OpenFile(); }), PIRIN_READERR);
    EXPECT_FALSE(table.File.IsOpen());
}

struct TCheckCase {
    const char* Name;
    std::int32_t Blocks;  // blocks stored before the header is changed
    std::function<void(TBlobHeader&)> Change;
    int Code;
};

class BlobFileCheck : public ::testing::TestWithParam<TCheckCase> {};

TEST_P(BlobFileCheck, JudgesTheHeaderAgainstItselfAndTheFile) {
    const TCheckCase& c = GetParam();
    TBlobTable table;
    if (c.Blocks > 0) (void)table.Store(Pattern(static_cast<std::size_t>(c.Blocks) * 494, 1), 1);
    table.Flush();
    table.PutHeader(c.Change);
    EXPECT_EQ(CodeOf([&] { table.File.CheckBlobFile(); }), c.Code);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BlobFileCheck,
    ::testing::Values(
        TCheckCase{"EmptyFile", 0, [](TBlobHeader&) {}, 0},
        TCheckCase{"FreeBlockInAnEmptyFile", 0, [](TBlobHeader& h) { h.SetFirstFreeBlock(1); },
                   PIRIN_HEADERCORRUPT},
        TCheckCase{"VersionFour", 0, [](TBlobHeader& h) { h.SetVersion(4); }, PIRIN_OLDVERSION},
        TCheckCase{"FreeBlockIsTheLast", 3, [](TBlobHeader& h) { h.SetFirstFreeBlock(3); }, 0},
        TCheckCase{"FreeBlockPastTheLast", 3, [](TBlobHeader& h) { h.SetFirstFreeBlock(4); },
                   PIRIN_HEADERCORRUPT},
        TCheckCase{"NegativeFreeBlock", 3, [](TBlobHeader& h) { h.SetFirstFreeBlock(-1); },
                   PIRIN_HEADERCORRUPT},
        TCheckCase{"NegativeBlockCount", 0, [](TBlobHeader& h) { h.SetNextBlockNumber(0); },
                   PIRIN_HEADERCORRUPT},
        TCheckCase{"MoreBlocksThanTheFileHolds", 3, [](TBlobHeader& h) { h.SetNextBlockNumber(5); },
                   PIRIN_HEADERCORRUPT},
        // Blocks written back before a header write that never came.
        TCheckCase{"FewerBlocksThanTheFileHolds", 3,
                   [](TBlobHeader& h) { h.SetNextBlockNumber(3); }, 0}),
    [](const ::testing::TestParamInfo<TCheckCase>& info) { return info.param.Name; });

TEST(BlobFileCheck, BlocksNotYetWrittenDoNotMakeTheFileLookShort) {
    TBlobTable table;
    (void)table.Store(Pattern(2 * 494, 1), 1);
    EXPECT_EQ(table.File.Header().NextBlockNumber(), 3);
    EXPECT_EQ(table.File.FileLength(), 512);
    EXPECT_EQ(CodeOf([&] { table.File.CheckBlobFile(); }), 0);
}

TEST(BlobFile, EncryptedBlocksAreTwoScrambledRunsAndReadBackClear) {
    TBlobTable table(0, true);
    const auto value = Pattern(600, 9);
    const std::int32_t first = table.Store(value, 0x01020304);
    table.Reopen();

    // Block 2 in the clear: previous 1, next 0, 106 bytes used, the stamp,
    // total 0, then the value's last 106 bytes and zeros.
    std::vector<std::uint8_t> header{1, 0, 0, 0, 0, 0, 0, 0, 106, 0, 4, 3, 2, 1, 0, 0, 0, 0};
    std::vector<std::uint8_t> data(494, 0);
    std::copy(value.begin() + 494, value.end(), data.begin());
    ScrambleBytes(header.data(), header.size(), kDataSeeds);
    ScrambleBytes(data.data(), data.size(), kDataSeeds);
    EXPECT_EQ(table.Raw(table.File.BlockOffset(2), 18), header);
    EXPECT_EQ(table.Raw(table.File.BlockOffset(2) + 18, 494), data);

    const auto raw = table.Raw(0, 512);
    std::vector<std::uint8_t> unscrambled = raw;
    ScrambleBytes(unscrambled.data(), unscrambled.size(), kDataSeeds);
    EXPECT_EQ(unscrambled[8], 5);
    EXPECT_EQ(unscrambled[13], 3);  // next block number
    EXPECT_NE(raw[8], 5);

    EXPECT_EQ(table.Load(first, 0x01020304), value);
}

}  // namespace
}  // namespace pirin::blob_test
