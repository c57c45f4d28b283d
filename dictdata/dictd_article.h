// The articles of the FreeDict foreign-to-Bulgarian dictionaries, parsed:
// the first line holds the headword, pronunciations between slashes and the
// part of speech in angle brackets ("house /haʊs/ <n>"); then each sense is a
// line of Bulgarian translations ("1. къща, дом", sometimes ending in the
// next sense's bare number) optionally followed by a line that explains the
// sense in the source language. A sense without a translation keeps its
// explanation only when nothing else is there.
//
// Pure functions: any thread; nothing raises (odd lines are kept as text).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dictdata/article_rtf.h"

namespace vorlano {

struct TDictdArticle {
    TArticleBlock Block;
    // Each distinct Bulgarian translation, stress marks removed, in order.
    std::vector<std::string> Translations;
};

TDictdArticle ParseDictdArticle(std::string_view article);

}  // namespace vorlano
