// The font table and the colour table of an RTF document, filled by the
// reader from their destinations, and the code pages of RTF charsets.
//
// Font table: each entry "\fN\fcharsetC[\cpgP] Name;" gives a font number
// its family and code page. The name is kept as bytes until the entry ends
// (at ';' or at the end of its group) and then decoded by the font's own
// code page. A font number that comes again replaces the earlier entry.
// Colour table: entries end at ';'; an entry without \red, \green or \blue
// (the first, by custom) is the automatic colour.
//
// Ownership: value types. Threads: one thread at a time. Do not fail: a
// charset or \cpg without a single-byte Windows code page leaves the font to
// the document's code page, and an index outside a table finds nothing.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "locale/code_page.h"

namespace vorlano {

// The code page of an RTF "\fcharset" value (0, ANSI, is 1252), or 0 for
// the default charset 1 and for charsets without a single-byte Windows page.
int CodePageOfCharset(int charset);
// Whether a code page is one of the single-byte Windows pages (874, 1250 to 1258).
bool IsSingleByteCodePage(int codePage);
// A byte through a code page; a byte the page leaves undefined becomes U+FFFD.
char16_t DecodeByte(const pirin::TCodePage& page, std::uint8_t byte);

struct TRtfFont {
    std::u16string Family;
    int CodePage = 0;  // 0: the document's code page
};

class TRtfFontTable {
  public:
    // Ends the entry before, if its name had no ';'.
    void StartEntry(int number, int documentCodePage);
    void SetCharset(int charset);
    void SetCodePage(int codePage);  // \cpgN, which wins over the charset
    // A byte of the entry's name; ';' ends the name.
    void AddNameByte(std::uint8_t byte, int documentCodePage);
    void EndEntry(int documentCodePage);

    const TRtfFont* Find(int number) const;

  private:
    struct TEntry {
        TRtfFont Font;
        std::string RawName;
        bool NameDone = false;
        int CharsetCodePage = 0;
        int CodePage = 0;
    };
    std::map<int, TEntry> FEntries;
    TEntry* FCurrent = nullptr;
};

class TRtfColorTable {
  public:
    void Clear();
    void SetRed(int value);
    void SetGreen(int value);
    void SetBlue(int value);
    void EndEntry();

    // 0xRRGGBB of a colour number; nothing for 0, the automatic colour, and
    // for numbers outside the table.
    std::optional<std::uint32_t> Find(int index) const;

  private:
    std::vector<std::optional<std::uint32_t>> FColors;
    std::uint32_t FRed = 0, FGreen = 0, FBlue = 0;
    bool FGiven = false;
};

}  // namespace vorlano
