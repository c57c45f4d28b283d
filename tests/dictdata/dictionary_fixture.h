// A small dictionary database for the data module and lookup tests: the
// thirteen encrypted tables ("LangWords" and the twelve dictionary tables)
// made through the engine in a scratch folder and filled through the table
// layer, a few dozen words each, Bulgarian in Windows-1251 and the foreign
// languages in Windows-1252. Every article is RTF with the headword in bold,
// except the plain-text article of "ябълка" in "Bg_Bg".
//
// Word-list peculiarities the tests rely on (lists are in table order
// unless said otherwise):
//   - "Bg_Jd"'s list has an empty line after its first word;
//   - "En_Bg"'s list holds "ghost", which has no entry, and "Bg_En"'s list
//     "призрак", which has none either;
//   - every memo ends with a line break.
//
// Ownership: the fixture owns its folder and removes it. Threads: one test
// thread. Failures: engine errors propagate (a broken test setup).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vorlano::testing {

struct TFixtureEntry {
    std::u16string Word;
    std::u16string Article;  // empty: a generated RTF article
};

struct TFixtureTableData {
    std::string Name;
    int CodePage;
    std::uint16_t Language;
    std::vector<TFixtureEntry> Entries;
    // The word list when it differs from the entries in order.
    std::vector<std::u16string> List;
};

class TDictionaryFixture {
  public:
    TDictionaryFixture();
    ~TDictionaryFixture();

    // The folder of the tables, ending in "/".
    std::string DataDir() const { return FDir.string() + "/"; }
    std::filesystem::path Root() const { return FDir; }
    // The single-byte form of a word of the table.
    static std::string Bytes(const std::u16string& text, int codePage);
    static const std::vector<TFixtureTableData>& Tables();

  private:
    std::filesystem::path FDir;
};

}  // namespace vorlano::testing
