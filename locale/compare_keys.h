// CompareKeys: the one comparison of two index keys, used for every key
// comparison of the index file and the cursor.
//
// The deleted-records index compares bytes; the text index compares its
// prefix, word (by the locale, English for language 0, case-sensitively) and
// row identifier; a table of language 0 compares bytes in the index's
// direction. Otherwise each field compares in turn: a string field by its null
// flag and then its text by the locale (case-sensitively: a case-insensitive
// index stores upper-cased text), any other field by its bytes, each in the
// field's or the index's direction; bytes left over after the fields (the row
// identifier) compare as bytes in the index's direction. Null sorts before
// values ascending, after them descending.
//
// Only the first `count` bytes are read: a count shorter than the key compares
// the leading fields and, of a string field it cuts, the leading characters
// (cut to its null flag alone, the text counts as equal). A text ends at its
// first zero byte, the key's padding.
// Result -1, 0 or +1. Works on caller-owned data and takes no lock (the
// collator cache has its own); raises 15878 when the locale has no ICU name.
//
// TKeyComparer is the same comparison for many keys of one index (a search
// of a page): it looks the collation up once, on its first text.
//
// TKeySearch compares many keys with one search key (the binary searches of
// a descent): it lays the search key's fields out once, and each comparison finds
// the first byte where the keys differ and compares from the field that
// holds it (fields of equal bytes compare equal in every order), a text from
// the character where it differs when the characters before it need no
// second look. The first text it compares becomes its inline text: a later
// difference there, within the characters of the search key that have a
// rank where they stand, ends in two ranks without a call. Results are
// CompareKeys' own.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "locale/key_description.h"
#include "locale/primary_ranks.h"

namespace pirin {

class TLocaleCollation;

[[nodiscard]] int CompareKeys(const TKeyDescription& index, const void* key1, const void* key2,
                              std::size_t count);

class TKeyComparer {
  public:
    // `index` must outlive the comparer.
    explicit TKeyComparer(const TKeyDescription& index) noexcept : FIndex(index) {}
    // As CompareKeys(index, key1, key2, count).
    [[nodiscard]] int operator()(const void* key1, const void* key2, std::size_t count) const;

  private:
    const TLocaleCollation& Collation() const;

    const TKeyDescription& FIndex;
    mutable const TLocaleCollation* FCollation = nullptr;
};

class TKeySearch {
  public:
    // `index` and the `count` bytes of `key` must outlive the search.
    TKeySearch(const TKeyDescription& index, const void* key, std::size_t count);
    // As CompareKeys(index, other, key, count); raises what it raises.
    // Inline: a binary search of a page makes a comparison per probe, and
    // most end within a few bytes and two ranks.
    [[nodiscard]] int operator()(const void* other) const;

    const TKeyDescription& Index() const noexcept { return FIndex; }
    const void* Key() const noexcept { return FKey; }
    std::size_t Count() const noexcept { return FCount; }

  private:
    // A field the count reaches, bytes [Offset, End) of the key: a text's
    // flag byte and Length bytes of text (cut by the count), or Length
    // bytes compared as bytes (flag included).
    struct TField {
        std::size_t Offset;
        std::size_t End;
        std::size_t Length;
        bool Text;
        bool Descending;
        // The settled run of the search key's text, counted on the first
        // comparison of the text (kRunUncounted until then).
        mutable std::size_t Run;
    };
    static constexpr std::size_t kRunUncounted = static_cast<std::size_t>(-1);
    // The comparisons that do not end inline: keys that differ outside the
    // first text compared or before its run is counted, and texts that need
    // more than two ranks.
    int CompareAt(const char* other, std::size_t difference) const;
    int CompareFrom(const char* other, std::size_t field, std::size_t difference) const;
    int CompareText(const TField& field, const char* other, std::size_t difference) const;
    // Looks the collation up on the first text compared (as TKeyComparer
    // does) and counts the run of the field's search text; the first text
    // counted becomes the inline one.
    void Ranks(const TField& field, const std::uint8_t* text) const;

    TKeyComparer FComparer;
    const char* FKey;
    std::size_t FCount;
    const TKeyDescription& FIndex;
    // Compared field by field (else as TKeyComparer does).
    bool FByFields = false;
    // The collation and its ranks (see Ranks).
    mutable const TLocaleCollation* FCollation = nullptr;
    mutable const TPrimaryRanks* FRanks = nullptr;
    mutable bool FPrimaryOnly = false;
    // Only the first FFieldCount are set.
    std::array<TField, 16> FFields;
    std::size_t FFieldCount = 0;
    // Where the bytes after the fields (the row identifier) begin.
    std::size_t FTail = 0;
    // The inline text: a difference at bytes FInlineFrom..FInlineTo of the
    // key lies in its text within the search key's run (none until a text's
    // run is counted).
    mutable std::size_t FInlineFrom = 1;
    mutable std::size_t FInlineTo = 0;
    mutable std::size_t FInlineLength = 0;
    mutable bool FInlineDescending = false;
};

// The first byte where the two differ within `count` bytes; count when
// none does. Eight bytes at a time: most keys of a page share a prefix.
inline std::size_t FirstDifferentByte(const char* a, const char* b, std::size_t count) noexcept {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) {
            const std::uint64_t bits = x ^ y;
            if constexpr (std::endian::native == std::endian::little)
                return i + static_cast<std::size_t>(std::countr_zero(bits)) / 8;
            else
                return i + static_cast<std::size_t>(std::countl_zero(bits)) / 8;
        }
    }
    for (; i < count; ++i)
        if (a[i] != b[i]) return i;
    return count;
}

[[gnu::always_inline]] inline int TKeySearch::operator()(const void* other) const {
    if (!FByFields || other == nullptr) return FComparer(other, FKey, FCount);
    const auto* a = static_cast<const char*>(other);
    const std::size_t difference = FirstDifferentByte(a, FKey, FCount);
    if (difference == FCount) return 0;
    // The usual end of a comparison: the keys differ inside the inline text,
    // within the search key's run, at two characters that have ranks where
    // they stand and differ. The bytes before the difference are equal, so
    // every field before the text is too.
    if (difference >= FInlineFrom && difference <= FInlineTo) {
        const int r = FRanks->CompareDifferentChars(
            reinterpret_cast<const std::uint8_t*>(a + FInlineFrom),
            reinterpret_cast<const std::uint8_t*>(FKey + FInlineFrom), FInlineLength,
            difference - FInlineFrom);
        if (r != 0) return FInlineDescending ? -r : r;
    }
    return CompareAt(a, difference);
}

}  // namespace pirin
