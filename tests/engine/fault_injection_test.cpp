// Fault injection through the OS seam: every write operation and every
// transaction step is run once to count its reads, writes, range locks and
// syncs, then again once per call with that call failing, in two modes: the
// one call fails (a passing fault), or that call and every later one of its
// kind fail until the operation is over (a disk that stays broken). The
// operation either raises an engine error or absorbs the failure (a
// write-back that is retried, a lock taken on the next attempt); the process
// goes on (the same session inserts another record once the disk works
// again), and the table then reopens and reads every record and memo.
//
// Every run must leave a table that passes the whole-table verifier once the
// disk works again. A passing fault is absorbed by the write-back's second
// attempt. A write-back or commit whose writes (or syncs) keep failing may
// have put part of the change on disk; the files have no journal to undo
// it, so the table keeps the change owed: its caches hold it, the process
// keeps the write lock (another reader is refused meanwhile, which the test
// checks) and the next write of the process writes the rest.
//
// The test prints one line per operation and kind of call, the table the
// README keeps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>

#include "engine/data_directory.h"
#include "engine/data_table.h"
#include "engine/table_files.h"
#include "storage/faulty_file_system.h"
#include "storage/file_handler.h"
#include "storage/file_system.h"
#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

using TCall = TFaultyFileSystem::TCall;

constexpr int kId = 1;
constexpr int kWord = 2;
constexpr int kNote = 3;

TTableDefinition Definition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20), Field("Note", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .CaseInsensitive = true}},
            .Language = 1026};
}

TImage Row(const TDataCursor& cursor, std::int32_t id, const std::string& word) {
    TImage image = NewImage(cursor);
    SetInteger(cursor, kId, image, id);
    SetString(cursor, kWord, image, word);
    return image;
}

void Insert(TDataCursor& cursor, std::int32_t id, const std::string& word,
            const std::string& note) {
    TImage image = Row(cursor, id, word);
    SetMemo(cursor, kNote, image, note);
    cursor.InsertRecord(image, true);
}

TImage Seek(TDataCursor& cursor, std::int32_t id) {
    cursor.SetToIndex("");
    TImage key = Row(cursor, id, "");
    TImage image(static_cast<std::size_t>(cursor.RecordSize()));
    if (!cursor.FindKey(false, key, image, 0, false, 0))
        throw std::runtime_error("no record " + std::to_string(id));
    return image;
}

std::string LongNote(int id) { return std::string(700 + id * 90, static_cast<char>('a' + id)); }

enum class TOperation { CreateTable, Insert, Modify, Delete, Commit, Rollback };

const char* NameOf(TOperation operation) {
    switch (operation) {
        case TOperation::CreateTable: return "create table";
        case TOperation::Insert: return "insert";
        case TOperation::Modify: return "modify";
        case TOperation::Delete: return "delete";
        case TOperation::Commit: return "commit";
        case TOperation::Rollback: return "rollback";
    }
    return "";
}

const char* NameOf(TCall call) {
    switch (call) {
        case TCall::Read: return "read";
        case TCall::Write: return "write";
        case TCall::Lock: return "lock";
        case TCall::Sync: return "flush";
    }
    return "";
}

// What one run with one failed call came to.
struct TOutcome {
    bool Raised = false;
    // The write-back was left owed: the process kept the write lock, and
    // another reader was refused while the disk failed.
    bool Owed = false;
    bool OthersKeptOut = true;
    bool WentOn = true;   // the session wrote again after the failure
    bool Reopened = true;  // a new session read every record and memo
    bool Verified = true;
    std::string Problems;
};

// One run of an operation on a fresh table of five records with memos, with
// the faulty seam installed before anything opens. `failAt` 0 fails nothing;
// `calls` receives the count of calls of `kind` the operation made.
class TFaultRun {
  public:
    TFaultRun(TOperation operation, TCall kind, bool sticky)
        : FOperation(operation), FKind(kind), FSticky(sticky) {}

