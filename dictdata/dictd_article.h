// The articles of the FreeDict foreign-to-Bulgarian dictionaries, parsed:
// the first line holds the headword, pronunciations between slashes and the
// part of speech in angle brackets ("house /haʊs/ <n>"); then each sense is a
// line of Bulgarian translations ("1. къща, дом", sometimes ending in the
// next sense's bare number) optionally followed by a line that explains the
// sense in the source language. A sense without a translation keeps its
// explanation only when nothing else is there.
//
// The sources were converted from a wiki and carry some of its markup:
// links "[[лемма|форма]]", leftover template braces "}}", footnote marks
// "[1]"; and some Bulgarian words are typed with Latin letters that look
// Cyrillic ("aнтиутопия"). Lines are cleaned of the markup, such letters
// are replaced where the rest of the word is Cyrillic, and only words that
// are Bulgarian become translations: a line with more Latin words than
// Cyrillic ones ("transliteration of Дмитрий") is an explanation.
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

// The headword as the article's first line writes it ("Tür" where the
// index, lower-cased for searching, has "tür"), cleaned of markup; the
// index headword when the first line differs from it by more than case.
std::string DictdHeadword(std::string_view indexHeadword, std::string_view article);

// `text` without the wiki markup above: "[[a|b]]" gives "b", "[[a]]" gives
// "a", templates "{{...}}" and stray "{{" / "}}" and footnote marks "[12]"
// are dropped; blanks are collapsed, a blank before "," or ";" and a
// separator left empty are dropped, and the result is trimmed.
std::string WithoutWikiMarkup(std::string_view text);

// Each word of `utf8` that mixes Cyrillic letters with Latin ones that look
// the same ("a", "c", "e", "o", "p", "x", "y", "k" and the capitals
// "A B C E H K M O P T X Y") gets the Cyrillic letters instead, and so does
// a word made only of such letters in a text whose other words are all
// Cyrillic; a zero that starts a Cyrillic word is taken for "о".
std::string WithCyrillicLookalikes(std::string_view utf8);

// True when `utf8` reads as Bulgarian: it has a Cyrillic word, at least as
// many Cyrillic words as Latin-only ones, and no word mixing both scripts.
bool IsBulgarianText(std::string_view utf8);

}  // namespace vorlano
