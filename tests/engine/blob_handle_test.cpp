// BLOB handles: opening a memo into a buffer, reading it in pieces, use
// counts, stale and foreign handles, the open limit, writes in memory.
#include <gtest/gtest.h>

#include "storage/little_endian.h"
#include "tests/engine/cursor_test_support.h"

namespace pirin::testing {
namespace {

constexpr int kId = 1;
constexpr int kNote = 2;
// Longer than one 64-byte block: the chain is read whole at open.
const std::string kText = "hello, memo " + std::string(120, '-') + " world";

class BlobHandleTest : public ::testing::Test {
  protected:
    BlobHandleTest()
        : Fixture({.Fields = {Field("Id", "INTEGER"), Field("Note", "MEMO")},
                   .Primary = TIndexDefinition{.Fields = {"Id"}},
                   .BlobBlockSize = 64},
                  TFixtureStorage::Memory, "Blobs") {
        Fixture.Append({1, kText});
        Fixture.Append({2, nullptr});
        Session = std::make_unique<TTableSession>(Fixture);
        Cursor = Session->OpenCursor();
        const auto records = ReadAll(*Cursor);
        Image = records.at(0);
        EmptyImage = records.at(1);
    }

    std::int32_t FieldValue(const std::vector<std::uint8_t>& image) const {
        std::array<std::uint8_t, 4> value{};
        (void)Cursor->GetField(kNote, image, value);
        return le::GetI32(value, 0);
    }
    std::string ReadText(std::uint32_t offset, std::size_t length, std::uint16_t& code) {
        std::vector<std::uint8_t> bytes(length);
        std::uint32_t count = 0;
        code = Cursor->GetBlob(kNote, Image, offset, bytes, count);
        return std::string(bytes.begin(), bytes.begin() + count);
    }

