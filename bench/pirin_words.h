// The Pirin side of the benchmark: a word table (Id primary key, Word
// VARCHAR(30) with the case-insensitive index "IdxWord", Desc memo, in
// Bulgarian order) made with CreateTable and loaded through the table
// component's write path in one database transaction, and the operations
// the benchmark times on it through a table component.
//
// Ownership: owns its database and table components; the folder belongs to
// the caller. Threads: one. Failures: EPirinEngineError / EDatabaseError
// pass through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_data.h"
#include "tables/pirin_database.h"
#include "tables/pirin_table.h"

namespace vorlano::bench {

// A database alias no other component of the process uses.
std::string NextDatabaseName();

// A table component that can also stand on the nearest entry after a key
// search that found nothing (the engine cursor is there already).
class TNearestTable : public pirin::TPirinTable {
  public:
    // FindKey; when the key is missing, the record the cursor stands on (the
    // first above the key, or the last) becomes current. False when missing.
    bool FindOrNearest(const std::vector<pirin::TKeyValue>& key);
};

class TPirinWords {
  public:
    // Opens table `name` in `folder` (ending in "/") on the index "IdxWord".
    TPirinWords(const std::string& folder, const std::string& name);
    ~TPirinWords();

    // Creates the (empty) table's files.
    static void Create(const std::string& folder, const std::string& name);
    // Inserts the rows in one transaction.
    void Load(const std::vector<TBenchRow>& rows);

    // FindKey on "IdxWord" and the memo of the record found; false (and
    // the memo of the record that stays current) when the word is missing.
    bool Find(std::string_view word, std::string& desc);
    // The same, standing on the nearest entry when the word is missing.
    bool FindNearest(std::string_view word, std::string& desc);
    // Walks the records in word order (the first `limit` of them) reading
    // Word and Desc; their count.
    std::size_t WalkAll(std::size_t limit = SIZE_MAX);
    TNearestTable& Table() noexcept { return FTable; }

  private:
    // Sets the key of the next look-up (its buffers are reused).
    const std::vector<pirin::TKeyValue>& Key(std::string_view word);

    pirin::TPirinDatabase FDatabase;
    TNearestTable FTable;
    // Held from the open, as an application holds its field objects: they
    // stay valid until the table closes.
    pirin::TField* FDesc = nullptr;
    std::vector<pirin::TKeyValue> FKey{std::string()};
};

}  // namespace vorlano::bench
