// Opening and closing cursors: the shared table object, exclusive use,
// passwords, header checks for the first opener, a missing index file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/data_table.h"
#include "storage/lock_map.h"
#include "tests/engine/cursor_test_support.h"

namespace pirin::testing {
namespace {

TTableDefinition WordsDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20)},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}}}};
}

TEST(CursorOpenTest, TwoCursorsShareOneTableAndItsFiles) {
    TFixtureTable fixture(WordsDefinition());
    fixture.Append({1, "one"});
    TTableSession session(fixture);
    auto first = session.OpenCursor();
    auto second = session.OpenCursor();
    ASSERT_EQ(first->Table(), second->Table());
    TDataTable& table = *first->Table();
    EXPECT_EQ(table.OpenCount(), 2);
    EXPECT_EQ(table.CursorCount(), 2);
    EXPECT_EQ(session.Directory.Tables().size(), 1u);

    first->Close();
    EXPECT_TRUE(table.PhysicallyOpen());
    EXPECT_EQ(table.OpenCount(), 1);
    EXPECT_EQ(ReadAll(*second).size(), 1u);
    second->Close();
    EXPECT_TRUE(session.Directory.Tables().empty());
}

TEST(CursorOpenTest, ExclusiveUseConflictsWithAnyOtherOpen) {
    TFixtureTable fixture(WordsDefinition());
    TTableSession session(fixture);
    auto shared = session.OpenCursor();
    auto exclusive = session.NewCursor({.Exclusive = true});
    EXPECT_EQ(CodeOfCall([&] { exclusive->Open(); }), PIRIN_OSEACCES);
    EXPECT_FALSE(exclusive->IsOpen());
    EXPECT_EQ(shared->Table()->OpenCount(), 1);
    shared->Close();

    exclusive->Open();
    auto later = session.NewCursor();
    EXPECT_EQ(CodeOfCall([&] { later->Open(); }), PIRIN_OSEACCES);
    EXPECT_EQ(exclusive->Table()->OpenCount(), 1);
    // A clone shares the exclusive open.
    auto clone = exclusive->CloneCursor();
    EXPECT_EQ(clone->Table(), exclusive->Table());
}

TEST(CursorOpenTest, AnotherSessionIsRefusedAnExclusivelyOpenTable) {
    TFixtureTable fixture(WordsDefinition());
    TTableSession holder(fixture);
    TTableSession other(fixture);
    auto exclusive = holder.OpenCursor({.Exclusive = true});
    auto refused = other.NewCursor();
    EXPECT_EQ(CodeOfCall([&] { refused->Open(); }), PIRIN_OSEACCES);
    EXPECT_TRUE(other.Directory.Tables().empty());
}

TEST(CursorOpenTest, MissingTableFailsAndLeavesNothing) {
    TFixtureTable fixture(WordsDefinition());
    TTableSession session(fixture);
    auto cursor = session.NewCursor();
    cursor->SetTableName("Nowhere");
    try {
        cursor->Open();
        FAIL() << "a missing table opened";
    } catch (const EPirinEngineError& error) {
        EXPECT_EQ(error.ErrorCode, PIRIN_OSENOENT);
        EXPECT_EQ(error.ErrorTableName, "Nowhere");
    }
    EXPECT_TRUE(session.Directory.Tables().empty());
    EXPECT_FALSE(cursor->IsOpen());
}

TEST(CursorOpenTest, TableExistsByListOrDataFile) {
    TFixtureTable fixture(WordsDefinition());
    TTableSession session(fixture);
    EXPECT_TRUE(session.Directory.TableExists(fixture.Name(), false));
    EXPECT_TRUE(session.Directory.TableExists(fixture.Name() + ".DAT", false));
    EXPECT_FALSE(session.Directory.TableExists(fixture.Name(), true));
    EXPECT_FALSE(session.Directory.TableExists("Nowhere", false));
}

