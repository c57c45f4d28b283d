// Reader of our own sample dictionaries (data/samples/*.txt), UTF-8 text:
//
//   # a comment
//   headword | part of speech | sense ; sense ; ...
//
// Senses are separated by ";", the part of speech may be empty. In a
// foreign-to-Bulgarian sample each sense lists Bulgarian translations
// separated by ",". Blank lines and lines starting with "#" are skipped.
//
// Pure functions: any thread. Failures: EBuildSourceError with the file and
// line for a line without the two "|" separators, an empty headword or a
// line without senses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dictdata/article_rtf.h"

namespace vorlano {

struct TSampleEntry {
    std::string Headword;
    TArticleBlock Block;
};

std::vector<TSampleEntry> ParseSamples(std::string_view text, const std::string& name);
std::vector<TSampleEntry> ReadSamples(const std::string& path);

}  // namespace vorlano
