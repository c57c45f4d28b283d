#include "lookup/search_key.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <array>

#include "locale/code_page.h"

namespace vorlano {

namespace {

constexpr std::array<char16_t, 20> kWesternLetters{
    u'ß', u'á', u'â', u'ä', u'ç', u'è', u'é', u'ê', u'ë', u'û',
    u'í', u'î', u'ï', u'ñ', u'ó', u'ô', u'ö', u'ù', u'ú', u'ü',
};

const pirin::TCodePage& SystemCodePage() { return pirin::TCodePage::Of(1251); }

}  // namespace

std::uint8_t KeyByte(char16_t character) {
    if (std::find(kWesternLetters.begin(), kWesternLetters.end(), character) != kWesternLetters.end())
        return static_cast<std::uint8_t>(character);
    return SystemCodePage().FromUnicode(character).value_or(static_cast<std::uint8_t>('?'));
}

std::string ToSearchKey(std::u16string_view text) {
    std::string key;
    key.reserve(text.size());
    for (char16_t c : text) key.push_back(static_cast<char>(KeyByte(c)));
    return key;
}

std::string ToSystemBytes(std::u16string_view text) { return SystemCodePage().Encode(text); }
std::u16string FromSystemBytes(std::string_view bytes) { return SystemCodePage().Decode(bytes); }

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out(text.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                       reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                       0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out(text.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length,
                         text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::string BytesToUtf8(std::string_view bytes, int codePage) {
    return Utf16ToUtf8(pirin::TCodePage::Of(codePage).Decode(bytes));
}

}  // namespace vorlano
