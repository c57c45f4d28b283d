// Database components: names, setter rules, connecting through the default
// session, databases found by tables, temporary databases for folders and
// their life with and without KeepConnections, HandleShared.
#include <gmock/gmock.h>

#include "engine/data_directory.h"
#include "tests/tables/tables_test_support.h"

namespace pirin::testing {
namespace {

class DatabaseTest : public TablesTest {
  protected:
    DatabaseTest() : Fixture(WordsDefinition(), TFixtureStorage::Disk, "Words") {
        Fixture.Append({1, "apple", "a fruit"});
    }
    TFixtureTable Fixture;
};

TEST_F(DatabaseTest, ConnectingOpensTheFolderInTheDefaultSession) {
    TPirinDatabase database;
    EXPECT_EQ(MessageOf([&] { database.Open(); }), "Database name is missing.");
    database.SetDatabaseName("DB");
    database.SetDirectory(Fixture.Directory());
    EXPECT_EQ(database.SessionName(), "Default");
    database.SetConnected(true);
    ASSERT_TRUE(database.Connected());
    EXPECT_TRUE(Session().Active());
    EXPECT_EQ(database.EngineDirectory()->Path(), Fixture.Directory());
    EXPECT_EQ(Session().FindDatabase("db"), &database);
    database.Close();
    EXPECT_FALSE(database.Connected());
}

TEST_F(DatabaseTest, NamesAndFoldersMayChangeOnlyWhileDisconnected) {
    TPirinDatabase database;
    database.SetDatabaseName("DB");
    database.SetDirectory(Fixture.Directory());
    database.Open();
    const std::string refusal = "Cannot perform this operation on an open database.";
    EXPECT_EQ(MessageOf([&] { database.SetDirectory("/elsewhere/"); }), refusal);
    EXPECT_EQ(database.Directory(), Fixture.Directory());
    EXPECT_EQ(MessageOf([&] { database.SetDatabaseName("Other"); }), refusal);
    EXPECT_EQ(database.EngineVersion(), "3.17");
}

TEST_F(DatabaseTest, NameChecks) {
    TPirinDatabase first;
    first.SetDatabaseName("DB");
    TPirinDatabase second;
    EXPECT_EQ(MessageOf([&] { second.SetDatabaseName("db"); }), "Database name db already exists.");
    EXPECT_EQ(MessageOf([&] { second.SetDatabaseName("C:\\Data"); }),
              "Database name C:/Data is not valid.");
    EXPECT_EQ(MessageOf([&] { second.SetDatabaseName("a/b"); }), "Database name a/b is not valid.");
    EXPECT_TRUE(second.DatabaseName().empty());
    first.SetHandleShared(true);
    second.SetHandleShared(true);
    second.SetDatabaseName("DB");
    first.SetDirectory(Fixture.Directory());
    first.Open();
    second.Open();
    // The second borrows the first's engine directory.
    EXPECT_EQ(second.EngineDirectory(), first.EngineDirectory());
    second.Close();
    EXPECT_TRUE(first.Connected());
    // A lender that closes takes its borrowers with it.
    second.Open();
    first.Close();
    EXPECT_FALSE(second.Connected());
    EXPECT_TRUE(Session().EngineSession()->Directories().empty());
}

TEST_F(DatabaseTest, TableFindsItsDatabaseByNameIgnoringCaseAndHoldsIt) {
    TPirinDatabase database;
    database.SetDatabaseName("DB");
    database.SetDirectory(Fixture.Directory());
    database.Open();
    TPirinTable table;
    table.SetDatabaseName("db");
    table.SetTableName("Words");
    table.Open();
    EXPECT_EQ(table.Database(), &database);
    EXPECT_EQ(database.RefCount(), 1);
    EXPECT_THAT(database.DataSets(), ::testing::SizeIs(1));
    table.Close();
    EXPECT_EQ(database.RefCount(), 0);
    EXPECT_TRUE(database.Connected());  // KeepConnection
    table.Open();
    // Closing the database closes its tables first.
    database.Close();
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.Database(), nullptr);
}

TEST_F(DatabaseTest, KeepConnectionFalseClosesWhenTheLastTableGoes) {
    TPirinDatabase database;
    database.SetDatabaseName("DB");
    database.SetDirectory(Fixture.Directory());
    database.SetKeepConnection(false);
    TPirinTable table;
    table.SetDatabaseName("DB");
    table.SetTableName("Words");
    table.Open();
    EXPECT_TRUE(database.Connected());
    table.Close();
    EXPECT_FALSE(database.Connected());
}

TEST_F(DatabaseTest, FolderNameMakesATemporaryDatabaseThatStaysWithKeepConnections) {
    {
        TPirinTable table;
        PointAt(table, Fixture);
        table.Open();
        TPirinDatabase* temporary = table.Database();
        ASSERT_NE(temporary, nullptr);
        EXPECT_TRUE(temporary->Temporary());
        EXPECT_EQ(temporary->Directory(), Fixture.Directory());
        table.Close();
    }
    TPirinDatabase* kept = Session().FindDatabase(Fixture.Directory());
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(kept->Connected());
    Session().SetActive(false);
    EXPECT_EQ(Session().FindDatabase(Fixture.Directory()), nullptr);
}

TEST_F(DatabaseTest, FolderNameTemporaryDatabaseGoesWithoutKeepConnections) {
    Session().SetKeepConnections(false);
    TPirinTable table;
    PointAt(table, Fixture);
    table.Open();
    EXPECT_NE(Session().FindDatabase(Fixture.Directory()), nullptr);
    table.Close();
    EXPECT_EQ(Session().FindDatabase(Fixture.Directory()), nullptr);
    EXPECT_TRUE(Session().EngineSession()->Directories().empty());
}

TEST_F(DatabaseTest, FailedOpenOfATemporaryDatabaseLeavesNothing) {
    TPirinTable table;
    table.SetDatabaseName("/no/such/folder/");
    table.SetTableName("Words");
    EXPECT_EQ(CodeOfCall([&] { table.Open(); }), 11010);
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.Database(), nullptr);
}

TEST_F(DatabaseTest, ConnectedIsAppliedWhenLoadingEnds) {
    TPirinDatabase database;
    database.BeginLoading();
    database.SetDatabaseName("DB");
    database.SetDirectory(Fixture.Directory());
    database.SetConnected(true);
    EXPECT_FALSE(database.Connected());
    database.EndLoading();
    EXPECT_TRUE(database.Connected());
}

TEST_F(DatabaseTest, DatabaseOfAFreedSessionFallsBackToTheDefaultSession) {
    TPirinSession& other = Sessions().AddSession("Other");
    other.SetSessionName("Other");
    TPirinDatabase database(nullptr, &other);
    database.SetDatabaseName("DB");
    database.SetDirectory(Fixture.Directory());
    database.Open();
    Sessions().FreeSession(other);
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(&database.Session(), &Session());
    EXPECT_TRUE(database.SessionName().empty());
}

}  // namespace
}  // namespace pirin::testing
