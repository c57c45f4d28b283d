#include "locale/primary_ranks.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "locale/code_page.h"

namespace pirin {

namespace {

struct TCollatorCloser {
    void operator()(UCollator* c) const { ucol_close(c); }
};
struct TSetCloser {
    void operator()(USet* s) const { uset_close(s); }
};

// ICU hands out a 64-bit collation element as two 32-bit ones; the second
// carries these bits in its tertiary byte.
bool IsContinuation(std::int32_t element) { return (element & 0xC0) == 0xC0; }

// Exactly one collation element with a primary weight (a long primary comes
// as one element and its continuation); elements without a primary weight
// (accents, case) may follow, the primary level does not see them.
bool HasOnePrimaryElement(const UCollator& collator, UChar c) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationElements* elements = ucol_openElements(&collator, &c, 1, &status);
    if (U_FAILURE(status)) return false;
    int primaries = 0;
    bool first = true;
    bool leadsWithPrimary = false;
    for (std::int32_t element; (element = ucol_next(elements, &status)) != UCOL_NULLORDER && U_SUCCESS(status);) {
        if (IsContinuation(element) || ucol_primaryOrder(element) == 0) {
            first = false;
            continue;
        }
        if (first) leadsWithPrimary = true;
        first = false;
        ++primaries;
    }
    ucol_closeElements(elements);
    return U_SUCCESS(status) && leadsWithPrimary && primaries == 1;
}

bool IsStarter(UChar32 c) { return u_getCombiningClass(c) == 0; }

// Whether some byte of the page reads as a text that begins with a combining
// mark (after canonical decomposition): only then can a mark follow a
// character other than inside that character's own decomposition.
bool HasLeadingMarks(const TCodePage& page) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status)) return true;
    for (int byte = 1; byte < 256; ++byte) {
        const UChar c = page.ToUnicode(static_cast<std::uint8_t>(byte));
        UChar decomposed[16];
        const std::int32_t length = unorm2_normalize(nfd, &c, 1, decomposed, 16, &status);
        if (U_FAILURE(status)) return true;
        UChar32 lead;
        std::int32_t i = 0;
        U16_NEXT(decomposed, i, length, lead);
        if (length > 0 && !IsStarter(lead)) return true;
    }
    return false;
}

// Every code point of a contraction that text of the page can meet. A
// contraction of a starter and marks alone (as ICU keeps for every
// precomposed letter) is met only inside that letter, whose own collation
// elements already say it, unless the page has characters that begin with
// a mark.
std::unique_ptr<USet, TSetCloser> ContractionCharacters(const UCollator& collator, const TCodePage& page) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<USet, TSetCloser> contractions(uset_openEmpty());
    std::unique_ptr<USet, TSetCloser> special(uset_openEmpty());
    ucol_getContractionsAndExpansions(&collator, contractions.get(), nullptr, true, &status);
    if (U_FAILURE(status)) return nullptr;
    const bool leadingMarks = HasLeadingMarks(page);
    const std::int32_t items = uset_getItemCount(contractions.get());
    for (std::int32_t i = 0; i < items; ++i) {
        UChar32 start = 0;
        UChar32 end = 0;
        UChar text[64];
        const std::int32_t length = uset_getItem(contractions.get(), i, &start, &end, text, 64, &status);
        if (U_FAILURE(status)) return nullptr;
        if (length == 0) {
            uset_addRange(special.get(), start, end);
            continue;
        }
        std::vector<UChar32> points;
        for (std::int32_t j = 0; j < length;) {
            UChar32 c;
            U16_NEXT(text, j, length, c);
            points.push_back(c);
        }
        const bool starterAndMarks = IsStarter(points.front()) &&
                                     std::none_of(points.begin() + 1, points.end(), IsStarter);
        if (starterAndMarks && !leadingMarks) continue;
        for (UChar32 c : points) uset_add(special.get(), c);
    }
    return special;
}

}  // namespace

TPrimaryRanks::TPrimaryRanks(const UCollator& collator, const TCodePage& page) {
    // The primary level alone orders the ranks, whatever the collator's case
    // setting.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, TCollatorCloser> primary(ucol_clone(&collator, &status));
    if (U_FAILURE(status) || !primary) return;
    ucol_setAttribute(primary.get(), UCOL_STRENGTH, UCOL_PRIMARY, &status);
    ucol_setAttribute(primary.get(), UCOL_CASE_LEVEL, UCOL_OFF, &status);
    const auto special = ContractionCharacters(collator, page);
    if (U_FAILURE(status) || !special) return;

    std::vector<std::uint8_t> simple;
    for (int byte = 1; byte < 256; ++byte) {
        const UChar c = page.ToUnicode(static_cast<std::uint8_t>(byte));
        if (U16_IS_SURROGATE(c) || u_getCombiningClass(c) != 0 || uset_contains(special.get(), c)) continue;
        if (HasOnePrimaryElement(collator, c)) simple.push_back(static_cast<std::uint8_t>(byte));
    }
    auto compare = [&](std::uint8_t a, std::uint8_t b) {
        const UChar ca = page.ToUnicode(a);
        const UChar cb = page.ToUnicode(b);
        return ucol_strcoll(primary.get(), &ca, 1, &cb, 1);
    };
    std::stable_sort(simple.begin(), simple.end(),
                     [&](std::uint8_t a, std::uint8_t b) { return compare(a, b) == UCOL_LESS; });
    std::uint16_t rank = 0;
    for (std::size_t i = 0; i < simple.size(); ++i) {
        if (i == 0 || compare(simple[i - 1], simple[i]) != UCOL_EQUAL) ++rank;
        FRanks[simple[i]] = rank;
    }
}

}  // namespace pirin
