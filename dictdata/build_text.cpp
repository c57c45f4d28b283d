#include "dictdata/build_text.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "locale/code_page.h"

namespace vorlano {

namespace {

const icu::Normalizer2& Normalizer(bool compose) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = compose ? icu::Normalizer2::getNFCInstance(status)
                                                 : icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status) || normalizer == nullptr)
        throw std::runtime_error("ICU normaliser missing");
    return *normalizer;
}

icu::UnicodeString Normalized(const icu::UnicodeString& text, bool compose) {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString result = Normalizer(compose).normalize(text, status);
    return U_FAILURE(status) ? text : result;
}

bool IsStressMark(UChar32 c) { return c == 0x0300 || c == 0x0301; }

}  // namespace

std::string ToHeadwordBytes(std::string_view utf8, int codePage) {
    const pirin::TCodePage& page = pirin::TCodePage::Of(codePage);
    const icu::UnicodeString text = Normalized(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                                   utf8.data(), static_cast<int32_t>(utf8.size()))),
                                               true);
    std::string out;
    const auto append = [&](UChar32 c) {
        if (u_isWhitespace(c) || c == 0xA0) {
            if (!out.empty() && out.back() != ' ') out += ' ';
            return true;
        }
        if (c > 0xFFFF || c < 0x20) return false;
        const auto byte = page.FromUnicode(static_cast<char16_t>(c));
        if (!byte || *byte < 0x20) return false;
        out += static_cast<char>(*byte);
        return true;
    };
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        const UChar32 c = text.char32At(i);
        if (append(c)) continue;
        const icu::UnicodeString parts = Normalized(icu::UnicodeString(c), false);
        for (int32_t j = 0; j < parts.length(); j = parts.moveIndex32(j, 1))
            append(parts.char32At(j));
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string CutHeadword(const std::string& bytes, std::size_t limit) {
    if (bytes.size() <= limit) return bytes;
    std::string cut = bytes.substr(0, limit);
    const std::size_t blank = cut.rfind(' ');
    if (blank != std::string::npos && blank > limit / 2) cut.erase(blank);
    while (!cut.empty() && cut.back() == ' ') cut.pop_back();
    return cut;
}

std::string WithoutStress(std::string_view utf8) {
    const icu::UnicodeString text = Normalized(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                                   utf8.data(), static_cast<int32_t>(utf8.size()))),
                                               false);
    icu::UnicodeString kept;
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1))
        if (!IsStressMark(text.char32At(i))) kept.append(text.char32At(i));
    std::string out;
    Normalized(kept, true).toUTF8String(out);
    return out;
}

bool HasCyrillic(std::string_view utf8) {
    // Cyrillic letters U+0400..U+04FF are encoded as 0xD0..0xD3 lead bytes.
    for (std::size_t i = 0; i + 1 < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead >= 0xD0 && lead <= 0xD3) return true;
    }
    return false;
}

bool StartsWithCyrillic(std::string_view utf8) { return HasCyrillic(utf8.substr(0, 2)); }

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string> SplitList(std::string_view text, std::string_view separators) {
    std::vector<std::string> parts;
    while (true) {
        const std::size_t at = text.find_first_of(separators);
        const std::string_view part = Trim(text.substr(0, at));
        if (!part.empty()) parts.emplace_back(part);
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return parts;
}

}  // namespace vorlano