TEST(CursorOpenTest, TableNameRulesAndSetupOnlyWhileClosed) {
    TFixtureTable fixture(WordsDefinition());
    TTableSession session(fixture);
    auto cursor = session.NewCursor();
    cursor->SetTableName("C:\\Data\\Dict\\" + fixture.Name() + ".dAt");
    EXPECT_EQ(cursor->TableName(), fixture.Name());
    cursor->SetTableName("/some/folder/Words.txt");
    EXPECT_EQ(cursor->TableName(), "Words.txt");
    cursor->SetTableName(fixture.Name());
    cursor->Open();
    EXPECT_EQ(CodeOfCall([&] { cursor->SetTableName("Other"); }), PIRIN_TABLEOPEN);
    EXPECT_EQ(CodeOfCall([&] { cursor->SetExclusive(true); }), PIRIN_TABLEOPEN);
    EXPECT_EQ(CodeOfCall([&] { cursor->SetPasswordCallback(nullptr, {}); }), PIRIN_TABLEOPEN);
}

// Opening onto a secondary index stands where SetToIndex and First would
// have put the cursor: before the index's first record. The header check's
// read lock is gone once the cursor is open, for the first opener as for a
// cursor on a table that is open already.
TEST(CursorOpenTest, OpenIndexStandsBeforeItsFirstRecordAndHoldsNoLock) {
    TFixtureTable fixture(WordsDefinition());
    for (const auto& [id, word] : {std::pair(1, "pear"), std::pair(2, "apple"), std::pair(3, "melon")})
        fixture.Append({id, word});
    TTableSession session(fixture);
    std::vector<std::unique_ptr<TDataCursor>> cursors;
    for (const char* name : {"byword", "BYWORD"}) {
        auto cursor = session.NewCursor();
        cursor->SetOpenIndex(name);
        cursor->Open();
        EXPECT_EQ(cursor->IndexName(), "ByWord");
        EXPECT_FALSE(cursor->Table()->ReadLocked());
        EXPECT_TRUE(cursor->Bof());
        EXPECT_FALSE(cursor->Eof());
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
        EXPECT_EQ(cursor->GetCurrentRecord(image, false), PIRIN_BOF);
        ASSERT_EQ(cursor->GetNextRecord(image), 0);
        EXPECT_EQ(StringField(*cursor, 2, image), "apple");
        EXPECT_EQ(cursor->GetPriorRecord(image), PIRIN_BOF);
        cursors.push_back(std::move(cursor));
    }
    EXPECT_EQ(cursors[0]->Table()->OpenCount(), 2);

    auto unknown = session.NewCursor();
    unknown->SetOpenIndex("ByLength");
    try {
        unknown->Open();
        FAIL() << "opened on an index the table lacks";
    } catch (const EPirinEngineError& error) {
        EXPECT_EQ(error.ErrorCode, PIRIN_INVALIDINDEXNAME);
        EXPECT_EQ(error.ErrorIndexName, "ByLength");
        EXPECT_EQ(error.ErrorTableName, fixture.Name());
    }
    EXPECT_FALSE(unknown->IsOpen());
    EXPECT_EQ(cursors[0]->Table()->OpenCount(), 2);
    EXPECT_FALSE(cursors[0]->Table()->ReadLocked());
}

// The first opener reads the index and BLOB headers under the read lock it
// takes before reading them, and the cursor gives it back once placed: no
// read-lock byte outlives the open (a writer gets the whole write range at
// its first attempt), and a change made after the open is seen.
TEST(CursorOpenTest, ReadLockTakenForTheOpenIsGivenBackAndLaterChangesAreSeen) {
    for (const TFixtureStorage storage : {TFixtureStorage::Disk, TFixtureStorage::Memory}) {
        TFixtureTable fixture({.Fields = {Field("Id", "INTEGER"), Field("Note", "MEMO")},
                               .Primary = TIndexDefinition{.Fields = {"Id"}}},
                              storage, "Locked");
        fixture.Append({1, "one"});
        TTableSession session(fixture);
        auto cursor = session.OpenCursor();
        TDataTable& table = *cursor->Table();
        ASSERT_NE(table.BlobFile(), nullptr);
        EXPECT_FALSE(table.ReadLocked());
        TLockRetryPolicy once;
        once.Attempts = 1;
        for (TFileHandler* file : {static_cast<TFileHandler*>(&table.IndexFile()),
                                   static_cast<TFileHandler*>(table.BlobFile())}) {
            EXPECT_TRUE(LockFileWrite(*file, once)) << file->FileName();
            EXPECT_TRUE(UnlockFileWrite(*file));
        }
        const auto counters = table.ChangeCounters();
        fixture.Append({2, "two"});
        EXPECT_TRUE(table.BeginRead());
        table.EndRead();
        EXPECT_NE(table.ChangeCounters(), counters);
        EXPECT_EQ(ReadAll(*cursor).size(), 2u);
    }
}

