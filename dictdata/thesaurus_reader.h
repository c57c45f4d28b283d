// Reader of a thesaurus in the MyThes text format: the first line names the
// encoding ("UTF-8", or a Windows code page such as "CP1251"); then each
// entry is a line "word|n" followed by n lines "(part of speech)|synonym|...".
//
// Input is untrusted: a bad count, a missing meaning line, an unknown
// encoding or an oversized file give EBuildSourceError with the file name and
// line number; nothing is read past the text.
//
// Pure functions: any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorlano {

struct TThesaurusMeaning {
    std::string PartOfSpeech;  // without the parentheses, may be empty
    std::vector<std::string> Synonyms;
};

struct TThesaurusEntry {
    std::string Word;  // UTF-8
    std::vector<TThesaurusMeaning> Meanings;
};

std::vector<TThesaurusEntry> ParseThesaurus(std::string_view text, const std::string& name);
std::vector<TThesaurusEntry> ReadThesaurus(const std::string& path);

}  // namespace vorlano
