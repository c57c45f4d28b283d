// Whole-file copies: plain and compressed, progress reports, copying into a
// longer file, files in use, and failures that must not leave a handle open.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>

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

constexpr std::size_t kChunk = 65536;

// Undoes a compressed copy: one zlib stream per chunk, back to back. Fails the
// test on anything else, including a stray stream for an empty chunk.
std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& packed, int& streams) {
    std::vector<std::uint8_t> result;
    std::size_t at = 0;
    streams = 0;
    while (at < packed.size()) {
        std::vector<std::uint8_t> chunk(kChunk);
        uLongf chunkLength = kChunk;
        uLong consumed = static_cast<uLong>(packed.size() - at);
        EXPECT_EQ(uncompress2(chunk.data(), &chunkLength, packed.data() + at, &consumed), Z_OK);
        if (consumed == 0 || chunkLength == 0) {
            ADD_FAILURE() << "empty or unreadable stream at " << at;
            break;
        }
        result.insert(result.end(), chunk.begin(), chunk.begin() + chunkLength);
        at += consumed;
        ++streams;
    }
    return result;
}

class FileCopyTest : public ::testing::Test {
  protected:
    TScratchFolder Folder;
};

TEST_F(FileCopyTest, CopiesPlainAndCompressedForEverySizeOfLastChunk) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1000}, kChunk, 2 * kChunk + 5}) {
        const auto bytes = Pattern(size, static_cast<unsigned>(size));
        PutFile(Folder / "src.dat", bytes);
        TFileHandler source(Folder / "src.dat");
        source.OpenFile();

        source.CopyToFile(Folder / "plain.dat", false);
        EXPECT_EQ(GetFile(Folder / "plain.dat"), bytes) << size;

        source.CopyToFile(Folder / "packed.dat", true);
        int streams = 0;
        EXPECT_EQ(Inflate(GetFile(Folder / "packed.dat"), streams), bytes) << size;
        EXPECT_EQ(streams, static_cast<int>((size + kChunk - 1) / kChunk)) << size;
    }
}

TEST_F(FileCopyTest, ProgressGrowsByTheStepUpToTheEnd) {
    PutFile(Folder / "big.dat", Pattern(25 * kChunk + 100));
    TFileHandler source(Folder / "big.dat");
    source.OpenFile();
    std::vector<int> reports;
    source.CopyToFile(Folder / "copy.dat", false, 10,
                      [&](int percent) { reports.push_back(percent); });
    ASSERT_FALSE(reports.empty());
    EXPECT_LE(reports.size(), 10u);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_GE(reports[i], 10 * static_cast<int>(i + 1));
        if (i > 0) {
            EXPECT_GE(reports[i], reports[i - 1] + 10);
        }
    }
    // The copy ends at 100, which is reported unless the last report was
    // within a step of it.
    EXPECT_GT(reports.back(), 90);

    // An empty source is complete at once rather than a division by zero.
    PutFile(Folder / "empty.dat", {});
    TFileHandler empty(Folder / "empty.dat");
    empty.OpenFile();
    reports.clear();
    empty.CopyToFile(Folder / "empty2.dat", false, 10,
                     [&](int percent) { reports.push_back(percent); });
    EXPECT_EQ(reports, std::vector<int>{100});
}

TEST_F(FileCopyTest, CopyFromLeavesExactlyTheSourceInALongerFile) {
    PutFile(Folder / "src.dat", Pattern(1000));
    TFileHandler target(Folder / "dst.dat");
    target.CreateNewFile();
    target.WriteAt(0, Pattern(200000, 7).data(), 200000);
    target.CopyFromFile(Folder / "src.dat", false);
    EXPECT_EQ(target.FileLength(), 1000);
    target.CloseFile();
    EXPECT_EQ(GetFile(Folder / "dst.dat"), Pattern(1000));
}

TEST_F(FileCopyTest, CopiesBetweenInMemoryFiles) {
    TFileHandler source("Memory/copy-src.DAT");
    source.SetInMemory(true);
    source.CreateNewFile();
    source.WriteAt(0, Pattern(70000).data(), 70000);
    source.CopyToFile("Memory/copy-dst.DAT", false);

    TFileHandler copy("Memory/copy-dst.DAT");
    copy.SetInMemory(true);
    EXPECT_TRUE(copy.FileExists());
    copy.OpenFile();
    std::vector<std::uint8_t> back(70000);
    EXPECT_EQ(copy.ReadAt(0, back.data(), back.size()), back.size());
    EXPECT_EQ(back, Pattern(70000));
    copy.CloseFile();
    copy.RemoveFile();
    source.CloseFile();
    source.RemoveFile();
}

TEST_F(FileCopyTest, FilesInUseAndFailuresLeaveNoHandleBehind) {
    PutFile(Folder / "src.dat", Pattern(3 * kChunk));
    TFileHandler source(Folder / "src.dat"), target(Folder / "dst.dat");
    source.OpenFile();
    target.CreateNewFile();
    // The source is open here, so it cannot be opened exclusively.
    EXPECT_EQ(CodeOf([&] { target.CopyFromFile(Folder / "src.dat", false); }), PIRIN_OSEACCES);
    EXPECT_EQ(CodeOf([&] { source.CopyToFile(Folder / "dst.dat", false); }), PIRIN_OSEACCES);
    EXPECT_EQ(CodeOf([&] { target.CopyFromFile(Folder / "missing.dat", false); }), PIRIN_OSENOENT);
    target.CloseFile();

    TFaultyFileSystem faulty;
    TFileSystemOverride override(faulty);
    faulty.FailNthWrite(2);
    EPirinEngineError error(0);
    EXPECT_EQ(CodeOf([&] { source.CopyToFile(Folder / "out.dat", false); }, &error),
              PIRIN_WRITEERR);
    EXPECT_EQ(error.ErrorTableName, "out");
    TFileHandler out(Folder / "out.dat");
    out.RemoveFile();  // would be 11013 if the copy had kept its handle
}

}  // namespace
}  // namespace pirin
