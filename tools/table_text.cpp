#include "tools/table_text.h"

#include <unicode/unistr.h>

namespace pirin::tools {

std::string DecodeTableText(const TCodePage& codePage, std::string_view bytes) {
    std::u16string text = codePage.Decode(bytes);
    for (char16_t& c : text)
        if (c >= kUndefinedByteBase && c <= kUndefinedByteBase + 0xFF)
            c = static_cast<char16_t>(c - kUndefinedByteBase);
    std::string utf8;
    icu::UnicodeString(false, text.data(), static_cast<int32_t>(text.size())).toUTF8String(utf8);
    return utf8;
}

std::string EncodeTableText(const TCodePage& codePage, std::string_view utf8) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.length()));
    for (int32_t i = 0; i < text.length(); ++i) {
        const char16_t c = text.charAt(i);
        if (c == 0xFFFD) throw ETableTextError("not UTF-8 text: " + std::string(utf8));
        if (const auto byte = codePage.FromUnicode(c)) {
            bytes.push_back(static_cast<char>(*byte));
        } else if (c >= 0x80 && c <= 0xFF &&
                   codePage.ToUnicode(static_cast<std::uint8_t>(c)) == kUndefinedByteBase + c) {
            bytes.push_back(static_cast<char>(c));  // an undefined byte shown as itself
        } else {
            throw ETableTextError("\"" + std::string(utf8) + "\" has characters code page " +
                                  std::to_string(codePage.Number()) + " cannot store");
        }
    }
    return bytes;
}

}  // namespace pirin::tools
