// Dictionary articles: the parsed form every source reader produces
// (headword, blocks by part of speech, numbered senses) and its rendering as
// the RTF the dictionary shows: the headword in bold, each part of speech in
// italics, senses numbered when there is more than one.
//
// Text is UTF-8. The RTF has two fonts, Cyrillic (charset 204, Windows-1251)
// and Western (charset 0, Windows-1252); each run is written in the font of
// its script, code page characters as "\'hh" and every other character as
// "\uN?" so that nothing is lost (stress marks, IPA, other scripts).
//
// Plain values and pure functions: any thread; nothing raises.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorlano {

struct TArticleSense {
    std::string Text;  // the translations or explanation
    std::string Note;  // a gloss shown in italics after the text, may be empty
};

struct TArticleBlock {
    std::string PartOfSpeech;  // may be empty
    std::vector<TArticleSense> Senses;
};

struct TArticle {
    std::string Headword;  // as the source writes it (stress marks kept)
    std::vector<TArticleBlock> Blocks;
};

// RTF text of an article (ASCII bytes only).
std::string RenderArticleRtf(const TArticle& article);

// The RTF escape of one UTF-8 run: font 0 (Cyrillic) or 1 (Western) is
// chosen by the run's script.
std::string RtfRun(std::string_view utf8);

}  // namespace vorlano
