#include "locale/locale_compare.h"

#include <unicode/ucol.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "errors/engine_error.h"
#include "locale/code_page.h"
#include "locale/locale_check.h"
#include "locale/primary_ranks.h"

namespace pirin {

namespace {

struct TCollatorCloser {
    void operator()(UCollator* c) const { ucol_close(c); }
};

}  // namespace

// One collator with its options fixed at creation, the code page its bytes
// are read in, and the primary ranks that settle most comparisons without
// ICU. Never changed after creation, so ucol_strcoll may run on it from
// several threads at once.
class TLocaleCollation {
  public:
    const TCodePage* CodePage = nullptr;
    std::unique_ptr<UCollator, TCollatorCloser> Collator;
    std::optional<TPrimaryRanks> Ranks;
    bool CaseInsensitive = false;
};

namespace {

using TCollation = TLocaleCollation;


std::unique_ptr<TCollation> OpenCollation(std::uint32_t localeId, std::uint16_t language,
                                          bool caseInsensitive) {
    const std::string name = IcuLocaleName(localeId);
    if (name.empty()) RaiseEngineError(PIRIN_CANNOTLOADLDDRV);
    auto collation = std::make_unique<TCollation>();
    collation->CodePage = &TCodePage::OfLanguage(language);
    collation->CaseInsensitive = caseInsensitive;
    UErrorCode status = U_ZERO_ERROR;
    collation->Collator.reset(ucol_open(name.c_str(), &status));
    if (U_FAILURE(status) || !collation->Collator) RaiseEngineError(PIRIN_CANNOTLOADLDDRV);
    UCollator* c = collation->Collator.get();
    // Primary strength ignores accents; the case level adds case back alone.
    ucol_setAttribute(c, UCOL_STRENGTH, UCOL_PRIMARY, &status);
    ucol_setAttribute(c, UCOL_CASE_LEVEL, caseInsensitive ? UCOL_OFF : UCOL_ON, &status);
    ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    ucol_setAttribute(c, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (U_FAILURE(status)) RaiseEngineError(PIRIN_CANNOTLOADLDDRV);
    collation->Ranks.emplace(*c, *collation->CodePage);
    return collation;
}

// The collation of a locale and option set. Entries live until the process
// ends; a per-thread memo of the last one used spares the lock on the common
// path (one table's comparisons in a row).
const TCollation& CollationOf(std::uint16_t language, std::uint16_t sort, bool caseInsensitive) {
    const std::uint32_t localeId = CollationLocaleIdOf(language, sort);
    // Language 0 shares English's collator but not its code page, so the
    // cache key is the table's own locale.
    const std::uint64_t key = (std::uint64_t{LocaleIdOf(language, sort)} << 1) | caseInsensitive;
    thread_local std::uint64_t lastKey = ~std::uint64_t{0};
    thread_local const TCollation* last = nullptr;
    if (key == lastKey) return *last;

    static std::mutex lock;
    static std::map<std::uint64_t, std::unique_ptr<TCollation>> collations;
    std::lock_guard hold(lock);
    auto& entry = collations[key];
    if (!entry) {
        try {
            entry = OpenCollation(localeId, language, caseInsensitive);
        } catch (...) {
            collations.erase(key);
            throw;
        }
    }
    lastKey = key;
    last = entry.get();
    return *entry;
}

std::size_t TextLength(const char* text, std::size_t length) {
    if (text == nullptr) return 0;
    if (length == 0) return std::strlen(text);
    const void* zero = std::memchr(text, 0, length);
    return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : length;
}

// Decodes into a stack buffer for the usual short texts.
class TDecoded {
  public:
    TDecoded(const TCodePage& page, const char* text, std::size_t length) : FLength(length) {
        char16_t* out = FBuffer;
        if (length > kInline) {
            FHeap.resize(length);
            out = FHeap.data();
        }
        for (std::size_t i = 0; i < length; ++i)
            out[i] = page.ToUnicode(static_cast<std::uint8_t>(text[i]));
        FData = out;
    }
    TDecoded(const TDecoded&) = delete;
    TDecoded& operator=(const TDecoded&) = delete;

    const UChar* Data() const { return reinterpret_cast<const UChar*>(FData); }
    int32_t Length() const { return static_cast<int32_t>(FLength); }

  private:
    static constexpr std::size_t kInline = 256;
    char16_t FBuffer[kInline];
    std::u16string FHeap;
    const char16_t* FData = nullptr;
    std::size_t FLength;
};

int Sign(UCollationResult r) { return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0; }

// ICU on the decoded texts, unless their bytes are equal: equal bytes are
// equal texts under any collation, so the usual way a key search ends (an
// exact match) costs no ICU call.
int IcuCompare(const TCollation& collation, const char* first, std::size_t firstLength,
               const char* second, std::size_t secondLength) {
    if (firstLength == secondLength &&
        (firstLength == 0 || std::memcmp(first, second, firstLength) == 0))
        return 0;
    const TDecoded a(*collation.CodePage, first, firstLength);
    const TDecoded b(*collation.CodePage, second, secondLength);
    return Sign(ucol_strcoll(collation.Collator.get(), a.Data(), a.Length(), b.Data(), b.Length()));
}

// The primary ranks where they settle the order, else ICU. A
// case-insensitive collator compares the primary level alone.
int Compare(const TCollation& collation, const char* first, std::size_t firstLength, const char* second,
            std::size_t secondLength, bool caseInsensitive) {
    if (const auto settled = collation.Ranks->Compare(reinterpret_cast<const std::uint8_t*>(first), firstLength,
                                                      reinterpret_cast<const std::uint8_t*>(second),
                                                      secondLength, caseInsensitive))
        return *settled;
    return IcuCompare(collation, first, firstLength, second, secondLength);
}

}  // namespace

int LocaleCompare(std::uint16_t language, std::uint16_t sort, const char* first, const char* second,
                  std::size_t length, bool caseInsensitive) {
    const TCollation& collation = CollationOf(language, sort, caseInsensitive);
    return Compare(collation, first, TextLength(first, length), second, TextLength(second, length),
                   caseInsensitive);
}

const TLocaleCollation& LocaleCollationOf(std::uint16_t language, std::uint16_t sort,
                                          bool caseInsensitive) {
    return CollationOf(language, sort, caseInsensitive);
}

int LocaleCompare(const TLocaleCollation& collation, const char* first, const char* second,
                  std::size_t length) {
    const auto* a = reinterpret_cast<const std::uint8_t*>(first);
    const auto* b = reinterpret_cast<const std::uint8_t*>(second);
    if (const auto settled = collation.Ranks->ComparePadded(a, b, length, collation.CaseInsensitive))
        return *settled;
    return IcuCompare(collation, first, TextLength(first, length), second, TextLength(second, length));
}

const TPrimaryRanks& LocaleRanks(const TLocaleCollation& collation) { return *collation.Ranks; }

bool LocaleComparesPrimaryOnly(const TLocaleCollation& collation) { return collation.CaseInsensitive; }

int LocaleCompare(std::uint16_t language, std::uint16_t sort, std::string_view first,
                  std::string_view second, bool caseInsensitive) {
    const TCollation& collation = CollationOf(language, sort, caseInsensitive);
    return Compare(collation, first.data(), first.size(), second.data(), second.size(), caseInsensitive);
}

int LocaleCompareChar(std::uint16_t language, std::uint16_t sort, std::uint8_t c1,
                      std::uint8_t c2) {
    if (language == 0) return c1 < c2 ? -1 : c1 > c2 ? 1 : 0;
    const char a = static_cast<char>(c1);
    const char b = static_cast<char>(c2);
    return LocaleCompare(language, sort, &a, &b, 1, false);
}

int BinaryCompare(const void* key1, const void* key2, std::size_t count, bool descending) {
    if (key1 == nullptr) return key2 == nullptr ? 0 : 1;
    if (key2 == nullptr) return -1;
    const int r = count == 0 ? 0 : std::memcmp(key1, key2, count);
    const int sign = r < 0 ? -1 : r > 0 ? 1 : 0;
    return descending ? -sign : sign;
}

}  // namespace pirin
