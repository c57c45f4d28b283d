// Writers in real processes: two processes editing one record optimistically
// (the second to post gets 8708), and four processes inserting, modifying
// and deleting in one table with memos, a unique and a non-unique index for
// a few thousand operations while two more read. Afterwards the table
// verifies, every insert that was not deleted is there exactly once with its
// last word and memo, and no reader ever saw a record count that disagreed
// with its walk of the index, or a memo that did not belong to its record.
//
// Each child is forked before the parent opens the table, so that every
// process holds descriptors (and locks) of its own.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "engine/data_table.h"
#include "tests/engine/child_process.h"
#include "tests/engine/writer_log.h"

namespace pirin::testing {
namespace {

TEST(WriteProcessTest, TheSecondOptimisticEditorGets8708) {
    TFixtureTable fixture(WordsDefinition());
    fixture.Append({1, "one"});
    const auto editor = [&fixture](TChildProcess& self) {
        TTableSession session(fixture);
        session.Session.SetLockProtocol(TLockProtocol::Optimistic);
        auto cursor = session.OpenCursor();
        TImage image = FindWord(*cursor, 1);
        if (image.empty() || cursor->GetCurrentRecord(image, true) != 0) return 90;
        self.Signal();  // read
        if (!self.Wait()) return 91;
        SetString(*cursor, kWordsWord, image, "child");
        return CodeOfCall([&] { cursor->ModifyRecord(image, true, true); }) == PIRIN_KEYORRECDELETED
                   ? 0
                   : 92;
    };
    TChildProcess child(editor);
    ASSERT_TRUE(child.Wait());
    {
        TTableSession session(fixture);
        session.Session.SetLockProtocol(TLockProtocol::Optimistic);
        auto cursor = session.OpenCursor();
        TImage image = FindWord(*cursor, 1);
        ASSERT_FALSE(image.empty());
        ASSERT_EQ(cursor->GetCurrentRecord(image, true), 0);
        SetString(*cursor, kWordsWord, image, "parent");
        cursor->ModifyRecord(image, true, true);
    }
    child.Signal();
    EXPECT_EQ(child.Join(), 0);
    TTableSession session(fixture);
    auto cursor = session.OpenCursor();
    EXPECT_EQ(StringField(*cursor, kWordsWord, FindWord(*cursor, 1)), "parent");
}

class ConcurrentWritersTest : public ::testing::Test {
  protected:
    ConcurrentWritersTest() : Fixture(WordsDefinition()) {}

    // Inserts, modifies and deletes its own records, each change logged
    // once it is written.
    int Writer(int writer) {
        TWriterLog log(WriterLogPath(Fixture.Directory(), writer));
        TTableSession session(Fixture);
        auto cursor = session.OpenCursor();
        std::mt19937 random(static_cast<std::uint32_t>(writer) * 7919u);
        TOwnRecords own{.Writer = writer, .Next = 0, .Ids = {}};
        for (int op = 0; op < kOperationsPerWriter; ++op) {
            ChangeOwnRecord(*cursor, random, own, log);
            log.Commit();
        }
        return 0;
    }

    // Walks the word index until told to stop. A walk that saw no change by
    // another process (the counters were the same before and after) must
    // count what RecordCount says, and every memo read must belong to its
    // word. Returns 0 when all was well and some walks were undisturbed.
    int Reader() {
        // The default change detection: a walk that reads nothing from disk
        // works on the state its cache holds, which must be a whole one.
        TTableSession session(Fixture);
        auto cursor = session.OpenCursor();
        cursor->SetToIndex("ByWord");
        int undisturbed = 0;
        int walks = 0;
        while (!std::ifstream(StopPath(Fixture.Directory())) || walks < 3) {
            ++walks;
            const std::int32_t count = cursor->RecordCount();
            const auto before = cursor->ChangeSnapshot();
            std::int32_t walked = 0;
            cursor->First();
            TImage image(static_cast<std::size_t>(cursor->RecordSize()));
            while (cursor->GetNextRecord(image) == 0) {
                ++walked;
                if (walked % 7 != 0) continue;
                try {
                    if (MemoText(*cursor, kWordsNote, image) !=
                        MemoOf(StringField(*cursor, kWordsWord, image)))
                        return 20;
                } catch (const EPirinEngineError& error) {
                    // The record changed since it was read: its old chain is gone.
                    if (error.ErrorCode != PIRIN_KEYORRECDELETED) return 21;
                }
            }
            const std::int32_t after = cursor->RecordCount();
            if (cursor->ChangeSnapshot() == before && after == count) {
                if (walked != count) return 22;
                ++undisturbed;
            }
        }
        return undisturbed > 0 ? 0 : 23;
    }

    static constexpr int kWriters = 4;
    static constexpr int kReaders = 2;
    static constexpr int kOperationsPerWriter = 750;
    TFixtureTable Fixture;
};

TEST_F(ConcurrentWritersTest, FourWritersAndTwoReadersKeepTheTableSound) {
    const auto expected = RunWritersAndReaders(
        Fixture.Directory(), kWriters, [&](int w) { return Writer(w); }, kReaders,
        [&](int) { return Reader(); });
    EXPECT_GT(ExpectTableHolds(Fixture, expected), 600u);
}

}  // namespace
}  // namespace pirin::testing
