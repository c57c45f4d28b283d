#include "locale/locale_compare.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "collation_test_support.h"

namespace pirin {
namespace {

using namespace test;

int Compare(std::uint16_t language, const std::string& a, const std::string& b,
            bool caseInsensitive) {
    return LocaleCompare(language, 0, a.c_str(), b.c_str(), 0, caseInsensitive);
}

TEST(LocaleCompare, CaseAccentsAndSymbolsByLocale) {
    const struct {
        std::uint16_t language;
        std::string first;
        std::string second;
        bool caseInsensitive;
        int expected;
    } cases[] = {
        // Case counts unless the comparison ignores it (lower case first).
        {kBulgarian, Cp1251(u"кошка"), Cp1251(u"КОШКА"), true, 0},
        {kBulgarian, Cp1251(u"кошка"), Cp1251(u"КОШКА"), false, -1},
        {kBulgarian, Cp1251(u"Кошка"), Cp1251(u"кошка"), false, 1},
        // Language 0 compares text by English, not by byte value.
        {kAnsi, "a", "Z", false, -1},
        {kAnsi, "Z", "a", true, 1},
        {kAnsi, "a", "A", true, 0},
        // Accents are ignored, hyphen and apostrophe are not.
        {kFrench, Cp1252(u"café"), Cp1252(u"cafe"), false, 0},
        {kFrench, Cp1252(u"CAFÉ"), Cp1252(u"cafe"), true, 0},
        {kFrench, "co-op", "coop", false, -1},  // symbols sort before letters
        {kEnglish, "don't", "dont", false, -1},
        // The same bytes mean different letters in different code pages.
        {kBulgarian, "\xE0", "\xE1", false, -1},  // а < б
        {kSwedish, Cp1252(u"ärta"), "zebra", false, 1},
        {kGerman, Cp1252(u"ärta"), "zebra", false, -1},
        {kBulgarian, "", "", false, 0},
        {kBulgarian, "", "\xE0", false, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Compare(c.language, c.first, c.second, c.caseInsensitive), c.expected)
            << c.language << " '" << c.first << "' '" << c.second << "' " << c.caseInsensitive;
        EXPECT_EQ(Compare(c.language, c.second, c.first, c.caseInsensitive), -c.expected);
    }
}

TEST(LocaleCompare, BulgarianAlphabeticalOrder) {
    const std::u16string words[] = {u"агне",  u"бял", u"вълк", u"жаба", u"йод",   u"лъв",
                                    u"шапка", u"щит", u"ъгъл", u"юг",   u"ябълка"};
    for (std::size_t i = 0; i + 1 < std::size(words); ++i) {
        EXPECT_EQ(Compare(kBulgarian, Cp1251(words[i]), Cp1251(words[i + 1]), false), -1) << i;
        EXPECT_EQ(Compare(kBulgarian, Cp1251(words[i + 1]), Cp1251(words[i]), true), 1) << i;
    }
}

TEST(LocaleCompare, ExplicitLengthReadsThatManyBytesAndStopsAtPadding) {
    EXPECT_EQ(LocaleCompare(kEnglish, 0, "abcX", "abcY", 3, false), 0);
    EXPECT_EQ(LocaleCompare(kEnglish, 0, "abcX", "abcY", 4, false), -1);
    // Zero padding ends the text: what follows it is not compared.
    EXPECT_EQ(LocaleCompare(kEnglish, 0, "ab\0\0", "ab\0x", 4, false), 0);
    // Not zero-terminated: only `length` bytes are read.
    const char a[3] = {'x', 'y', 'a'};
    const char b[3] = {'x', 'y', 'b'};
    EXPECT_EQ(LocaleCompare(kEnglish, 0, a, b, 2, false), 0);
    EXPECT_EQ(LocaleCompare(kEnglish, 0, nullptr, "", 0, false), 0);
    EXPECT_EQ(LocaleCompare(kEnglish, 0, nullptr, "a", 0, false), -1);
    // Texts of their own lengths.
    EXPECT_EQ(LocaleCompare(kEnglish, 0, std::string_view("ab"), std::string_view("abc"), false),
              -1);
}

TEST(LocaleCompare, CharactersByValueForLanguage0AndByLocaleOtherwise) {
    const struct {
        std::uint16_t language;
        std::uint8_t c1;
        std::uint8_t c2;
        int expected;
    } cases[] = {
        {kAnsi, 'Z', 'a', -1},       {kAnsi, 0xC0, 'z', 1},        {kAnsi, 'a', 'a', 0},
        {kEnglish, 'Z', 'a', 1},     {kBulgarian, 0xE0, 0xE1, -1}, {kBulgarian, 0xE0, 0xC0, -1},
        {kBulgarian, 0xE0, 'a', -1},  // Bulgarian puts Cyrillic before Latin
        {kFrench, 0xE9, 'e', 0},      // é and e differ only by an accent
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocaleCompareChar(c.language, 0, c.c1, c.c2), c.expected)
            << c.language << " " << int(c.c1) << " " << int(c.c2);
}

TEST(LocaleCompare, BinaryCompareIsUnsignedAndDirected) {
    const struct {
        const char* key1;
        const char* key2;
        std::size_t count;
        bool descending;
        int expected;
    } cases[] = {
        {"abc", "abd", 3, false, -1},   {"abc", "abd", 3, true, 1},
        {"abc", "abd", 2, false, 0},    {"\x80", "\x7F", 1, false, 1},
        {"\xFF", "\x01", 1, true, -1},  {"abc", "abc", 0, true, 0},
        {nullptr, "abc", 3, false, 1},  {nullptr, "abc", 3, true, 1},  // absent key1 is greater
        {"abc", nullptr, 3, false, -1}, {nullptr, nullptr, 3, false, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BinaryCompare(c.key1, c.key2, c.count, c.descending), c.expected)
            << (c.key1 ? c.key1 : "null") << " " << (c.key2 ? c.key2 : "null") << " " << c.count;
}

TEST(LocaleCompare, LocaleWithoutIcuNameRaises15878) {
    EXPECT_EQ(EngineErrorOf([] { (void)LocaleCompare(0x7FFF, 0, "a", "b", 0, false); }), 15878);
    EXPECT_EQ(EngineErrorOf([] { (void)LocaleCompareChar(0x7FFF, 0, 'a', 'b'); }), 15878);
}

// Threads opening and sharing collators at once get the same answers as one.
TEST(LocaleCompare, SharedCollatorsAcrossThreads) {
    const std::string lower = Cp1251(u"кошка");
    const std::string upper = Cp1251(u"КОШКА");
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            const std::uint16_t languages[] = {kBulgarian, 0x0419, 0x0422, kEnglish};
            for (int i = 0; i < 500; ++i) {
                const std::uint16_t language = languages[(i + t) % 4];
                const bool ci = (i + t) % 2 == 0;
                const int r = LocaleCompare(language, 0, lower.c_str(), upper.c_str(), 0, ci);
                const int expected = ci ? 0 : -1;
                if (r != expected) ++wrong[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(wrong[t], 0) << t;
}

}  // namespace
}  // namespace pirin
