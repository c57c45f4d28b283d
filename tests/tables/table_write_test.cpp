// Editing through the table component: insert, edit and delete reach the
// files (checked by a second table and the verifier), cancel changes
// nothing, memos are written through a stream, read-only tables refuse,
// database transactions commit and roll back, and after a post the component
// shows what a read where the cursor stands shows.
#include <gmock/gmock.h>

#include "tables/blob_stream.h"
#include "tests/tables/tables_test_support.h"

namespace pirin::testing {
namespace {

class TableWriteTest : public TablesTest {
  protected:
    TableWriteTest() : Fixture(WordsDefinition(), TFixtureStorage::Disk, "Words") {
        Fixture.Append({1, "apple", "green"});
        Fixture.Append({2, "banana", nullptr});
        Database.SetDatabaseName("DB");
        Database.SetDirectory(Fixture.Directory());
        Table.SetDatabaseName("DB");
        Table.SetTableName("Words");
        Table.SetIndexName("IdxWord");
        Table.Open();
    }
    // The words and memos as another table component reads them.
    std::vector<std::string> Stored() {
        TPirinTable reader;
        reader.SetDatabaseName("DB");
        reader.SetTableName("Words");
        reader.SetIndexName("IdxWord");
        reader.Open();
        std::vector<std::string> rows;
        for (; !reader.Eof(); reader.Next())
            rows.push_back(reader.FieldByName("Word").AsString() + ":" + reader.FieldByName("Desc").AsString());
        return rows;
    }
    TFixtureTable Fixture;
    TPirinDatabase Database;
    TPirinTable Table;
};

TEST_F(TableWriteTest, InsertPostsANewRecordWithItsMemoAndStandsOnIt) {
    Table.Insert();
    EXPECT_EQ(Table.State(), TDataSetState::Insert);
    EXPECT_EQ(Table.RecNo(), -1);
    Table.FieldByName("Id").SetAsInteger(3);
    Table.FieldByName("Word").SetAsString("avocado");
    Table.FieldByName("Desc").SetAsString("a fruit\r\nwith a stone");
    Table.Post();
    EXPECT_EQ(Table.State(), TDataSetState::Browse);
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "avocado");
    EXPECT_EQ(Table.RecNo(), 2);
    EXPECT_THAT(Stored(), ::testing::ElementsAre("apple:green", "avocado:a fruit\r\nwith a stone", "banana:"));
    EXPECT_EQ(Table.Cursor()->OpenBlobCount(), 0u);
    Table.Close();
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

// After a post the component shows what a read where the cursor stands
// shows: the posted record with its position, or, when a range leaves the
// record out of the view, the record the cursor moved to.
TEST_F(TableWriteTest, PostShowsWhatAReadWhereTheCursorStandsShows) {
    struct TCase {
        const char* What;
        bool Edit;
        bool Ranged;
        const char* Word;
        const char* Shown;
        std::int32_t RecNo;
    };
    const TCase cases[] = {
        {"an insert", false, false, "avocado", "avocado", 2},
        {"an edit", true, false, "apricot", "apricot", 1},
        {"an insert outside the range", false, true, "cherry", "banana", 3},
        {"an edit out of the range", true, true, "zucchini", "banana", 2},
    };
    std::int32_t id = 10;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        if (c.Ranged)
            Table.SetRange({std::string("a")}, {std::string("c")});
        else
            Table.CancelRange();
        if (c.Edit) {
            Table.First();
            Table.Edit();
        } else {
            Table.Insert();
            Table.FieldByName("Id").SetAsInteger(++id);
        }
        Table.FieldByName("Word").SetAsString(c.Word);
        Table.FieldByName("Desc").SetAsString(std::string("memo of ") + c.Word);
        Table.Post();
        const std::string shown = Table.FieldByName("Word").AsString();
        const std::string memo = Table.FieldByName("Desc").AsString();
        const std::int32_t recNo = Table.RecNo();
        EXPECT_EQ(shown, c.Shown);
        EXPECT_EQ(recNo, c.RecNo);
        Table.Refresh();
        EXPECT_EQ(Table.FieldByName("Word").AsString(), shown);
        EXPECT_EQ(Table.FieldByName("Desc").AsString(), memo);
        EXPECT_EQ(Table.RecNo(), recNo);
    }
    Table.Close();
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

TEST_F(TableWriteTest, EditChangesTheRecordAndMovesItInTheIndex) {
    ASSERT_TRUE(Table.FindKey({std::string("apple")}));
    Table.Edit();
    Table.FieldByName("Word").SetAsString("cherry");
    EXPECT_TRUE(Table.Modified());
    Table.Next();  // leaving the record posts it
    EXPECT_EQ(Table.State(), TDataSetState::Browse);
    EXPECT_THAT(Stored(), ::testing::ElementsAre("banana:", "cherry:green"));
    ASSERT_TRUE(Table.FindKey({std::string("cherry")}));
    Table.Edit();
    auto stream = Table.CreateBlobStream(Table.FieldByName("Desc"), TBlobStreamMode::Write);
    const std::string text = "red";
    stream->Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    stream.reset();
    Table.Post();
    EXPECT_THAT(Stored(), ::testing::ElementsAre("banana:", "cherry:red"));
    Table.Close();
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

// A walk steps from the record it shows without searching for it again;
// what another component wrote between two steps must still be seen.
TEST_F(TableWriteTest, AWalkSeesWhatAnotherComponentWroteBetweenSteps) {
    TPirinTable writer;
    writer.SetDatabaseName("DB");
    writer.SetTableName("Words");
    writer.Open();
    ASSERT_EQ(Table.FieldByName("Word").AsString(), "apple");
    writer.Append();
    writer.FieldByName("Id").SetAsInteger(3);
    writer.FieldByName("Word").SetAsString("avocado");
    writer.FieldByName("Desc").SetAsString("stone");
    writer.Post();
    Table.Next();
    EXPECT_EQ(Table.FieldByName("Word").AsString() + ":" + Table.FieldByName("Desc").AsString(),
              "avocado:stone");
    ASSERT_TRUE(writer.FindKey({std::int64_t{2}}));
    writer.Delete();
    Table.Next();
    EXPECT_TRUE(Table.Eof());
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "avocado");
    Table.Prior();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "apple");
}

TEST_F(TableWriteTest, CancelLeavesTheTableAsItWas) {
    ASSERT_TRUE(Table.FindKey({std::string("banana")}));
    Table.Edit();
    Table.FieldByName("Word").SetAsString("zzz");
    Table.FieldByName("Desc").SetAsString("never stored");
    Table.Cancel();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
    Table.Insert();
    Table.FieldByName("Id").SetAsInteger(9);
    Table.Cancel();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
    EXPECT_EQ(Table.Cursor()->OpenBlobCount(), 0u);
    EXPECT_THAT(Stored(), ::testing::ElementsAre("apple:green", "banana:"));
}

// Cancel after Append comes back to the last record as the table has it
// then (another writer may have added one meanwhile), and to no record at
// all on an empty table; nothing of the new record stays behind.
TEST_F(TableWriteTest, CancelAfterAppendStandsOnTheLastRecord) {
    ASSERT_TRUE(Table.FindKey({std::string("apple")}));
    Table.Append();
    Table.FieldByName("Id").SetAsInteger(7);
    Table.FieldByName("Word").SetAsString("aardvark");
    Table.FieldByName("Desc").SetAsString("never stored");
    Table.Cancel();
    EXPECT_EQ(Table.State(), TDataSetState::Browse);
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
    EXPECT_EQ(Table.RecNo(), 2);
    Table.Next();
    EXPECT_TRUE(Table.Eof());
    EXPECT_EQ(Table.Cursor()->OpenBlobCount(), 0u);

    Table.First();
    Table.Append();
    {
        TPirinTable writer;
        writer.SetDatabaseName("DB");
        writer.SetTableName("Words");
        writer.Open();
        writer.Append();
        writer.FieldByName("Id").SetAsInteger(3);
        writer.FieldByName("Word").SetAsString("cherry");
        writer.Post();
    }
    Table.Cancel();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "cherry");
    EXPECT_THAT(Stored(), ::testing::ElementsAre("apple:green", "banana:", "cherry:"));

