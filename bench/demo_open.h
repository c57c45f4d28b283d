// Operation 5 on the demo database: what the program opens for one
// dictionary, as its data module does it (the database with the table
// password, "LangWords", then the dictionary's Bulgarian and foreign tables
// on "IdxWord", each checked for the fields the program relies on), and
// the first look-up (FindKey of a headword on the foreign table and its
// "Desc" memo). The SQLite side is opening the SQLite copy of the foreign
// table with TSqliteWords and its first query.
//
// Ownership: owns its database and table components; the folder belongs to
// the caller. Threads: one. Failures: EPirinEngineError and EDatabaseError
// pass through (a missing table, a wrong password, other fields).
#pragma once

#include <string>

#include "tables/pirin_database.h"
#include "tables/pirin_table.h"

namespace vorlano::bench {

// The English-Bulgarian dictionary's tables.
inline constexpr char kDemoBgTable[] = "Bg_En";
inline constexpr char kDemoForeignTable[] = "En_Bg";

class TOpenDictionary {
  public:
    // Opens the database on `dictionaryDir` (a Dictionary/ folder, ending
    // in "/") and the three tables; the destructor closes them.
    explicit TOpenDictionary(const std::string& dictionaryDir);
    ~TOpenDictionary();
    TOpenDictionary(const TOpenDictionary&) = delete;
    TOpenDictionary& operator=(const TOpenDictionary&) = delete;

    // FindKey on the foreign table's "IdxWord" and the memo of the record
    // found; false when the word is missing.
    bool Find(const std::string& word, std::string& desc);
    // The headword in the middle of the foreign table's "IdxWord" order.
    std::string MiddleWord();

  private:
    pirin::TPirinDatabase FDatabase;
    pirin::TPirinTable FWords;
    pirin::TPirinTable FBg;
    pirin::TPirinTable FForeign;
};

}  // namespace vorlano::bench
