// The words table that writer processes share in the multi-process tests
// (an integer id, a word and a memo that belongs to the word, with a unique
// index on the id and a case-insensitive one on the word), the log in which
// each writer records what it committed, and the check after the run that
// the table holds exactly what the logs add up to.
//
// Log lines: "+id word" (inserted), "=id word" (modified), "-id" (deleted).
// A writer collects the lines of a change while it runs and writes them only
// once the change is committed (Commit), so that what was rolled back or
// given up never reaches the log.
//
// Threads and processes: one TWriterLog per writer process; the check runs
// in the parent after every writer has ended.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/engine/write_test_support.h"

namespace pirin::testing {

inline constexpr int kWordsId = 1;
inline constexpr int kWordsWord = 2;
inline constexpr int kWordsNote = 3;

TTableDefinition WordsDefinition();

// The memo that belongs to a word: readers and the final check compare them.
std::string MemoOf(const std::string& word);

// The record with this id (a search of the primary index), or an empty
// image when there is none.
TImage FindWord(TDataCursor& cursor, std::int32_t id);

// Fills id, word and its memo into `image` and inserts it or, for an image
// read from the table, modifies the current record.
void PostWord(TDataCursor& cursor, TImage image, std::int32_t id, const std::string& word,
              bool insert);

class TWriterLog {
  public:
    explicit TWriterLog(const std::string& path) : FFile(path) {}

    void Inserted(std::int32_t id, const std::string& word);
    void Modified(std::int32_t id, const std::string& word);
    void Deleted(std::int32_t id);
    // Writes the pending lines: the change they describe is committed.
    void Commit();
    // Drops the pending lines: the change was rolled back or given up.
    void Discard() { FPending.clear(); }

  private:
    std::ofstream FFile;
    std::vector<std::string> FPending;
};

// The records one writer owns: ids writer * 1000000 + k, k counting up
// (an id is never used twice, also when its insert was rolled back).
struct TOwnRecords {
    int Writer = 0;
    int Next = 0;
    std::vector<std::int32_t> Ids;
};

// One change of a writer's own records, chosen by `random`: an insert (half
// the time, and always when it owns none), a modification of the word and
// memo (with the record locked for the edit as the session's protocol says),
// or a delete; `own` follows it and `log` gets its line, pending. Raises
// what the engine raises; std::runtime_error when an own record is gone.
void ChangeOwnRecord(TDataCursor& cursor, std::mt19937& random, TOwnRecords& own,
                     TWriterLog& log);

// Where writer w of a run in `directory` logs, and the file whose presence
// tells the readers to stop.
std::string WriterLogPath(const std::string& directory, int writer);
std::string StopPath(const std::string& directory);

// What the logs add up to: id -> last word.
std::map<std::int32_t, std::string> ReplayLogs(const std::vector<std::string>& paths);

// Forks writers 1..writers and readers 0..readers-1 (each runs its body and
// exits with what it returns), waits for every writer, creates the stop
// file, waits for the readers, and expects every process to have exited
// with 0. Returns what the writers' logs add up to.
std::map<std::int32_t, std::string> RunWritersAndReaders(const std::string& directory, int writers,
                                                         const std::function<int(int)>& writer,
                                                         int readers,
                                                         const std::function<int(int)>& reader);

// The table verifies, every record is there once with the memo of its word,
// and the records are exactly `expected`. Returns how many records it holds.
std::size_t ExpectTableHolds(const TFixtureTable& table,
                             const std::map<std::int32_t, std::string>& expected);

}  // namespace pirin::testing
