// TBlobHeader: the 512 bytes at the start of a BLOB file, kept in memory in
// their clear on-disk form with typed accessors. The header counts the blocks
// (next block number), heads the free-block chain and carries the change
// counter that tells other processes the file was written.
//
//   offset size  field
//        0    4  change counter (signed), +1 on every header write
//        4    4  reserved, 0
//        8    1  format version, 5
//        9    4  first free block (signed), 0 when none
//       13    4  next block number (signed): blocks in the file + 1
//       17    1  the writer's header-changed mark; ignored when read
//       18  494  reserved, 0
//
// The values are untrusted after a read: TBlobFile checks them before use.
// A value type; any thread may use its own copy. Nothing here raises.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace pirin {

class TBlobHeader {
  public:
    static constexpr std::size_t kSize = 512;
    static constexpr std::uint8_t kVersion = 5;

    // All zeros (not yet a valid header).
    TBlobHeader() = default;
    // The header of a new file: version 5, no free block, next block 1.
    static TBlobHeader New();

    std::int32_t ChangeCounter() const noexcept;
    void SetChangeCounter(std::int32_t value) noexcept;
    std::uint8_t Version() const noexcept { return FBytes[kVersionAt]; }
    void SetVersion(std::uint8_t value) noexcept { FBytes[kVersionAt] = value; }
    std::int32_t FirstFreeBlock() const noexcept;
    void SetFirstFreeBlock(std::int32_t value) noexcept;
    std::int32_t NextBlockNumber() const noexcept;
    void SetNextBlockNumber(std::int32_t value) noexcept;
    // Byte 17: what the writer stores of its own header-changed flag.
    void SetChangedMark(bool changed) noexcept { FBytes[kChangedMarkAt] = changed ? 1 : 0; }

    std::span<std::uint8_t, kSize> Bytes() noexcept { return FBytes; }
    std::span<const std::uint8_t, kSize> Bytes() const noexcept { return FBytes; }

    // The bytes as stored: scrambled as one run with the data seeds when the
    // table is encrypted.
    std::array<std::uint8_t, kSize> ToDisk(bool encrypted) const;
    // Takes the bytes read from disk (unscrambling them when encrypted).
    void FromDisk(std::span<const std::uint8_t, kSize> bytes, bool encrypted);

    friend bool operator==(const TBlobHeader&, const TBlobHeader&) = default;

  private:
    static constexpr std::size_t kChangeCounterAt = 0;
    static constexpr std::size_t kVersionAt = 8;
    static constexpr std::size_t kFirstFreeAt = 9;
    static constexpr std::size_t kNextBlockAt = 13;
    static constexpr std::size_t kChangedMarkAt = 17;

    std::array<std::uint8_t, kSize> FBytes{};
};

}  // namespace pirin