class CursorPasswordTest : public ::testing::Test {
  protected:
    CursorPasswordTest() {
        TTableDefinition definition = WordsDefinition();
        definition.Password = "Secret";
        Fixture = std::make_unique<TFixtureTable>(definition);
        Fixture->Append({1, "one"});
        Session = std::make_unique<TTableSession>(*Fixture);
    }
    std::unique_ptr<TFixtureTable> Fixture;
    std::unique_ptr<TTableSession> Session;
};

TEST_F(CursorPasswordTest, RegisteredPasswordOpensWithoutAsking) {
    Session->Session.AddPassword("Secret");
    auto cursor = Session->NewCursor();
    int asked = 0;
    cursor->SetPasswordCallback(nullptr, [&](void*, TDataCursor&) { return ++asked, false; });
    cursor->Open();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(ReadAll(*cursor).size(), 1u);
}

TEST_F(CursorPasswordTest, LetterCaseMattersAndFailureLeavesNoTable) {
    Session->Session.AddPassword("secret");
    auto cursor = Session->NewCursor();
    try {
        cursor->Open();
        FAIL() << "opened with the wrong letter case";
    } catch (const EPirinEngineError& error) {
        EXPECT_EQ(error.ErrorCode, PIRIN_NOTSUFFTABLERIGHTS);
        EXPECT_EQ(error.ErrorTableName, Fixture->Name());
        EXPECT_EQ(error.ErrorDatabaseName, Session->Directory.Path());
    }
    EXPECT_TRUE(Session->Directory.Tables().empty());
    EXPECT_FALSE(cursor->IsOpen());
}

TEST_F(CursorPasswordTest, CallbackIsAskedUntilItRegistersThePassword) {
    auto cursor = Session->NewCursor();
    int asked = 0;
    int userData = 7;
    cursor->SetPasswordCallback(&userData, [&](void* data, TDataCursor& asking) {
        EXPECT_EQ(data, &userData);
        EXPECT_EQ(&asking, cursor.get());
        // Nothing stays locked while the user is asked.
        EXPECT_FALSE(asking.Table()->ReadLocked());
        ++asked;
        if (asked == 1) Session->Session.AddPassword("SECRET");  // wrong case: asked again
        if (asked == 3) Session->Session.AddPassword("Secret");
        return true;
    });
    cursor->Open();
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(cursor->IsOpen());
}

TEST_F(CursorPasswordTest, CallbackGivingUpFailsWith10498) {
    auto cursor = Session->NewCursor();
    int asked = 0;
    cursor->SetPasswordCallback(nullptr, [&](void*, TDataCursor&) { return ++asked < 2; });
    EXPECT_EQ(CodeOfCall([&] { cursor->Open(); }), PIRIN_NOTSUFFTABLERIGHTS);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(Session->Directory.Tables().empty());
}

