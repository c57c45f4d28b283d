// Transactions of a database: writes stay in this process until the commit
// (visible to cursors of the same database at once, to other processes only
// afterwards); a rollback leaves the files byte for byte as they were;
// tables opened meanwhile join; a table closed meanwhile stays listed until
// the end; record unlocks wait for the end; the first step after a commit
// reads what other processes wrote since.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/data_table.h"
#include "storage/faulty_file_system.h"
#include "storage/file_handler.h"
#include "storage/file_system.h"
#include "storage/little_endian.h"
#include "storage/lock_map.h"
#include "tests/engine/child_process.h"
#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TTableDefinition NotesDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20), Field("Note", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}}}};
}

// The number of records a fresh session of this process counts.
std::int32_t CountInFreshSession(const TFixtureTable& table) {
    TTableSession session(table);
    return session.OpenCursor()->RecordCount();
}

class TransactionTest : public ::testing::Test {
  protected:
    TransactionTest() : Fixture(NotesDefinition()) {
        Fixture.Append({10, "ten", "memo of ten"});
        Fixture.Append({20, "twenty"});
    }

    static TImage Insert(TDataCursor& cursor, std::int32_t id, const std::string& word,
                         const std::string& note = {}) {
        TImage image = NewImage(cursor);
        SetInteger(cursor, 1, image, id);
        SetString(cursor, 2, image, word);
        if (!note.empty()) SetMemo(cursor, 3, image, note);
        cursor.InsertRecord(image, true);
        return image;
    }
    static std::int32_t CurrentId(TDataCursor& cursor) {
        TImage image(static_cast<std::size_t>(cursor.RecordSize()));
        EXPECT_EQ(cursor.GetCurrentRecord(image, false), 0);
        return IntegerField(cursor, 1, image);
    }

    TFixtureTable Fixture;
};

TEST_F(TransactionTest, InsertIsSeenByTheDatabaseAtOnceAndByOtherProcessesAfterTheCommit) {
    // The child counts when told to, before and after the commit.
    TChildProcess other([this](TChildProcess& self) {
        int seen = 0;
        for (int round = 0; round < 2; ++round) {
            if (!self.Wait()) return 98;
            seen = seen * 10 + CountInFreshSession(Fixture);
            self.Signal();
        }
        return seen;
    });
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    auto sibling = session.OpenCursor();
    session.Directory.StartTransaction();
    session.Directory.StartTransaction();  // twice is once
    Insert(*cursor, 30, "thirty", "memo");
    EXPECT_EQ(sibling->RecordCount(), 3);
    other.Signal();
    ASSERT_TRUE(other.Wait());
    session.Directory.Commit();
    EXPECT_FALSE(session.Directory.InTransaction());
    other.Signal();
    ASSERT_TRUE(other.Wait());
    EXPECT_EQ(other.Join(), 23);
    cursor.reset();
    sibling.reset();
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
}

TEST_F(TransactionTest, RollbackLeavesTheFilesByteForByteAsBefore) {
    const auto before = FileBytes(Fixture);
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    auto watcher = session.OpenCursor();
    session.Directory.StartTransaction();
    for (std::int32_t id = 30; id < 300; id += 10)
        Insert(*cursor, id, "w" + std::to_string(id), std::string(700, 'x'));
    // The watcher stands on a record that the rollback takes away.
    TImage key = NewImage(*watcher);
    SetInteger(*watcher, 1, key, 150);
    ASSERT_TRUE(watcher->FindKey(false, key, {}, 0, false, 0));
    TImage image = NewImage(*cursor);
    SetInteger(*cursor, 1, image, 10);
    ASSERT_TRUE(cursor->FindKey(false, image, image, 0, false, 0));
    SetMemo(*cursor, 3, image, "changed");
    cursor->ModifyRecord(image, true, true);
    SetInteger(*cursor, 1, image, 20);
    ASSERT_TRUE(cursor->FindKey(false, image, image, 0, false, 0));
    cursor->DeleteRecord(image, true);
    EXPECT_EQ(CountInFreshSession(Fixture), 2) << "nothing reached the files";

    session.Directory.Rollback();
    EXPECT_EQ(FileBytes(Fixture), before);
    EXPECT_EQ(watcher->RecordCount(), 2);
    TImage next(static_cast<std::size_t>(watcher->RecordSize()));
    EXPECT_NE(watcher->GetNextRecord(next), 0) << "record 150 is gone; nothing lies above it";
    watcher->First();
    ASSERT_EQ(watcher->GetNextRecord(next), 0);
    EXPECT_EQ(IntegerField(*watcher, 1, next), 10);
    EXPECT_EQ(MemoText(*watcher, 3, next), "memo of ten");
    cursor.reset();
    watcher.reset();
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
}

