#include "locale/code_page.h"

#include <gtest/gtest.h>

#include "collation_test_support.h"

namespace pirin {
namespace {

using test::EngineErrorOf;

TEST(CodePage, KnownBytesOfTheDictionaryScripts) {
    const struct {
        int codePage;
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {1251, u"кошка", "\xEA\xEE\xF8\xEA\xE0"},
        {1251, u"КОШКА", "\xCA\xCE\xD8\xCA\xC0"},
        {1251, u"ъгъл ёж", "\xFA\xE3\xFA\xEB \xB8\xE6"},
        {1252, u"café €", "caf\xE9 \x80"},
        {1252, u"Straße",
         "Stra\xDF"
         "e"},
        {1254, u"İı", "\xDD\xFD"},
    };
    for (const auto& c : cases) {
        const TCodePage& page = TCodePage::Of(c.codePage);
        EXPECT_EQ(page.Encode(c.text), c.bytes) << c.codePage;
        EXPECT_EQ(page.Decode(c.bytes), c.text) << c.codePage;
    }
}

TEST(CodePage, EveryByteOfEveryPageRoundTrips) {
    for (int codePage : {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
        const TCodePage& page = TCodePage::Of(codePage);
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            EXPECT_EQ(page.FromUnicode(page.ToUnicode(byte)), byte) << codePage << " " << b;
        }
    }
    // A byte the page leaves undefined stays distinct rather than becoming U+FFFD.
    EXPECT_EQ(TCodePage::Of(1253).ToUnicode(0xD2), kUndefinedByteBase + 0xD2);
}

TEST(CodePage, CharactersWithoutAByteBecomeQuestionMarks) {
    const TCodePage& cyrillic = TCodePage::Of(1251);
    EXPECT_EQ(cyrillic.Encode(u"é1"), "?1");
    EXPECT_EQ(cyrillic.FromUnicode(u'é'), std::nullopt);
    EXPECT_EQ(cyrillic.Encode(u"a\U0001F600b"), "a?b");  // one character, one byte
    EXPECT_EQ(cyrillic.Encode(u"a\xD800"), "a?");        // a lone surrogate
    EXPECT_EQ(&TCodePage::Of(1251), &TCodePage::OfLanguage(test::kBulgarian));
}

TEST(CodePage, UnknownCodePageRaises15878) {
    EXPECT_EQ(EngineErrorOf([] { (void)TCodePage::Of(1234); }), 15878);
    EXPECT_EQ(EngineErrorOf([] { (void)TCodePage::Of(65001); }), 15878);  // not single-byte
}

}  // namespace
}  // namespace pirin
