#include "locale/language_string_list.h"

#include <gtest/gtest.h>

#include "collation_test_support.h"
#include "errors/database_error.h"

namespace pirin {
namespace {

using namespace test;

TEST(LanguageStringList, SortsAndFindsByLocaleIgnoringCase) {
    TLanguageStringList list(kBulgarian, 0);
    for (const char16_t* word : {u"ябълка", u"агне", u"шапка", u"Бял", u"ъгъл", u"вълк"})
        list.Add(Cp1251(word));
    const std::vector<std::string> sorted = {Cp1251(u"агне"),  Cp1251(u"Бял"),  Cp1251(u"вълк"),
                                             Cp1251(u"шапка"), Cp1251(u"ъгъл"), Cp1251(u"ябълка")};
    EXPECT_EQ(list.Items(), sorted);

    // A word in another case is the same word: found, and not added twice.
    EXPECT_EQ(list.IndexOf(Cp1251(u"ШАПКА")), 3);
    EXPECT_EQ(list.Add(Cp1251(u"бял")), 1u);
    EXPECT_EQ(list.Count(), 6u);
    EXPECT_EQ(list[1], Cp1251(u"Бял"));

    std::size_t position = 99;
    EXPECT_FALSE(list.Find(Cp1251(u"жаба"), position));
    EXPECT_EQ(position, 3u);  // between вълк and шапка
    EXPECT_EQ(list.IndexOf(Cp1251(u"жаба")), -1);
    list.Delete(0);
    EXPECT_EQ(list.IndexOf(Cp1251(u"Бял")), 0);
}

TEST(LanguageStringList, ChangingTheLocaleResorts) {
    TLanguageStringList list(kGerman, 0);
    for (const char16_t* word : {u"zebra", u"ärta", u"apa"}) list.Add(Cp1252(word));
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"apa", Cp1252(u"ärta"), "zebra"}));
    list.SetLocale(kSwedish, 0);  // ä is a letter after z in Swedish
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"apa", "zebra", Cp1252(u"ärta")}));
    EXPECT_EQ(list.IndexOf(Cp1252(u"ÄRTA")), 2);
}

TEST(LanguageStringList, PositionOutOfRangeRaisesListIndexError) {
    TLanguageStringList list(kEnglish, 0);
    list.Add("one");
    try {
        list.Delete(5);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (5)");
    }
    EXPECT_THROW((void)list[1], EDatabaseError);
    EXPECT_EQ(list.Count(), 1u);
}

}  // namespace
}  // namespace pirin
