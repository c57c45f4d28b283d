// BLOB streams and memo fields: text and lines, reads in pieces, seeks
// beyond the end, the memo of the record that stayed current after a missed
// FindKey, and writing refused outside edit and insert.
#include <gmock/gmock.h>

#include "tables/blob_stream.h"
#include "tests/tables/tables_test_support.h"

namespace pirin::testing {
namespace {

const std::string kLong = [] {
    std::string text;
    for (int i = 0; i < 35; ++i) text += "line " + std::to_string(i) + " of the memo.\r\n";
    return text;
}();

class BlobStreamTest : public TablesTest {
  protected:
    BlobStreamTest() : Fixture(WordsDefinition(), TFixtureStorage::Disk, "Words") {
        Fixture.Append({1, "apple", nullptr});
        Fixture.Append({2, "banana", "one\r\ntwo\rthree\nfour"});
        Fixture.Append({3, "cherry", kLong});
        Fixture.Append({4, "date", TValue::Bytes({'a', 'b', 0, 'c', '\r', '\n'})});
        PointAt(Table, Fixture);
        Table.SetIndexName("IdxWord");
        Table.Open();
    }
    TField& Desc() { return Table.FieldByName("Desc"); }
    std::vector<std::string> Lines() { return dynamic_cast<TMemoField&>(Desc()).Lines(); }
    TFixtureTable Fixture;
    TPirinTable Table;
};

TEST_F(BlobStreamTest, EmptyMemoGivesEmptyTextAndNoLines) {
    EXPECT_EQ(Desc().AsString(), "");
    EXPECT_THAT(Lines(), ::testing::IsEmpty());
}

TEST_F(BlobStreamTest, LinesSplitAtCrLfCrOrLfAndStopAtAZeroByte) {
    ASSERT_TRUE(Table.FindKey({std::string("banana")}));
    EXPECT_EQ(Desc().AsString(), "one\r\ntwo\rthree\nfour");
    EXPECT_THAT(Lines(), ::testing::ElementsAre("one", "two", "three", "four"));
    ASSERT_TRUE(Table.FindKey({std::string("cherry")}));
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines.back(), "line 34 of the memo.");
    ASSERT_TRUE(Table.FindKey({std::string("date")}));
    EXPECT_THAT(Lines(), ::testing::ElementsAre("ab"));
}

TEST_F(BlobStreamTest, ReadsInPiecesReturnTheWholeContentThenZero) {
    ASSERT_TRUE(Table.FindKey({std::string("cherry")}));
    auto stream = Table.CreateBlobStream(Desc(), TBlobStreamMode::Read);
    ASSERT_EQ(stream->Size(), static_cast<std::int32_t>(kLong.size()));
    std::string read;
    std::vector<std::int32_t> pieces;
    std::array<std::uint8_t, 100> piece{};
    for (std::int32_t count; (count = stream->Read(piece)) > 0;) {
        pieces.push_back(count);
        read.append(piece.begin(), piece.begin() + count);
    }
    EXPECT_EQ(read, kLong);
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_EQ(pieces.front(), 100);
    EXPECT_EQ(pieces.back(), static_cast<std::int32_t>(kLong.size() % 100));
    EXPECT_EQ(stream->Read(piece), 0);
}

TEST_F(BlobStreamTest, ReadsAtAnyPositionAndSeeksWithoutBounds) {
    ASSERT_TRUE(Table.FindKey({std::string("banana")}));
    auto stream = Table.CreateBlobStream(Desc(), TBlobStreamMode::Read);
    std::array<std::uint8_t, 3> bytes{};
    EXPECT_EQ(stream->Seek(5, TSeekOrigin::Beginning), 5);
    ASSERT_EQ(stream->Read(bytes), 3);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "two");
    EXPECT_EQ(stream->Seek(-4, TSeekOrigin::End), 15);
    ASSERT_EQ(stream->Read(bytes), 3);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "fou");
    EXPECT_EQ(stream->Seek(1000, TSeekOrigin::Current), 1018);
    EXPECT_EQ(stream->Read(bytes), 0);
    EXPECT_EQ(stream->Position(), 1018);
}

