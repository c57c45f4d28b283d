// TBlobFile: opening, creating and closing, the header, the file check and
// what the block cache asks of the file. Blocks and chains are in
// blob_file_blocks.cpp.
#include "storage/blob_file.h"

#include <cerrno>

#include "errors/engine_error.h"
#include "storage/scramble.h"

namespace pirin {

TBlobFile::TBlobFile(TTableFileContext& context, std::string fileName, std::uint32_t blockSize,
                     bool encrypted)
    : TFileHandler(std::move(fileName)),
      FContext(context),
      FRequestedBlockSize(blockSize),
      FRequestedEncrypted(encrypted) {}

TBlobFile::~TBlobFile() { TBlobFile::CloseFile(); }

bool TBlobFile::PrefetchBlocks(std::span<const std::int32_t> numbers) {
    if (!IsOpen()) {
        errno = EBADF;
        Raise(PIRIN_READERR);
    }
    TTableUnitOwner::TAskingScope asking(FOwner, nullptr);
    return FCache.Prefetch(numbers);
}

void TBlobFile::Fail(std::uint16_t code) const {
    errno = 0;
    Raise(code);
}

void TBlobFile::AdoptSettings() {
    // Only the low 16 bits of the stored size count; 0 means the default.
    std::size_t size = FRequestedBlockSize & 0xFFFFu;
    if (size == 0) size = kDefaultBlockSize;
    // A block needs room for data after its 18-byte header, or no chain
    // could ever make progress.
    if (size <= TBlock::kHeaderSize) Fail(PIRIN_HEADERCORRUPT);
    FBlockSize = size;
    FEncrypted = FRequestedEncrypted;
    FReadAheadBlocks = UnitsPerRun(kReadAheadBytes, FBlockSize);
}

void TBlobFile::SizeCache() {
    FCache.ResetStats();
    FCache.SetBudget(BlockCacheBudget(FContext.CacheBudgets(), FBlockSize));
}

void TBlobFile::OpenFile() {
    if (IsOpen()) return;
    OpenFileOnly();
    LoadHeader();
}

void TBlobFile::OpenFileOnly() {
    if (IsOpen()) return;
    AdoptSettings();
    TFileHandler::OpenFile();
}

void TBlobFile::LoadHeader() {
    try {
        FCache.DiscardAll();
        ReadBlobHeader();
        SizeCache();
    } catch (...) {
        CloseFile();
        throw;
    }
}

void TBlobFile::CloseFile() {
    FCache.DiscardAll();
    FHeaderChanged = false;
    TFileHandler::CloseFile();
}

void TBlobFile::CreateNewFile() {
    AdoptSettings();
    FCache.DiscardAll();
    TFileHandler::CreateNewFile();
    FHeader = TBlobHeader::New();
    FHeaderChanged = true;
    SizeCache();
}

void TBlobFile::ReadBlobHeader() {
    std::array<std::uint8_t, TBlobHeader::kSize> bytes{};
    ReadAt(0, bytes.data(), bytes.size());
    FHeader.FromDisk(bytes, FEncrypted);
    FHeaderChanged = false;
}

bool TBlobFile::BlobHeaderChanged() {
    // The common case (nobody wrote) needs the counter alone: its four
    // leading bytes, and the whole header only when it moved.
    std::array<std::uint8_t, 4> lead;
    ReadAt(0, lead.data(), lead.size());
    if (LeadingCounter(lead, FEncrypted) == FHeader.ChangeCounter()) return false;
    std::array<std::uint8_t, TBlobHeader::kSize> bytes;
    ReadAt(0, bytes.data(), bytes.size());
    TBlobHeader read;
    read.FromDisk(bytes, FEncrypted);
    // The cached blocks belong to the old header (its block count may even
    // be larger): drop them before anything can fetch against the new one.
    FCache.DiscardAll();
    FHeader = read;
    FHeaderChanged = false;
    return true;
}

bool TBlobFile::WriteBlobHeader(bool force) {
    if (!force && !FHeaderChanged) return false;
    TBlobHeader written = FHeader;
    written.SetChangeCounter(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(FHeader.ChangeCounter()) + 1u));  // wraps, never overflows
    written.SetChangedMark(FHeaderChanged);
    const auto bytes = written.ToDisk(FEncrypted);
    WriteAt(0, bytes.data(), bytes.size());
    // Only a header that reached the disk counts as written.
    FHeader = written;
    FContext.SetWrittenSinceOpen();
    FHeaderChanged = false;
    return true;
}

