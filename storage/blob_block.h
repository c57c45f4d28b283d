// TBlock: one block of a BLOB file in the block cache. A block is an 18-byte
// block header followed by the data part (block size - 18 bytes):
//
//   offset size  field
//        0    4  previous block of the chain (signed), 0 for the first
//        4    4  next block of the chain, 0 for the last; in a free block
//                the next free block
//        8    2  bytes used in the data part (unsigned)
//       10    4  owner stamp (signed): the stamp of the BLOB value
//       14    4  total length of the BLOB (signed); first block only, else 0
//       18    .  data
//
// The unit's bytes (TCacheUnit::Bytes) are the block's clear on-disk image;
// the accessors read and write the fields in place, so there is one copy of
// the truth and the cache saves and loads the block unchanged. Every setter
// marks the block dirty. Scrambling (two runs: header, data part) is done by
// the BLOB file in the cache's buffers, never here.
//
// The fields are untrusted bytes from disk: ReadData checks `bytes used`
// against the data part and reports corruption instead of over-reading.
// ReadData and WriteData return an engine code (0 for success) because a
// block does not know its table's name; TBlobFile raises it.
// Threads: as the cache that holds the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "storage/unit_cache_unit.h"

namespace pirin {

class TBlock : public TCacheUnit {
  public:
    static constexpr std::size_t kHeaderSize = 18;

    explicit TBlock(std::size_t blockSize) : TCacheUnit(blockSize) {}
    // The block's bytes held in `storage` (its slab slot) when they fit.
    TBlock(std::size_t blockSize, TInlineBytes storage) : TCacheUnit(blockSize, storage) {}

    // A block is its bytes alone, and a block read from disk replaces them
    // all: nothing to clear first.
    void ResetForLoad() override {}

    std::int32_t Previous() const noexcept;
    void SetPrevious(std::int32_t value) noexcept;
    std::int32_t Next() const noexcept;
    void SetNext(std::int32_t value) noexcept;
    std::uint16_t BytesUsed() const noexcept;
    void SetBytesUsed(std::uint16_t value) noexcept;
    std::int32_t OwnerStamp() const noexcept;
    void SetOwnerStamp(std::int32_t value) noexcept;
    std::int32_t TotalLength() const noexcept;
    void SetTotalLength(std::int32_t value) noexcept;

    // Bytes in the data part: block size - 18.
    std::size_t DataSize() const noexcept {
        return Size() > kHeaderSize ? Size() - kHeaderSize : 0;
    }
    std::span<std::uint8_t> Data() noexcept { return Bytes().subspan(kHeaderSize); }
    std::span<const std::uint8_t> Data() const noexcept { return Bytes().subspan(kHeaderSize); }

    // Copies min(out.size(), bytes used) bytes from the start of the data
    // part into `out` and reports the count in `copied`. 10029 when more is
    // asked than the data part holds; 8963 when `bytes used` is larger than
    // the data part (a damaged block). Nothing is copied on error.
    [[nodiscard]] std::uint16_t ReadData(std::span<std::uint8_t> out,
                                         std::size_t& copied) const noexcept;
    // Copies `bytes` to `offset` in the data part and sets the bytes used to
    // offset + bytes.size(). 10029 when that passes the end of the data part
    // (nothing is written).
    [[nodiscard]] std::uint16_t WriteData(std::size_t offset,
                                          std::span<const std::uint8_t> bytes) noexcept;

    // Clears the header and the data part and marks the block dirty.
    void Clear() noexcept;

  private:
    static constexpr std::size_t kPreviousAt = 0;
    static constexpr std::size_t kNextAt = 4;
    static constexpr std::size_t kBytesUsedAt = 8;
    static constexpr std::size_t kOwnerAt = 10;
    static constexpr std::size_t kTotalLengthAt = 14;
};

}  // namespace pirin
