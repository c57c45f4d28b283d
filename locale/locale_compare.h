// Text and byte comparisons by a table's locale. Every text comparison and
// every index-key comparison of the engine ends here.
//
// LocaleCompare reads the bytes as characters of the language's single-byte
// code page and compares them with the locale's ICU collation: accents and
// other non-spacing marks ignored, hyphen and apostrophe counted as symbols,
// letter case significant unless the comparison ignores case. Language 0 uses
// English (USA) for text; its keys are compared by byte value elsewhere.
//
// Results are -1, 0 or +1. Collators are created once per locale and option
// set, never changed afterwards, and shared by all threads. A locale without
// an ICU name raises 15878 (no language driver); nothing else fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pirin {

// Compares two single-byte texts of the locale (language, sort).
// length 0: both texts end at their zero byte. Otherwise at most `length`
// bytes of each are read, and a text also ends at its first zero byte within
// them: keys are zero-padded, so the padding is not text. A null pointer is
// an empty text.
[[nodiscard]] int LocaleCompare(std::uint16_t language, std::uint16_t sort, const char* first,
                                const char* second, std::size_t length, bool caseInsensitive);

// The collation of a locale and letter-case option, looked up once for many
// comparisons (a key search compares by one collation throughout). Lives
// until the process ends; opaque outside this file's implementation.
class TLocaleCollation;
// Raises 15878 as LocaleCompare.
[[nodiscard]] const TLocaleCollation& LocaleCollationOf(std::uint16_t language, std::uint16_t sort,
                                                         bool caseInsensitive);
// LocaleCompare of two texts of at most `length` bytes (length > 0) that end
// at their first zero byte within them (a key's padded text).
[[nodiscard]] int LocaleCompare(const TLocaleCollation& collation, const char* first,
                                const char* second, std::size_t length);

// The primary ranks of a collation (the shortcut its comparisons try first),
// and whether it compares the primary level alone (ignores letter case): a
// search that compares one key text with many asks the ranks itself and
// LocaleCompare only where they give no answer.
class TPrimaryRanks;
[[nodiscard]] const TPrimaryRanks& LocaleRanks(const TLocaleCollation& collation);
[[nodiscard]] bool LocaleComparesPrimaryOnly(const TLocaleCollation& collation);

// Compares two texts of their own lengths (word lists, filters); every byte
// is read as a character.
[[nodiscard]] int LocaleCompare(std::uint16_t language, std::uint16_t sort, std::string_view first,
                                std::string_view second, bool caseInsensitive);

// Compares two single bytes: by value for language 0, otherwise as one-byte
// texts with letter case significant.
[[nodiscard]] int LocaleCompareChar(std::uint16_t language, std::uint16_t sort, std::uint8_t c1,
                                    std::uint8_t c2);

// Compares `count` bytes as unsigned values; the first differing byte decides
// and `descending` reverses the sign. An absent key1 (nullptr) compares
// greater than a present key2 whatever the direction, an absent key2 less, two
// absent keys equal; count 0 is equal.
[[nodiscard]] int BinaryCompare(const void* key1, const void* key2, std::size_t count,
                                bool descending);

}  // namespace pirin