void TBlobFile::TouchBlobHeader() {
    FHeader.SetChangeCounter(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(FHeader.ChangeCounter()) + 1u));
    FHeaderChanged = true;
    FContext.SetWrittenSinceOpen();
}

bool TBlobFile::HasDirtyBlocks() const {
    bool dirty = false;
    FCache.ForEachCached([&](const TBlock& block) { dirty = dirty || block.Dirty(); });
    return dirty;
}

void TBlobFile::CheckBlobFile() {
    if (FHeader.Version() != TBlobHeader::kVersion) Fail(PIRIN_OLDVERSION);
    const std::int64_t last = std::int64_t{FHeader.NextBlockNumber()} - 1;
    if (last < 0 || last > kBlockNumberLimit) Fail(PIRIN_HEADERCORRUPT);
    const std::uint64_t end = TBlobHeader::kSize + static_cast<std::uint64_t>(last) * FBlockSize;
    if (end > kUnitEndOffsetLimit) Fail(PIRIN_HEADERCORRUPT);
    const std::int32_t firstFree = FHeader.FirstFreeBlock();
    if (last == 0 ? firstFree != 0 : firstFree < 0 || firstFree > last) Fail(PIRIN_HEADERCORRUPT);
    // Blocks are written back before the header that counts them, and never
    // cut off, so a healthy file is at least as long as its header says (a
    // longer one only lost a header write). The disk can only be judged when
    // nothing of this process is still waiting in memory: a header or blocks
    // not yet written would make a sound file look short.
    if (FHeaderChanged || HasDirtyBlocks()) return;
    // The length the open saw spares asking again when it is long enough
    // (blocks are never cut off, so the file has not shrunk since).
    if (!LengthPasses([end](std::int64_t length) { return static_cast<std::uint64_t>(length) >= end; }))
        Fail(PIRIN_HEADERCORRUPT);
}

std::size_t TBlobFile::ReadBlockData(const TBlock& block, std::span<std::uint8_t> out) const {
    std::size_t copied = 0;
    if (const std::uint16_t code = block.ReadData(out, copied); code != 0) Fail(code);
    return copied;
}

void TBlobFile::WriteBlockData(TBlock& block, std::size_t offset,
                               std::span<const std::uint8_t> bytes) {
    if (const std::uint16_t code = block.WriteData(offset, bytes); code != 0) Fail(code);
}

std::size_t TBlobFile::WriteBackBlocks() { return FCache.WriteBack(); }

void TBlobFile::DiscardBlocks() { FCache.DiscardAll(); }

// ---------------------------------------------------------------------------
// What the block cache asks.

void TBlobFile::TOwner::AdvanceNextUnitNumber() {
    FBlob.FHeader.SetNextBlockNumber(FBlob.FHeader.NextBlockNumber() + 1);
    FBlob.FHeaderChanged = true;
}

// A block is two runs, each started afresh from the data seeds: its 18-byte
// header and its data part.
void TBlobFile::TOwner::UnscrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) {
    if (!FBlob.FEncrypted) return;
    ScrambleBytes(bytes.data(), TBlock::kHeaderSize, kDataSeeds);
    ScrambleBytes(bytes.data() + TBlock::kHeaderSize, bytes.size() - TBlock::kHeaderSize,
                  kDataSeeds);
}

void TBlobFile::TOwner::ScrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) {
    UnscrambleUnit(n, bytes);  // the scramble is its own inverse
}

}  // namespace pirin
