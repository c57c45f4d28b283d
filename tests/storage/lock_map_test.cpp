// The lock map helpers inside one process (handlers of one file conflict like
// separate opens) and, with forked processes, between processes.
#include "storage/lock_map.h"

#include <gtest/gtest.h>

#include "storage/file_handler.h"
#include "tests/storage/file_test_support.h"

namespace pirin {
namespace {

using testing::CodeOf;
using testing::Pattern;
using testing::PutFile;
using testing::TChildProcess;
using testing::TScratchFolder;

// Few quick attempts, so that a lock that must fail fails at once.
TLockRetryPolicy Quick() {
    TLockRetryPolicy policy;
    policy.Attempts = 3;
    policy.Delay = std::chrono::milliseconds(1);
    return policy;
}

class LockMapTest : public ::testing::Test {
  protected:
    void SetUp() override { PutFile(Folder / "Bg_En.IDX", Pattern(4096)); }
    std::string Path() const { return Folder / "Bg_En.IDX"; }

    TScratchFolder Folder;
};

TEST_F(LockMapTest, ReadLocksCoexistAndAnyOfThemKeepsTheWriteLockOut) {
    TFileHandler reader1(Path()), reader2(Path()), writer(Path());
    for (TFileHandler* file : {&reader1, &reader2, &writer}) file->OpenFile();
    std::uint16_t key1 = 0, key2 = 0;
    ASSERT_TRUE(LockFileRead(reader1, key1, Quick()));
    ASSERT_TRUE(LockFileRead(reader2, key2, Quick()));
    EXPECT_NE(key1, key2);
    EXPECT_FALSE(LockFileWrite(writer, Quick()));
    EXPECT_TRUE(UnlockFileRead(reader1, key1));
    EXPECT_FALSE(LockFileWrite(writer, Quick()));
    EXPECT_TRUE(UnlockFileRead(reader2, key2));
    EXPECT_TRUE(LockFileWrite(writer, Quick()));
    EXPECT_FALSE(LockFileRead(reader1, key1, Quick()));  // the writer bars new readers
    EXPECT_TRUE(UnlockFileWrite(writer));
    EXPECT_FALSE(UnlockFileWrite(writer));
}

TEST_F(LockMapTest, ReadLockDrawsANewKeyForEachAttemptAndRemembersTheWinner) {
    TFileHandler holder(Path()), reader(Path());
    holder.OpenFile();
    reader.OpenFile();
    ASSERT_TRUE(holder.LockRegion(1, ReadLockOffset(5)));

    std::vector<std::uint32_t> draws = {5, 0x10005, 0, 9};  // 0x10005 is key 5, 0 is key 1
    std::size_t next = 0;
    TLockRetryPolicy policy = Quick();
    policy.Attempts = 5;
    policy.DrawKey = [&] { return draws[next++ % draws.size()]; };

    std::uint16_t key = 0;
    ASSERT_TRUE(LockFileRead(reader, key, policy));
    EXPECT_EQ(key, 1);
    EXPECT_EQ(next, 3u);
    EXPECT_FALSE(holder.LockRegion(1, ReadLockOffset(1)));
    EXPECT_TRUE(UnlockFileRead(reader, key));

    // Every attempt draws once, and the bound is kept.
    ASSERT_TRUE(holder.LockRegion(1, ReadLockOffset(1)));
    next = 0;
    draws = {5, 0};
    key = 77;
    EXPECT_FALSE(LockFileRead(reader, key, policy));
    EXPECT_EQ(next, 5u);
    EXPECT_EQ(key, 77);  // untouched on failure
}

TEST_F(LockMapTest, RecordLocksAndTheWritersByteAreSeparateBytes) {
    TFileHandler a(Path()), b(Path());
    a.OpenFile();
    b.OpenFile();
    EXPECT_TRUE(LockRecord(a, 1));
    EXPECT_FALSE(LockRecord(b, 1));
    EXPECT_TRUE(LockRecord(b, 2));
    EXPECT_FALSE(LockRecord(b, 0));
    EXPECT_TRUE(LockTableWrite(a, Quick()));
    EXPECT_FALSE(LockTableWrite(b, Quick()));
    EXPECT_TRUE(UnlockTableWrite(a));
    EXPECT_TRUE(UnlockRecord(a, 1));
    EXPECT_FALSE(UnlockRecord(a, 1));
    {
        TRegionLockGuard held(b, kWriterByteOffset, 1);
        ASSERT_TRUE(LockTableWrite(b, Quick()));
    }
    EXPECT_TRUE(LockTableWrite(a, Quick()));  // the guard gave it back
}

// Two processes, each with its own descriptor, as two running programs.
TEST_F(LockMapTest, ReadLocksOfTwoProcessesCoexistWhileTheWriteLockWaitsForBoth) {
    TChildProcess child([&](TChildProcess::TChannel& parent) {
        TFileHandler file(Path());
        file.OpenFile();
        std::uint16_t key = 0;
        if (!LockFileRead(file, key, Quick())) return 1;
        parent.Send('R');
        if (parent.Receive() != 'U') return 2;
        if (!UnlockFileRead(file, key)) return 3;
        parent.Send('u');
        if (parent.Receive() != 'T') return 4;
        // The parent now holds the write lock: no new reader gets in.
        parent.Send(LockFileRead(file, key, Quick()) ? 'r' : 'w');
        return parent.Receive() == 'Q' ? 0 : 5;
    });
    ASSERT_TRUE(child.Started());

    TFileHandler file(Path());
    file.OpenFile();
    std::uint16_t key = 0;
    ASSERT_TRUE(LockFileRead(file, key, Quick()));
    ASSERT_EQ(child.Receive(), 'R');
    EXPECT_FALSE(LockFileWrite(file, Quick()));  // both readers hold their bytes
    ASSERT_TRUE(UnlockFileRead(file, key));
    EXPECT_FALSE(LockFileWrite(file, Quick()));  // the other process still reads
    child.Send('U');
    ASSERT_EQ(child.Receive(), 'u');
    EXPECT_TRUE(LockFileWrite(file, Quick()));
    child.Send('T');
    EXPECT_EQ(child.Receive(), 'w');
    child.Send('Q');
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(UnlockFileWrite(file));
}

// A run unlock frees the other processes' way to every byte of the run and
// to nothing else; a run with a byte not locked here unlocks nothing.
TEST_F(LockMapTest, RecordRunUnlockFreesExactlyItsBytesForOtherProcesses) {
    // The child reports which of records 1..6 it could lock, as digits.
    TChildProcess child([&](TChildProcess::TChannel& parent) {
        TFileHandler file(Path());
        file.OpenFile();
        for (char step = parent.Receive(); step == 'P'; step = parent.Receive()) {
            for (std::uint32_t record = 1; record <= 6; ++record) {
                const bool free = LockRecord(file, record);
                if (free && !UnlockRecord(file, record)) return 1;
                parent.Send(free ? '1' : '0');
            }
        }
        return 0;
    });
    ASSERT_TRUE(child.Started());
    const auto probe = [&] {
        child.Send('P');
        std::string seen;
        for (int i = 0; i < 6; ++i) seen += child.Receive();
        return seen;
    };

    TFileHandler file(Path());
    file.OpenFile();
    for (std::uint32_t record : {1u, 2u, 3u, 5u, 6u}) ASSERT_TRUE(LockRecord(file, record));
    EXPECT_EQ(probe(), "000100");
    EXPECT_FALSE(UnlockRecordRun(file, 2, 4));  // record 4 is not held here
    EXPECT_FALSE(UnlockRecordRun(file, 0, 2));
    EXPECT_FALSE(UnlockRecordRun(file, 1, 0));
    EXPECT_EQ(probe(), "000100");
    EXPECT_TRUE(UnlockRecordRun(file, 2, 2));
    EXPECT_EQ(probe(), "011100");
    EXPECT_FALSE(UnlockRecord(file, 2));  // gone from the list too
    EXPECT_TRUE(UnlockRecordRun(file, 5, 2));
    EXPECT_TRUE(UnlockRecordRun(file, 1, 1));
    EXPECT_EQ(probe(), "111111");
    child.Send('Q');
    EXPECT_EQ(child.Wait(), 0);
}

// Share modes between processes: a conflict is 11013 in both directions.
TEST_F(LockMapTest, ExclusiveAndSharedOpensConflictAcrossProcesses) {
    for (bool childExclusive : {true, false}) {
        TChildProcess child([&](TChildProcess::TChannel& parent) {
            TFileHandler file(Path());
            file.SetExclusive(childExclusive);
            file.OpenFile();
            parent.Send('O');
            return parent.Receive() == 'Q' ? 0 : 1;
        });
        ASSERT_TRUE(child.Started());
        ASSERT_EQ(child.Receive(), 'O');

        TFileHandler exclusive(Path());
        exclusive.SetExclusive(true);
        EXPECT_EQ(CodeOf([&] { exclusive.OpenFile(); }), PIRIN_OSEACCES) << childExclusive;
        TFileHandler shared(Path());
        if (childExclusive) {
            EXPECT_EQ(CodeOf([&] { shared.OpenFile(); }), PIRIN_OSEACCES);
        } else {
            shared.OpenFile();
            std::uint8_t byte = 0;
            EXPECT_EQ(shared.ReadAt(0, &byte, 1), 1u);
        }
        shared.CloseFile();
        child.Send('Q');
        EXPECT_EQ(child.Wait(), 0);
        exclusive.OpenFile();  // the other process has gone
    }
}

}  // namespace
}  // namespace pirin