TEST_F(TransactionTest, TablesJoinAndStayListedUntilTheEnd) {
    TTableSession session(Fixture);
    session.Directory.StartTransaction();
    auto cursor = session.OpenCursor();  // opened afterwards: joins
    ASSERT_TRUE(cursor->Table()->TransactionActive());
    Insert(*cursor, 30, "thirty");
    cursor.reset();
    EXPECT_EQ(session.Directory.Tables().size(), 1u) << "kept for the transaction";
    session.Directory.Commit();
    EXPECT_TRUE(session.Directory.Tables().empty());
    EXPECT_EQ(Fixture.RecordCount(), 3);
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
}

TEST_F(TransactionTest, RecordUnlocksWaitForTheEnd) {
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    session.Directory.StartTransaction();
    cursor->First();
    TImage image(static_cast<std::size_t>(cursor->RecordSize()));
    ASSERT_EQ(cursor->GetNextRecord(image), 0);
    ASSERT_EQ(cursor->GetCurrentRecord(image, true), 0);
    const auto record = static_cast<std::uint32_t>(le::GetI32(image, 1));
    SetString(*cursor, 2, image, "edited");
    cursor->ModifyRecord(image, true, true);
    EXPECT_EQ(cursor->EditLockedRecord(), 0);

    TFileHandler other(Fixture.FileNames().Data);
    other.OpenFile();
    EXPECT_FALSE(LockRecord(other, record)) << "still held until the transaction ends";
    // The writer's byte is held for the whole transaction.
    EXPECT_FALSE(LockTableWrite(other, Impatient()));
    session.Directory.Commit();
    EXPECT_TRUE(LockRecord(other, record));
    EXPECT_TRUE(UnlockRecord(other, record));
    EXPECT_TRUE(LockTableWrite(other, Impatient()));
    EXPECT_TRUE(UnlockTableWrite(other));
}

// The commit releases the bytes of the records a transaction wrote; one
// that cannot be released fails the commit with 10249, and the records on
// either side of it are released all the same.
TEST_F(TransactionTest, CommitReleasesEveryRecordByteEvenWhenOneCannotBe) {
    for (const bool lose : {false, true}) {
        SCOPED_TRACE(lose ? "one byte gone" : "all held");
        TFixtureTable table(NotesDefinition());
        TTableSession session(table);
        auto cursor = session.OpenCursor();
        session.Directory.StartTransaction();
        for (std::int32_t id = 1; id <= 6; ++id) Insert(*cursor, id, "word");
        TFileHandler other(table.FileNames().Data);
        other.OpenFile();
        for (std::uint32_t record = 1; record <= 6; ++record) EXPECT_FALSE(LockRecord(other, record));
        // Released behind the table's back: its own unlock then finds nothing.
        if (lose) {
            ASSERT_TRUE(UnlockRecord(other, 3));
            EXPECT_EQ(CodeOfCall([&] { session.Directory.Commit(); }), 10249);
        } else {
            session.Directory.Commit();
        }
        for (std::uint32_t record = 1; record <= 6; ++record) {
            EXPECT_TRUE(LockRecord(other, record)) << record;
            EXPECT_TRUE(UnlockRecord(other, record));
        }
        EXPECT_EQ(CountInFreshSession(table), 6);
    }
}

