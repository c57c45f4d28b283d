// TBlobFile: the BLOB file of a table (".BLB"): a 512-byte header, then
// fixed-size blocks numbered from 1. A BLOB value is a chain of blocks linked
// both ways, every block stamped with the value's BLOB stamp and the first
// one carrying the total length. Released blocks form a last-in, first-out
// free chain through their next links, headed by the header. The file owns
// its header, the block cache and the allocation and release of blocks;
// TBlobBuffer (blob_buffer.h) reads and writes whole chains through it.
//
// Setup: the table gives the block size (the data file's BLOB block size
// field, 0 meaning 512) and the encrypted flag before opening or creating;
// they take effect at the next open or create. A block size that leaves no
// data part (18 bytes or less) or exceeds 16 bits is refused with 8961.
//
// Ownership: the file owns its cached blocks; callers hold them only through
// pins (TBlockPin), which must all be released before the file closes or
// goes. The table file context outlives the file.
// Threads: one thread at a time, like the table's cursors.
//
// Failures raise EPirinEngineError with the table's name: 12035 for a version
// other than 5; 8961 for a header that does not fit the file; 8963 for a
// chain that leaves the valid block numbers, runs in a cycle, meets a block
// pinned twice or stamped for another value, or a block that is not where
// the cache expects it; 9479 for a new block past block 2,000,000,000 or past
// offset 4,000,000,000; 10029 for more bytes asked of one block than its data
// part holds; 8708 when another process changed the table in the middle of a
// write; 9217 and 9218 for failed reads and writes.
//
// Block operations take the asking cursor as a TChangeCheck (may be null):
// before reading from disk the cache asks it whether another process changed
// the table. For a read (FetchBlock) an empty pin then means "start over";
// the write operations (AllocateBlock, FreeChain, WalkChain) cannot start
// over half-way and raise 8708 instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/blob_block.h"
#include "storage/blob_header.h"
#include "storage/file_handler.h"
#include "storage/table_file_context.h"
#include "storage/unit_cache.h"
#include "storage/table_unit_owner.h"

namespace pirin {

using TBlockPin = TUnitPin<TBlock>;
using TBlockCache = TUnitCache<TBlock>;

class TBlobFile : public TFileHandler {
  public:
    static constexpr std::size_t kDefaultBlockSize = 512;
    // One read-ahead run of blocks spans at most this many bytes.
    static constexpr std::size_t kReadAheadBytes = 16384;

    // `blockSize` as stored in the data file's header (only the low 16 bits
    // count; 0 means 512).
    explicit TBlobFile(TTableFileContext& context, std::string fileName = {},
                       std::uint32_t blockSize = 0, bool encrypted = false);
    ~TBlobFile() override;

    void SetBlockSize(std::uint32_t blockSize) noexcept { FRequestedBlockSize = blockSize; }
    void SetEncrypted(bool encrypted) noexcept { FRequestedEncrypted = encrypted; }

    // Opens the file, reads the header and sizes the block cache; a failure
    // leaves the file closed. Nothing when already open.
    void OpenFile() override;
    // OpenFile in two steps, for a caller that locks the file between them:
    // the handle alone (raising as OpenFile; nothing when already open), then
    // the header and the cache (a failure closes the file).
    void OpenFileOnly();
    void LoadHeader();
    // Drops every cached block without writing (write back first) and closes.
    void CloseFile() override;
    // Creates an empty file; nothing is written yet. The header in memory is
    // new (version 5, no free block, next block 1) and marked changed.
    void CreateNewFile() override;

    // Reads the header from disk; the header is then not changed.
    void ReadBlobHeader();
    // Rereads the header; when its change counter differs from the one in
    // memory another process wrote the file: the header read replaces the one
    // in memory, the cached blocks are dropped, and the result is true.
    [[nodiscard]] bool BlobHeaderChanged();
    // Writes the header when forced or changed: the change counter advances
    // first. Returns whether it wrote.
    bool WriteBlobHeader(bool force = false);
    // Advances the change counter and marks the header changed without
    // writing; the table counts as written since open.
    void TouchBlobHeader();
    // Version 5 (else 12035); the block count within the limits, the first
    // free block 0 with no blocks and otherwise within 0..last block, and a
    // file long enough for every block the header counts (else 8961). The
    // length is only judged when the header and the blocks in memory are not
    // ahead of the disk.
    void CheckBlobFile();

