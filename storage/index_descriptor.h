// TIndexDescriptor: one index definition as the index file's header stores
// it (33 descriptors of 120 bytes from header offset 14), parsed into a
// struct, with the constants of the index numbering and the key limits.
//
// Layout of the 120 bytes (little-endian; the name is a length byte and the
// characters in the table's code page):
//   0 name (1 + 30)  31 key length (u16)  33 descending  34 case-insensitive
//   35 unique  36 compression  37 key field count  38 per-field descending
//   (16 bytes)  54 per-field field number (16 x u16)  86 root page (i32)
//   90 first free page (i32)  94 reserved (2)  96 first parameter page (i32)
//   100 no-counts  101 temporary  102..119 reserved, zero.
//
// Plain values and pure functions: any thread. Unpack never raises: it
// copies what the bytes say, bounded by the 120 bytes (a name length above
// 30 or a field count above 16 is kept as read only up to its place, and
// WellFormed is cleared so the header check can reject it with 8961).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "locale/key_description.h"

namespace pirin {

inline constexpr std::size_t kIndexDescriptorSize = 120;
inline constexpr int kIndexCount = 33;   // descriptors in the header
inline constexpr int kPrimaryIndex = 0;  // the primary key
inline constexpr int kMaxSecondaryIndexes = 30;
// One key per record slot (status byte, autoincrement value); the full-text
// index is kTextIndex (32) of locale/key_description.h, kTextIndexNumber here.
inline constexpr int kDeletedIndex = kDeletedRecordsIndex;
inline constexpr int kTextIndexNumber = kTextIndex;
inline constexpr std::size_t kIndexNameLength = 30;
inline constexpr int kMaxKeyFields = 16;
// The key fields' part of a key (key sizes plus one presence byte each).
inline constexpr int kMaxKeyFieldBytes = 522;
// Longest key: the fields' part plus the 4-byte row suffix.
inline constexpr int kMaxKeyLength = 526;
// Length of the row suffix a non-unique index appends.
inline constexpr int kRowSuffixSize = 4;

// How a leaf page of the index stores its keys.
enum class TIndexCompression : std::uint8_t {
    None = 0,       // whole keys
    Duplicate = 1,  // leading bytes shared with the previous key dropped
    Trailing = 2,   // trailing zero bytes dropped
    Full = 3,       // both
};

inline constexpr char kDeletedIndexName[] = "Sys Deleted";
inline constexpr std::uint16_t kDeletedIndexKeyLength = 5;
inline constexpr char kTextIndexName[] = "Sys Text";
inline constexpr std::uint16_t kTextIndexKeyLength = 68;

struct TIndexDescriptor {
    std::string Name;  // up to 30 characters; empty for the primary index
    std::uint16_t KeyLength = 0;
    bool Descending = false;  // the whole index
    bool CaseInsensitive = false;
    bool Unique = false;
    // Raw byte: values above 3 are kept so the header check can see them.
    std::uint8_t Compression = 0;
    std::uint8_t FieldCount = 0;  // key fields, 0..16
    std::array<bool, kMaxKeyFields> FieldDescending{};
    std::array<std::uint16_t, kMaxKeyFields> FieldNumbers{};  // 1-based; 0 unused
    std::int32_t RootPage = 0;                                // 0: the index is empty
    std::int32_t FirstFreePage = 0;                           // 0: no free pages
    std::int32_t ParameterPage = 0;                           // 0: none
    bool NoCounts = false;   // interior entries carry no key counts
    bool Temporary = false;  // this process only; never written
    // False when unpacked from bytes whose name length or field count
    // overran their places.
    bool WellFormed = true;

    TIndexCompression CompressionKind() const {
        return static_cast<TIndexCompression>(Compression & 3);
    }
    bool operator==(const TIndexDescriptor&) const = default;

    // Reads the 120 bytes; see the header comment for what is trusted.
    static TIndexDescriptor Unpack(std::span<const std::uint8_t, kIndexDescriptorSize> bytes);
    // Writes the 120 bytes; a name longer than 30 is cut, a field count
    // above 16 written as 16, reserved bytes zero.
    void Pack(std::span<std::uint8_t, kIndexDescriptorSize> out) const;
};

// The descriptors a new index file starts with for indexes 31 and 32: name,
// key length and compression set, every other field zero (neither is
// marked unique; the index code treats them by number, not by flags).
TIndexDescriptor DeletedIndexDescriptor();
TIndexDescriptor TextIndexDescriptor();

}  // namespace pirin
