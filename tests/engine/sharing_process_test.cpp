// Two real processes on one table: a reader notices another process's
// writes through the header change counters (strict mode at its next
// operation, default mode at its next disk read), empties its caches and
// stays on its record; readers never block each other, writers exclude them.
//
// Each child is forked before the parent opens the table, so that the two
// processes hold descriptors (and locks) of their own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/data_table.h"
#include "storage/file_handler.h"
#include "storage/lock_map.h"
#include "tests/engine/child_process.h"
#include "tests/engine/cursor_test_support.h"

namespace pirin::testing {
namespace {

// Writes as the engine's write path does: under the table's write locks.
void AppendLocked(TFixtureTable& table, const TRow& row) {
    TFileHandler data(table.FileNames().Data);
    TFileHandler index(table.FileNames().Index);
    data.OpenFile();
    index.OpenFile();
    if (!LockTableWrite(data) || !LockFileWrite(index)) throw std::runtime_error("write lock");
    table.Append(row);
    (void)UnlockFileWrite(index);
    (void)UnlockTableWrite(data);
}

// Records of about 250 bytes: one read-ahead run holds about 32 of them.
TTableDefinition WordsDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 240)},
            .Primary = TIndexDefinition{.Fields = {"Id"}}};
}

class SharingProcessTest : public ::testing::Test {
  protected:
    SharingProcessTest() : Fixture(WordsDefinition()) {
        for (int k = 1; k <= kRecords; ++k) Fixture.Append({k * 10, "word " + std::to_string(k)});
    }

    // Ids from the cursor's next record to the end.
    static std::vector<std::int32_t> ReadRest(TDataCursor& cursor) {
        std::vector<std::int32_t> ids;
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
        while (cursor.GetNextRecord(image) == 0) ids.push_back(IntegerField(cursor, 1, image));
        return ids;
    }
    static std::int32_t CurrentId(TDataCursor& cursor) {
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
        EXPECT_EQ(cursor.GetCurrentRecord(image, false), 0);
        return IntegerField(cursor, 1, image);
    }
    // Opens a cursor and stands on the 10th record (id 100).
    std::unique_ptr<TDataCursor> ReaderOnTenth(TTableSession& session) {
        auto cursor = session.OpenCursor();
        cursor->First();
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
        for (int i = 0; i < 10; ++i) EXPECT_EQ(cursor->GetNextRecord(image), 0);
        EXPECT_EQ(IntegerField(*cursor, 1, image), 100);
        return cursor;
    }

    // A child that, when signalled, appends `row` and signals back.
    std::function<int(TChildProcess&)> AppendOnSignal(TRow row) {
        return [this, row](TChildProcess& self) {
            if (!self.Wait()) return 1;
            AppendLocked(Fixture, row);
            self.Signal();
            return 0;
        };
    }

    static constexpr int kRecords = 100;
    TFixtureTable Fixture;
};

TEST_F(SharingProcessTest, StrictReaderNoticesAtItsNextOperationAndStaysOnItsRecord) {
    TChildProcess writer(AppendOnSignal({335, "new"}));
    TTableSession session(Fixture);
    session.Session.SetStrictChangeDetection(true);
    auto cursor = ReaderOnTenth(session);
    const auto before = cursor->Table()->ChangeCounters();
    writer.Signal();
    ASSERT_TRUE(writer.Wait());

    EXPECT_EQ(CurrentId(*cursor), 100);
    EXPECT_NE(cursor->Table()->ChangeCounters(), before);
    EXPECT_EQ(cursor->RecordCount(), kRecords + 1);
    const auto rest = ReadRest(*cursor);
    ASSERT_EQ(rest.size(), static_cast<std::size_t>(kRecords + 1 - 10));
    EXPECT_EQ(rest[22], 330);
    EXPECT_EQ(rest[23], 335);
    EXPECT_EQ(writer.Join(), 0);
}

