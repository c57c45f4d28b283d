#include "locale/language_list.h"

#include <gtest/gtest.h>

#include "errors/engine_error.h"
#include "locale/locale_check.h"

namespace pirin {
namespace {

TEST(LanguageList, NamesAndIdentifiersInTheirFixedOrder) {
    const auto list = LanguageList();
    ASSERT_EQ(list.size(), 99u);
    EXPECT_EQ(list.front().Name, "ANSI Standard");
    EXPECT_EQ(list.back().Name, "Vietnamese");
    EXPECT_EQ(LanguageIdOf("Bulgarian"), 0x0402);
    EXPECT_EQ(LanguageIdOf("bULGARIAN"), 1026);
    EXPECT_EQ(LanguageIdOf("Ukranian"), 0x0422);
    EXPECT_EQ(LanguageIdOf("Portuguese (Standard)"), 0x0816);
    EXPECT_EQ(LanguageIdOf("Portuguese (Brazilian)"), 0x0416);
    EXPECT_EQ(LanguageIdOf("Ukrainian"), std::nullopt);
    EXPECT_EQ(LanguagePositionOf(0x0407), 48);
    EXPECT_EQ(LanguagePositionOf(0x1407), 52);
    EXPECT_TRUE(HasGermanPhoneBookOrder(0x0C07));
    EXPECT_FALSE(HasGermanPhoneBookOrder(0x0409));
    EXPECT_EQ(LanguagePositionOf(0x7C01), std::nullopt);
}

TEST(LocaleCheck, DictionaryLanguagesAreInstalledAndUnknownOnesRaise15878) {
    for (const char* name : {"Bulgarian", "English (USA)", "German (Standard)", "Spanish (Modern)",
                             "Italian (Standard)", "French (Standard)"}) {
        EXPECT_TRUE(IsLocaleInstalled(*LanguageIdOf(name), 0)) << name;
    }
    EXPECT_NO_THROW(CheckLocale(0, 0, "T"));  // byte order needs no collation
    EXPECT_FALSE(IsLocaleInstalled(0x7C01, 0));  // not in the list
    try {
        CheckLocale(0x7FFF, 0, "Bg_En");
        FAIL();
    } catch (const EPirinEngineError& e) {
        EXPECT_EQ(e.ErrorCode, 15878);
        EXPECT_STREQ(e.what(), "Pirin Engine Error # 15878 The language driver for the table "
                               "'Bg_En' is not available or installed");
    }
}

TEST(LocaleCheck, CodePagesFollowTheScriptOfTheLanguage) {
    const struct {
        std::uint16_t language;
        int codePage;
    } cases[] = {{0x0402, 1251}, {0x0419, 1251}, {0x0C1A, 1251}, {0x081A, 1250}, {0x041A, 1250},
                 {0x0415, 1250}, {0x0408, 1253}, {0x041F, 1254}, {0x040D, 1255}, {0x0401, 1256},
                 {0x0429, 1256}, {0x0426, 1257}, {0x042A, 1258}, {0x041E, 874},  {0x0409, 1252},
                 {0x0407, 1252}, {0x0000, 1252}};
    for (const auto& c : cases) EXPECT_EQ(CodePageOf(c.language), c.codePage) << c.language;
}

}  // namespace
}  // namespace pirin
