// TPrimaryRanks: a per-collation shortcut for comparing single-byte texts
// without ICU on the common path. For every byte of the code page it holds
// the rank of the character's primary weight, or 0 when the character is not
// "simple": a simple character is a starter whose collation elements carry
// exactly one primary weight, first, and that takes part in no contraction
// that text of the code page can meet. A character that takes part in
// contractions only as their first character (the root collation's "l" of
// "l" with a middle dot) is simple wherever the next character cannot go on
// with one of them. For texts of simple characters the primary
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
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

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
            std::uint16_t a = FRanks[first[i]];
            std::uint16_t b = FRanks[second[i]];
            if ((a | b) & kStarter) {
                a = RankAt(first, i, firstLength);
                b = RankAt(second, i, secondLength);
            }
            if (a == 0 || b == 0) return std::nullopt;
            if (a != b) return a < b ? -1 : 1;
        }
        if (firstLength == secondLength) {
            if (primaryOnly) return 0;
            return std::nullopt;
        }
        if (firstLength < secondLength) {
            if (RankAt(second, common, secondLength) != 0) return -1;
        } else if (RankAt(first, common, firstLength) != 0) {
            return 1;
        }
        return std::nullopt;
    }

    // Compare of two texts of at most `length` bytes that end at their first
    // zero byte (the padded text of a key), in one pass: texts whose bytes
    // are equal settle as equal whatever `primaryOnly` says.
    std::optional<int> ComparePadded(const std::uint8_t* first, const std::uint8_t* second,
                                     std::size_t length, bool primaryOnly) const {
        bool sameBytes = true;
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t ca = first[i];
            const std::uint8_t cb = second[i];
            if (ca == 0 || cb == 0) {
                if (ca == cb) break;
                // One text ended: the other goes on with a character.
                if (ca == 0) return RankAt(second, i, length) != 0 ? std::optional<int>(-1) : std::nullopt;
                return RankAt(first, i, length) != 0 ? std::optional<int>(1) : std::nullopt;
            }
            std::uint16_t a = FRanks[ca];
            std::uint16_t b = FRanks[cb];
            if ((a | b) & kStarter) {
                a = RankAt(first, i, length);
                b = RankAt(second, i, length);
            }
            if (a == 0 || b == 0) return std::nullopt;
            if (a != b) return a < b ? -1 : 1;
            sameBytes = sameBytes && ca == cb;
        }
        if (primaryOnly || sameBytes) return 0;
        return std::nullopt;
    }

    // The rank of a byte wherever it stands (0: not simple, or simple only
    // where no contraction goes on from it).
    std::uint16_t RankOf(std::uint8_t byte) const noexcept {
        return FRanks[byte] & kStarter ? 0 : FRanks[byte];
    }
    // Whether the byte is simple except where the next byte goes on with a
    // contraction that begins with it.
    bool BeginsContractions(std::uint8_t byte) const noexcept { return FRanks[byte] & kStarter; }

  private:
    // Marks the rank of a character that begins contractions: it holds only
    // where the next character cannot go on with one (FFollowers).
    static constexpr std::uint16_t kStarter = 0x8000;

    // The rank of text[i] in its text of `length` bytes (a zero byte or the
    // end closes it); 0 where it is not settled.
    std::uint16_t RankAt(const std::uint8_t* text, std::size_t i, std::size_t length) const {
        const std::uint16_t rank = FRanks[text[i]];
        if (!(rank & kStarter)) return rank;
        if (i + 1 < length && FFollowers[text[i]].test(text[i + 1])) return 0;
        return static_cast<std::uint16_t>(rank & ~kStarter);
    }

    std::array<std::uint16_t, 256> FRanks{};
    // For a byte that begins contractions: the bytes that may go on with one.
    std::vector<std::bitset<256>> FFollowers;
};

}  // namespace pirin
