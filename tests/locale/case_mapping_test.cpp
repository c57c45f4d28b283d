#include "locale/case_mapping.h"

#include <gtest/gtest.h>

#include "collation_test_support.h"

namespace pirin {
namespace {

using namespace test;

TEST(CaseMapping, InPlaceByLocaleOneByteForOneByte) {
    const struct {
        std::uint16_t language;
        std::string lower;
        std::string upper;
    } cases[] = {
        {kBulgarian, Cp1251(u"кошка ъгъл, ёж!"), Cp1251(u"КОШКА ЪГЪЛ, ЁЖ!")},
        {kAnsi, "abc xyz 19", "ABC XYZ 19"},
        {kFrench, Cp1252(u"élève"), Cp1252(u"ÉLÈVE")},
        // Turkish dotted and dotless i need the locale, not just the code page.
        {kTurkish, Cp1254(u"iı"), Cp1254(u"İI")},
    };
    for (const auto& c : cases) {
        std::string text = c.lower;
        UpperCaseLocale(c.language, 0, text.data());
        EXPECT_EQ(text, c.upper) << c.language;
        LowerCaseLocale(c.language, 0, text.data());
        EXPECT_EQ(text, c.lower) << c.language;
    }
}

// The tables of the locale asked for, also when the locale changes from one
// call to the next, or after a locale that has none.
TEST(CaseMapping, EachCallMapsByTheLocaleItNames) {
    for (int round = 0; round < 2; ++round) {
        for (const std::uint16_t language : {kTurkish, kEnglish, kTurkish, kAnsi}) {
            std::string text = "i";
            UpperCaseLocale(language, 0, text);
            EXPECT_EQ(text, language == kTurkish ? Cp1254(u"İ") : "I") << language;
        }
        EXPECT_EQ(EngineErrorOf([] {
                      std::string t = "a";
                      UpperCaseLocale(0x7FFF, 0, t);
                  }),
                  15878);
    }
}

TEST(CaseMapping, CharactersWithoutOneByteFormKeepTheirByte) {
    // ß upper-cases to "SS": the byte stays and the length does not change.
    std::string german = Cp1252(u"straße");
    UpperCaseLocale(kGerman, 0, german.data());
    EXPECT_EQ(german, Cp1252(u"STRAßE"));
    // µ (B5) upper-cases to Greek Μ, which Windows-1252 lacks.
    std::string micro = "\xB5m";
    UpperCaseLocale(kEnglish, 0, micro);
    EXPECT_EQ(micro, "\xB5M");
}

TEST(CaseMapping, StopsAtZeroInPlaceButMapsAWholeKeyField) {
    char text[] = "ab\0cd";
    UpperCaseLocale(kEnglish, 0, text);
    EXPECT_EQ(std::string(text, 5), std::string("AB\0cd", 5));
    std::string field("ab\0cd", 5);
    UpperCaseLocale(kEnglish, 0, field);
    EXPECT_EQ(field, std::string("AB\0CD", 5));
    UpperCaseLocale(kEnglish, 0, static_cast<char*>(nullptr));  // nothing to do
    EXPECT_EQ(EngineErrorOf([] {
                  std::string t = "a";
                  UpperCaseLocale(0x7FFF, 0, t);
              }),
              15878);
}

}  // namespace
}  // namespace pirin