    TOutcome Run(int failAt, int& calls) {
        TFaultyFileSystem faulty;
        TFileSystemOverride seam(faulty);
        std::optional<TFixtureTable> table;
        TOutcome outcome;
        if (FOperation == TOperation::CreateTable) {
            table.emplace(Definition());
            TTableLocation location = table->Location();
            location.Name = "Made";
            const int before = faulty.CallCount(FKind);
            if (failAt > 0) faulty.FailNth(FKind, failAt, ErrorFor(FKind), FSticky);
            outcome.Raised = Raises([&] { CreateTable(location, Definition()); });
            calls = faulty.CallCount(FKind) - before;
            faulty.FailNth(FKind, 0, 0);
            // The process goes on: the table can be made (again) and used.
            outcome.WentOn = !Raises([&] {
                if (outcome.Raised) CreateTable(location, Definition());
            });
            TFixtureTable made(location);
            if (outcome.WentOn) made.Append({1, "one", "memo"});
            Check(made, outcome);
            return outcome;
        }
        table.emplace(Definition());
        for (int id = 1; id <= 5; ++id) table->Append({id, "w" + std::to_string(id), LongNote(id)});
        {
            TTableSession session(*table);
            // Every write-back is synced, so that syncs can fail too.
            session.Session.SetForceBufferFlush(true);
            session.Session.SetLockWaitTime(1);
            auto cursor = session.OpenCursor();
            // A lock that keeps failing is given up after a few attempts
            // instead of the table's hundred seconds of retries.
            cursor->Table()->SetWriteLockPolicy(Impatient());
            cursor->Table()->SetReadLockPolicy(Impatient());
            const bool transaction =
                FOperation == TOperation::Commit || FOperation == TOperation::Rollback;
            if (transaction) {
                session.Directory.StartTransaction();
                Insert(*cursor, 6, "w6", LongNote(6));
                TImage image = Seek(*cursor, 2);
                SetString(*cursor, kWord, image, "changed");
                SetMemo(*cursor, kNote, image, LongNote(8));
                cursor->ModifyRecord(image, true, true);
                cursor->DeleteRecord(Seek(*cursor, 4), true);
            }
            const int before = faulty.CallCount(FKind);
            if (failAt > 0) faulty.FailNth(FKind, failAt, ErrorFor(FKind), FSticky);
            outcome.Raised = Raises([&] { Operate(session, *cursor); });
            calls = faulty.CallCount(FKind) - before;
            outcome.Owed = cursor->Table()->WriteBackOwed();
            if (outcome.Owed) outcome.OthersKeptOut = !ReadLockFree(*table);
            faulty.FailNth(FKind, 0, 0);
            if (session.Directory.InTransaction()) session.Directory.Rollback();
            // The same cursor goes on writing after the failure.
            outcome.WentOn = !Raises([&] { Insert(*cursor, 100, "after", "after the failure"); });
        }
        Check(*table, outcome);
        return outcome;
    }

  private:
    static int ErrorFor(TCall kind) {
        switch (kind) {
            case TCall::Read: return EIO;
            case TCall::Write: return ENOSPC;
            case TCall::Lock: return ENOLCK;
            case TCall::Sync: return EIO;
        }
        return EIO;
    }

    // True when the action raised an engine error; any other exception
    // fails the test.
    static bool Raises(const std::function<void()>& action) {
        try {
            action();
        } catch (const EPirinEngineError&) {
            return true;
        }
        return false;
    }

    void Operate(TTableSession& session, TDataCursor& cursor) {
        switch (FOperation) {
            case TOperation::Insert:
                Insert(cursor, 7, "seven", LongNote(7));
                break;
            case TOperation::Modify: {
                TImage image = Seek(cursor, 3);
                SetInteger(cursor, kId, image, 33);
                SetString(cursor, kWord, image, "changed");
                SetMemo(cursor, kNote, image, LongNote(9));
                cursor.ModifyRecord(image, true, true);
                break;
            }
            case TOperation::Delete:
                cursor.DeleteRecord(Seek(cursor, 2), true);
                break;
            case TOperation::Commit:
                session.Directory.Commit();
                break;
            case TOperation::Rollback:
                session.Directory.Rollback();
                break;
            case TOperation::CreateTable:
                break;
        }
    }

    // Whether another reader could take a read lock on the index file now.
    static bool ReadLockFree(const TFixtureTable& table) {
        TFileHandler other(table.FileNames().Index);
        other.OpenFile();
        std::uint16_t key = 0;
        if (!LockFileRead(other, key, Impatient())) return false;
        (void)UnlockFileRead(other, key);
        return true;
    }

    // The table reopens in a new session and reads every record, memos
    // included; then the verifier judges it.
    static void Check(const TFixtureTable& table, TOutcome& outcome) {
        outcome.Reopened = !Raises([&] {
            TTableSession session(table);
            auto cursor = session.OpenCursor();
            for (const TImage& image : ReadAll(*cursor)) (void)MemoText(*cursor, kNote, image);
        });
        const std::vector<std::string> problems = table.Verify();
        outcome.Verified = problems.empty();
        for (const std::string& problem : problems) outcome.Problems += problem + "; ";
    }

