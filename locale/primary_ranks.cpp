#include "locale/primary_ranks.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>

#include <algorithm>
#include <map>
#include <optional>
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

// The code points of the contractions that text of the page can meet:
// those that begin contractions and never stand anywhere else in one, with
// the code points that may follow them in one, and all the others. A
// contraction of a starter and marks alone (as ICU keeps for every
// precomposed letter) is met only inside that letter, whose own collation
// elements already say it, unless the page has characters that begin with
// a mark; on such a page no character counts as only beginning contractions
// (ICU may match a contraction across marks).
struct TContractionCharacters {
    std::unique_ptr<USet, TSetCloser> Special{uset_openEmpty()};
    std::map<UChar32, std::unique_ptr<USet, TSetCloser>> Followers;
};

std::optional<TContractionCharacters> ContractionCharacters(const UCollator& collator,
                                                            const TCodePage& page) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<USet, TSetCloser> contractions(uset_openEmpty());
    TContractionCharacters result;
    ucol_getContractionsAndExpansions(&collator, contractions.get(), nullptr, true, &status);
    if (U_FAILURE(status)) return std::nullopt;
    const bool leadingMarks = HasLeadingMarks(page);
    // Every code point the page's text can hold after canonical
    // decomposition: a contraction with any other cannot be met.
    std::unique_ptr<USet, TSetCloser> pagePoints(uset_openEmpty());
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status)) return std::nullopt;
    for (int byte = 1; byte < 256; ++byte) {
        const UChar c = page.ToUnicode(static_cast<std::uint8_t>(byte));
        UChar decomposed[16];
        const std::int32_t length = unorm2_normalize(nfd, &c, 1, decomposed, 16, &status);
        if (U_FAILURE(status)) return std::nullopt;
        uset_add(pagePoints.get(), c);
        for (std::int32_t j = 0; j < length;) {
            UChar32 point;
            U16_NEXT(decomposed, j, length, point);
            uset_add(pagePoints.get(), point);
        }
    }
    const std::int32_t items = uset_getItemCount(contractions.get());
    for (std::int32_t i = 0; i < items; ++i) {
        UChar32 start = 0;
        UChar32 end = 0;
        UChar text[64];
        const std::int32_t length = uset_getItem(contractions.get(), i, &start, &end, text, 64, &status);
        if (U_FAILURE(status)) return std::nullopt;
        if (length == 0) {
            uset_addRange(result.Special.get(), start, end);
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
        if (std::any_of(points.begin(), points.end(),
                        [&](UChar32 c) { return !uset_contains(pagePoints.get(), c); }))
            continue;
        for (std::size_t j = 1; j < points.size(); ++j) uset_add(result.Special.get(), points[j]);
        if (leadingMarks || points.size() < 2) {
            uset_add(result.Special.get(), points.front());
            continue;
        }
        auto& followers = result.Followers[points.front()];
        if (!followers) followers.reset(uset_openEmpty());
        uset_add(followers.get(), points[1]);
    }
    // A character that also stands inside some contraction is special.
    for (auto it = result.Followers.begin(); it != result.Followers.end();) {
        if (uset_contains(result.Special.get(), it->first))
            it = result.Followers.erase(it);
        else
            ++it;
    }
    return result;
}

// The first code point of a byte's character after canonical decomposition
// (what a contraction meets there).
UChar32 DecomposedLead(const TCodePage& page, std::uint8_t byte) {
    UErrorCode status = U_ZERO_ERROR;
    const UChar c = page.ToUnicode(byte);
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    UChar decomposed[16];
    const std::int32_t length =
        U_SUCCESS(status) ? unorm2_normalize(nfd, &c, 1, decomposed, 16, &status) : 0;
    if (U_FAILURE(status) || length == 0) return c;
    UChar32 lead;
    std::int32_t i = 0;
    U16_NEXT(decomposed, i, length, lead);
    return lead;
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
    const auto contractions = ContractionCharacters(collator, page);
    if (U_FAILURE(status) || !contractions) return;

    std::vector<std::uint8_t> simple;
    std::vector<std::uint8_t> starters;
    for (int byte = 1; byte < 256; ++byte) {
        const UChar c = page.ToUnicode(static_cast<std::uint8_t>(byte));
        if (U16_IS_SURROGATE(c) || u_getCombiningClass(c) != 0 ||
            uset_contains(contractions->Special.get(), c))
            continue;
        if (!HasOnePrimaryElement(collator, c)) continue;
        simple.push_back(static_cast<std::uint8_t>(byte));
        if (contractions->Followers.contains(c)) starters.push_back(static_cast<std::uint8_t>(byte));
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
    // At most 255 ranks: the starter mark never meets a rank's own bits.
    if (starters.empty()) return;
    FFollowers.resize(256);
    for (const std::uint8_t starter : starters) {
        const USet* followers = contractions->Followers.at(page.ToUnicode(starter)).get();
        for (int next = 1; next < 256; ++next) {
            const auto byte = static_cast<std::uint8_t>(next);
            if (uset_contains(followers, page.ToUnicode(byte)) ||
                uset_contains(followers, DecomposedLead(page, byte)))
                FFollowers[starter].set(byte);
        }
        FRanks[starter] |= kStarter;
    }
}

}  // namespace pirin
