// In-memory files, and the behaviours both kinds of file share: truncation,
// reading past the end, positions after positioned transfers, use from two
// threads, and the in-process lock list.
#include "storage/memory_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "storage/file_handler.h"
#include "storage/file_list.h"
#include "tests/storage/file_test_support.h"

namespace pirin {
namespace {

using testing::CodeOf;
using testing::Pattern;
using testing::TScratchFolder;

// A unique in-memory name per use, since closed in-memory files stay listed.
std::string MemoryName(const std::string& stem) {
    static int counter = 0;
    return "Memory/" + stem + std::to_string(counter++) + ".DAT";
}

TEST(MemoryFile, ClosedFileKeepsItsContentsUntilRemoved) {
    const std::string name = MemoryName("Words");
    TFileHandler file(name);
    file.SetInMemory(true);
    EXPECT_FALSE(file.FileExists());
    EXPECT_EQ(CodeOf([&] { file.OpenFile(); }), PIRIN_OSENOENT);
    file.CreateNewFile();
    file.WriteAt(0, Pattern(6000).data(), 6000);
    file.CloseFile();

    TFileHandler again(" " + name + " ");
    again.SetInMemory(true);
    EXPECT_TRUE(again.FileExists());
    TFileHandler onDisk(name);  // the disk never sees in-memory names
    EXPECT_FALSE(onDisk.FileExists());
    again.OpenFile();
    std::vector<std::uint8_t> back(6000);
    EXPECT_EQ(again.ReadAt(0, back.data(), back.size()), 6000u);
    EXPECT_EQ(back, Pattern(6000));
    EXPECT_EQ(CodeOf([&] { again.RemoveFile(); }), PIRIN_OSEACCES);
    again.CloseFile();
    again.RemoveFile();
    EXPECT_FALSE(again.FileExists());
}

TEST(MemoryFile, TemporaryFileIsGoneAtItsLastClose) {
    const std::size_t before = TFileList::Instance().EntryCount(true);
    TFileHandler first(MemoryName("Tmp")), second(first.FileName());
    for (TFileHandler* file : {&first, &second}) {
        file->SetInMemory(true);
        file->SetTemporary(true);
    }
    first.CreateNewFile();
    second.SetExclusive(false);
    EXPECT_EQ(CodeOf([&] { second.OpenFile(); }), PIRIN_OSEACCES);  // created exclusively
    first.CloseFile();
    EXPECT_FALSE(first.FileExists());
    EXPECT_EQ(TFileList::Instance().EntryCount(true), before);
}

TEST(MemoryFile, BufferGrowsInPagesAndNeverShrinks) {
    TFileHandler file(MemoryName("Grow"));
    file.SetInMemory(true);
    file.CreateNewFile();
    auto& memory = static_cast<TMemoryFile&>(*file.File());
    file.WriteAt(0, Pattern(1).data(), 1);
    EXPECT_EQ(memory.Capacity(), 4096u);
    file.WriteAt(4096, Pattern(1).data(), 1);
    EXPECT_EQ(memory.Capacity(), 8192u);
    file.WriteAt(10, nullptr, 0);
    EXPECT_EQ(memory.Capacity(), 8192u);
    EXPECT_EQ(file.FileLength(), 10);
    file.CloseFile();
    file.RemoveFile();
}

TEST(MemoryFile, RenameMovesTheEntryButNeverOntoAnother) {
    TFileHandler a(MemoryName("A")), b(MemoryName("B"));
    for (TFileHandler* file : {&a, &b}) {
        file->SetInMemory(true);
        file->CreateNewFile();
        file->CloseFile();
    }
    EXPECT_EQ(CodeOf([&] { a.RenameTo(b.FileName()); }), PIRIN_OSUNKNOWN);
    const std::string fresh = MemoryName("C");
    a.RenameTo(fresh);
    EXPECT_EQ(a.FileName(), fresh);
    a.OpenFile();
    a.CloseFile();
    a.RemoveFile();
    b.RemoveFile();
}

// The same checks on a disk file and an in-memory file.
class BothKindsTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        File.SetInMemory(GetParam());
        File.SetFileName(GetParam() ? MemoryName("Both") : Folder / "both.dat");
        File.CreateNewFile();
    }
    void TearDown() override {
        File.CloseFile();
        File.RemoveFile();
    }

    TScratchFolder Folder;
    TFileHandler File;
};

TEST_P(BothKindsTest, ZeroByteWriteTruncatesAndRegrownBytesAreZero) {
    File.WriteAt(0, Pattern(100).data(), 100);
    File.WriteAt(40, nullptr, 0);
    EXPECT_EQ(File.FileLength(), 40);
    std::uint8_t last = 0xFF;
    File.WriteAt(60, &last, 1);
    std::vector<std::uint8_t> back(61);
    EXPECT_EQ(File.ReadAt(0, back.data(), back.size()), 61u);
    auto expected = Pattern(40);
    expected.resize(60, 0);  // not the old bytes 40..59
    expected.push_back(0xFF);
    EXPECT_EQ(back, expected);
}

TEST_P(BothKindsTest, ReadingPastTheEndGivesWhatExistsOrRaises) {
    const auto bytes = Pattern(10);
    File.WriteAt(0, bytes.data(), bytes.size());
    std::uint8_t buffer[20] = {};
    EXPECT_EQ(File.ReadAt(5, buffer, 20, true), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 5),
              std::vector<std::uint8_t>(bytes.begin() + 5, bytes.end()));
    EXPECT_EQ(CodeOf([&] { File.ReadAt(5, buffer, 20); }), PIRIN_READERR);
    EXPECT_EQ(File.ReadAt(50, buffer, 20, true), 0u);
}

