// Readers of the dictd dictionary format: the ".index" file (one line per
// headword: headword TAB offset TAB length, both numbers written in dictd's
// base-64 digits "A-Za-z0-9+/") and the ".dict.dz" article file (gzip, whose
// random-access chunk table we do not need: the whole file is inflated).
//
// Input is untrusted: every malformed line, offset past the end, number too
// large, or corrupt gzip stream gives EBuildSourceError naming the file and
// line; nothing is read past a buffer. Inflated output is capped so a
// compression bomb fails cleanly.
//
// Pure functions over owned strings: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlano {

struct TDictdIndexEntry {
    std::string Headword;  // UTF-8 as in the file
    std::uint64_t Offset = 0;
    std::uint64_t Length = 0;
};

struct TDictdEntry {
    std::string Headword;
    std::string Article;  // UTF-8 article text as stored
};

// The value of a dictd base-64 number; nothing for an empty text, a foreign
// character or a value above 2^48.
std::optional<std::uint64_t> DecodeDictdNumber(std::string_view digits);

// Parses the text of an ".index" file; `name` is used in error messages.
std::vector<TDictdIndexEntry> ParseDictdIndex(std::string_view text, const std::string& name);

// Inflates a gzip (or dictzip) file's bytes; plain text that is not gzip is
// returned as it is. Fails beyond `limit` inflated bytes.
std::string InflateDictData(std::string_view bytes, const std::string& name, std::size_t limit);

// The entries of one dictionary: `base` is the path without ".index" /
// ".dict.dz" (".dict" is taken when there is no ".dict.dz"). The dictd
// bookkeeping entries ("00-database-...", "00database...") are left out.
std::vector<TDictdEntry> ReadDictdDictionary(const std::string& base);

}  // namespace vorlano
