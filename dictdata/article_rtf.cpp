#include "dictdata/article_rtf.h"

#include <unicode/unistr.h>

#include "dictdata/build_text.h"
#include "locale/code_page.h"

namespace vorlano {

namespace {

constexpr std::string_view kRtfHeader =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}"
    "{\\f1\\fswiss\\fcharset0 Arial;}}\\uc1\\pard\\fs22 ";

void AppendHex(std::string& out, unsigned byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\'";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
}

}  // namespace

std::string RtfRun(std::string_view utf8) {
    const bool cyrillic = HasCyrillic(utf8);
    const pirin::TCodePage& page = pirin::TCodePage::Of(cyrillic ? 1251 : 1252);
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    std::string out = cyrillic ? "{\\f0 " : "{\\f1 ";
    for (int32_t i = 0; i < text.length(); ++i) {
        const char16_t unit = text.charAt(i);
        if (unit == '\\' || unit == '{' || unit == '}') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit == '\n') {
            out += "\\line ";
        } else if (unit >= 0x20 && unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (const auto byte = page.FromUnicode(unit); byte && *byte >= 0x80) {
            AppendHex(out, *byte);
        } else if (unit >= 0x20) {
            // RTF numbers are signed 16-bit; surrogate halves go one by one.
            out += "\\u" + std::to_string(static_cast<std::int16_t>(unit)) + "?";
        }
    }
    out += '}';
    return out;
}

std::string RenderArticleRtf(const TArticle& article) {
    std::string rtf(kRtfHeader);
    rtf += "{\\b\\fs26 " + RtfRun(article.Headword) + "}\\par\n";
    for (const TArticleBlock& block : article.Blocks) {
        if (!block.PartOfSpeech.empty()) rtf += "{\\i " + RtfRun(block.PartOfSpeech) + "}\\par\n";
        const bool numbered = block.Senses.size() > 1;
        for (std::size_t i = 0; i < block.Senses.size(); ++i) {
            const TArticleSense& sense = block.Senses[i];
            if (numbered) rtf += std::to_string(i + 1) + ". ";
            rtf += RtfRun(sense.Text);
            if (!sense.Note.empty()) rtf += " {\\i " + RtfRun("(" + sense.Note + ")") + "}";
            rtf += "\\par\n";
        }
    }
    rtf += "}";
    return rtf;
}

}  // namespace vorlano
