// TCodePage: a single-byte Windows code page (874, 1250 to 1258) as two exact
// tables, byte → UTF-16 and back, built once from ICU's converter.
//
// Every key comparison converts its bytes through here, so the conversion is a
// table look-up rather than a converter call. A byte the code page leaves
// undefined decodes to the private-use character U+F700 + byte, so that it
// stays distinct, keeps its place in collation and encodes back to itself.
// Encoding a character with no single-byte form gives "?".
//
// Tables are built on first use and live until the process ends; Of() hands
// out a reference to an immutable table, so any thread may use it.
// An unknown code page raises engine error 15878 (no language driver).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pirin {

class TCodePage {
  public:
    // The table of a code page number; raises 15878 when ICU has no such page.
    static const TCodePage& Of(int codePage);
    // The code page of a table language (CodePageOf, locale_check.h).
    static const TCodePage& OfLanguage(std::uint16_t language);

    int Number() const { return FNumber; }

    char16_t ToUnicode(std::uint8_t byte) const { return FToUnicode[byte]; }
    // The byte of a UTF-16 unit, if the code page has one.
    std::optional<std::uint8_t> FromUnicode(char16_t c) const;

    std::u16string Decode(std::string_view bytes) const;
    // One byte per character; "?" for a character without a single-byte form
    // (a surrogate pair is one character and gives one "?").
    std::string Encode(std::u16string_view text) const;

    explicit TCodePage(int codePage);  // use Of(); public for the cache only

  private:
    struct TReverse {
        char16_t Unicode;
        std::uint8_t Byte;
    };
    int FNumber;
    std::array<char16_t, 256> FToUnicode{};
    std::array<TReverse, 256> FFromUnicode{};  // sorted by Unicode
};

inline constexpr char16_t kUndefinedByteBase = 0xF700;

}  // namespace pirin
