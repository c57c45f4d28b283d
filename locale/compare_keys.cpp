#include "locale/compare_keys.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "locale/field_types.h"
#include "locale/locale_compare.h"
#include "locale/primary_ranks.h"

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

// ---- one search key against many --------------------------------------------

TKeySearch::TKeySearch(const TKeyDescription& index, const void* key, std::size_t count)
    : FComparer(index), FKey(static_cast<const char*>(key)), FCount(count), FIndex(index) {
    // The indexes compared by bytes or by their own layout, and the
    // degenerate calls, keep TKeyComparer's way.
    if (key == nullptr || count == 0 || index.IndexNumber == kDeletedRecordsIndex ||
        index.IndexNumber == kTextIndex || index.Language == 0)
        return;
    // The fields as TKeyComparer walks them for this count.
    std::size_t offset = 0;
    for (const TKeyField& field : index.Fields) {
        if (offset >= count) break;
        if (FFieldCount == FFields.size()) return;
        TField& f = FFields[FFieldCount++];
        const std::size_t keySize = static_cast<std::size_t>(std::max(field.KeySize, 0));
        f.Offset = offset;
        f.Descending = index.Descending || field.Descending;
        f.Text = field.Type == kFieldString;
        f.Run = kRunUncounted;
        if (f.Text) {
            f.Length = std::min(keySize, count - offset - 1);
            offset += f.Length + 1;
        } else {
            f.Length = std::min(keySize + 1, count - offset);
            offset += f.Length;
        }
        f.End = offset;
    }
    FTail = offset;
    FByFields = true;
}

int TKeySearch::CompareAt(const char* a, std::size_t difference) const {
    // Fields before the difference hold the same bytes: equal in any order.
    std::size_t field = 0;
    while (field < FFieldCount && difference >= FFields[field].End) ++field;
    // Bytes compared as bytes: the first that differs decides.
    const auto bytes = [&](bool descending) {
        const bool below =
            static_cast<std::uint8_t>(a[difference]) < static_cast<std::uint8_t>(FKey[difference]);
        return below != descending ? -1 : 1;
    };
    // The bytes after the fields (the row identifier).
    if (field == FFieldCount) return bytes(FIndex.Descending);
    const TField& f = FFields[field];
    // A field compared by its bytes, or a text's null flag.
    if (!f.Text || difference == f.Offset) return bytes(f.Descending);
    const auto* text = reinterpret_cast<const std::uint8_t*>(FKey + f.Offset + 1);
    if (f.Run == kRunUncounted) Ranks(f, text);
    const std::size_t at = difference - f.Offset - 1;
    if (at <= f.Run) {
        const int r = FRanks->CompareDifferentChars(
            reinterpret_cast<const std::uint8_t*>(a + f.Offset + 1), text, f.Length, at);
        if (r != 0) return f.Descending ? -r : r;
    }
    return CompareFrom(a, field, difference);
}

void TKeySearch::Ranks(const TField& f, const std::uint8_t* text) const {
    if (FRanks == nullptr) {
        FCollation = &LocaleCollationOf(FIndex.Language, FIndex.Sort, false);
        FRanks = &LocaleRanks(*FCollation);
        FPrimaryOnly = LocaleComparesPrimaryOnly(*FCollation);
    }
    // The search key's run, counted once: the differences of a binary
    // search move along it.
    if (f.Run != kRunUncounted) return;
    f.Run = FRanks->SettledRun(text, f.Length);
    if (FInlineTo < FInlineFrom && f.Length > 0) {
        // Differences from the text's first byte to the end of the run (the
        // last byte of the text at most).
        FInlineFrom = f.Offset + 1;
        FInlineTo = FInlineFrom + std::min(f.Run, f.Length - 1);
        FInlineLength = f.Length;
        FInlineDescending = f.Descending;
    }
}

int TKeySearch::CompareFrom(const char* a, std::size_t field, std::size_t difference) const {
    const char* b = FKey;
    for (std::size_t i = field; i < FFieldCount; ++i) {
        const TField& f = FFields[i];
        int r = 0;
        if (f.Text) {
            const auto flagA = static_cast<std::uint8_t>(a[f.Offset]);
            const auto flagB = static_cast<std::uint8_t>(b[f.Offset]);
            r = (flagA > flagB) - (flagA < flagB);
            if (r == 0 && f.Length > 0) {
                // Within the first field compared the difference is known.
                const std::size_t from = f.Offset + 1;
                r = CompareText(f, a, i == field ? difference - from
                                                 : FirstDifferentByte(a + from, b + from, f.Length));
            }
            if (f.Descending) r = -r;
        } else {
            r = BinaryCompare(a + f.Offset, b + f.Offset, f.Length, f.Descending);
        }
        if (r != 0) return r;
    }
    if (FTail < FCount) return BinaryCompare(a + FTail, b + FTail, FCount - FTail, FIndex.Descending);
    return 0;
}

int TKeySearch::CompareText(const TField& f, const char* a, std::size_t difference) const {
    const char* first = a + f.Offset + 1;
    const char* second = FKey + f.Offset + 1;
    const auto* x = reinterpret_cast<const std::uint8_t*>(first);
    const auto* y = reinterpret_cast<const std::uint8_t*>(second);
    Ranks(f, y);
    if (const auto settled = FRanks->ComparePaddedAt(x, y, f.Length, difference, f.Run, FPrimaryOnly))
        return *settled;
    return LocaleCompare(*FCollation, first, second, f.Length);
}

}  // namespace pirin
