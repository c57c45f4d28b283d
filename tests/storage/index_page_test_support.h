// Fixture for the index page tests: page settings over byte-ordered keys,
// keys made from text or numbers, pages built from entries, and the packed
// bytes of a page.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "storage/index_page.h"
#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::page_test {

using Bytes = std::vector<std::uint8_t>;
using cache_test::CodeOf;

// Key descriptions of language 0: keys compare as bytes (ascending). Any
// number, so that settings with a number no index has can be made.
inline const TKeyDescription& ByteKeys(int index = 1) {
    static std::map<int, TKeyDescription> keys;
    keys[index].IndexNumber = index;
    return keys[index];
}

inline TPageConfig Config(std::uint16_t k, TIndexCompression compression = TIndexCompression::None,
                          bool unique = true, bool noCounts = false, int index = 1) {
    TPageConfig config;
    config.IndexNumber = index;
    config.KeyLength = k;
    config.Unique = unique;
    config.NoCounts = noCounts;
    config.Compression = compression;
    config.Keys = &ByteKeys(index);
    config.TableName = "Bg_En";
    config.IndexName = "IdxWord";
    return config;
}

// `text` zero-padded (or cut) to k bytes.
inline Bytes Key(const std::string& text, std::size_t k) {
    Bytes key(k, 0);
    for (std::size_t i = 0; i < k && i < text.size(); ++i)
        key[i] = static_cast<std::uint8_t>(text[i]);
    return key;
}

// A non-unique key: `text` padded to k - 4 bytes, then the row suffix.
inline Bytes RowKey(const std::string& text, std::size_t k, std::uint32_t row) {
    Bytes key = Key(text, k - 4);
    for (int i = 3; i >= 0; --i) key.push_back(static_cast<std::uint8_t>(row >> (8 * i)));
    return key;
}

// A key whose bytes order as the number: 4 bytes big-endian, zero-padded.
inline Bytes NumberKey(std::uint32_t value, std::size_t k) {
    Bytes key(k, 0);
    for (std::size_t i = 0; i < 4 && i < k; ++i)
        key[i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
    return key;
}

inline std::unique_ptr<TPage> NewPage(const TPageConfig& config, TPageType type) {
    auto page = std::make_unique<TPage>();
    page->Format(config, type);
    return page;
}

// A page of `type` holding `keys` in order, with references 1, 2, ... and,
// on interior pages, counts 10, 20, ...
inline std::unique_ptr<TPage> PageOf(const TPageConfig& config, TPageType type,
                                     const std::vector<Bytes>& keys) {
    auto page = NewPage(config, type);
    for (std::size_t i = 0; i < keys.size(); ++i)
        page->InsertEntry(static_cast<int>(i + 1), keys[i], static_cast<std::int32_t>(i + 1),
                          static_cast<std::int32_t>(10 * (i + 1)));
    return page;
}

inline Bytes Packed(const TPage& page) {
    Bytes out(TPage::kPageSize);
    page.SaveBytes(out);
    return out;
}

// A page loaded from `bytes` the way the cache and the index file do it.
inline std::unique_ptr<TPage> Loaded(const TPageConfig& config, const Bytes& bytes) {
    auto page = std::make_unique<TPage>();
    page->LoadBytes(bytes);
    page->Attach(config);
    return page;
}

inline std::uint16_t UsedField(const Bytes& bytes) {
    return static_cast<std::uint16_t>(bytes[11] | (bytes[12] << 8));
}

// Both pages hold the same header and entries.
inline void ExpectSamePage(const TPage& expected, const TPage& actual) {
    EXPECT_EQ(expected.Type(), actual.Type());
    EXPECT_EQ(expected.Previous(), actual.Previous());
    EXPECT_EQ(expected.Next(), actual.Next());
    ASSERT_EQ(expected.NumberOfEntries(), actual.NumberOfEntries());
    EXPECT_EQ(expected.PackedSize(), actual.PackedSize());
    for (int i = 1; i <= expected.NumberOfEntries(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const auto a = expected.EntryKey(i);
        const auto b = actual.EntryKey(i);
        EXPECT_EQ(Bytes(a.begin(), a.end()), Bytes(b.begin(), b.end()));
        EXPECT_EQ(expected.EntryReference(i), actual.EntryReference(i));
        EXPECT_EQ(expected.EntryCount(i), actual.EntryCount(i));
    }
}

// Packs, checks the used field against PackedSize, unpacks, compares.
inline void ExpectRoundTrip(const TPage& page) {
    const Bytes bytes = Packed(page);
    EXPECT_EQ(UsedField(bytes), page.PackedSize());
    const auto again = Loaded(page.Config(), bytes);
    ExpectSamePage(page, *again);
    EXPECT_EQ(bytes, Packed(*again));
}

}  // namespace pirin::page_test
