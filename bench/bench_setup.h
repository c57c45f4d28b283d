// The data every benchmark of the suite shares: the generated rows, a
// scratch folder, and the generated word table loaded once into Pirin and
// into SQLite. The tables go to the folder VORLANO_BENCH_DATA names (which
// keeps them, and whose tables are used when it has them already) or to the
// scratch folder. Made on first use; Finish removes the scratch folder.
//
// Ownership: a process-wide instance. Threads: the benchmark thread.
// Failures: the engine's and SQLite's exceptions pass through.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "bench/bench_data.h"
#include "bench/pirin_words.h"
#include "bench/sqlite_words.h"

namespace vorlano::bench {

inline constexpr std::size_t kGeneratedRows = 200000;
inline constexpr std::size_t kMemoBytes = 300;
inline constexpr const char* kPirinTableName = "Words";
inline constexpr const char* kSqliteFileName = "words.sqlite";

// Makes both tables of `data` in `folder` (which must exist and not hold
// them yet).
void MakeTables(const std::filesystem::path& folder, const TBenchData& data);

class TBenchSetup {
  public:
    static TBenchSetup& Instance();
    // Closes the tables, ends the table layer and removes the scratch folder.
    static void Finish();
    ~TBenchSetup();

    const TBenchData& Data() const noexcept { return FData; }
    // A new empty folder inside the scratch folder.
    std::filesystem::path NewFolder();
    // The folder that holds the loaded tables.
    const std::filesystem::path& Loaded() const noexcept { return FLoaded; }
    TPirinWords& Pirin() { return *FPirin; }
    TSqliteWords& Sqlite() { return *FSqlite; }

  private:
    TBenchSetup();

    TBenchData FData;
    std::filesystem::path FScratch;
    std::filesystem::path FLoaded;
    int FFolders = 0;
    std::unique_ptr<TPirinWords> FPirin;
    std::unique_ptr<TSqliteWords> FSqlite;
};

}  // namespace vorlano::bench
