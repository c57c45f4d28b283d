// The shared table's locks inside one process: the read lock and its change
// check, and record locks for editing.
#include "engine/data_table.h"

#include <gtest/gtest.h>

#include "engine/table_files.h"
#include "storage/file_handler.h"
#include "storage/lock_map.h"
#include "tests/engine/cursor_test_support.h"

namespace pirin::testing {
namespace {

TTableDefinition NumbersDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Note", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}}};
}

class DataTableLockTest : public ::testing::Test {
  protected:
    DataTableLockTest() : Fixture(NumbersDefinition()) {
        for (int id = 1; id <= 5; ++id) Fixture.Append({id, "note " + std::to_string(id)});
        Session = std::make_unique<TTableSession>(Fixture);
        Cursor = Session->OpenCursor();
        Table = Cursor->Table();
        Table->SetReadLockPolicy(Impatient());
        // A second handler on the index file, as a writer elsewhere holds it.
        Writer.SetFileName(Fixture.FileNames().Index);
        Writer.OpenFile();
    }

    TFixtureTable Fixture;
    std::unique_ptr<TTableSession> Session;
    std::unique_ptr<TDataCursor> Cursor;
    TDataTable* Table = nullptr;
    TFileHandler Writer;
};

TEST_F(DataTableLockTest, ReadLockTakesOneByteBelowTheTopAndExcludesWriters) {
    EXPECT_FALSE(Table->BeginRead());
    ASSERT_TRUE(Table->ReadLocked());
    EXPECT_GE(Table->IndexReadKey(), 1);
    EXPECT_GE(Table->BlobReadKey(), 1);  // the table has a BLOB file
    EXPECT_FALSE(Writer.LockRegion(1, ReadLockOffset(Table->IndexReadKey())));
    EXPECT_FALSE(LockFileWrite(Writer, Impatient()));
    // Held already: no second byte.
    const auto key = Table->IndexReadKey();
    EXPECT_FALSE(Table->BeginRead());
    EXPECT_EQ(Table->IndexReadKey(), key);

    Table->EndRead();
    EXPECT_FALSE(Table->ReadLocked());
    EXPECT_TRUE(LockFileWrite(Writer, Impatient()));
    EXPECT_TRUE(UnlockFileWrite(Writer));
}

TEST_F(DataTableLockTest, WriterHoldingTheFileMakesTheReadLockTimeOut) {
    ASSERT_TRUE(LockFileWrite(Writer, Impatient()));
    EXPECT_EQ(CodeOfCall([&] { (void)Table->BeginRead(); }), PIRIN_LOCKTIMEOUT);
    EXPECT_FALSE(Table->ReadLocked());
    // Under strict detection every operation asks first, and fails the same.
    Session->Session.SetStrictChangeDetection(true);
    EXPECT_EQ(CodeOfCall([&] { Cursor->First(); }), PIRIN_LOCKTIMEOUT);
    EXPECT_FALSE(Table->ReadLocked());
    EXPECT_TRUE(UnlockFileWrite(Writer));
    EXPECT_FALSE(Table->BeginRead());
    Table->EndRead();
}

TEST_F(DataTableLockTest, ReadByteThatCannotBeUnlockedFailsWith10242) {
    (void)Table->BeginRead();
    // Released behind the table's back: its own unlock then finds nothing.
    ASSERT_TRUE(Writer.UnlockRegion(1, ReadLockOffset(Table->IndexReadKey())));
    EXPECT_EQ(CodeOfCall([&] { Table->EndRead(); }), PIRIN_UNLOCKFAILED);
    // The table does not go on believing it holds the lock.
    EXPECT_FALSE(Table->ReadLocked());
    (void)Table->BeginRead();
    EXPECT_TRUE(Table->ReadLocked());
    Table->EndRead();
}

TEST_F(DataTableLockTest, ChangeByAnotherWriterEmptiesTheCaches) {
    EXPECT_EQ(ReadAll(*Cursor).size(), 5u);
    ASSERT_GT(Table->DataFile().RecordCache().Size(), 0u);
    const auto before = Table->ChangeCounters();
    Fixture.Append({6, "six"});
    EXPECT_TRUE(Table->CheckForChanges());
    EXPECT_EQ(Table->DataFile().RecordCache().Size(), 0u);
    EXPECT_EQ(Table->IndexFile().Cache(0).Size(), 0u);
    EXPECT_NE(Table->ChangeCounters(), before);
    EXPECT_FALSE(Table->CheckForChanges());
    // Refresh asks whatever the setting and the cursor sees the new record.
    Cursor->Refresh();
    EXPECT_EQ(Cursor->RecordCount(), 6);
    EXPECT_EQ(ReadAll(*Cursor).size(), 6u);
}

// Another handle writes one header alone: the data file's (as a change of a
// record's non-key field does) or the BLOB file's (a memo rewritten in
// place). The check sees each, clear and scrambled alike, empties the
// cache of that file only, and finds nothing more once it has the counter.
class OneHeaderChangeTest : public ::testing::TestWithParam<bool> {};

TEST_P(OneHeaderChangeTest, DataOrBlobHeaderAloneIsNoticed) {
    TTableDefinition definition = NumbersDefinition();
    if (GetParam()) definition.Password = "Secret";
    TFixtureTable fixture(definition);
    for (int id = 1; id <= 5; ++id) fixture.Append({id, "note " + std::to_string(id)});
    TTableSession session(fixture);
    session.Session.AddPassword("Secret");
    auto cursor = session.OpenCursor();
    TDataTable& table = *cursor->Table();
    ASSERT_NE(table.BlobFile(), nullptr);
    const auto fillCaches = [&] {
        EXPECT_EQ(ReadAll(*cursor).size(), 5u);
        EXPECT_TRUE(table.BlobFile()->FetchBlock(nullptr, 1));
        ASSERT_GT(table.DataFile().RecordCache().Size(), 0u);
        ASSERT_GT(table.IndexFile().Cache(0).Size(), 0u);
        ASSERT_GT(table.BlobFile()->Cache().Size(), 0u);
    };
    fillCaches();
    EXPECT_FALSE(table.CheckForChanges());
    auto before = table.ChangeCounters();

    {
        TTableFiles writer(fixture.Location());
        ASSERT_TRUE(writer.Data().WriteHeader(true));
    }
    EXPECT_TRUE(table.CheckForChanges());
    EXPECT_EQ(table.DataFile().RecordCache().Size(), 0u);
    EXPECT_GT(table.IndexFile().Cache(0).Size(), 0u);
    EXPECT_GT(table.BlobFile()->Cache().Size(), 0u);
    EXPECT_EQ(table.ChangeCounters(), (std::array{before[0] + 1, before[1], before[2]}));
    EXPECT_FALSE(table.CheckForChanges());

    fillCaches();
    before = table.ChangeCounters();
    {
        TTableFiles writer(fixture.Location());
        ASSERT_TRUE(writer.Blob()->WriteBlobHeader(true));
    }
    EXPECT_TRUE(table.CheckForChanges());
    EXPECT_EQ(table.BlobFile()->Cache().Size(), 0u);
    EXPECT_GT(table.DataFile().RecordCache().Size(), 0u);
    EXPECT_GT(table.IndexFile().Cache(0).Size(), 0u);
    EXPECT_EQ(table.ChangeCounters(), (std::array{before[0], before[1], before[2] + 1}));
    EXPECT_FALSE(table.CheckForChanges());
    // The cursor reads on through the emptied caches.
    EXPECT_EQ(ReadAll(*cursor).size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(ClearAndEncrypted, OneHeaderChangeTest, ::testing::Bool());

class RecordLockTest : public ::testing::Test {
  protected:
    RecordLockTest() : Fixture(NumbersDefinition()) {
        for (int id = 1; id <= 3; ++id) Fixture.Append({id, nullptr});
        Session = std::make_unique<TTableSession>(Fixture);
        Session->Session.SetLockRetryCount(2);
        Session->Session.SetLockWaitTime(1);
    }

    // Steps a cursor onto its first record and returns that record's image.
    static std::vector<std::uint8_t> OnFirst(TDataCursor& cursor) {
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
        cursor.First();
        EXPECT_EQ(cursor.GetNextRecord(image), 0);
        return image;
    }

    TFixtureTable Fixture;
    std::unique_ptr<TTableSession> Session;
};

TEST_F(RecordLockTest, SecondCursorOfTheProcessIsRefusedAtOnce) {
    auto first = Session->OpenCursor();
    auto second = Session->OpenCursor();
    auto image = OnFirst(*first);
    auto same = OnFirst(*second);
    EXPECT_EQ(first->GetCurrentRecord(image, true), 0);
    EXPECT_EQ(first->EditLockedRecord(), 1);
    EXPECT_TRUE(first->Table()->LockedRecords().Test(1));
    EXPECT_EQ(CodeOfCall([&] { (void)second->GetCurrentRecord(same, true); }), PIRIN_RECLOCKFAILED);
    // Locking it again through its holder is no conflict.
    EXPECT_EQ(first->GetCurrentRecord(image, true), 0);

    first->UnlockEditRecord();
    EXPECT_FALSE(first->Table()->LockedRecords().Test(1));
    EXPECT_EQ(second->GetCurrentRecord(same, true), 0);
    // Closing the cursor's table releases what it holds.
    second->Close();
    first->Close();
}

TEST_F(RecordLockTest, LockHeldThroughAnotherOpenOfTheFileFailsAfterRetries) {
    TTableSession other(Fixture);
    auto holder = other.OpenCursor();
    auto image = OnFirst(*holder);
    ASSERT_EQ(holder->GetCurrentRecord(image, true), 0);

    auto cursor = Session->OpenCursor();
    auto mine = OnFirst(*cursor);
    EXPECT_EQ(CodeOfCall([&] { (void)cursor->GetCurrentRecord(mine, true); }), PIRIN_RECLOCKFAILED);
    EXPECT_FALSE(cursor->Table()->ReadLocked());  // the bracket ended
    holder->UnlockEditRecord();
    EXPECT_EQ(cursor->GetCurrentRecord(mine, true), 0);
}

TEST_F(RecordLockTest, ChangedImageIsRefusedAndTheLockReleased) {
    auto cursor = Session->OpenCursor();
    auto image = OnFirst(*cursor);
    auto changed = image;
    changed.back() ^= 1;
    EXPECT_EQ(CodeOfCall([&] { (void)cursor->GetCurrentRecord(changed, true); }),
              PIRIN_KEYORRECDELETED);
    EXPECT_EQ(cursor->EditLockedRecord(), 0);
    EXPECT_FALSE(cursor->Table()->LockedRecords().Test(1));

    Session->Session.SetLockProtocol(TLockProtocol::Optimistic);
    EXPECT_EQ(CodeOfCall([&] { (void)cursor->GetCurrentRecord(changed, true); }),
              PIRIN_KEYORRECDELETED);
    EXPECT_EQ(cursor->GetCurrentRecord(image, true), 0);
    EXPECT_EQ(cursor->EditLockedRecord(), 0);  // optimistic: compared, not locked
}

TEST_F(RecordLockTest, RecordDeletedByAnotherWriterIsNoticedWhenLocking) {
    auto cursor = Session->OpenCursor();
    auto image = OnFirst(*cursor);
    Fixture.Delete(1);  // written through other handlers, as another process would
    EXPECT_EQ(CodeOfCall([&] { (void)cursor->GetCurrentRecord(image, true); }),
              PIRIN_KEYORRECDELETED);
    EXPECT_EQ(cursor->EditLockedRecord(), 0);
    EXPECT_FALSE(cursor->Table()->LockedRecords().Test(1));
    EXPECT_EQ(cursor->RecordCount(), 2);
}

TEST_F(RecordLockTest, ExclusiveCursorTakesNoLocks) {
    auto cursor = Session->OpenCursor({.Exclusive = true});
    auto image = OnFirst(*cursor);
    auto changed = image;
    changed.back() ^= 1;
    EXPECT_EQ(cursor->GetCurrentRecord(changed, true), 0);
    EXPECT_EQ(cursor->EditLockedRecord(), 0);
    EXPECT_FALSE(cursor->Table()->BeginRead());
    EXPECT_FALSE(cursor->Table()->ReadLocked());
}

}  // namespace
}  // namespace pirin::testing
