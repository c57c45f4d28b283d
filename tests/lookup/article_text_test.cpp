#include <gtest/gtest.h>

#include "lookup/article_text.h"

namespace vorlano {
namespace {

TEST(ArticleTextTest, MarkupGoesAndLinesStay) {
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
        "\\f0\\b \\'e4\\'ee\\'ec\\b0\\par \\cf1\\i a<b> & \\u8222?c\\i0\\line end\\par}";
    EXPECT_EQ(ArticleToPlainText(rtf), "дом\na<b> & „c\nend");
    EXPECT_EQ(ArticleToPlainText("\xE4\xEE\xEC\r\nline 2"), "дом\nline 2");
    EXPECT_EQ(ArticleToPlainText("caf\xE9", 1252), "café");
}

}  // namespace
}  // namespace vorlano
