// The benchmark's generated word table: a fixed number of distinct words
// (letters only, some capitalised, at most 30 bytes) with a memo of a fixed
// length each, and lists of words that are and are not in it, in a random
// order. The same seed gives the same data, so Pirin and SQLite load exactly
// the same rows and are asked the same words.
//
// Ownership: plain values. Threads: any. Failures: none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorlano::bench {

struct TBenchRow {
    std::int32_t Id = 0;
    std::string Word;
    std::string Desc;
};

struct TBenchData {
    std::vector<TBenchRow> Rows;         // in Id order
    std::vector<std::string> Present;    // words of Rows, shuffled, in varied letter case
    std::vector<std::string> Missing;    // words not in Rows (in any letter case), shuffled
};

// The words do not depend on `memoBytes` (0 gives empty memos).
TBenchData MakeBenchData(std::size_t rowCount, std::size_t memoBytes, std::uint32_t seed = 20261210);

}  // namespace vorlano::bench
