// Writing the dictionary tables through the engine: a dictionary table
// ("Id" INTEGER primary key, "Word" fixed-width CHAR(50), "Desc" MEMO, the
// non-unique case-insensitive index "IdxWord" on "Word" with full key
// compression) and the word-list table "LangWords" ("Id" WORD primary key,
// "Table" fixed-width CHAR(5), "Words" MEMO). Every table is encrypted with
// the dictionary password and ordered by the language it is given.
//
// A table is created, opened exclusively and filled in one transaction,
// then its word list is read back by walking "IdxWord".
//
// Ownership: works on a directory of the caller's session; opens and closes
// its own cursor. Threads: the session's thread. Failures: EPirinEngineError
// from the engine (13060 when the table exists already, ...); a failed table
// is left as the engine leaves it after the rollback.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dictdata/build_entries.h"
#include "dictdata/datas.h"

namespace pirin {
class TDataDirectory;
}

namespace vorlano {

// Language ids of the table sides.
inline constexpr std::uint16_t kLanguageBulgarian = 0x0402;
inline constexpr std::uint16_t kLanguageEnglishUsa = 0x0409;
inline constexpr std::uint16_t kLanguageGerman = 0x0407;
inline constexpr std::uint16_t kLanguageSpanishModern = 0x0C0A;
inline constexpr std::uint16_t kLanguageItalian = 0x0410;
inline constexpr std::uint16_t kLanguageFrench = 0x040C;

// Creates and fills one dictionary table; returns its headwords in the
// order of "IdxWord" (single-byte text as stored).
std::vector<std::string> WriteDictionaryTable(pirin::TDataDirectory& directory,
                                              const std::string& name, std::uint16_t language,
                                              const TTableEntries& entries);

// Creates "LangWords" with one row per (table name, word list), in order;
// each "Words" memo holds the list's lines ending in CR LF.
void WriteLangWordsTable(
    pirin::TDataDirectory& directory,
    const std::vector<std::pair<std::string, std::vector<std::string>>>& lists);

}  // namespace vorlano
