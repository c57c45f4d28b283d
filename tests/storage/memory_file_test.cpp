// In-memory files, and the behaviours both kinds of file share: truncation,
// reading past the end, and the in-process lock list.
#include "storage/memory_file.h"

#include <gtest/gtest.h>

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
