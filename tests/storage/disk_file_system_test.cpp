// The disk seam itself: descriptor-level locks and share modes (two
// descriptors of one process conflict as two processes would), name
// resolution ignoring case, and renames that never replace.
#include "storage/disk_file_system.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "storage/lock_map.h"
#include "tests/storage/file_test_support.h"

namespace pirin {
namespace {

using testing::Pattern;
using testing::PutFile;
using testing::TScratchFolder;

class DiskFileSystemTest : public ::testing::Test {
  protected:
    void SetUp() override { PutFile(Path(), Pattern(100)); }
    void TearDown() override {
        for (TOSFile file : Opened) Disk.Close(file);
    }
    std::string Path() const { return Folder / "Bg_En.DAT"; }
    // Opens and remembers for closing; the errno of a failure, else 0. The
    // open describes the file its descriptor refers to.
    int Open(TOSAccess access, TOSShare share, TOSFile& file) {
        TFileStat opened, named;
        int error = Disk.Open(Path(), access, share, file, opened);
        if (error != 0) return error;
        Opened.push_back(file);
        EXPECT_EQ(Disk.Stat(Path(), named), 0);
        EXPECT_TRUE(opened.RegularFile);
        EXPECT_EQ(opened.Inode, named.Inode);
        EXPECT_EQ(opened.Device, named.Device);
        EXPECT_EQ(opened.Size, named.Size);
        return 0;
    }

    TScratchFolder Folder;
    TDiskFileSystem Disk;
    std::vector<TOSFile> Opened;
};

TEST_F(DiskFileSystemTest, RegionLocksOfTwoDescriptorsConflictUpToTheShareByte) {
    TOSFile a = kNoOSFile, b = kNoOSFile;
    ASSERT_EQ(Open(TOSAccess::ReadWrite, TOSShare::Shared, a), 0);
    ASSERT_EQ(Open(TOSAccess::ReadWrite, TOSShare::Shared, b), 0);
    for (std::uint64_t start : {std::uint64_t{0}, kFileWriteLockOffset, kWriterByteOffset}) {
        EXPECT_EQ(Disk.LockRange(a, start, 1, true), 0) << start;
        EXPECT_EQ(Disk.LockRange(b, start, 1, true), EAGAIN) << start;
        EXPECT_EQ(Disk.LockRange(b, start, 1, false), EAGAIN) << start;
        EXPECT_EQ(Disk.UnlockRange(a, start, 1), 0);
        EXPECT_EQ(Disk.LockRange(b, start, 1, true), 0) << start;
    }
    // Read locks share; a write lock waits for every reader.
    EXPECT_EQ(Disk.LockRange(a, 5000, 10, false), 0);
    EXPECT_EQ(Disk.LockRange(b, 5005, 10, false), 0);
    EXPECT_EQ(Disk.LockRange(b, 4990, 12, true), EAGAIN);
    // A length of 0 would lock to infinity, over the share byte.
    EXPECT_EQ(Disk.LockRange(a, 100, 0, true), EINVAL);
    // Both hold the share byte for reading, so neither may write-lock it.
    EXPECT_EQ(Disk.LockRange(a, kShareModeByteOffset, 1, true), EAGAIN);
}

TEST_F(DiskFileSystemTest, ShareModesConflictBetweenDescriptors) {
    TOSFile exclusive = kNoOSFile, other = kNoOSFile;
    ASSERT_EQ(Open(TOSAccess::ReadWrite, TOSShare::Exclusive, exclusive), 0);
    EXPECT_EQ(Open(TOSAccess::Read, TOSShare::Shared, other), EBUSY);
    EXPECT_EQ(Disk.Create(Path(), other), EBUSY);
    Disk.Close(exclusive);
    Opened.clear();
    EXPECT_EQ(testing::GetFile(Path()), Pattern(100));  // the refused create truncated nothing

    // A read-only descriptor cannot hold a write lock; its exclusive open
    // still keeps writers out.
    TOSFile reader = kNoOSFile;
    ASSERT_EQ(Open(TOSAccess::Read, TOSShare::Exclusive, reader), 0);
    EXPECT_EQ(Open(TOSAccess::ReadWrite, TOSShare::Exclusive, other), EBUSY);
}

TEST_F(DiskFileSystemTest, NamesResolveIgnoringCaseWithinTheFolder) {
    EXPECT_EQ(Disk.ResolveName(Folder / "BG_EN.dat"), Path());
    EXPECT_EQ(Disk.ResolveName(Path()), Path());
    EXPECT_EQ(Disk.ResolveName(Folder / "Bg_En.IDX"), Folder / "Bg_En.IDX");  // nothing there
    PutFile(Folder / "BG_EN.DAT", Pattern(1));
    EXPECT_EQ(Disk.ResolveName(Folder / "bg_en.dat"), Folder / "BG_EN.DAT");  // first in byte order
    EXPECT_EQ(Disk.ResolveName("no-such-folder/x.dat"), "no-such-folder/x.dat");
}

TEST_F(DiskFileSystemTest, RenameNeverReplacesAndStatReportsTheAttribute) {
    PutFile(Folder / "other.dat", Pattern(5));
    EXPECT_EQ(Disk.Rename(Path(), Folder / "other.dat"), EEXIST);
    EXPECT_EQ(Disk.Rename(Path(), Folder / "moved.dat"), 0);
    TFileStat stat;
    ASSERT_EQ(Disk.Stat(Folder / "moved.dat", stat), 0);
    EXPECT_TRUE(stat.RegularFile);
    EXPECT_FALSE(stat.ReadOnlyAttribute);
    EXPECT_EQ(stat.Size, 100u);
    std::filesystem::permissions(Folder / "moved.dat", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    std::filesystem::permissions(Folder / "moved.dat", std::filesystem::perms::group_write,
                                 std::filesystem::perm_options::add);
    ASSERT_EQ(Disk.Stat(Folder / "moved.dat", stat), 0);
    EXPECT_FALSE(stat.ReadOnlyAttribute);  // any write bit counts
    EXPECT_EQ(Disk.Stat(Folder / "gone.dat", stat), ENOENT);
}

}  // namespace
}  // namespace pirin
