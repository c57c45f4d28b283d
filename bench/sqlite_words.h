// The SQLite side of the benchmark: the same word table in one database file
// (Word declared COLLATE NOCASE with an index on it, rollback journal, no
// WAL), loaded in one transaction, and the same operations through prepared
// statements.
//
// Ownership: owns its connection and statements. Threads: one. Failures:
// std::runtime_error with SQLite's message.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_data.h"

namespace vorlano::bench {

class TSqliteWords {
  public:
    // Opens (creating when missing) the database file at `path`.
    explicit TSqliteWords(const std::string& path);
    ~TSqliteWords();
    TSqliteWords(const TSqliteWords&) = delete;
    TSqliteWords& operator=(const TSqliteWords&) = delete;

    // Creates the table and its index, and inserts the rows in one transaction.
    void Load(const std::vector<TBenchRow>& rows);
    // SELECT Desc ... WHERE Word = ?; false when there is no such word.
    bool Find(std::string_view word, std::string& desc);
    // SELECT Desc ... WHERE Word >= ? ORDER BY Word LIMIT 1 (the nearest
    // entry); false past the last word.
    bool FindNearest(std::string_view word, std::string& desc);
    // The ordered SELECT of Word and Desc over all rows (the first `limit`
    // of them); their count.
    std::size_t WalkAll(std::size_t limit = SIZE_MAX);

    // A second table of names without an index (the word lists' "Table"
    // column): made and filled in one transaction; FindName is SELECT Id
    // ... WHERE Name = ? over it.
    void LoadNames(const std::vector<std::string>& names);
    bool FindName(std::string_view name);

  private:
    void Execute(const char* sql);
    sqlite3_stmt* Prepare(const char* sql);
    bool StepText(sqlite3_stmt* statement, std::string_view word, std::string& desc);
    [[noreturn]] void Fail(const char* what);

    sqlite3* FDb = nullptr;
    sqlite3_stmt* FFind = nullptr;
    sqlite3_stmt* FNearest = nullptr;
    sqlite3_stmt* FWalk = nullptr;
    sqlite3_stmt* FFindName = nullptr;
};

}  // namespace vorlano::bench
