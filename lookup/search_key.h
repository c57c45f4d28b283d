// Single-byte search keys: how the entry box's wide text becomes the bytes
// of the tables, and the byte classes the direction rules look at.
//
// A character of the special-characters letters (ß á â ä ç è é ê ë í î ï ñ
// ó ô ö ù ú û ü) becomes the byte equal to its code point (its Latin-1
// byte); any other character its Windows-1251 byte, or "?" when that code
// page has none.
//
// Pure functions: any thread. Nothing fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlano {

// The longest text that takes part in a search.
inline constexpr std::size_t kMaxKeyCharacters = 25;

std::uint8_t KeyByte(char16_t character);
std::string ToSearchKey(std::u16string_view text);

// The system code page's single-byte form (Windows-1251, "?" for others).
std::string ToSystemBytes(std::u16string_view text);
std::u16string FromSystemBytes(std::string_view bytes);

// A-Z or a-z.
inline bool IsLatinLetter(std::uint8_t b) noexcept { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }
// 0xC0 and above: a Cyrillic letter in Windows-1251 or an accented Western
// letter in Latin-1.
inline bool IsHighLetter(std::uint8_t b) noexcept { return b >= 0xC0; }

// UTF-8 forms for messages, logs and console output.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// Single-byte text of a table (code page 1251 or 1252) as UTF-8.
std::string BytesToUtf8(std::string_view bytes, int codePage);

}  // namespace vorlano