// Inside a transaction the caches hold its writes with change counters
// ahead of the files'. Locking a record for an edit (lazy change detection)
// or any step under strict change detection checks for other processes'
// changes; that check must not take the transaction's own counters for one
// and throw its writes away: the writer's byte keeps every other writer out.
TEST_F(TransactionTest, EditsAfterWritesInTheTransactionKeepThem) {
    for (const bool strict : {false, true}) {
        SCOPED_TRACE(strict ? "strict change detection" : "lazy change detection");
        TFixtureTable table(NotesDefinition());
        table.Append({10, "ten", "memo of ten"});
        TTableSession session(table);
        session.Session.SetStrictChangeDetection(strict);
        auto cursor = session.OpenCursor();
        session.Directory.StartTransaction();
        Insert(*cursor, 30, "thirty", "memo of thirty");
        TImage image = NewImage(*cursor);
        SetInteger(*cursor, 1, image, 30);
        ASSERT_TRUE(cursor->FindKey(false, image, image, 0, false, 0));
        ASSERT_EQ(cursor->GetCurrentRecord(image, true), 0);
        SetString(*cursor, 2, image, "edited");
        cursor->ModifyRecord(image, true, true);
        SetInteger(*cursor, 1, image, 10);
        ASSERT_TRUE(cursor->FindKey(false, image, image, 0, false, 0));
        ASSERT_EQ(cursor->GetCurrentRecord(image, true), 0);
        cursor->DeleteRecord(image, true);
        session.Directory.Commit();
        cursor.reset();

        EXPECT_THAT(table.Verify(), IsEmpty());
        TTableSession reader(table);
        auto check = reader.OpenCursor();
        const std::vector<TImage> images = ReadAll(*check);
        ASSERT_EQ(images.size(), 1u);
        EXPECT_EQ(IntegerField(*check, 1, images[0]), 30);
        EXPECT_EQ(StringField(*check, 2, images[0]), "edited");
        EXPECT_EQ(MemoText(*check, 3, images[0]), "memo of thirty");
    }
}

// After a commit, a rollback or a sibling cursor's write, a cursor's
// snapshot of the counters is behind the table's, and its next step
// resyncs. Another process may have written since: the resync must read the
// files under the read lock and after the change check, not with the headers
// this process still has (it met page and record numbers beyond them: 8965,
// 8962).
enum class TOwnWrite { Commit, Rollback, SiblingWrite };

class ResyncTest : public TransactionTest, public ::testing::WithParamInterface<TOwnWrite> {};

