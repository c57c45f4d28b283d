// TIndexFileHeader: the 4096 bytes at the start of an index file (page 0),
// kept as the bytes themselves with typed accessors, plus the 33 index
// descriptors parsed into structs.
//
//   offset size  field
//        0    4  change counter (signed), +1 on every header write
//        4    4  reserved
//        8    1  format version, 5
//        9    4  next page number (signed): pages in the file + 1
//       13    1  number of secondary indexes, 0..30
//       14 3960  33 index descriptors of 120 bytes (index_descriptor.h)
//     3974    4  active records of the table (signed)
//     3978    1  no-primary-index flag
//     3979    1  the writer's header-changed mark; ignored when read
//     3980  116  reserved
//
// The header and every page are scrambled as one 4096-byte run each when the
// table is encrypted. Values read from disk are untrusted: TIndexFile checks
// them (CheckIndexHeader) before the tree relies on them.
// A value type; any thread may use its own copy. Nothing here raises.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "storage/index_descriptor.h"

namespace pirin {

inline constexpr std::size_t kIndexPageSize = 4096;

class TIndexFileHeader {
  public:
    static constexpr std::size_t kSize = kIndexPageSize;
    static constexpr std::uint8_t kVersion = 5;
    static constexpr std::size_t kDescriptorsAt = 14;
    static constexpr std::size_t kRecordCountAt = 3974;
    static constexpr std::size_t kNoPrimaryAt = 3978;
    static constexpr std::size_t kChangedMarkAt = 3979;

    // All zeros (not yet a valid header).
    TIndexFileHeader() = default;
    // A new file: version 5, next page 1, no secondary index, no records,
    // and the two internal indexes 31 and 32.
    static TIndexFileHeader New();

    std::int32_t ChangeCounter() const noexcept;
    void SetChangeCounter(std::int32_t value) noexcept;
    std::uint8_t Version() const noexcept { return FBytes[8]; }
    void SetVersion(std::uint8_t value) noexcept { FBytes[8] = value; }
    std::int32_t NextPage() const noexcept;
    void SetNextPage(std::int32_t value) noexcept;
    std::uint8_t SecondaryCount() const noexcept { return FBytes[13]; }
    void SetSecondaryCount(std::uint8_t value) noexcept { FBytes[13] = value; }
    std::int32_t RecordCount() const noexcept;
    void SetRecordCount(std::int32_t value) noexcept;
    bool NoPrimaryIndex() const noexcept { return FBytes[kNoPrimaryAt] != 0; }
    void SetNoPrimaryIndex(bool value) noexcept { FBytes[kNoPrimaryAt] = value ? 1 : 0; }

    // i in 0..32 (the caller checks).
    const TIndexDescriptor& Descriptor(int i) const {
        return FDescriptors[static_cast<std::size_t>(i)];
    }
    TIndexDescriptor& Descriptor(int i) {
        FMaybeSet |= std::uint64_t{1} << i;
        FDescriptorStamp = NewDescriptorStamp();
        return FDescriptors[static_cast<std::size_t>(i)];
    }
    // Taken anew whenever the descriptors may change (one is handed out for
    // change, or the header is read): two equal stamps, of this header or a
    // copy, mean equal descriptors. Holders of something made from the
    // descriptors compare stamps instead of every descriptor.
    std::uint64_t DescriptorStamp() const noexcept { return FDescriptorStamp; }

    // The bytes as stored: the descriptors packed, those of temporary
    // indexes zeroed and not counted, the writer's mark at 3979, the whole
    // scrambled when encrypted.
    std::array<std::uint8_t, kSize> ToDisk(bool encrypted, bool changedMark) const;
    // Becomes the header in the bytes read from disk (unscrambling them when
    // encrypted), in place: the descriptors of empty places become empty.
    void FromDisk(std::span<const std::uint8_t, kSize> bytes, bool encrypted);
    // The next page number and the number of secondary indexes of a header
    // as read from disk, without taking the rest (the scramble of a byte
    // depends only on its place).
    struct TLeadingFields {
        std::int32_t NextPage;
        std::uint8_t SecondaryCount;
    };
    static TLeadingFields LeadingFieldsOnDisk(std::span<const std::uint8_t, kSize> bytes,
                                              bool encrypted);

  private:
    std::array<std::uint8_t, kSize> FBytes{};
    std::array<TIndexDescriptor, kIndexCount> FDescriptors{};
    // Bit i clear: descriptor i is known to be empty (it was read from an
    // empty place and not handed out for change since), so a read need not
    // clear it again.
    std::uint64_t FMaybeSet = 0;
    std::uint64_t FDescriptorStamp = NewDescriptorStamp();

    // Unique across the process (headers of tables used by other threads
    // draw from it too).
    static std::uint64_t NewDescriptorStamp() noexcept {
        return FStamps.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    static inline std::atomic<std::uint64_t> FStamps{0};
};

}  // namespace pirin
