#include "lookup/rtf_tables.h"

#include <algorithm>
#include <string_view>

namespace vorlano {

namespace {

std::uint32_t Component(int value) { return static_cast<std::uint32_t>(std::clamp(value, 0, 255)); }

}  // namespace

int CodePageOfCharset(int charset) {
    switch (charset) {
        case 0:
            return 1252;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        default:
            return 0;
    }
}

bool IsSingleByteCodePage(int codePage) {
    return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

char16_t DecodeByte(const pirin::TCodePage& page, std::uint8_t byte) {
    const char16_t c = page.ToUnicode(byte);
    const bool undefined = c >= pirin::kUndefinedByteBase && c <= pirin::kUndefinedByteBase + 0xFF;
    return undefined ? u'\uFFFD' : c;
}

void TRtfFontTable::StartEntry(int number, int documentCodePage) {
    EndEntry(documentCodePage);
    FCurrent = &FEntries.insert_or_assign(number, TEntry{}).first->second;
}

void TRtfFontTable::SetCharset(int charset) {
    if (FCurrent) FCurrent->CharsetCodePage = CodePageOfCharset(charset);
}

void TRtfFontTable::SetCodePage(int codePage) {
    if (FCurrent && IsSingleByteCodePage(codePage)) FCurrent->CodePage = codePage;
}

void TRtfFontTable::AddNameByte(std::uint8_t byte, int documentCodePage) {
    if (!FCurrent || FCurrent->NameDone) return;
    if (byte == ';')
        EndEntry(documentCodePage);
    else
        FCurrent->RawName.push_back(static_cast<char>(byte));
}

void TRtfFontTable::EndEntry(int documentCodePage) {
    if (!FCurrent || FCurrent->NameDone) return;
    TEntry& entry = *FCurrent;
    entry.NameDone = true;
    entry.Font.CodePage = entry.CodePage ? entry.CodePage : entry.CharsetCodePage;
    std::string_view name = entry.RawName;
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    const pirin::TCodePage& page =
        pirin::TCodePage::Of(entry.Font.CodePage ? entry.Font.CodePage : documentCodePage);
    for (const char c : name)
        entry.Font.Family.push_back(DecodeByte(page, static_cast<std::uint8_t>(c)));
}

const TRtfFont* TRtfFontTable::Find(int number) const {
    const auto found = FEntries.find(number);
    return found == FEntries.end() ? nullptr : &found->second.Font;
}

void TRtfColorTable::Clear() { *this = TRtfColorTable{}; }

void TRtfColorTable::SetRed(int value) {
    FRed = Component(value);
    FGiven = true;
}

void TRtfColorTable::SetGreen(int value) {
    FGreen = Component(value);
    FGiven = true;
}

void TRtfColorTable::SetBlue(int value) {
    FBlue = Component(value);
    FGiven = true;
}

void TRtfColorTable::EndEntry() {
    FColors.push_back(FGiven ? std::optional((FRed << 16) | (FGreen << 8) | FBlue) : std::nullopt);
    FRed = FGreen = FBlue = 0;
    FGiven = false;
}

std::optional<std::uint32_t> TRtfColorTable::Find(int index) const {
    if (index <= 0 || static_cast<std::size_t>(index) >= FColors.size()) return std::nullopt;
    return FColors[static_cast<std::size_t>(index)];
}

}  // namespace vorlano
