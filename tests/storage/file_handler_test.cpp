// The file handler on disk files: positioned transfers, truncation, errors,
// and operating-system failures injected through the seam.
#include "storage/file_handler.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <thread>

#include "storage/abstract_file.h"
#include "storage/faulty_file_system.h"
#include "storage/file_system.h"
#include "tests/storage/file_test_support.h"

namespace pirin {
namespace {

using testing::CodeOf;
using testing::GetFile;
using testing::Pattern;
using testing::PutFile;
using testing::TScratchFolder;

class FileHandlerTest : public ::testing::Test {
  protected:
    TScratchFolder Folder;
};

TEST_F(FileHandlerTest, WritesAndReadsAtPositionsAndTruncatesWithAZeroByteWrite) {
    TFileHandler file(Folder / "Bg_En.DAT");
    file.CreateNewFile();
    auto bytes = Pattern(5000);
    file.WriteAt(0, bytes.data(), bytes.size());
    file.WriteAt(10000, bytes.data(), 16);  // beyond the end: the gap reads as zeros
    EXPECT_EQ(file.FileLength(), 10016);

    std::vector<std::uint8_t> back(5000);
    EXPECT_EQ(file.ReadAt(0, back.data(), back.size()), 5000u);
    EXPECT_EQ(back, bytes);

    file.WriteAt(40, nullptr, 0);
    EXPECT_EQ(file.FileLength(), 40);
    std::uint8_t tail[8];
    EXPECT_EQ(file.ReadAt(36, tail, 8, true), 4u);
    file.CloseFile();
    auto onDisk = GetFile(Folder / "Bg_En.DAT");
    EXPECT_EQ(onDisk, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 40));
}

TEST_F(FileHandlerTest, ShortReadsRaise9217UnlessAllowedAndFileLengthKeepsThePosition) {
    PutFile(Folder / "t.dat", Pattern(100));
    TFileHandler file(Folder / "t.dat");
    file.OpenFile();
    EXPECT_EQ(file.SeekTo(0, 30), 30);
    EXPECT_EQ(file.FileLength(), 100);
    std::uint8_t buffer[200];
    EXPECT_EQ(file.ReadBytes(buffer, 200, true), 70u);  // from 30: FileLength kept it
    EPirinEngineError error(0);
    EXPECT_EQ(CodeOf([&] { file.ReadAt(90, buffer, 20); }, &error), PIRIN_READERR);
    EXPECT_EQ(error.ErrorTableName, "t");
    EXPECT_EQ(CodeOf([&] { file.SeekTo(0, -1); }), PIRIN_OSUNKNOWN);
}

TEST_F(FileHandlerTest, ClosedHandlerRaisesInsteadOfTouchingAnything) {
    TFileHandler file(Folder / "none.dat");
    std::uint8_t byte = 0;
    EXPECT_EQ(CodeOf([&] { file.OpenFile(); }), PIRIN_OSENOENT);
    EXPECT_EQ(CodeOf([&] { file.ReadBytes(&byte, 1); }), PIRIN_READERR);
    EXPECT_EQ(CodeOf([&] { file.WriteBytes(&byte, 1); }), PIRIN_WRITEERR);
    EXPECT_EQ(CodeOf([&] { file.ReadAt(0, &byte, 1); }), PIRIN_READERR);
    EXPECT_EQ(CodeOf([&] { file.FlushFile(); }), PIRIN_WRITEERR);
    EXPECT_FALSE(file.LockRegion(1, 0));
    file.CloseFile();  // harmless
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileHandlerTest, EnterGuardLeavesOnExceptionsAndCloseLeavesWhatWasEntered) {
    PutFile(Folder / "g.dat", Pattern(10));
    TFileHandler file(Folder / "g.dat");
    file.OpenFile();
    std::uint8_t buffer[20];
    EXPECT_EQ(CodeOf([&] { file.ReadAt(0, buffer, 20); }), PIRIN_READERR);
    // The section is free again: another thread can take it.
    bool taken = false;
    std::thread other([&] {
        taken = file.File()->CriticalSection().try_lock();
        if (taken) file.File()->CriticalSection().unlock();
    });
    other.join();
    EXPECT_TRUE(taken);

    {
        TFileEnterGuard entered(file);
        file.CloseFile();  // leaves the section before the file object goes
    }
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileHandlerTest, CreatingOnAnOpenHandlerGivesTheOldHandleBack) {
    PutFile(Folder / "a.dat", Pattern(10));
    TFileHandler file(Folder / "a.dat");
    file.OpenFile();
    file.SetFileName(Folder / "b.dat");
    file.CreateNewFile();
    TFileHandler old(Folder / "a.dat");
    old.RemoveFile();  // 11013 while the first handle were still open
    EXPECT_FALSE(std::filesystem::exists(Folder / "a.dat"));
}

class FaultyFileTest : public FileHandlerTest {
  protected:
    TFaultyFileSystem Faulty;
    TFileSystemOverride Override{Faulty};
};

TEST_F(FaultyFileTest, InjectedFailuresBecomeReadAndWriteErrors) {
    TFileHandler file(Folder / "f.dat");
    file.CreateNewFile();
    auto bytes = Pattern(100);
    file.WriteAt(0, bytes.data(), bytes.size());

    Faulty.ShortenReads(10);
    std::uint8_t buffer[100];
    EXPECT_EQ(CodeOf([&] { file.ReadAt(0, buffer, 100); }), PIRIN_READERR);
    EXPECT_EQ(file.ReadAt(0, buffer, 100, true), 10u);
    Faulty.ShortenReads(SIZE_MAX);

    Faulty.FailNthWrite(2);
    file.WriteAt(0, bytes.data(), 1);
    EPirinEngineError error(0);
    EXPECT_EQ(CodeOf([&] { file.WriteAt(1, bytes.data(), 1); }, &error), PIRIN_WRITEERR);
    EXPECT_EQ(error.OSErrorCode, ENOSPC);
    EXPECT_EQ(error.ErrorTableName, "f");
    file.WriteAt(2, bytes.data(), 1);  // only the second write failed

    Faulty.FailSyncs(EIO);
    EXPECT_EQ(CodeOf([&] { file.FlushFile(); }, &error), PIRIN_WRITEERR);
    EXPECT_EQ(error.OSErrorCode, EIO);
    Faulty.FailSyncs(0);
    file.FlushFile();

    Faulty.FailTruncations(ENOSPC);
    EXPECT_EQ(CodeOf([&] { file.WriteAt(10, nullptr, 0); }), PIRIN_WRITEERR);
    EXPECT_EQ(file.FileLength(), 100);
}

TEST_F(FaultyFileTest, FailedOpensMapTheirErrnoToEngineCodes) {
    PutFile(Folder / "o.dat", Pattern(10));
    const std::pair<int, int> cases[] = {
        {ENOENT, 11010}, {ENOTDIR, 11010}, {EMFILE, 11012}, {ENFILE, 11012},  {EACCES, 11013},
        {EPERM, 11013},  {EROFS, 11013},   {EBUSY, 11013},  {ETXTBSY, 11013}, {EBADF, 11014},
        {ENOMEM, 11016}, {ENODEV, 11023},  {ENXIO, 11023},  {EXDEV, 11025},   {EIO, 11047},
        {ENOSPC, 11047}, {EINVAL, 11047},
    };
    for (auto [error, code] : cases) {
        Faulty.FailOpens(error);
        TFileHandler file(Folder / "o.dat");
        EPirinEngineError caught(0);
        EXPECT_EQ(CodeOf([&] { file.OpenFile(); }, &caught), code) << "errno " << error;
        EXPECT_EQ(caught.OSErrorCode, error);
        EXPECT_FALSE(file.IsOpen());
    }
    Faulty.FailOpens(0);
    TFileHandler file(Folder / "o.dat");
    file.OpenFile();  // a failed open left nothing behind in the list
    EXPECT_TRUE(file.IsOpen());
}

}  // namespace
}  // namespace pirin
