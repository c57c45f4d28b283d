// TPrimaryRanks: a per-collation shortcut for comparing single-byte texts
// without ICU on the common path. For every byte of the code page it holds
// the rank of the character's primary weight, or 0 when the character is not
// "simple": a simple character is a starter whose collation elements carry
// exactly one primary weight, first, and that takes part in no contraction
// that text of the code page can meet. For texts of simple characters the primary
// level of the collation is the byte-by-byte comparison of these ranks, so
// the first differing rank decides, and a text that is a proper prefix of
// another sorts first. Wherever that does not settle the result (a
// character that is not simple, or equal primaries where letter case still
// counts) Compare gives no answer and the caller asks ICU, so the order is
// always exactly the collator's.
//
// Ownership: a value built once per collator. Threads: immutable after
// construction, so any thread may compare. Failures: construction raises
// nothing; a character ICU cannot analyse is left not simple.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

struct UCollator;

namespace pirin {

class TCodePage;

class TPrimaryRanks {
  public:
    // `collator` is the collation's own collator (its primary level is what
    // the ranks reproduce); `page` the code page its texts are read in.
    TPrimaryRanks(const UCollator& collator, const TCodePage& page);

    // -1, 0 or +1 where the ranks settle the order; nothing otherwise. Equal
    // primaries settle the order only when `primaryOnly` (no case level).
    std::optional<int> Compare(const std::uint8_t* first, std::size_t firstLength,
                               const std::uint8_t* second, std::size_t secondLength,
                               bool primaryOnly) const {
        const std::size_t common = firstLength < secondLength ? firstLength : secondLength;
        for (std::size_t i = 0; i < common; ++i) {
            const std::uint16_t a = FRanks[first[i]];
            const std::uint16_t b = FRanks[second[i]];
            if (a == 0 || b == 0) return std::nullopt;
            if (a != b) return a < b ? -1 : 1;
        }
        if (firstLength == secondLength) {
            if (primaryOnly) return 0;
            return std::nullopt;
        }
        if (firstLength < secondLength) {
            if (FRanks[second[common]] != 0) return -1;
        } else if (FRanks[first[common]] != 0) {
            return 1;
        }
        return std::nullopt;
    }

    // The rank of a byte (0: not simple).
    std::uint16_t RankOf(std::uint8_t byte) const noexcept { return FRanks[byte]; }

  private:
    std::array<std::uint16_t, 256> FRanks{};
};

}  // namespace pirin
