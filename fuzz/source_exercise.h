// Reading damaged sources of the dictionary builder, as the builder fuzzers
// and their regression tests do. Every input must end in EBuildSourceError or
// a clean result; any other exception passes on, and crashes, hangs, leaks
// and undefined behaviour are the sanitizers' and the fuzzer's to see.
//   ExerciseDictd: the input holds an ".index" text and the article file's
//     bytes (plain or gzip; fuzz_input.h). Parses the index, inflates the
//     articles under a small cap, and reads both as one dictionary from files
//     in the process's scratch folder.
//   ExerciseThesaurus: the input is a thesaurus file's text; every entry it
//     gives must have a word (std::abort otherwise).
//
// Threads: one at a time (the dictionary files have fixed names).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dictdata/build_source_error.h"
#include "dictdata/dictd_reader.h"
#include "dictdata/thesaurus_reader.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_scratch.h"

namespace vorlano::fuzz {

inline void ExerciseDictd(const std::uint8_t* data, std::size_t size) {
    static const TScratchFolder scratch("fuzz-dictd");
    const auto parts = SplitInput(data, size, 2);
    const std::string_view index(reinterpret_cast<const char*>(parts[0].data()), parts[0].size());
    const std::string_view articles(reinterpret_cast<const char*>(parts[1].data()),
                                    parts[1].size());
    try {
        (void)ParseDictdIndex(index, "fuzz.index");
    } catch (const EBuildSourceError&) {
    }
    try {
        (void)InflateDictData(articles, "fuzz.dict.dz", 4096);
    } catch (const EBuildSourceError&) {
    }
    scratch.Put("fuzz.index", parts[0]);
    scratch.Put("fuzz.dict.dz", parts[1]);
    try {
        (void)ReadDictdDictionary((scratch.Path() / "fuzz").string());
    } catch (const EBuildSourceError&) {
    }
}

inline void ExerciseThesaurus(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        for (const TThesaurusEntry& entry : ParseThesaurus(text, "fuzz.dat"))
            if (entry.Word.empty()) std::abort();
    } catch (const EBuildSourceError&) {
    }
}

}  // namespace vorlano::fuzz