TEST_F(BlobStreamTest, MemoAfterAMissedFindKeyIsTheOneOfTheRecordThatStayed) {
    ASSERT_TRUE(Table.FindKey({std::string("banana")}));
    EXPECT_FALSE(Table.FindKey({std::string("blueberry")}));
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
    EXPECT_THAT(Lines(), ::testing::ElementsAre("one", "two", "three", "four"));
}

TEST_F(BlobStreamTest, StreamsReleaseTheirBlobs) {
    ASSERT_TRUE(Table.FindKey({std::string("cherry")}));
    for (int i = 0; i < 200; ++i) EXPECT_EQ(Desc().AsString().size(), kLong.size());
    EXPECT_EQ(Table.Cursor()->OpenBlobCount(), 0u);
}

// One string reused for every record: each value replaces the last whole,
// a blank memo empties it, and an edited value is the one read.
TEST_F(BlobStreamTest, ReadTextReusesTheCallersStringForEachRecord) {
    auto& desc = dynamic_cast<TBlobField&>(Desc());
    std::string text = "left over from before";
    std::vector<std::string> read;
    for (Table.First(); !Table.Eof(); Table.Next()) {
        desc.ReadText(text);
        read.push_back(text);
        EXPECT_EQ(text, desc.AsString());
    }
    EXPECT_THAT(read, ::testing::ElementsAre("", "one\r\ntwo\rthree\nfour", kLong,
                                             std::string("ab\0c\r\n", 6)));
    ASSERT_TRUE(Table.FindKey({std::string("cherry")}));
    Table.Edit();
    desc.SetAsString("short");
    desc.ReadText(text);
    EXPECT_EQ(text, "short");
    Table.Cancel();
    desc.ReadText(text);
    EXPECT_EQ(text, kLong);
    EXPECT_EQ(Table.Cursor()->OpenBlobCount(), 0u);
}

TEST_F(BlobStreamTest, MemoTextFollowsAnEditAndAnotherTablesWrite) {
    ASSERT_TRUE(Table.FindKey({std::string("banana")}));
    Table.Edit();
    Desc().SetAsString("edited\nmemo");
    EXPECT_EQ(Desc().AsString(), "edited\nmemo");
    EXPECT_THAT(Lines(), ::testing::ElementsAre("edited", "memo"));
    Table.Cancel();
    EXPECT_EQ(Desc().AsString(), "one\r\ntwo\rthree\nfour");

    // Another table replaces the memo: the chain the stale record names no
    // longer belongs to it, so the record is read again.
    TPirinTable other;
    PointAt(other, Fixture);
    other.SetIndexName("IdxWord");
    other.Open();
    ASSERT_TRUE(other.FindKey({std::string("banana")}));
    other.Edit();
    other.FieldByName("Desc").SetAsString(kLong + "more");
    other.Post();
    EXPECT_EQ(Desc().AsString(), kLong + "more");
    EXPECT_EQ(Table.Cursor()->OpenBlobCount(), 0u);
}

TEST_F(BlobStreamTest, WritingOutsideEditOrInsertIsRefused) {
    EXPECT_EQ(MessageOf([&] { Table.CreateBlobStream(Desc(), TBlobStreamMode::Write); }),
              "Table is not in edit or insert mode.");
    Desc().ReadOnly = true;
    EXPECT_EQ(MessageOf([&] { Table.CreateBlobStream(Desc(), TBlobStreamMode::ReadWrite); }),
              "Field Desc cannot be modified.");
    EXPECT_EQ(Table.Cursor()->OpenBlobCount(), 0u);
}

}  // namespace
}  // namespace pirin::testing

namespace pirin::testing {
namespace {

TEST_F(BlobStreamTest, WholeBlobIntoBytesGrowsTheArrayAndFreesTheBlob) {
    ASSERT_TRUE(Table.FindKey({std::string("cherry")}));
    const int fieldNo = Desc().FieldNo();
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(Table.ReadWholeBlob(fieldNo, bytes), kLong.size());
    EXPECT_EQ(bytes.size(), kLong.size() + kLong.size() / 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kLong.size())), kLong);
    EXPECT_EQ(Table.Cursor()->OpenBlobCount(), 0u);
    // Not a BLOB field: nothing.
    EXPECT_EQ(Table.ReadWholeBlob(Table.FieldByName("Word").FieldNo(), bytes), 0u);
}

}  // namespace
}  // namespace pirin::testing