    Table.First();
    while (!Table.Eof()) Table.Delete();
    Table.Append();
    Table.FieldByName("Word").SetAsString("lost");
    Table.Cancel();
    EXPECT_TRUE(Table.Bof());
    EXPECT_TRUE(Table.Eof());
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "");
    EXPECT_THAT(Stored(), ::testing::IsEmpty());
    Table.Close();
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

TEST_F(TableWriteTest, DeleteRemovesTheRecordAndShowsTheNextOne) {
    Table.First();
    Table.Delete();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
    EXPECT_EQ(Table.RecordCount(), 1);
    Table.Delete();
    EXPECT_TRUE(Table.IsEmpty());
    EXPECT_THAT(Stored(), ::testing::IsEmpty());
    Table.Close();
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

TEST_F(TableWriteTest, DuplicateKeyFailsAndStaysInInsert) {
    Table.Insert();
    Table.FieldByName("Id").SetAsInteger(1);
    Table.FieldByName("Word").SetAsString("dup");
    EXPECT_EQ(CodeOfCall([&] { Table.Post(); }), 9729);
    EXPECT_EQ(Table.State(), TDataSetState::Insert);
    Table.FieldByName("Id").SetAsInteger(5);
    Table.Post();
    EXPECT_THAT(Stored(), ::testing::ElementsAre("apple:green", "banana:", "dup:"));
}

TEST_F(TableWriteTest, ReadOnlyTableRefusesToEdit) {
    Table.Close();
    Table.SetReadOnly(true);
    Table.Open();
    EXPECT_FALSE(Table.CanModify());
    EXPECT_EQ(MessageOf([&] { Table.Edit(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(MessageOf([&] { Table.Delete(); }), "Cannot modify a read-only dataset");
}

TEST_F(TableWriteTest, TransactionsCommitAndRollBack) {
    EXPECT_EQ(MessageOf([&] {
                  TPirinDatabase closed;
                  closed.StartTransaction();
              }),
              "Cannot perform this operation on a closed database.");
    EXPECT_EQ(MessageOf([&] { Database.Commit(); }), "Database DB has no active transaction.");
    Database.StartTransaction();
    EXPECT_EQ(MessageOf([&] { Database.StartTransaction(); }),
              "Database DB already has an active transaction.");
    Table.Append();
    Table.FieldByName("Id").SetAsInteger(3);
    Table.FieldByName("Word").SetAsString("cherry");
    Table.Post();
    Database.Rollback();
    EXPECT_THAT(Stored(), ::testing::ElementsAre("apple:green", "banana:"));
    Table.Refresh();
    Database.StartTransaction();
    Table.Append();
    Table.FieldByName("Id").SetAsInteger(4);
    Table.FieldByName("Word").SetAsString("date");
    Table.Post();
    Database.Commit();
    EXPECT_FALSE(Database.InTransaction());
    EXPECT_THAT(Stored(), ::testing::ElementsAre("apple:green", "banana:", "date:"));
}

}  // namespace
}  // namespace pirin::testing
