// Whole-file copy of TFileHandler: CopyToFile and CopyFromFile.
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "errors/engine_error.h"
#include "storage/file_handler.h"

namespace pirin {

namespace {

constexpr std::size_t kCopyChunk = 65536;

// Reports the percentage copied whenever it has grown by at least the step
// since the last report, so each report is larger than the one before.
class TCopyProgressReporter {
  public:
    TCopyProgressReporter(const TCopyProgress& progress, int step, std::int64_t total)
        : FProgress(progress), FStep(std::max(step, 1)), FTotal(total) {}

    void Copied(std::uint64_t bytes) {
        if (!FProgress) return;
        // An empty source is complete at once (and never divides by zero); a
        // source that grew while copied stays at 100.
        const int percent = FTotal <= 0
                                ? 100
                                : static_cast<int>(std::min<std::uint64_t>(
                                      100, bytes * 100 / static_cast<std::uint64_t>(FTotal)));
        if (percent - FLast < FStep) return;
        FLast = percent;
        FProgress(percent);
    }

  private:
    const TCopyProgress& FProgress;
    const int FStep;
    const std::int64_t FTotal;
    int FLast = 0;
};

// Copies `source` from its start into `dest` from its start, then cuts `dest`
// at the end of what was written. A compression failure is raised for the
// table `tableName`.
void CopyContents(TFileHandler& source, TFileHandler& dest, bool compress, int step,
                  const TCopyProgress& progress, const std::string& tableName) {
    TCopyProgressReporter reporter(progress, step, source.FileLength());
    std::vector<std::uint8_t> chunk(kCopyChunk);
    std::vector<std::uint8_t> packed(compress ? compressBound(kCopyChunk) : 0);
    std::uint64_t readAt = 0;
    std::uint64_t writeAt = 0;
    while (true) {
        const std::size_t got = source.ReadAt(readAt, chunk.data(), kCopyChunk, true);
        readAt += got;
        // An empty last chunk (a source of a multiple of 64 KiB) writes
        // nothing: compressing it would append a stray empty stream.
        if (got > 0 && compress) {
            uLongf packedLength = static_cast<uLongf>(packed.size());
            if (compress2(packed.data(), &packedLength, chunk.data(), static_cast<uLong>(got),
                          Z_BEST_COMPRESSION) != Z_OK) {
                errno = 0;
                RaiseEngineError(PIRIN_COMPRESS, {.table = tableName});
            }
            dest.WriteAt(writeAt, packed.data(), packedLength);
            writeAt += packedLength;
        } else if (got > 0) {
            dest.WriteAt(writeAt, chunk.data(), got);
            writeAt += got;
        }
        reporter.Copied(readAt);
        if (got < kCopyChunk) break;
    }
    // A destination that was longer than the copy must not keep its old tail.
    dest.WriteAt(writeAt, nullptr, 0);
}

}  // namespace

void TFileHandler::CopyToFile(const std::string& dest, bool compress, int progressStep,
                              const TCopyProgress& progress) {
    if (FFile == nullptr) {
        errno = EBADF;
        Raise(PIRIN_READERR);
    }
    TFileHandler other(dest);  // closed on every way out
    other.SetInMemory(FInMemory);
    other.CreateNewFile();
    CopyContents(*this, other, compress, progressStep, progress, TableName());
    other.CloseFile();
}

void TFileHandler::CopyFromFile(const std::string& source, bool compress, int progressStep,
                                const TCopyProgress& progress) {
    if (FFile == nullptr) {
        errno = EBADF;
        Raise(PIRIN_WRITEERR);
    }
    TFileHandler other(source);
    other.SetInMemory(FInMemory);
    other.SetExclusive(true);
    other.OpenFile();
    CopyContents(other, *this, compress, progressStep, progress, TableName());
    other.CloseFile();
}

}  // namespace pirin
