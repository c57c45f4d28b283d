// The plain-text rendering of an article, for terminals: the reader's HTML
// with the markup taken away, one line per paragraph or line break, and the
// character references turned back into characters.
//
// Pure functions: any thread. Failures: as ArticleToHtml (rtf_reader.h).
#pragma once

#include <string>
#include <string_view>

#include "lookup/rtf_reader.h"

namespace vorlano {

// UTF-8 text of an article as stored (RTF or plain text).
std::string ArticleToPlainText(std::string_view article, int defaultCodePage = kDefaultArticleCodePage);

// UTF-8 text of the HTML the article reader writes.
std::string HtmlToPlainText(std::string_view html);

}  // namespace vorlano
