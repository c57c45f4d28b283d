// Letter-case mapping of single-byte texts by a table's locale, in place.
//
// Each byte is mapped on its own, through ICU's u_strToUpper / u_strToLower
// with the locale (language 0: English (USA)), and back to the language's code
// page. One byte in, one byte out: the length never changes, and a character
// whose mapping has no single-byte form, or is more than one character
// (German ß upper-cases to "SS"), keeps its byte. Mapping byte by byte also
// means no context-dependent forms (Greek final sigma).
//
// The 256-entry tables are built once per locale and shared; any thread may
// call these. A locale without an ICU name raises 15878.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pirin {

// Maps a zero-terminated text in place; nullptr does nothing.
void UpperCaseLocale(std::uint16_t language, std::uint16_t sort, char* text);
void LowerCaseLocale(std::uint16_t language, std::uint16_t sort, char* text);

// Maps every byte of `text` (zero bytes included, as in a padded key field).
void UpperCaseLocale(std::uint16_t language, std::uint16_t sort, std::string& text);
void LowerCaseLocale(std::uint16_t language, std::uint16_t sort, std::string& text);

}  // namespace pirin
