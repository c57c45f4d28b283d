#include "locale/compare_keys.h"

#include <algorithm>
#include <cstdint>

#include "locale/field_types.h"
#include "locale/locale_compare.h"

namespace pirin {

namespace {

constexpr std::size_t kTextPrefix = 3;
constexpr std::size_t kTextWord = 61;
constexpr std::size_t kTextSuffix = 4;

// Compares the text-index key: prefix, word, row identifier, ascending. A
// count shorter than the key cuts the parts it reaches.
int CompareTextKeys(const TKeyDescription& index, const char* a, const char* b, std::size_t count) {
    std::size_t offset = 0;
    const std::size_t parts[] = {kTextPrefix, kTextWord, kTextSuffix};
    for (int part = 0; part < 3 && offset < count; ++part) {
        const std::size_t length = std::min(parts[part], count - offset);
        const int r = part == 1 ? LocaleCompare(index.Language, index.Sort, a + offset, b + offset,
                                                length, false)
                                : BinaryCompare(a + offset, b + offset, length, false);
        if (r != 0) return r;
        offset += length;
    }
    return 0;
}

}  // namespace

int CompareKeys(const TKeyDescription& index, const void* key1, const void* key2,
                std::size_t count) {
    return TKeyComparer(index)(key1, key2, count);
}

const TLocaleCollation& TKeyComparer::Collation() const {
    // Texts of keys compare with letter case: a case-insensitive index
    // stores them upper-cased.
    if (FCollation == nullptr) FCollation = &LocaleCollationOf(FIndex.Language, FIndex.Sort, false);
    return *FCollation;
}

int TKeyComparer::operator()(const void* key1, const void* key2, std::size_t count) const {
    const TKeyDescription& index = FIndex;
    if (key1 == nullptr || key2 == nullptr || count == 0)
        return BinaryCompare(key1, key2, count, false);
    const auto* a = static_cast<const char*>(key1);
    const auto* b = static_cast<const char*>(key2);
    if (index.IndexNumber == kDeletedRecordsIndex) return BinaryCompare(a, b, count, false);
    if (index.IndexNumber == kTextIndex) return CompareTextKeys(index, a, b, count);
    if (index.Language == 0) return BinaryCompare(a, b, count, index.Descending);

    std::size_t offset = 0;
    for (const TKeyField& field : index.Fields) {
        if (offset >= count) break;
        const bool descending = index.Descending || field.Descending;
        const std::size_t keySize = static_cast<std::size_t>(std::max(field.KeySize, 0));
        int r = 0;
        std::size_t took = 0;
        if (field.Type == kFieldString) {
            // The null flag, then the text.
            const auto flagA = static_cast<std::uint8_t>(a[offset]);
            const auto flagB = static_cast<std::uint8_t>(b[offset]);
            r = (flagA > flagB) - (flagA < flagB);
            const std::size_t length = std::min(keySize, count - offset - 1);
            // A text cut to nothing (or a key size of 0) has nothing to compare.
            if (r == 0 && length > 0) r = LocaleCompare(Collation(), a + offset + 1, b + offset + 1, length);
            if (descending) r = -r;
            took = length + 1;
        } else {
            took = std::min(keySize + 1, count - offset);
            r = BinaryCompare(a + offset, b + offset, took, descending);
        }
        if (r != 0) return r;
        offset += took;
    }
    if (offset < count)
        return BinaryCompare(a + offset, b + offset, count - offset, index.Descending);
    return 0;
}

}  // namespace pirin
