// The settings of a table's full-text index (index 32), kept in its chain of
// parameter pages (page type 4, linked through the page header's next field,
// headed by the descriptor's first parameter page). The chain's data bytes,
// taken page after page (4083 each), hold in order:
//   u32 stop-word count, then per stop word u32 length and its characters;
//   u32 length (32) and the 32-byte set of separator characters;
//   u32 length (32) and the 32-byte set of characters to include in words.
// A value that does not fit in the rest of a page continues at the start of
// the next page of the chain; bytes after the last value are zero.
//
// Reading trusts nothing on disk: a chain that loops, links outside the
// file or to a page that is not a parameter page, a length or count that
// needs more bytes than the rest of the chain holds, or a set length other
// than 32 raises 8965 with the table's name. A fetch that finds the table
// changed by another process starts the read over; 8708 when that keeps
// happening.
//
// Writing reuses the pages of the existing chain in order, takes further
// pages of index 32 from AllocatePage, frees the pages left over, and points
// the descriptor at the chain (the header is then marked changed). A damaged
// existing chain raises 8965 before anything is changed.
//
// Threads: as the index file (one thread at a time).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/index_file.h"

namespace pirin {

// A set of byte values: bit (c % 8) of byte (c / 8) is set for c in the set.
struct TCharacterSet {
    static constexpr std::size_t kSize = 32;
    std::array<std::uint8_t, kSize> Bits{};

    bool Contains(std::uint8_t c) const noexcept { return (Bits[c / 8u] >> (c % 8u)) & 1u; }
    void Add(std::uint8_t c) noexcept { Bits[c / 8u] |= static_cast<std::uint8_t>(1u << (c % 8u)); }
    void Remove(std::uint8_t c) noexcept {
        Bits[c / 8u] &= static_cast<std::uint8_t>(~(1u << (c % 8u)));
    }
    bool operator==(const TCharacterSet&) const = default;
};

struct TTextIndexParameters {
    // In the table's code page, as stored.
    std::vector<std::string> StopWords;
    TCharacterSet Separators;
    TCharacterSet WordCharacters;
    bool operator==(const TTextIndexParameters&) const = default;
};

// The settings in index 32's parameter chain; empty (no stop words, empty
// sets) when the index has no parameter page.
TTextIndexParameters ReadTextIndexParameters(TIndexFile& file, TChangeCheck* cursor);

// Stores `params` in index 32's parameter chain (see above). A stop word
// longer than the 32-bit length can say raises 8965.
void WriteTextIndexParameters(TIndexFile& file, TChangeCheck* cursor,
                              const TTextIndexParameters& params);

// The chain's data bytes for `params`, as the pages hold them end to end.
std::vector<std::uint8_t> EncodeTextIndexParameters(const TTextIndexParameters& params);

}  // namespace pirin
