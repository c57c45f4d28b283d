// TBlobBuffer: the bytes of one BLOB value of one record, held in memory for
// a cursor. LoadBlob reads the value's whole chain from the BLOB file;
// changes stay in memory until StoreBlob writes the whole buffer back as a
// chain (when the record is posted) or DropBlob frees the chain.
//
// The owning cursor is represented by its change check (may be null) and the
// BLOB file of its table; both outlive the buffer. The buffer owns its bytes
// and the optional copy KeepOriginal takes. One thread at a time.
//
// Failures raise EPirinEngineError with the table's name: 8708 when a block
// carries another stamp than the record (another user changed the record;
// reread it), 8711 when the chain ends before the stored length, 8963 for a
// damaged chain (links out of range, cycles, a block pinned twice, a stored
// length the file cannot hold), 10029 for a length beyond 2^31 - 1 bytes,
// and what the BLOB file raises. A failed load leaves the buffer empty and
// unmodified. A store checks the old chain before it changes anything; one
// that fails later (table full, a failed write-back) leaves the buffer as it
// was but the blocks it rewrote changed in the cache, which the write path
// then discards with the rest of the failed write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "storage/blob_file.h"
#include "storage/table_file_context.h"
#include "storage/uninit_allocator.h"

namespace pirin {

// The bytes of a BLOB are overwritten by what is read: no fill on resize.
using TBlobBytes = TUninitBytes;

class TBlobBuffer {
  public:
    // A buffer for the BLOB field `fieldNumber` of record `recordNumber`,
    // whose stored value starts at `firstBlock` (0: empty) and carries
    // `stamp`. The buffer starts empty; LoadBlob fills it.
    TBlobBuffer(TBlobFile& file, TChangeCheck* cursor, std::uint16_t fieldNumber,
                std::int32_t recordNumber, std::int32_t firstBlock, std::int32_t stamp);
    TBlobBuffer(const TBlobBuffer&) = delete;
    // Makes the buffer stand for another value as a new one would, keeping
    // the memory of its bytes (a cursor recycles the buffers it frees).
    void Reuse(std::uint16_t fieldNumber, std::int32_t recordNumber, std::int32_t firstBlock,
               std::int32_t stamp) noexcept;
    // Bytes of memory the buffer keeps.
    std::size_t Capacity() const noexcept { return FData.capacity() + FOriginal.capacity(); }
    TBlobBuffer& operator=(const TBlobBuffer&) = delete;

    // Reads the chain into the buffer (nothing for first block 0). When the
    // cache reports that another process changed the table the load starts
    // over. Clears the modified flag.
    void LoadBlob();
    // LoadBlob without a buffer: the value whose chain starts at
    // `firstBlock` and carries `stamp` goes from the cached blocks straight
    // into `text` (whose old bytes it replaces), with the same checks,
    // errors and restarts. `text` is empty after a failure.
    static void LoadText(TBlobFile& file, TChangeCheck* cursor, std::int32_t firstBlock,
                         std::int32_t stamp, std::string& text);
    // Writes the buffer as the value's chain, stamped `newStamp`: the old
    // chain's blocks are reused in order, more are allocated as needed, and
    // the rest of a longer old chain is freed. An empty buffer frees the old
    // chain instead. The buffer then carries the new stamp and its first
    // block, and is no longer modified.
    void StoreBlob(std::int32_t newStamp);
    // StoreBlob of `data` in place of the buffer's bytes, which it neither
    // reads nor keeps (a value copied into a new chain needs no copy here).
    void StoreBytes(std::span<const std::uint8_t> data, std::int32_t newStamp);
    // Frees the stored chain; the first block becomes 0. The bytes in memory
    // stay; the buffer counts as modified unless it is empty.
    void DropBlob();
    // Resizes the buffer (new bytes are 0) and marks it modified.
    void SetBlobLength(std::size_t length);
    // Copies `bytes` to `offset`, growing the buffer as needed; marks it
    // modified.
    void WriteBytes(std::size_t offset, std::span<const std::uint8_t> bytes);
    // Keeps a copy of the bytes as they are now (for the write path, which
    // needs the value before the change).
    void KeepOriginal();

    std::span<const std::uint8_t> Data() const noexcept { return FData; }
    std::size_t Length() const noexcept { return FData.size(); }
    std::span<const std::uint8_t> Original() const noexcept { return FOriginal; }
    std::size_t OriginalLength() const noexcept { return FOriginal.size(); }
    bool HasOriginal() const noexcept { return FHasOriginal; }

    bool Modified() const noexcept { return FModified; }
    std::int32_t Stamp() const noexcept { return FStamp; }
    std::int32_t RecordNumber() const noexcept { return FRecordNumber; }
    std::uint16_t FieldNumber() const noexcept { return FFieldNumber; }
    std::int32_t FirstBlock() const noexcept { return FFirstBlock; }
    TChangeCheck* Cursor() const noexcept { return FCursor; }
    const TBlobFile& File() const noexcept { return FFile; }

    // Users of the buffer (each open of the same BLOB counts one).
    int UseCount() const noexcept { return FUseCount; }
    void AddUse() noexcept { ++FUseCount; }
    // Returns the uses left (never below 0).
    int DropUse() noexcept { return FUseCount > 0 ? --FUseCount : 0; }

  private:
    void CheckLength(std::size_t length) const;

    TBlobFile& FFile;
    TChangeCheck* FCursor;
    bool FModified = false;
    std::int32_t FStamp;
    std::int32_t FRecordNumber;
    std::uint16_t FFieldNumber;
    std::int32_t FFirstBlock;
    TBlobBytes FData;
    TBlobBytes FOriginal;
    bool FHasOriginal = false;
    int FUseCount = 0;
};

}  // namespace pirin
