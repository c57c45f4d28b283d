// The primary-rank shortcut against ICU itself: wherever the ranks settle a
// comparison, the collator must agree, for locales with contractions (Czech
// "ch", Danish "aa", traditional Spanish "ll"), with leading combining marks
// (Vietnamese), with reordered vowels (Thai), in both case modes; and the
// shortcut must actually settle the dictionary languages' letters.
#include <gtest/gtest.h>
#include <unicode/ucol.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "locale/code_page.h"
#include "locale/primary_ranks.h"

namespace pirin {
namespace {

struct TCollatorCloser {
    void operator()(UCollator* c) const { ucol_close(c); }
};
using TCollator = std::unique_ptr<UCollator, TCollatorCloser>;

// Opened with the options of the engine's collators.
TCollator OpenCollator(const char* name, bool caseInsensitive) {
    UErrorCode status = U_ZERO_ERROR;
    TCollator c(ucol_open(name, &status));
    ucol_setAttribute(c.get(), UCOL_STRENGTH, UCOL_PRIMARY, &status);
    ucol_setAttribute(c.get(), UCOL_CASE_LEVEL, caseInsensitive ? UCOL_OFF : UCOL_ON, &status);
    ucol_setAttribute(c.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    ucol_setAttribute(c.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    EXPECT_TRUE(U_SUCCESS(status)) << name;
    return c;
}

int IcuCompare(const UCollator& collator, const TCodePage& page, const std::string& a, const std::string& b) {
    const std::u16string ua = page.Decode(a);
    const std::u16string ub = page.Decode(b);
    const UCollationResult r =
        ucol_strcoll(&collator, reinterpret_cast<const UChar*>(ua.data()), static_cast<int32_t>(ua.size()),
                     reinterpret_cast<const UChar*>(ub.data()), static_cast<int32_t>(ub.size()));
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

// Texts of 0 to 6 bytes over small alphabets (so that prefixes, repeats and
// contractions occur): every other round ASCII letters and symbols, the
// others any byte but zero.
std::vector<std::vector<std::string>> RandomTextGroups(std::mt19937& random) {
    static const std::string ascii = "abcdhlnszACDHLSZ-' ";
    std::vector<std::vector<std::string>> groups;
    for (int round = 0; round < 60; ++round) {
        std::string alphabet;
        for (int i = 0; i < 6; ++i)
            alphabet += round % 2 ? ascii[random() % ascii.size()] : static_cast<char>(1 + random() % 255);
        std::vector<std::string>& texts = groups.emplace_back();
        for (int i = 0; i < 30; ++i) {
            std::string text(random() % 7, ' ');
            for (char& c : text) c = alphabet[random() % alphabet.size()];
            texts.push_back(text);
        }
    }
    return groups;
}

struct TLocaleCase {
    const char* Name;
    int CodePage;
};

class PrimaryRanksTest : public ::testing::TestWithParam<TLocaleCase> {};

TEST_P(PrimaryRanksTest, EverySettledComparisonAgreesWithIcu) {
    const TCodePage& page = TCodePage::Of(GetParam().CodePage);
    std::mt19937 random(GetParam().CodePage);
    const auto groups = RandomTextGroups(random);
    for (const bool caseInsensitive : {true, false}) {
        const TCollator collator = OpenCollator(GetParam().Name, caseInsensitive);
        const TPrimaryRanks ranks(*collator, page);
        int settled = 0;
        for (const auto& texts : groups)
            for (const std::string& a : texts)
                for (const std::string& b : texts) {
                    const auto result = ranks.Compare(reinterpret_cast<const std::uint8_t*>(a.data()), a.size(),
                                                      reinterpret_cast<const std::uint8_t*>(b.data()), b.size(),
                                                      caseInsensitive);
                    // The same texts zero-padded, as keys hold them: settled
                    // wherever they are, and as ICU orders them.
                    std::string paddedA = a, paddedB = b;
                    paddedA.resize(8, '\0');
                    paddedB.resize(8, '\0');
                    const auto padded = ranks.ComparePadded(reinterpret_cast<const std::uint8_t*>(paddedA.data()),
                                                            reinterpret_cast<const std::uint8_t*>(paddedB.data()),
                                                            paddedA.size(), caseInsensitive);
                    if (padded) {
                        ASSERT_EQ(*padded, IcuCompare(*collator, page, a, b))
                            << GetParam().Name << " padded '" << a << "' '" << b << "' case-insensitive "
                            << caseInsensitive;
                    }
                    if (result) {
                        EXPECT_TRUE(padded.has_value()) << "'" << a << "' '" << b << "'";
                    }
                    // Past shared bytes (also beyond the first 8): the answer
                    // of the whole comparison, and ICU's.
                    for (const std::string& head : {std::string(), texts[0] + texts[1] + texts[2]}) {
                        std::string x = head + a, y = head + b;
                        x.resize(24, '\0');
                        y.resize(24, '\0');
                        const auto* px = reinterpret_cast<const std::uint8_t*>(x.data());
                        const auto* py = reinterpret_cast<const std::uint8_t*>(y.data());
                        std::size_t difference = 0;
                        while (difference < x.size() && x[difference] == y[difference]) ++difference;
                        const auto whole = ranks.ComparePadded(px, py, x.size(), caseInsensitive);
                        const auto past = ranks.ComparePaddedAt(px, py, x.size(), difference,
                                                                ranks.SettledRun(py, y.size()), caseInsensitive);
                        // Settled at least where the whole comparison is.
                        if (whole) {
                            ASSERT_EQ(past, whole) << GetParam().Name << " '" << head + a << "' '" << head + b << "'";
                        }
                        if (past) {
                            ASSERT_EQ(*past, IcuCompare(*collator, page, head + a, head + b))
                                << GetParam().Name << " '" << head + a << "' '" << head + b << "'";
                        }
                    }
                    if (!result) continue;
                    ++settled;
                    ASSERT_EQ(*result, IcuCompare(*collator, page, a, b))
                        << GetParam().Name << " '" << a << "' '" << b << "' case-insensitive " << caseInsensitive;
                }
        EXPECT_GT(settled, 0) << GetParam().Name;
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, PrimaryRanksTest,
                         ::testing::Values(TLocaleCase{"bg", 1251}, TLocaleCase{"en_US", 1252},
                                           TLocaleCase{"de", 1252}, TLocaleCase{"cs", 1250},
                                           TLocaleCase{"da", 1252}, TLocaleCase{"es@collation=traditional", 1252},
                                           TLocaleCase{"hu", 1250}, TLocaleCase{"tr", 1254},
                                           TLocaleCase{"el", 1253}, TLocaleCase{"lt", 1257},
                                           TLocaleCase{"vi", 1258}, TLocaleCase{"th", 874}),
                         [](const auto& info) {
                             std::string name = info.param.Name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// The dictionary languages' letters and the symbols of headwords are simple,
// so their comparisons stay off ICU; a contraction's letters are not (even
// the root collation's "l" with a middle dot, which Windows-1252 can write).
TEST(PrimaryRanks, SettlesTheDictionaryLettersAndLeavesContractionsToIcu) {
    const TCodePage& cp1251 = TCodePage::Of(1251);
    const TCodePage& cp1252 = TCodePage::Of(1252);
    const TPrimaryRanks bulgarian(*OpenCollator("bg", true), cp1251);
    const TPrimaryRanks english(*OpenCollator("en_US", true), cp1252);
    const TPrimaryRanks czech(*OpenCollator("cs", true), TCodePage::Of(1250));
    for (char16_t c = u'а'; c <= u'я'; ++c) EXPECT_NE(bulgarian.RankOf(*cp1251.FromUnicode(c)), 0) << int(c);
    for (char c = 'a'; c <= 'z'; ++c) {
        if (c == 'l') continue;
        EXPECT_NE(english.RankOf(static_cast<std::uint8_t>(c)), 0) << c;
        EXPECT_NE(bulgarian.RankOf(static_cast<std::uint8_t>(c)), 0) << c;
    }
    for (char c : std::string("-' ")) EXPECT_NE(english.RankOf(static_cast<std::uint8_t>(c)), 0) << c;
    EXPECT_EQ(english.RankOf('A'), english.RankOf('a'));
    EXPECT_LT(bulgarian.RankOf(*cp1251.FromUnicode(u'е')), bulgarian.RankOf(*cp1251.FromUnicode(u'ж')));
    EXPECT_EQ(english.RankOf('l'), 0);
    EXPECT_EQ(czech.RankOf('c'), 0);
    EXPECT_EQ(czech.RankOf('h'), 0);
    // A letter that only begins contractions is settled wherever the next
    // letter cannot go on with one: "l" before anything but a middle dot,
    // Czech "c" before anything but "h".
    const auto settles = [](const TPrimaryRanks& ranks, const std::string& a, const std::string& b) {
        return ranks
            .Compare(reinterpret_cast<const std::uint8_t*>(a.data()), a.size(),
                     reinterpret_cast<const std::uint8_t*>(b.data()), b.size(), true)
            .has_value();
    };
    EXPECT_TRUE(english.BeginsContractions('l'));
    EXPECT_TRUE(bulgarian.BeginsContractions('L'));
    EXPECT_TRUE(settles(english, "hello", "help"));
    EXPECT_TRUE(settles(english, "all", "alm"));
    EXPECT_FALSE(settles(english, "l\xB7" "a", "lb"));
    EXPECT_TRUE(settles(czech, "ca", "cb"));
    EXPECT_FALSE(settles(czech, "cha", "cb"));
    EXPECT_FALSE(czech.BeginsContractions('h'));
}

}  // namespace
}  // namespace pirin