TEST_F(SharingProcessTest, DefaultReaderServesItsCacheUntilItsNextDiskRead) {
    TChildProcess writer(AppendOnSignal({335, "new"}));
    TTableSession session(Fixture);
    auto cursor = ReaderOnTenth(session);
    const auto before = cursor->Table()->ChangeCounters();
    writer.Signal();
    ASSERT_TRUE(writer.Wait());

    // The next records are in the cache: no file access, nothing noticed.
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
    ASSERT_EQ(cursor->GetNextRecord(image), 0);
    EXPECT_EQ(IntegerField(*cursor, 1, image), 110);
    EXPECT_EQ(cursor->Table()->ChangeCounters(), before);
    EXPECT_EQ(cursor->RecordCount(), kRecords);

    // Reading on reaches records never read: the first disk read notices the
    // change, and the walk goes on from where it stood into the new state.
    const auto rest = ReadRest(*cursor);
    EXPECT_NE(cursor->Table()->ChangeCounters(), before);
    EXPECT_EQ(cursor->RecordCount(), kRecords + 1);
    ASSERT_EQ(rest.size(), static_cast<std::size_t>(kRecords + 1 - 11));
    EXPECT_TRUE(std::is_sorted(rest.begin(), rest.end()));
    EXPECT_EQ(rest.front(), 120);
    EXPECT_NE(std::find(rest.begin(), rest.end(), 335), rest.end());
    EXPECT_EQ(writer.Join(), 0);
}

TEST_F(SharingProcessTest, ReaderLoopingWhileAnotherProcessWritesSeesOnlyWholeStates) {
    constexpr int kAdded = 30;
    for (const bool strict : {true, false}) {
        SCOPED_TRACE(strict ? "strict" : "default");
        const int first = strict ? 1 : 2;  // new ids between the old ones
        TChildProcess writer([&](TChildProcess& self) {
            if (!self.Wait()) return 1;
            for (int k = 0; k < kAdded; ++k) {
                AppendLocked(Fixture, {k * 30 + first, "added"});
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return 0;
        });
        TTableSession session(Fixture);
        session.Session.SetStrictChangeDetection(strict);
        auto cursor = session.OpenCursor();
        writer.Signal();
        std::size_t last = 0;
        bool writing = true;
        int passes = 0;
        while (writing || passes == 0) {
            writing = writer.Running();
            cursor->Refresh();
            const auto ids = ReadAll(*cursor);
            std::vector<std::int32_t> numbers;
            for (const auto& image : ids) numbers.push_back(IntegerField(*cursor, 1, image));
            ASSERT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
            ASSERT_GE(numbers.size(), last);
            last = numbers.size();
            ++passes;
        }
        EXPECT_EQ(writer.Join(), 0);
        EXPECT_EQ(last, static_cast<std::size_t>(kRecords + kAdded * (strict ? 1 : 2)));
    }
}

TEST_F(SharingProcessTest, ReadersNeverBlockEachOtherAndWritersWaitForThem) {
    TChildProcess reader([&](TChildProcess& self) {
        if (!self.Wait()) return 1;
        TTableSession session(Fixture);
        auto cursor = session.OpenCursor();
        TDataTable& table = *cursor->Table();
        table.SetReadLockPolicy(Impatient());
        (void)table.BeginRead();  // raises 10249 if the parent's lock blocked it
        if (!table.ReadLocked()) return 2;
        // A writer cannot have the file while the two of us read.
        TFileHandler index(Fixture.FileNames().Index);
        index.OpenFile();
        if (LockFileWrite(index, Impatient())) return 3;
        table.EndRead();
        self.Signal();
        if (!self.Wait()) return 4;
        // The parent let go: with our own lock gone too, the writer gets it.
        return LockFileWrite(index, Impatient()) ? 0 : 5;
    });
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    TDataTable& table = *cursor->Table();
    (void)table.BeginRead();
    ASSERT_TRUE(table.ReadLocked());
    reader.Signal();
    ASSERT_TRUE(reader.Wait());
    table.EndRead();
    reader.Signal();
    EXPECT_EQ(reader.Join(), 0);
}

}  // namespace
}  // namespace pirin::testing
