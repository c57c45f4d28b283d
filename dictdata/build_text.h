// Text helpers of the dictionary builder: UTF-8 source text to the
// single-byte headword form of a table (Windows-1251 or -1252), and small
// UTF-8 utilities the source readers share.
//
// Headword form: NFC first (so "e" + combining acute becomes "é" where the
// code page has it), then every character the code page lacks is decomposed
// and only its encodable parts are kept (stress marks and other combining
// marks are dropped: "къ́ща" gives "къща", "ѝ" gives "и"); characters with
// no encodable part are dropped; white space is collapsed and trimmed.
//
// Pure functions: any thread. Invalid UTF-8 decodes to U+FFFD, which is
// dropped; nothing raises except the code page lookup (15878).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorlano {

inline constexpr std::size_t kHeadwordLength = 50;

// The single-byte form of `utf8` in `codePage` (see the header comment).
std::string ToHeadwordBytes(std::string_view utf8, int codePage);

// `bytes` cut to at most `limit` bytes, preferably at a blank.
std::string CutHeadword(const std::string& bytes, std::size_t limit = kHeadwordLength);

// The UTF-8 text with stress marks (combining graves and acutes) removed.
std::string WithoutStress(std::string_view utf8);

// True when the text holds a Cyrillic letter.
bool HasCyrillic(std::string_view utf8);
// True when the text begins with a Cyrillic letter.
bool StartsWithCyrillic(std::string_view utf8);

// The lines of a text: LF ends a line and a CR before it is dropped; a
// final LF gives no empty last line.
std::vector<std::string_view> SplitLines(std::string_view text);

// Trims blanks (space, tab, CR) at both ends.
std::string_view Trim(std::string_view text);

// Splits on any of `separators`, trimming parts and dropping empty ones.
std::vector<std::string> SplitList(std::string_view text, std::string_view separators);

}  // namespace vorlano
