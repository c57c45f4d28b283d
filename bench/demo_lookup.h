// The demo database side of the benchmark: the program's own look-up (data
// module, dictionary logic and in-memory views) on the English–Bulgarian
// dictionary of the demo database, and the same data in SQLite: the
// dictionary's "En_Bg" table (Word and Desc, made like the generated table)
// and the "Table" names of "LangWords" in a table without an index.
//
// A keystroke is what the program does when the entry box changes: the word
// list search and the entry shown (SearchWord), then the article turned into
// the HTML the article view displays. On SQLite it is the nearest-entry
// query and the same conversion.
//
// Ownership: owns its components and connection; the demo folder belongs to
// the caller. Threads: one. Failures: the table layer's and SQLite's
// exceptions pass through.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/sqlite_words.h"
#include "dictdata/datas.h"
#include "lookup/dictionary_lookup.h"
#include "lookup/memory_views.h"

namespace vorlano::bench {

class TDemoLookup {
  public:
    // `demoDir`: the demo database folder (with Dictionary/), ending in "/";
    // `sqlitePath`: the SQLite copy, made from the demo tables when missing.
    TDemoLookup(const std::string& demoDir, const std::string& sqlitePath);
    ~TDemoLookup();

    // Keys as typed into the entry box: words of the dictionary's list and
    // prefixes of them (at least two Latin letters), in a random order.
    const std::vector<std::string>& Keys() const noexcept { return FKeys; }
    // The "Table" values of "LangWords".
    const std::vector<std::string>& TableNames() const noexcept { return FTableNames; }

    // One keystroke on Pirin; the size of the HTML shown.
    std::size_t Keystroke(const std::string& key);
    // The same on SQLite.
    std::size_t KeystrokeSqlite(const std::string& key);
    // Locate on "LangWords" by "Table", and the SQLite query.
    bool Locate(std::string_view tableName);
    bool LocateSqlite(std::string_view tableName);

  private:
    TMemoryViews FViews;
    TDatas FDatas;
    std::unique_ptr<TDictionaryLookup> FLookup;
    std::unique_ptr<TSqliteWords> FSqlite;
    std::vector<std::string> FKeys;
    std::vector<std::string> FTableNames;
    std::string FDesc;
};

}  // namespace vorlano::bench