TEST_P(BothKindsTest, PositionedTransfersLeaveThePositionAfterTheBytesMoved) {
    const auto bytes = Pattern(40);
    File.WriteAt(10, bytes.data(), 20);
    File.WriteBytes(bytes.data() + 20, 5);  // carries on at 30
    EXPECT_EQ(File.FileLength(), 35);
    std::uint8_t buffer[10] = {};
    EXPECT_EQ(File.ReadAt(30, buffer, 10, true), 5u);
    EXPECT_EQ(File.SeekTo(kSeekFromCurrent, 0), 35);  // after the 5 bytes read
    EXPECT_EQ(File.ReadAt(12, buffer, 4), 4u);
    EXPECT_EQ(File.ReadBytes(buffer, 4), 4u);  // carries on at 16
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 4),
              std::vector<std::uint8_t>(bytes.begin() + 6, bytes.begin() + 10));
    EXPECT_EQ(File.ReadAt(100, buffer, 4, true), 0u);
    EXPECT_EQ(File.SeekTo(kSeekFromCurrent, 0), 100);  // as a seek there and a read
    File.WriteAt(20, nullptr, 0);
    EXPECT_EQ(File.SeekTo(kSeekFromCurrent, 0), 20);
}

// Handlers of one file used by two threads at once: positioned transfers
// need no outer section, and a seek-and-read sequence held with the enter
// guard is never split by the other thread's transfers.
TEST_P(BothKindsTest, HandlersOfOneFileTransferFromTwoThreadsWithoutMixingPositions) {
    File.CloseFile();
    File.OpenFile();
    constexpr std::size_t kBlock = 64;
    const auto run = [&](std::uint8_t tag, std::uint64_t base, bool& ok) {
        TFileHandler handler(File.FileName());
        handler.SetInMemory(GetParam());
        handler.OpenFile();
        std::vector<std::uint8_t> block(kBlock, tag), back(kBlock);
        for (int i = 0; i < 500 && ok; ++i) {
            const std::uint64_t offset = base + static_cast<std::uint64_t>(i % 8) * kBlock;
            block[0] = static_cast<std::uint8_t>(i);
            handler.WriteAt(offset, block.data(), kBlock);
            ok = handler.ReadAt(offset, back.data(), kBlock) == kBlock && back == block;
            TFileEnterGuard entered(handler);
            handler.SeekTo(kSeekFromStart, static_cast<std::int64_t>(offset));
            ok = ok && handler.ReadBytes(back.data(), kBlock) == kBlock && back == block;
        }
        handler.CloseFile();
    };
    bool firstOk = true, secondOk = true;
    std::thread first(run, std::uint8_t{0xA1}, 0, std::ref(firstOk));
    std::thread second(run, std::uint8_t{0xB2}, 8 * kBlock, std::ref(secondOk));
    first.join();
    second.join();
    EXPECT_TRUE(firstOk);
    EXPECT_TRUE(secondOk);
}

// The file object's section: the holder re-enters it, nobody else gets it
// until the last leave, and threads that wait for it are woken and take
// turns (a lost wake-up hangs here, a broken exclusion loses increments).
TEST(FileCriticalSection, ReentersForTheHolderAndExcludesEveryoneElse) {
    TFileCriticalSection section;
    const auto otherTakes = [&] {
        bool taken = false;
        std::thread other([&] {
            taken = section.try_lock();
            if (taken) section.unlock();
        });
        other.join();
        return taken;
    };
    section.lock();
    EXPECT_TRUE(section.try_lock());
    section.lock();
    section.unlock();
    section.unlock();
    EXPECT_FALSE(otherTakes());  // still held once
    section.unlock();
    EXPECT_TRUE(otherTakes());

    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                TFileSectionGuard outer(section);
                TFileSectionGuard inner(section);
                const long seen = counter;
                if (i % 64 == 0) std::this_thread::yield();  // others pile up meanwhile
                counter = seen + 1;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, long{kThreads} * kRounds);
    EXPECT_TRUE(otherTakes());
}

TEST_P(BothKindsTest, RegionsConflictAcrossHandlersAndUnlockNeedsTheExactRegion) {
    TFileHandler other(File.FileName());
    other.SetInMemory(GetParam());
    File.CloseFile();
    File.OpenFile();
    other.OpenFile();

    EXPECT_TRUE(File.LockRegion(10, 100));
    EXPECT_FALSE(other.LockRegion(10, 105));  // overlaps 100..109
    EXPECT_FALSE(File.LockRegion(1, 109));    // the same handler's region too
    EXPECT_TRUE(other.LockRegion(5, 110));
    EXPECT_FALSE(File.LockRegion(0, 200));  // empty region
    EXPECT_FALSE(File.UnlockRegion(5, 100));
    EXPECT_TRUE(other.UnlockRegion(10, 100));  // any handler of the file may unlock
    EXPECT_TRUE(File.LockRegion(65536, 4294901759));
    EXPECT_TRUE(File.LockRegion(1, 4294967295));
    EXPECT_FALSE(other.LockRegion(1, 4294967295));
    other.CloseFile();
}

INSTANTIATE_TEST_SUITE_P(Files, BothKindsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "InMemory" : "OnDisk"; });

}  // namespace
}  // namespace pirin
