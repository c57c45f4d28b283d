// The entries of one dictionary table while it is being built: articles
// keyed by their single-byte headword. Adding a second article under a key
// that exists already (two source entries that differ only in what the code
// page drops, or a part of speech of its own) merges its blocks into the
// first; a headword longer than the field is cut at a blank and merged the
// same way; a headword with nothing left after conversion is dropped. Every
// such case is counted.
//
// Also the inversion that makes a Bulgarian-to-foreign table from the
// translations of a foreign-to-Bulgarian one.
//
// Ownership: owns its entries. Threads: one at a time. Nothing raises.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "dictdata/article_rtf.h"

namespace vorlano {

class TTableEntries {
  public:
    explicit TTableEntries(int codePage) : FCodePage(codePage) {}

    // Adds one source entry's block; `headword` is UTF-8. `sameEntry` adds
    // a further block of the entry added last (not counted as a merge).
    void Add(const std::string& headword, TArticleBlock block, bool sameEntry = false);
    // Source entries left out before they got here (counted as dropped).
    void AddDropped(std::size_t count) noexcept { FDropped += count; }

    int CodePage() const noexcept { return FCodePage; }
    // Single-byte headword → article, in byte order.
    const std::map<std::string, TArticle>& Articles() const noexcept { return FArticles; }
    std::size_t Merged() const noexcept { return FMerged; }
    std::size_t Shortened() const noexcept { return FShortened; }
    std::size_t Dropped() const noexcept { return FDropped; }

  private:
    int FCodePage;
    std::map<std::string, TArticle> FArticles;
    std::size_t FMerged = 0;
    std::size_t FShortened = 0;
    std::size_t FDropped = 0;
};

// One translation pair of a foreign-to-Bulgarian source entry.
struct TTranslationPair {
    std::string Foreign;       // UTF-8 headword
    std::string PartOfSpeech;  // may be empty
    std::string Bulgarian;     // UTF-8, stress marks removed
};

// Bulgarian-to-foreign entries: each Bulgarian word gets the foreign words
// that translate to it, grouped by part of speech. Translations longer than
// `maxWords` words are phrases and are not made headwords, nor are those
// that do not begin with a Cyrillic letter ("40 годишен", "SIM карта"); both
// are counted as dropped.
TTableEntries InvertTranslations(const std::vector<TTranslationPair>& pairs,
                                 std::size_t maxWords = 3);

}  // namespace vorlano