    TOperation FOperation;
    TCall FKind;
    bool FSticky;
};

// Ks as a list ("none" when empty).
std::string Calls(const std::vector<int>& ks) {
    std::string text;
    for (const int k : ks) text += (text.empty() ? "" : ", ") + std::to_string(k);
    return text.empty() ? "none" : text;
}

class FaultInjectionTest : public ::testing::TestWithParam<bool> {};

TEST_P(FaultInjectionTest, EveryFailedCallOfEveryWriteRaisesOrIsAbsorbed) {
    const bool sticky = GetParam();
    std::ostringstream report;
    report << (sticky ? "Failing from call k on:\n" : "Failing call k only:\n")
           << "| operation | call | calls | raised | absorbed | write-back owed after call "
              "| verify fails after call |\n"
              "| --- | --- | --- | --- | --- | --- | --- |\n";
    for (const TOperation operation :
         {TOperation::CreateTable, TOperation::Insert, TOperation::Modify, TOperation::Delete,
          TOperation::Commit, TOperation::Rollback}) {
        for (const TCall kind : {TCall::Read, TCall::Write, TCall::Lock, TCall::Sync}) {
            SCOPED_TRACE(std::string(NameOf(operation)) + ", failed " + NameOf(kind));
            TFaultRun run(operation, kind, sticky);
            int calls = 0;
            const TOutcome clean = run.Run(0, calls);
            ASSERT_FALSE(clean.Raised);
            ASSERT_TRUE(clean.Verified) << clean.Problems;
            int raised = 0;
            std::vector<int> owed;
            std::vector<int> failing;
            for (int k = 1; k <= calls; ++k) {
                SCOPED_TRACE("call " + std::to_string(k));
                int ignored = 0;
                const TOutcome outcome = run.Run(k, ignored);
                raised += outcome.Raised ? 1 : 0;
                EXPECT_TRUE(outcome.WentOn);
                EXPECT_TRUE(outcome.Reopened);
                EXPECT_TRUE(outcome.Verified) << outcome.Problems;
                EXPECT_TRUE(outcome.OthersKeptOut);
                if (outcome.Owed) {
                    EXPECT_TRUE(outcome.Raised);
                    owed.push_back(k);
                }
                if (!outcome.Verified) failing.push_back(k);
            }
            // A fault that stays cannot be absorbed by trying again; only a
            // rollback, whose header reread waits for the table's next use,
            // absorbs failed reads.
            if (sticky && operation != TOperation::Rollback) {
                EXPECT_EQ(raised, calls);
            }
            report << "| " << NameOf(operation) << " | " << NameOf(kind) << " | " << calls
                   << " | " << raised << " | " << calls - raised << " | " << Calls(owed)
                   << " | " << Calls(failing) << " |\n";
        }
    }
    std::cout << report.str();
}

// A write-back left owed while the disk fails: the process reads the whole
// change from its caches, and closing the table once the disk works again
// writes the rest.
TEST(OwedWriteBackTest, ClosingTheTableFinishesIt) {
    TFixtureTable table(Definition());
    for (int id = 1; id <= 5; ++id) table.Append({id, "w" + std::to_string(id), LongNote(id)});
    {
        TFaultyFileSystem faulty;
        TFileSystemOverride seam(faulty);
        TTableSession session(table);
        auto cursor = session.OpenCursor();
        // The fourth write of the insert is its index pages: records and
        // memo blocks are on disk by then, the keys are not.
        faulty.FailNth(TCall::Write, 4, ENOSPC, true);
        EXPECT_NE(CodeOfCall([&] { Insert(*cursor, 7, "seven", LongNote(7)); }), 0);
        ASSERT_TRUE(cursor->Table()->WriteBackOwed());
        EXPECT_EQ(StringField(*cursor, kWord, Seek(*cursor, 7)), "seven");
        faulty.FailNth(TCall::Write, 0, 0);
    }
    EXPECT_THAT(table.Verify(), ::testing::IsEmpty());
    EXPECT_EQ(table.RecordCount(), 6);
}

INSTANTIATE_TEST_SUITE_P(OnceAndFromThenOn, FaultInjectionTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Sticky" : "Once"; });

}  // namespace
}  // namespace pirin::testing
