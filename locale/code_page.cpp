#include "locale/code_page.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "errors/engine_error.h"
#include "locale/locale_check.h"

namespace pirin {

namespace {

struct TConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

}  // namespace

TCodePage::TCodePage(int codePage) : FNumber(codePage) {
    const std::string name = "windows-" + std::to_string(codePage);
    UErrorCode status = U_ZERO_ERROR;  // an alias warning is normal
    std::unique_ptr<UConverter, TConverterCloser> converter(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status) || !converter || ucnv_getMaxCharSize(converter.get()) != 1)
        RaiseEngineError(PIRIN_CANNOTLOADLDDRV);
    for (int b = 0; b < 256; ++b) {
        const char in = static_cast<char>(b);
        UChar out[4] = {};
        status = U_ZERO_ERROR;
        const int length = ucnv_toUChars(converter.get(), out, 4, &in, 1, &status);
        const bool defined =
            U_SUCCESS(status) && length == 1 && out[0] != 0xFFFD && (out[0] != 0x1A || b == 0x1A);
        FToUnicode[b] = defined ? out[0] : static_cast<char16_t>(kUndefinedByteBase + b);
        FFromUnicode[b] = {FToUnicode[b], static_cast<std::uint8_t>(b)};
    }
    // Stable, so that if two bytes ever shared a character the lower byte wins.
    std::stable_sort(FFromUnicode.begin(), FFromUnicode.end(),
                     [](const TReverse& a, const TReverse& b) { return a.Unicode < b.Unicode; });
}

const TCodePage& TCodePage::Of(int codePage) {
    // Tables are never dropped once built, so each thread may keep the last
    // one it was given: a reader of text asks for the same page byte after
    // byte, and the shared map behind a mutex costs a hundred instructions.
    thread_local const TCodePage* last = nullptr;
    if (last != nullptr && last->FNumber == codePage) return *last;
    static std::mutex lock;
    static std::map<int, std::unique_ptr<TCodePage>> pages;
    std::lock_guard hold(lock);
    auto& page = pages[codePage];
    if (!page) {
        try {
            page = std::make_unique<TCodePage>(codePage);
        } catch (...) {
            pages.erase(codePage);
            throw;
        }
    }
    last = page.get();
    return *page;
}

const TCodePage& TCodePage::OfLanguage(std::uint16_t language) { return Of(CodePageOf(language)); }

std::optional<std::uint8_t> TCodePage::FromUnicode(char16_t c) const {
    if (c < 0x80 && FToUnicode[c] == c) return static_cast<std::uint8_t>(c);
    const auto it = std::lower_bound(
        FFromUnicode.begin(), FFromUnicode.end(), c,
        [](const TReverse& entry, char16_t value) { return entry.Unicode < value; });
    if (it == FFromUnicode.end() || it->Unicode != c) return std::nullopt;
    return it->Byte;
}

std::u16string TCodePage::Decode(std::string_view bytes) const {
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = FToUnicode[static_cast<std::uint8_t>(bytes[i])];
    return text;
}

std::string TCodePage::Encode(std::u16string_view text) const {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            ++i;  // a supplementary character has no single-byte form
            bytes.push_back('?');
            continue;
        }
        const auto byte = FromUnicode(c);
        bytes.push_back(byte ? static_cast<char>(*byte) : '?');
    }
    return bytes;
}

}  // namespace pirin
