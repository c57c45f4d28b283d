// Batched reads through the file handler: the same bytes and counts as one
// ReadAt per request on disk and in memory, and the seam's faults landing on
// the request they were aimed at.
#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "storage/faulty_file_system.h"
#include "storage/file_handler.h"
#include "storage/file_system.h"
#include "tests/storage/file_test_support.h"

namespace pirin {
namespace {

using testing::CodeOf;
using testing::Pattern;
using testing::TScratchFolder;

constexpr std::size_t kFileBytes = 3000;

struct TSpan {
    std::uint64_t Offset;
    std::size_t Count;
};

// Out of order, overlapping, empty, across the end and past it.
const std::vector<TSpan> kSpans = {{2900, 100}, {0, 100}, {1500, 1},   {50, 2000},
                                   {100, 0},    {2950, 100}, {4000, 10}, {10, 2990}};

// Requests for `spans`, each with a buffer of its own from `buffers`.
std::vector<TReadRequest> RequestsFor(const std::vector<TSpan>& spans,
                                      std::vector<std::vector<std::uint8_t>>& buffers) {
    buffers.assign(spans.size(), {});
    std::vector<TReadRequest> requests;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        buffers[i].assign(spans[i].Count + 1, 0xAB);  // never a null buffer
        requests.push_back({spans[i].Offset, buffers[i].data(), spans[i].Count, 99});
    }
    return requests;
}

class FileBatchRead : public ::testing::Test {
  protected:
    TScratchFolder Folder;
    const std::vector<std::uint8_t> Bytes = Pattern(kFileBytes);

    void Fill(TFileHandler& file) {
        file.CreateNewFile();
        file.WriteAt(0, Bytes.data(), Bytes.size());
    }
};

TEST_F(FileBatchRead, GivesWhatOneReadPerRequestGivesOnDiskAndInMemory) {
    for (const bool inMemory : {false, true}) {
        SCOPED_TRACE(inMemory ? "in memory" : "on disk");
        TFileHandler file(Folder / (inMemory ? "m.dat" : "d.dat"));
        file.SetInMemory(inMemory);
        Fill(file);
        std::vector<std::vector<std::uint8_t>> buffers;
        std::vector<TReadRequest> requests = RequestsFor(kSpans, buffers);
        file.ReadBatch(requests, true);
        for (std::size_t i = 0; i < kSpans.size(); ++i) {
            SCOPED_TRACE(::testing::Message() << "request at " << kSpans[i].Offset);
            std::vector<std::uint8_t> single(kSpans[i].Count + 1, 0xAB);
            const std::size_t got = file.ReadAt(kSpans[i].Offset, single.data(), kSpans[i].Count, true);
            EXPECT_EQ(requests[i].Transferred, got);
            EXPECT_EQ(buffers[i], single);
        }
        // The position stands where a read of the last request leaves it.
        std::vector<TReadRequest> last = RequestsFor({{500, 20}}, buffers);
        file.ReadBatch(last);
        std::uint8_t next = 0;
        EXPECT_EQ(file.ReadBytes(&next, 1), 1u);
        EXPECT_EQ(next, Bytes[520]);

        // Short reads raise unless allowed, as ReadAt does.
        std::vector<TReadRequest> shortOne = RequestsFor({{0, 10}, {2990, 20}}, buffers);
        EPirinEngineError error(0);
        EXPECT_EQ(CodeOf([&] { file.ReadBatch(shortOne); }, &error), PIRIN_READERR);
        EXPECT_EQ(error.OSErrorCode, 0);
        file.CloseFile();
        EXPECT_EQ(CodeOf([&] { file.ReadBatch(shortOne, true); }), PIRIN_READERR);
    }
}

TEST_F(FileBatchRead, SeamFaultsHitTheRequestTheyWereAimedAt) {
    TFaultyFileSystem faulty;
    TFileSystemOverride override(faulty);
    TFileHandler file(Folder / "f.dat");
    Fill(file);
    const std::vector<TSpan> spans = {{0, 10}, {100, 10}, {200, 10}, {300, 10}};
    std::vector<std::vector<std::uint8_t>> buffers;

    // Each request is one read of the seam.
    int before = faulty.CallCount(TFaultyFileSystem::TCall::Read);
    std::vector<TReadRequest> requests = RequestsFor(spans, buffers);
    file.ReadBatch(requests);
    EXPECT_EQ(faulty.CallCount(TFaultyFileSystem::TCall::Read) - before, 4);

    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(::testing::Message() << "failing read " << n);
        requests = RequestsFor(spans, buffers);
        faulty.FailNth(TFaultyFileSystem::TCall::Read, n, EIO);
        before = faulty.CallCount(TFaultyFileSystem::TCall::Read);
        EPirinEngineError error(0);
        EXPECT_EQ(CodeOf([&] { file.ReadBatch(requests); }, &error), PIRIN_READERR);
        EXPECT_EQ(error.OSErrorCode, EIO);
        EXPECT_EQ(error.ErrorTableName, "f");
        // The requests before the failed one were read; none after it.
        EXPECT_EQ(faulty.CallCount(TFaultyFileSystem::TCall::Read) - before, n);
        for (int i = 0; i < 4; ++i) {
            const auto& request = requests[static_cast<std::size_t>(i)];
            EXPECT_EQ(request.Transferred, i < n - 1 ? 10u : 0u) << i;
            if (i < n - 1) {
                EXPECT_TRUE(std::equal(buffers[static_cast<std::size_t>(i)].begin(),
                                       buffers[static_cast<std::size_t>(i)].begin() + 10,
                                       Bytes.begin() + static_cast<std::ptrdiff_t>(request.Offset)));
            }
        }
    }

    // A short read in the middle of the batch is a short request.
    faulty.ShortenReads(4);
    requests = RequestsFor(spans, buffers);
    EXPECT_EQ(CodeOf([&] { file.ReadBatch(requests); }), PIRIN_READERR);
    requests = RequestsFor(spans, buffers);
    file.ReadBatch(requests, true);
    for (const TReadRequest& request : requests) EXPECT_EQ(request.Transferred, 4u);
}

}  // namespace
}  // namespace pirin
