// CompareKeys: the one comparison of two index keys, used for every key
// comparison of the index file and the cursor.
//
// The deleted-records index compares bytes; the text index compares its
// prefix, word (by the locale, English for language 0, case-sensitively) and
// row identifier; a table of language 0 compares bytes in the index's
// direction. Otherwise each field compares in turn: a string field by its null
// flag and then its text by the locale (case-sensitively: a case-insensitive
// index stores upper-cased text), any other field by its bytes, each in the
// field's or the index's direction; bytes left over after the fields (the row
// identifier) compare as bytes in the index's direction. Null sorts before
// values ascending, after them descending.
//
// Only the first `count` bytes are read: a count shorter than the key compares
// the leading fields and, of a string field it cuts, the leading characters
// (cut to its null flag alone, the text counts as equal). A text ends at its
// first zero byte, the key's padding.
// Result -1, 0 or +1. Works on caller-owned data and takes no lock (the
// collator cache has its own); raises 15878 when the locale has no ICU name.
//
// TKeyComparer is the same comparison for many keys of one index (a search
// of a page): it looks the collation up once, on its first text.
#pragma once

#include <cstddef>

#include "locale/key_description.h"

namespace pirin {

class TLocaleCollation;

[[nodiscard]] int CompareKeys(const TKeyDescription& index, const void* key1, const void* key2,
                              std::size_t count);

class TKeyComparer {
  public:
    // `index` must outlive the comparer.
    explicit TKeyComparer(const TKeyDescription& index) noexcept : FIndex(index) {}
    // As CompareKeys(index, key1, key2, count).
    [[nodiscard]] int operator()(const void* key1, const void* key2, std::size_t count) const;

  private:
    const TLocaleCollation& Collation() const;

    const TKeyDescription& FIndex;
    mutable const TLocaleCollation* FCollation = nullptr;
};

}  // namespace pirin
