// The open-file list seen through handlers: one file object per file, share
// modes inside the process, names, read-only files, and files in use.
#include "storage/file_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <thread>

#include "storage/faulty_file_system.h"
#include "storage/file_handler.h"
#include "tests/storage/file_test_support.h"

namespace pirin {
namespace {

using testing::CodeOf;
using testing::GetFile;
using testing::Pattern;
using testing::PutFile;
using testing::TScratchFolder;
namespace fs = std::filesystem;

class FileListTest : public ::testing::Test {
  protected:
    void SetUp() override { PutFile(Folder / "Bg_En.DAT", Pattern(1000)); }
    std::string Path() const { return Folder / "Bg_En.DAT"; }

    TScratchFolder Folder;
    TFaultyFileSystem Counting;  // no faults armed: counts the opens
    TFileSystemOverride Override{Counting};
};

TEST_F(FileListTest, HandlersOfOnePathShareOneFileObjectAndDescriptor) {
    const std::size_t before = TFileList::Instance().EntryCount(false);
    TFileHandler a(Path()), b(Path());
    a.OpenFile();
    b.OpenFile();
    EXPECT_EQ(a.File(), b.File());
    EXPECT_NE(a.HandleId(), b.HandleId());
    EXPECT_EQ(Counting.OpenCount(), 1);
    EXPECT_EQ(TFileList::Instance().EntryCount(false), before + 1);

    // Positions belong to the handles.
    a.SeekTo(0, 500);
    std::uint8_t fromA = 0, fromB = 0;
    a.ReadBytes(&fromA, 1);
    b.ReadBytes(&fromB, 1);
    EXPECT_EQ(fromA, Pattern(1000)[500]);
    EXPECT_EQ(fromB, Pattern(1000)[0]);

    a.CloseFile();
    std::uint8_t byte = 0x5A;
    b.WriteAt(999, &byte, 1);  // the descriptor is still open
    a.OpenFile();              // and is reused
    EXPECT_EQ(Counting.OpenCount(), 1);
    EXPECT_GT(a.HandleId(), b.HandleId());  // ids only grow
    a.CloseFile();
    b.CloseFile();
    EXPECT_EQ(TFileList::Instance().EntryCount(false), before);
    EXPECT_EQ(GetFile(Path())[999], 0x5A);
}

TEST_F(FileListTest, OtherNamesOfTheSameFileReachTheSameObject) {
    fs::create_hard_link(Path(), Folder / "link.dat");
    TFileHandler exact(Path()), link(Folder / "link.dat"), upper(Folder / "BG_EN.dat"),
        padded("  " + Path() + " ");
    EXPECT_TRUE(upper.FileExists());
    const std::size_t entries = TFileList::Instance().EntryCount(false);
    const auto descriptors = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    exact.OpenFile();
    const auto openDescriptors = descriptors();
    for (TFileHandler* file : {&link, &upper, &padded}) file->OpenFile();
    EXPECT_EQ(link.File(), exact.File());
    EXPECT_EQ(upper.File(), exact.File());
    EXPECT_EQ(padded.File(), exact.File());
    // One entry and one descriptor: a descriptor opened to learn that a new
    // name is an open file is not kept.
    EXPECT_EQ(TFileList::Instance().EntryCount(false), entries + 1);
    EXPECT_EQ(descriptors(), openDescriptors);
}

TEST_F(FileListTest, ExclusiveAndSharedOpensExcludeEachOtherInOneProcess) {
    for (bool firstExclusive : {true, false}) {
        TFileHandler first(Path()), second(Path());
        first.SetExclusive(firstExclusive);
        second.SetExclusive(!firstExclusive);
        first.OpenFile();
        EXPECT_EQ(CodeOf([&] { second.OpenFile(); }), PIRIN_OSEACCES) << firstExclusive;
        EXPECT_FALSE(second.IsOpen());
    }
    TFileHandler one(Path()), two(Path());
    one.SetExclusive(true);
    two.SetExclusive(true);
    one.OpenFile();
    EXPECT_EQ(CodeOf([&] { two.OpenFile(); }), PIRIN_OSEACCES);
    one.CloseFile();
    two.OpenFile();  // free again once the holder closed
}

TEST_F(FileListTest, FilesInUseCannotBeDeletedRenamedOrCreated) {
    TFileHandler user(Path()), other(Folder / "bg_en.dat");
    user.OpenFile();
    EXPECT_EQ(CodeOf([&] { other.RemoveFile(); }), PIRIN_OSEACCES);
    EXPECT_EQ(CodeOf([&] { other.RenameTo(Folder / "moved.dat"); }), PIRIN_OSEACCES);
    EXPECT_EQ(CodeOf([&] { other.CreateNewFile(); }), PIRIN_OSEACCES);
    EXPECT_EQ(GetFile(Path()), Pattern(1000));
    user.CloseFile();

    // A rename never replaces a file; a free one moves and keeps its contents.
    PutFile(Folder / "taken.dat", Pattern(3));
    EXPECT_EQ(CodeOf([&] { other.RenameTo(Folder / "taken.dat"); }), PIRIN_OSUNKNOWN);
    EXPECT_EQ(GetFile(Folder / "taken.dat"), Pattern(3));
    other.RenameTo(Folder / "moved.dat");
    EXPECT_EQ(other.FileName(), Folder / "moved.dat");
    EXPECT_EQ(GetFile(Folder / "moved.dat"), Pattern(1000));
    other.RemoveFile();
    EXPECT_FALSE(fs::exists(Folder / "moved.dat"));
    EXPECT_EQ(CodeOf([&] { other.RemoveFile(); }), PIRIN_OSENOENT);
}

TEST_F(FileListTest, FileWithoutWriteBitsOpensReadOnlyWithBothFlagsAndStillLocks) {
    fs::permissions(Path(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    TFileHandler file(Path());
    file.OpenFile();
    EXPECT_TRUE(file.OpenedReadOnly());
    EXPECT_TRUE(file.ReadOnlyAttribute());
    std::uint8_t byte = 0;
    EXPECT_EQ(file.ReadAt(3, &byte, 1), 1u);
    EXPECT_EQ(CodeOf([&] { file.WriteAt(0, &byte, 1); }), PIRIN_WRITEERR);
    // A reader of a read-only table still takes its lock bytes.
    EXPECT_TRUE(file.LockRegion(1, 4294967000));
    EXPECT_TRUE(file.UnlockRegion(1, 4294967000));
    file.CloseFile();

    // Opened for reading, an exclusive open of such a file admits readers
    // elsewhere (another process's, here another descriptor's), even where
    // the process may open it for writing.
    TOSFile reader = kNoOSFile;
    TFileStat opened;
    ASSERT_EQ(DiskFileSystem().Open(Path(), TOSAccess::Read, TOSShare::Shared, reader, opened), 0);
    TFileHandler exclusive(Path());
    exclusive.SetExclusive(true);
    exclusive.OpenFile();
    EXPECT_TRUE(exclusive.OpenedReadOnly());
    exclusive.CloseFile();
    DiskFileSystem().Close(reader);
}

// Running as root, permission bits never refuse a read-write open, so the
// refusal comes from the seam: read-write opens fail with EACCES (or EROFS)
// while reading works. A non-root run also checks a real file.
TEST_F(FileListTest, FileThatCannotBeOpenedForWritingOpensReadOnlyWithoutTheAttribute) {
    for (int refusal : {EACCES, EROFS}) {
        Counting.FailOpens(refusal, /*readWriteOnly=*/true);
        TFileHandler file(Path());
        file.OpenFile();
        EXPECT_TRUE(file.OpenedReadOnly());
        EXPECT_FALSE(file.ReadOnlyAttribute());
        std::uint8_t bytes[4];
        EXPECT_EQ(file.ReadAt(0, bytes, 4), 4u);
    }
    Counting.FailOpens(0);
    // Any other failure is not retried read-only.
    Counting.FailOpens(EIO, true);
    TFileHandler failing(Path());
    EXPECT_EQ(CodeOf([&] { failing.OpenFile(); }), PIRIN_OSUNKNOWN);
    Counting.FailOpens(0);

    if (::geteuid() != 0) {
        fs::permissions(Path(), fs::perms::owner_read | fs::perms::group_read |
                                    fs::perms::group_write | fs::perms::others_read);
        TFileHandler real(Path());
        real.OpenFile();
        EXPECT_TRUE(real.OpenedReadOnly());
        EXPECT_FALSE(real.ReadOnlyAttribute());
    }
}

TEST_F(FileListTest, TemporaryDiskFilesVanishWithTheirLastHandle) {
    TFileHandler created(Folder / "sort.tmp");
    created.SetTemporary(true);
    created.CreateNewFile();
    created.WriteAt(0, Pattern(10).data(), 10);
    created.CloseFile();
    EXPECT_FALSE(fs::exists(Folder / "sort.tmp"));

    TFileHandler keeper(Path()), temporary(Path());
    temporary.SetTemporary(true);
    temporary.OpenFile();
    keeper.OpenFile();
    temporary.CloseFile();
    EXPECT_TRUE(fs::exists(Path()));  // still in use
    keeper.CloseFile();
    EXPECT_FALSE(fs::exists(Path()));
}

TEST_F(FileListTest, CreatingReplacesContentsAndDirectoriesAreNotFiles) {
    TFileHandler file(Path());
    file.CreateNewFile();
    EXPECT_EQ(file.FileLength(), 0);
    file.CloseFile();
    EXPECT_TRUE(GetFile(Path()).empty());

    TFileHandler folder(Folder.Path().string());
    EXPECT_FALSE(folder.FileExists());
    EXPECT_EQ(CodeOf([&] { folder.OpenFile(); }), PIRIN_OSENOENT);
}

TEST_F(FileListTest, ThreadsOpeningWritingAndClosingOneFileKeepItConsistent) {
    const std::size_t before = TFileList::Instance().EntryCount(false);
    constexpr int kThreads = 4, kRounds = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                TFileHandler file(Path());
                file.OpenFile();
                std::uint8_t mine[16];
                std::fill(std::begin(mine), std::end(mine), static_cast<std::uint8_t>(t + round));
                file.WriteAt(100 + 16 * t, mine, sizeof mine);
                std::uint8_t back[16];
                file.ReadAt(100 + 16 * t, back, sizeof back);
                EXPECT_TRUE(std::equal(std::begin(mine), std::end(mine), back));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(TFileList::Instance().EntryCount(false), before);
    auto bytes = GetFile(Path());
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(bytes[100 + 16 * t], t + kRounds - 1);
}

}  // namespace
}  // namespace pirin
