// Pronunciation files for the foreign headwords of a foreign-to-Bulgarian
// table: for the word at 1-based position n of its word list, the file
// FOLDER/n.mp3, spoken by espeak-ng in the table's language and encoded by
// lame. Each word is one "espeak-ng | lame" pipeline run through /bin/sh
// with the word passed as an argument and fed on standard input, so no word
// text is ever parsed by the shell. Pipelines run `jobs` at a time.
//
// The first `limit` words are always made; the rest follow when, at the rate
// measured so far, they fit in `budgetSeconds` (0 for `limit` means all).
//
// Ownership: plain values. Threads: runs its own worker threads and joins
// them before returning. Failures: a word whose pipeline fails is skipped
// and counted; a folder that cannot be made raises std::filesystem_error.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace vorlano {

struct TSoundRequest {
    std::filesystem::path Folder;    // e.g. OUT/Sounds/EN_MP3
    std::string Voice;               // espeak-ng voice, e.g. "en-us"
    int CodePage = 1252;             // of the words
    std::vector<std::string> Words;  // single-byte word list, in list order
};

struct TSoundOutcome {
    std::size_t Written = 0;
    std::size_t Failed = 0;
};

// True when espeak-ng and lame can be found on PATH.
bool SoundToolsAvailable();

TSoundOutcome MakeSounds(const TSoundRequest& request, std::size_t limit, unsigned jobs,
                         double budgetSeconds = 60.0);

}  // namespace vorlano