TEST_P(ResyncTest, TheNextStepSeesWhatAnotherProcessWroteSince) {
    constexpr int kOwn = 600;
    constexpr int kOther = 1500;
    TChildProcess other([this](TChildProcess& self) {
        if (!self.Wait()) return 90;
        TTableSession session(Fixture);
        auto cursor = session.OpenCursor();
        for (int i = 0; i < kOther; ++i)
            Insert(*cursor, 100000 + i, "t" + std::to_string(i * 7919 % kOther));
        self.Signal();
        return 0;
    });
    TTableSession session(Fixture);
    // Small caches: the resync's descent reads pages from the files.
    session.Session.SetBufferLimits({.RecordBytes = 4096, .IndexBytes = 4096, .IndexPages = 0});
    auto cursor = session.OpenCursor();
    auto sibling = session.OpenCursor();
    for (int i = 0; i < kOwn; ++i) Insert(*cursor, 1000 + i, "p" + std::to_string(i));
    cursor->SetToIndex("ByWord");
    int ownAdded = 1;
    std::string current = "thirty";  // where the cursor stands afterwards
    switch (GetParam()) {
        case TOwnWrite::Commit:
            session.Directory.StartTransaction();
            Insert(*cursor, 30, "thirty");
            session.Directory.Commit();
            break;
        case TOwnWrite::Rollback:
            session.Directory.StartTransaction();
            Insert(*cursor, 30, "thirty");
            session.Directory.Rollback();
            ownAdded = 0;
            current = "twenty";
            break;
        case TOwnWrite::SiblingWrite:
            Insert(*sibling, 30, "thirty");
            current = "p599";  // the cursor's own last insert
            break;
    }
    other.Signal();
    ASSERT_TRUE(other.Wait());
    ASSERT_EQ(other.Join(), 0);

    // The first step resyncs; a record the rollback took away leaves the
    // cursor on the nearest surviving one.
    TImage image(static_cast<std::size_t>(cursor->RecordSize()));
    ASSERT_EQ(cursor->GetCurrentRecord(image, false), 0);
    EXPECT_EQ(StringField(*cursor, 2, image), current);
    cursor->First();
    int walked = 0;
    while (cursor->GetNextRecord(image) == 0) ++walked;
    EXPECT_EQ(walked, 2 + kOwn + ownAdded + kOther);
    cursor.reset();
    sibling.reset();
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(OwnWrites, ResyncTest,
                         ::testing::Values(TOwnWrite::Commit, TOwnWrite::Rollback,
                                           TOwnWrite::SiblingWrite));

// A commit that cannot take the write lock writes nothing: the transaction
// is rolled back, and no cursor goes on seeing its changes in the caches.
TEST_F(TransactionTest, ACommitThatCannotLockRollsBack) {
    const auto before = FileBytes(Fixture);
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    cursor->Table()->SetWriteLockPolicy(Impatient());
    session.Directory.StartTransaction();
    Insert(*cursor, 30, "thirty", "memo");
    TFileHandler reader(Fixture.FileNames().Index);
    reader.OpenFile();
    std::uint16_t key = 0;
    ASSERT_TRUE(LockFileRead(reader, key));
    EXPECT_EQ(CodeOfCall([&] { session.Directory.Commit(); }), PIRIN_LOCKTIMEOUT);
    EXPECT_TRUE(UnlockFileRead(reader, key));
    EXPECT_FALSE(session.Directory.InTransaction());
    EXPECT_EQ(cursor->RecordCount(), 2);
    TImage image = NewImage(*cursor);
    SetInteger(*cursor, 1, image, 30);
    EXPECT_FALSE(cursor->FindKey(false, image, {}, 0, false, 0));
    EXPECT_EQ(FileBytes(Fixture), before);
    Insert(*cursor, 40, "forty");
    cursor.reset();
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
    EXPECT_EQ(Fixture.RecordCount(), 3);
}

// Writes inside a transaction reach no file before the commit, so they do
// not wait for readers: they take neither the index nor the BLOB write
// range. The commit does (it times out while a reader holds on, see above),
// and releases them again.
TEST_F(TransactionTest, WritesBeforeTheCommitLeaveReadersAlone) {
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    cursor->Table()->SetWriteLockPolicy(Impatient());
    session.Directory.StartTransaction();
    const TTableFileNames names = Fixture.FileNames();
    TFileHandler index(names.Index);
    TFileHandler blobs(names.Blob);
    index.OpenFile();
    blobs.OpenFile();
    std::uint16_t indexKey = 0;
    std::uint16_t blobKey = 0;
    ASSERT_TRUE(LockFileRead(index, indexKey));
    ASSERT_TRUE(LockFileRead(blobs, blobKey));
    Insert(*cursor, 30, "thirty", "memo of thirty");
    cursor->First();
    TImage image(static_cast<std::size_t>(cursor->RecordSize()));
    ASSERT_EQ(cursor->GetNextRecord(image), 0);
    cursor->DeleteRecord(image, true);
    EXPECT_EQ(cursor->RecordCount(), 2);
    EXPECT_TRUE(UnlockFileRead(index, indexKey));
    EXPECT_TRUE(UnlockFileRead(blobs, blobKey));

    session.Directory.Commit();
    EXPECT_EQ(CountInFreshSession(Fixture), 2);
    for (TFileHandler* file : {&index, &blobs}) {
        EXPECT_TRUE(LockFileWrite(*file, Impatient()));
        EXPECT_TRUE(UnlockFileWrite(*file));
    }
    cursor.reset();
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
}

// A write that fails after it changed the caches cannot be told apart from
// the transaction's earlier writes: the transaction is rolled back.
TEST_F(TransactionTest, AWriteFailingHalfWayRollsTheTransactionBack) {
    TFaultyFileSystem faulty;
    TFileSystemOverride seam(faulty);
    const auto before = FileBytes(Fixture);
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    session.Directory.StartTransaction();
    Insert(*cursor, 30, "thirty", "memo");
    TImage image = NewImage(*cursor);
    SetInteger(*cursor, 1, image, 10);
    ASSERT_TRUE(cursor->FindKey(false, image, image, 0, false, 0));
    // The keys go first; the memo's chain, not cached yet, cannot be read.
    faulty.ShortenReads(0);
    EXPECT_NE(CodeOfCall([&] { cursor->DeleteRecord(image, true); }), 0);
    faulty.ShortenReads(std::numeric_limits<std::size_t>::max());
    EXPECT_FALSE(session.Directory.InTransaction());
    EXPECT_FALSE(cursor->Table()->TransactionActive());
    EXPECT_EQ(FileBytes(Fixture), before);
    EXPECT_EQ(cursor->RecordCount(), 2);
    Insert(*cursor, 40, "forty");
    cursor.reset();
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
    EXPECT_EQ(Fixture.RecordCount(), 3);
}

}  // namespace
}  // namespace pirin::testing