    // Block n pinned (the unit-cache fetch): n equal to the next block number
    // makes a new block at the end. With `readAhead`, a miss reads up to
    // min(readAheadCount, 16384 / block size) blocks in one read. An empty pin
    // means another process changed the table: start over.
    TBlockPin FetchBlock(TChangeCheck* cursor, std::int32_t n, std::int32_t readAheadCount = 1,
                         bool readAhead = false);
    // Reads ahead: caches blocks `numbers` as TBlockCache::Prefetch does
    // (false: another process changed the table). Raises 9217 when the file
    // is not open.
    bool PrefetchBlocks(std::span<const std::int32_t> numbers);
    // A cleared, dirty block for a growing chain: the first free block, or a
    // new block at the end.
    TBlockPin AllocateBlock(TChangeCheck* cursor);
    // Puts a cached block on the free chain (its next link becomes the old
    // first free block).
    void FreeBlock(TBlock& block);
    // Frees the chain that starts at `firstBlock` and sets it to 0 (nothing
    // for 0). Every block must carry `stamp`, else 8963; with `repair` the
    // owner is overwritten instead. The whole chain is checked before any
    // block is freed, so a damaged chain is left as it was.
    void FreeChain(TChangeCheck* cursor, std::int32_t& firstBlock, std::int32_t stamp, bool repair);
    // The block numbers of the chain from `firstBlock`, in order, checked:
    // every link within 1..last block, no block twice, none pinned by anyone
    // else, every owner equal to `stamp` unless `anyOwner`. Raises 8963.
    std::vector<std::int32_t> WalkChain(TChangeCheck* cursor, std::int32_t firstBlock,
                                        std::int32_t stamp, bool anyOwner);
    // Unpins (the pin becomes empty).
    void ReleaseBlock(TBlockPin& pin) noexcept { pin.Release(); }

    // A block's data with the table's name on errors (see TBlock).
    std::size_t ReadBlockData(const TBlock& block, std::span<std::uint8_t> out) const;
    void WriteBlockData(TBlock& block, std::size_t offset, std::span<const std::uint8_t> bytes);

    // Writes back the dirty, unpinned blocks in runs; returns the writes made.
    std::size_t WriteBackBlocks();
    // Drops every cached block without writing.
    void DiscardBlocks();

    std::size_t BlockSize() const noexcept { return FBlockSize; }
    std::size_t DataBytesPerBlock() const noexcept { return FBlockSize - TBlock::kHeaderSize; }
    // The next block number - 1; 0 for a damaged header whose next block
    // number is not positive, so that no link passes the range checks.
    std::int32_t LastBlockNumber() const noexcept {
        const std::int32_t next = FHeader.NextBlockNumber();
        return next > 0 ? next - 1 : 0;
    }
    bool Encrypted() const noexcept { return FEncrypted; }
    std::int32_t ReadAheadBlocks() const noexcept { return FReadAheadBlocks; }
    const TBlobHeader& Header() const noexcept { return FHeader; }
    bool HeaderIsChanged() const noexcept { return FHeaderChanged; }
    const TBlockCache& Cache() const noexcept { return FCache; }
    // File offset of block n.
    std::uint64_t BlockOffset(std::int32_t n) const noexcept {
        return TBlobHeader::kSize + static_cast<std::uint64_t>(n - 1) * FBlockSize;
    }

  private:
    // What the block cache asks of this file: block geometry and the two
    // scrambled runs of a block; the rest comes from TTableUnitOwner.
    class TOwner final : public TTableUnitOwner {
      public:
        explicit TOwner(TBlobFile& file)
            : TTableUnitOwner(file, file.FContext, PIRIN_MEMOCORRUPT), FBlob(file) {}
        std::size_t UnitSize() const override { return FBlob.FBlockSize; }
        std::uint64_t UnitOffset(std::int32_t n) const override { return FBlob.BlockOffset(n); }
        std::int32_t NextUnitNumber() const override { return FBlob.FHeader.NextBlockNumber(); }
        void AdvanceNextUnitNumber() override;
        std::int32_t UnitNumberLimit() const override { return kBlockNumberLimit; }
        void UnscrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) override;
        void ScrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) override;

      private:
        TBlobFile& FBlob;
    };


    // Raises `code` for a damaged file or a misuse (no system error behind).
    [[noreturn]] void Fail(std::uint16_t code) const;
    void AdoptSettings();
    void SizeCache();
    bool HasDirtyBlocks() const;
    // FetchBlock for the write operations: an empty pin raises 8708.
    TBlockPin FetchForWrite(TChangeCheck* cursor, std::int32_t n, std::int32_t readAheadCount,
                            bool readAhead);
    bool InChain(std::int32_t n) const noexcept { return n >= 1 && n <= LastBlockNumber(); }

    TTableFileContext& FContext;
    std::uint32_t FRequestedBlockSize;
    bool FRequestedEncrypted;
    std::size_t FBlockSize = kDefaultBlockSize;
    bool FEncrypted = false;
    std::int32_t FReadAheadBlocks = 1;
    TBlobHeader FHeader = TBlobHeader::New();
    bool FHeaderChanged = false;
    TOwner FOwner{*this};
    TUnitStack<TBlock> FStack{kBlockStackLimit};
    TBlockCache FCache{FOwner, FStack, kBlockCacheParams};
};

}  // namespace pirin