    TFixtureTable Fixture;
    std::unique_ptr<TTableSession> Session;
    std::unique_ptr<TDataCursor> Cursor;
    std::vector<std::uint8_t> Image;
    std::vector<std::uint8_t> EmptyImage;
};

TEST_F(BlobHandleTest, OpenPutsAHandleInTheImageUntilTheLastFree) {
    const std::int32_t firstBlock = FieldValue(Image);
    ASSERT_GT(firstBlock, 0);
    std::uint32_t length = 0;
    ASSERT_EQ(Cursor->OpenBlob(kNote, Image, TBlobOpenMode::Read, length), 0);
    EXPECT_EQ(length, kText.size());
    const std::int32_t handle = FieldValue(Image);
    EXPECT_LT(handle, 0);
    EXPECT_FALSE(Cursor->GetField(kNote, Image));

    // A second open of the same image shares the buffer.
    ASSERT_EQ(Cursor->OpenBlob(kNote, Image, TBlobOpenMode::Read, length), 0);
    EXPECT_EQ(FieldValue(Image), handle);
    EXPECT_EQ(Cursor->OpenBlobCount(), 1u);
    EXPECT_EQ(Cursor->FreeBlob(kNote, Image), 0);
    EXPECT_EQ(FieldValue(Image), handle);
    EXPECT_EQ(Cursor->FreeBlob(kNote, Image), 0);
    EXPECT_EQ(FieldValue(Image), firstBlock);
    EXPECT_EQ(Cursor->OpenBlobCount(), 0u);
    EXPECT_EQ(Cursor->FreeBlob(kNote, Image), PIRIN_INVALIDBLOBHANDLE);
}

TEST_F(BlobHandleTest, ReadsServePiecesAndStopAtTheEnd) {
    std::uint32_t length = 0;
    ASSERT_EQ(Cursor->OpenBlob(kNote, Image, TBlobOpenMode::Read, length), 0);
    std::uint16_t code = 1;
    EXPECT_EQ(ReadText(7, 4, code), "memo");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadText(length - 1, 10, code), "d");
    EXPECT_EQ(code, PIRIN_ENDOFBLOB);
    EXPECT_EQ(ReadText(length, 10, code), "");
    EXPECT_EQ(code, PIRIN_ENDOFBLOB);
    EXPECT_EQ(ReadText(length + 5, 1, code), "");
    EXPECT_EQ(code, PIRIN_ENDOFBLOB);
}

TEST_F(BlobHandleTest, EmptyMemoOpensWithLengthZeroAndStaysBlank) {
    std::uint32_t length = 99;
    ASSERT_EQ(Cursor->OpenBlob(kNote, EmptyImage, TBlobOpenMode::Read, length), 0);
    EXPECT_EQ(length, 0u);
    EXPECT_LT(FieldValue(EmptyImage), 0);
    EXPECT_TRUE(Cursor->GetField(kNote, EmptyImage));
    std::uint32_t size = 99;
    EXPECT_EQ(Cursor->GetBlobSize(kNote, EmptyImage, size), 0);
    EXPECT_EQ(size, 0u);
}

TEST_F(BlobHandleTest, WrongFieldsAndHandlesGiveTheirCodes) {
    std::uint32_t length = 0;
    std::uint32_t count = 0;
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_EQ(Cursor->OpenBlob(kId, Image, TBlobOpenMode::Read, length), PIRIN_NOTABLOB);
    EXPECT_EQ(Cursor->GetBlobSize(kId, Image, length), PIRIN_NOTABLOB);
    // Not open: the field holds a block number.
    EXPECT_EQ(Cursor->GetBlob(kNote, Image, 0, buffer, count), PIRIN_INVALIDBLOBHANDLE);
    EXPECT_EQ(Cursor->GetBlobSize(kNote, Image, length), PIRIN_INVALIDBLOBHANDLE);
    EXPECT_EQ(Cursor->PutBlob(kNote, Image, 0, buffer), PIRIN_INVALIDBLOBHANDLE);
    EXPECT_EQ(Cursor->TruncateBlob(kNote, Image, 0), PIRIN_INVALIDBLOBHANDLE);

    // A copy of an image whose BLOB was freed holds a stale handle.
    ASSERT_EQ(Cursor->OpenBlob(kNote, Image, TBlobOpenMode::Read, length), 0);
    auto stale = Image;
    ASSERT_EQ(Cursor->FreeBlob(kNote, Image), 0);
    EXPECT_EQ(Cursor->OpenBlob(kNote, stale, TBlobOpenMode::Read, length), PIRIN_INVALIDBLOBOFFSET);
    // Reopening gives a new handle: the stale one still names nothing.
    ASSERT_EQ(Cursor->OpenBlob(kNote, Image, TBlobOpenMode::Read, length), 0);
    EXPECT_NE(FieldValue(Image), FieldValue(stale));
    EXPECT_EQ(Cursor->GetBlobSize(kNote, stale, length), PIRIN_INVALIDBLOBHANDLE);
}

// A whole-value read gives what open, read from 0 and free give, with the
// same codes, and leaves the image and the open handles as they were.
TEST_F(BlobHandleTest, ReadBlobGivesTheWholeValueWithoutOpeningAHandle) {
    const auto untouched = Image;
    std::string text = "stale";
    ASSERT_EQ(Cursor->ReadBlob(kNote, Image, text), 0);
    EXPECT_EQ(text, kText);  // a chain of several blocks
    EXPECT_EQ(Image, untouched);
    EXPECT_EQ(Cursor->OpenBlobCount(), 0u);
    ASSERT_EQ(Cursor->ReadBlob(kNote, EmptyImage, text), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(Cursor->ReadBlob(kId, Image, text), PIRIN_NOTABLOB);

    // An image holding a handle reads the buffer, edits included; a stale
    // handle gives the open's code.
    std::uint32_t length = 0;
    ASSERT_EQ(Cursor->OpenBlob(kNote, Image, TBlobOpenMode::ReadWrite, length), 0);
    const std::array<std::uint8_t, 3> edit{'H', 'E', 'Y'};
    ASSERT_EQ(Cursor->PutBlob(kNote, Image, 0, edit), 0);
    ASSERT_EQ(Cursor->ReadBlob(kNote, Image, text), 0);
    EXPECT_EQ(text, "HEY" + kText.substr(3));
    EXPECT_EQ(Cursor->OpenBlobCount(), 1u);
    auto stale = Image;
    ASSERT_EQ(Cursor->FreeBlob(kNote, Image), 0);
    EXPECT_EQ(Cursor->ReadBlob(kNote, stale, text), PIRIN_INVALIDBLOBOFFSET);
    // A read refused like an open when every buffer is taken.
    std::vector<std::vector<std::uint8_t>> images(kMaxOpenBlobs, untouched);
    for (auto& image : images) ASSERT_EQ(Cursor->OpenBlob(kNote, image, TBlobOpenMode::Read, length), 0);
    auto another = untouched;
    EXPECT_EQ(Cursor->ReadBlob(kNote, another, text), PIRIN_OPENBLOBLIMIT);
}

TEST_F(BlobHandleTest, AtMost128BuffersPerCursor) {
    std::vector<std::vector<std::uint8_t>> images(kMaxOpenBlobs + 1, Image);
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < kMaxOpenBlobs; ++i)
        ASSERT_EQ(Cursor->OpenBlob(kNote, images[i], TBlobOpenMode::Read, length), 0) << i;
    EXPECT_EQ(Cursor->OpenBlob(kNote, images.back(), TBlobOpenMode::Read, length),
              PIRIN_OPENBLOBLIMIT);
    EXPECT_EQ(Cursor->FreeBlob(kNote, images[0]), 0);
    EXPECT_EQ(Cursor->OpenBlob(kNote, images.back(), TBlobOpenMode::Read, length), 0);
    // Closing the cursor frees every buffer.
    Cursor->Close();
    EXPECT_EQ(Cursor->OpenBlobCount(), 0u);
}

TEST_F(BlobHandleTest, WritesStayInMemoryAndBlankFollowsTheLength) {
    std::uint32_t length = 0;
    ASSERT_EQ(Cursor->OpenBlob(kNote, EmptyImage, TBlobOpenMode::ReadWrite, length), 0);
    const std::string more = "abc";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(more.data()),
                                              more.size());
    EXPECT_EQ(Cursor->PutBlob(kNote, EmptyImage, 5, bytes), 0);
    EXPECT_FALSE(Cursor->GetField(kNote, EmptyImage));
    EXPECT_EQ(Cursor->GetBlobSize(kNote, EmptyImage, length), 0);
    EXPECT_EQ(length, 8u);
    std::array<std::uint8_t, 8> read{};
    std::uint32_t count = 0;
    EXPECT_EQ(Cursor->GetBlob(kNote, EmptyImage, 0, read, count), 0);
    EXPECT_EQ(read, (std::array<std::uint8_t, 8>{0, 0, 0, 0, 0, 'a', 'b', 'c'}));

    EXPECT_EQ(Cursor->TruncateBlob(kNote, EmptyImage, 0), 0);
    EXPECT_TRUE(Cursor->GetField(kNote, EmptyImage));
    // Freed unposted: the field is back to its stored (empty) value.
    EXPECT_EQ(Cursor->FreeBlob(kNote, EmptyImage), 0);
    EXPECT_EQ(FieldValue(EmptyImage), 0);
    EXPECT_TRUE(Cursor->GetField(kNote, EmptyImage));
}

}  // namespace
}  // namespace pirin::testing
