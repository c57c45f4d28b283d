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

    // The leading characters of a padded text that have a rank where they
    // stand: bytes before its first zero byte, up to the first character
    // that is not simple in its place. Texts sharing these bytes compare as
    // equal up to them, whatever follows (see ComparePaddedAt).
    std::size_t SettledRun(const std::uint8_t* text, std::size_t length) const noexcept {
        std::size_t i = 0;
        while (i < length && text[i] != 0 && RankAt(text, i, length) != 0) ++i;
        return i;
    }

    // ComparePadded(first, second, length, primaryOnly) for texts whose
    // bytes first differ at `difference` (length when they do not), given
    // `secondRun` = SettledRun(second, length): the shared bytes before the
    // difference are not compared again. Where the shared bytes hold a
    // character without a rank the answer is ComparePadded's own.
    std::optional<int> ComparePaddedAt(const std::uint8_t* first, const std::uint8_t* second,
                                       std::size_t length, std::size_t difference,
                                       std::size_t secondRun, bool primaryOnly) const {
        if (difference >= length) return 0;  // the same bytes
        if (difference > secondRun) {
            // The run stopped inside the shared bytes: at the texts' common
            // end, or at a character that needs the long way.
            if (second[secondRun] == 0) return 0;
            return ComparePadded(first, second, length, primaryOnly);
        }
        // Every shared character has the same rank in both texts, but the
        // last one: a character that begins contractions depends on the
        // next, where they differ.
        if (const int r = CompareDifferentChars(first, second, length, difference); r != 0)
            return r;
        std::size_t from = difference;
        if (from > 0 && BeginsContractions(second[from - 1])) --from;
        // The shared bytes before `from` compared equal and byte-equal; the
        // byte at `difference` differs, so ComparePadded's own same-bytes
        // answer cannot apply beyond it.
        return ComparePadded(first + from, second + from, length - from, primaryOnly);
    }

    // The usual end of ComparePaddedAt, alone: -1 or +1 where the characters
    // at `difference` have ranks where they stand and differ (or one text
    // ends there and the other's character has a rank), and neither goes on
    // with a contraction that the character before them (if any) begins;
    // 0 where ComparePaddedAt must look further. Same conditions on
    // `difference`.
    [[gnu::always_inline]] int CompareDifferentChars(const std::uint8_t* first,
                                                     const std::uint8_t* second, std::size_t length,
                                                     std::size_t difference) const noexcept {
        const std::uint8_t ca = first[difference];
        const std::uint8_t cb = second[difference];
        if (difference > 0) {
            // The shared character before keeps its rank unless one of the
            // texts goes on with a contraction it begins.
            const std::uint8_t before = second[difference - 1];
            if ((FRanks[before] & kStarter) &&
                (FFollowers[before].test(ca) || FFollowers[before].test(cb)))
                return 0;
        }
        // One text ends (a zero byte, which has no rank) where the other goes
        // on with a character.
        if (ca == 0) return RankAt(second, difference, length) != 0 ? -1 : 0;
        if (cb == 0) return RankAt(first, difference, length) != 0 ? 1 : 0;
        const std::uint16_t a = RankAt(first, difference, length);
        const std::uint16_t b = RankAt(second, difference, length);
        if (a == 0 || b == 0 || a == b) return 0;
        return a < b ? -1 : 1;
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