TEST(CursorOpenTest, FirstOpenerVerifiesHeadersAgainAfterReopen) {
    TFixtureTable fixture(WordsDefinition());
    TTableSession session(fixture);
    auto cursor = session.OpenCursor();
    cursor->Close();
    {
        // Version byte 8 of the data file header.
        std::fstream file(fixture.FileNames().Data,
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(8);
        file.put(4);
    }
    EXPECT_EQ(CodeOfCall([&] { cursor->Open(); }), PIRIN_OLDVERSION);
    EXPECT_TRUE(session.Directory.Tables().empty());
}

class MissingIndexTest : public ::testing::TestWithParam<bool> {};

TEST_P(MissingIndexTest, IndexFileIsRecreatedAndTheTableReads) {
    TTableDefinition definition = WordsDefinition();
    if (GetParam()) definition.Password = "Secret";
    TFixtureTable fixture(definition);
    for (int id = 1; id <= 40; ++id) fixture.Append({id, "w" + std::to_string(id)});
    fixture.Delete(7);
    std::filesystem::remove(fixture.FileNames().Index);

    TTableSession session(fixture);
    session.Session.AddPassword("Secret");
    auto cursor = session.OpenCursor();
    ASSERT_TRUE(cursor->Table()->IndexRecreated());
    EXPECT_EQ(cursor->Table()->IndexFile().Encrypted(), GetParam());
    EXPECT_TRUE(std::filesystem::exists(fixture.FileNames().Index));
    EXPECT_EQ(cursor->RecordCount(), 39);
    const auto records = ReadAll(*cursor);
    ASSERT_EQ(records.size(), 39u);
    // Without a primary index the cursor walks in record-number order.
    EXPECT_EQ(IntegerField(*cursor, 1, records.front()), 1);
    EXPECT_EQ(IntegerField(*cursor, 1, records[6]), 8);
    cursor->Close();

    // The rebuilt file is written: the next open reads it as it is.
    auto again = session.OpenCursor();
    EXPECT_FALSE(again->Table()->IndexRecreated());
    EXPECT_EQ(ReadAll(*again).size(), 39u);
}

INSTANTIATE_TEST_SUITE_P(ClearAndEncrypted, MissingIndexTest, ::testing::Bool());

TEST(CursorOpenTest, FilesWithoutWritePermissionMakeReadOnlyMedia) {
    TFixtureTable fixture(WordsDefinition());
    fixture.Append({1, "one"});
    const auto names = fixture.FileNames();
    for (const auto& name : {names.Data, names.Index})
        std::filesystem::permissions(name, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    TTableSession session(fixture);
    auto cursor = session.OpenCursor();
    EXPECT_TRUE(cursor->ReadOnlyMedia());
    EXPECT_TRUE(cursor->ReadOnly());
    EXPECT_TRUE(cursor->Table()->ReadOnlyAttribute());
    EXPECT_EQ(ReadAll(*cursor).size(), 1u);
    // No read lock is ever taken on read-only media.
    EXPECT_FALSE(cursor->Table()->BeginRead());
    EXPECT_FALSE(cursor->Table()->ReadLocked());
    cursor->Close();
    for (const auto& name : {names.Data, names.Index})
        std::filesystem::permissions(name, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
}

TEST(CursorCloneTest, CloneSharesTheTableAndStandsWhereTheOriginalStands) {
    TFixtureTable fixture(WordsDefinition());
    fixture.Append({1, "pear"});
    fixture.Append({2, "apple"});
    fixture.Append({3, "fig"});
    TTableSession session(fixture);
    auto cursor = session.OpenCursor();
    cursor->SetToIndex("ByWord");
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
    cursor->First();
    ASSERT_EQ(cursor->GetNextRecord(image), 0);
    ASSERT_EQ(cursor->GetNextRecord(image), 0);
    ASSERT_EQ(StringField(*cursor, 2, image), "fig");

    auto clone = cursor->CloneCursor();
    EXPECT_EQ(clone->Table(), cursor->Table());
    EXPECT_EQ(cursor->Table()->OpenCount(), 2);
    EXPECT_EQ(clone->IndexName(), "ByWord");
    std::vector<std::uint8_t> cloned(image.size());
    EXPECT_EQ(clone->GetCurrentRecord(cloned, false), 0);
    EXPECT_EQ(StringField(*clone, 2, cloned), "fig");
    EXPECT_EQ(clone->GetNextRecord(cloned), 0);
    EXPECT_EQ(StringField(*clone, 2, cloned), "pear");
    clone.reset();
    EXPECT_EQ(cursor->Table()->OpenCount(), 1);
}

}  // namespace
}  // namespace pirin::testing
