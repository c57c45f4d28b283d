// Fixture for the B+-tree tests: keys laid out as the engine lays out real
// keys (presence byte and key form per field, the row suffix of a
// non-unique index), an index on the test schema in an in-memory index file,
// and checks of the whole tree against an ordered model.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "storage/index_tree.h"
#include "storage/index_verifier.h"
#include "tests/storage/index_file_test_support.h"

namespace pirin::index_test {

using Bytes = std::vector<std::uint8_t>;

// The key form of an integer: big-endian with the sign bit inverted.
inline void AppendInt(Bytes& key, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value) ^ 0x80000000u;
    key.push_back(1);
    for (int i = 3; i >= 0; --i) key.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

// A string field of `stored` bytes: presence byte, characters, zeros.
inline void AppendText(Bytes& key, const std::string& text, std::size_t stored) {
    key.push_back(text.empty() ? 0 : 1);
    for (std::size_t i = 0; i < stored; ++i)
        key.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

// The row suffix: the autoincrement value in the integer key form.
inline void AppendRow(Bytes& key, std::int32_t row) {
    const auto bits = static_cast<std::uint32_t>(row) ^ 0x80000000u;
    for (int i = 3; i >= 0; --i) key.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

// The key shapes the tests index (fields of Schema()).
enum class TShape { Int, Word, IntNote, Long };

inline const char* ShapeName(TShape shape) {
    switch (shape) {
        case TShape::Int:
            return "Int";
        case TShape::Word:
            return "Word";
        case TShape::IntNote:
            return "IntNote";
        case TShape::Long:
            return "Long";
    }
    return "?";
}

inline std::vector<std::uint16_t> ShapeFields(TShape shape) {
    switch (shape) {
        case TShape::Int:
            return {1};
        case TShape::Word:
            return {2};
        case TShape::IntNote:
            return {1, 4};
        case TShape::Long:
            return {6};
    }
    return {};
}

// A key of `shape` for the value `v` (texts share long prefixes and end in
// zero padding, so both compressions have work to do).
inline Bytes ShapeKey(TShape shape, std::int32_t v, bool unique, std::int32_t row) {
    Bytes key;
    const std::string text =
        "w" + std::string(static_cast<std::size_t>(v % 7), 'a') + std::to_string(v);
    switch (shape) {
        case TShape::Int:
            AppendInt(key, v - 5000);
            break;
        case TShape::Word:
            AppendText(key, text, 21);
            break;
        case TShape::IntNote:
            AppendInt(key, v / 10);
            AppendText(key, std::to_string(v % 10), 11);
            break;
        case TShape::Long:
            AppendText(key, text + std::string(static_cast<std::size_t>(v % 50), 'z'), 251);
            break;
    }
    if (!unique) AppendRow(key, row);
    return key;
}

// An index file with one secondary index (number 1).
struct TTreeTable : TIndexTable {
    TTreeTable(TShape shape, bool unique, std::uint8_t compression, bool encrypted = false)
        : TIndexTable(encrypted) {
        const auto fields = Schema();
        TIndexDescriptor d = Describe("Idx", ShapeFields(shape), unique, compression);
        EXPECT_EQ(File.AddIndex(d, fields), 1);
        (void)File.WriteIndexHeader();
    }
    TIndexTree Tree() { return TIndexTree(File, 1); }
    // Writes everything back and opens the file again: what follows reads
    // the pages from disk.
    void Flush() {
        (void)File.WritePages();
        (void)File.WriteIndexHeader();
        Reopen();
    }
    std::vector<std::string> Verify() { return TIndexVerifier(File).Run(); }
};

// A fresh seed, or the one in PIRIN_TREE_SEED to replay a failure.
inline unsigned TestSeed() {
    if (const char* fixed = std::getenv("PIRIN_TREE_SEED"))
        return static_cast<unsigned>(std::stoul(fixed));
    return std::random_device{}();
}

// The model: key -> record number.
using TModel = std::map<Bytes, std::int32_t>;

// The tree's entries in order.
inline std::vector<std::pair<Bytes, std::int32_t>> Walk(TIndexTree& tree) {
    std::vector<std::pair<Bytes, std::int32_t>> entries;
    TTreePath path;
    TTreeEntry entry;
    for (TTreeStatus s = tree.First(path, &entry); s == TTreeStatus::Ok;
         s = tree.Next(path, &entry)) {
        EXPECT_EQ(path.Ordinal, static_cast<std::int64_t>(entries.size() + 1));
        entries.emplace_back(entry.Key, entry.Record);
    }
    return entries;
}

inline std::vector<std::pair<Bytes, std::int32_t>> WalkBack(TIndexTree& tree) {
    std::vector<std::pair<Bytes, std::int32_t>> entries;
    TTreePath path;
    TTreeEntry entry;
    for (TTreeStatus s = tree.Last(path, &entry); s == TTreeStatus::Ok;
         s = tree.Prior(path, &entry))
        entries.emplace_back(entry.Key, entry.Record);
    return {entries.rbegin(), entries.rend()};
}

// The number of pages on index i's free chain.
inline int FreeChainLength(TIndexFile& file, int index) {
    int length = 0;
    for (std::int32_t page = file.FirstFreePage(index);
         page != 0 && length <= file.LastPageNumber(); ++length) {
        TPagePin pin = file.FetchPage(nullptr, index, page);
        page = pin->Next();
    }
    return length;
}

}  // namespace pirin::index_test
