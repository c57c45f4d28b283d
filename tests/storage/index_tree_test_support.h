// Fixture for the B+-tree tests: keys laid out as the engine lays out real
// keys (presence byte and key form per field, the row suffix of a
// non-unique index), an index on the test schema in an in-memory index file,
// and checks of the whole tree against an ordered model.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "locale/compare_keys.h"
#include "storage/index_key_form.h"
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

// The key shapes the tests index (fields of Schema()). NoteDown has its
// second field descending in a byte-ordered table (stored inverted); BgWordDown
// is a descending Word in a Bulgarian table, ordered by the collation.
enum class TShape { Int, Word, IntNote, Long, Amount, NoteDown, BgWordDown };

inline constexpr std::uint16_t kBulgarian = 0x0402;

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
        case TShape::Amount:
            return "Amount";
        case TShape::NoteDown:
            return "NoteDown";
        case TShape::BgWordDown:
            return "BgWordDown";
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
        case TShape::Amount:
            return {7};
        case TShape::NoteDown:
            return {1, 4};
        case TShape::BgWordDown:
            return {2};
    }
    return {};
}

// The descending flag of each key field of a shape.
inline std::vector<bool> ShapeDescending(TShape shape) {
    if (shape == TShape::NoteDown) return {false, true};
    if (shape == TShape::BgWordDown) return {true};
    return {};
}

inline std::uint16_t ShapeLanguage(TShape shape) {
    return shape == TShape::BgWordDown ? kBulgarian : 0;
}

// A Bulgarian word for v in Windows-1251, with letters of both cases so that
// the collation and the byte order disagree.
inline std::string BulgarianWord(std::int32_t v) {
    std::string word;
    for (std::int32_t rest = v + 1; rest > 0; rest /= 30) {
        const auto letter = static_cast<char>(0xE0 + rest % 30);  // а..ю
        word += (rest % 3 == 0) ? static_cast<char>(letter - 0x20) : letter;  // some capitals
    }
    return word;
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
        case TShape::Amount: {
            key.push_back(1);
            std::array<std::uint8_t, 8> form{};
            PutFloatKey((v - 5000) * 0.25, form);
            key.insert(key.end(), form.begin(), form.end());
            break;
        }
        case TShape::NoteDown: {
            AppendInt(key, v / 10);
            const std::size_t at = key.size();
            AppendText(key, std::to_string(v % 10), 11);
            // Presence byte and the ten characters inverted; the final zero stays.
            for (std::size_t i = at; i < at + 11; ++i) key[i] = static_cast<std::uint8_t>(~key[i]);
            break;
        }
        case TShape::BgWordDown:
            AppendText(key, BulgarianWord(v), 21);
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
        const std::vector<bool> descending = ShapeDescending(shape);
        for (std::size_t i = 0; i < descending.size(); ++i) d.FieldDescending[i] = descending[i];
        EXPECT_EQ(File.AddIndex(d, fields), 1);
        File.SetKeyLayout(fields, ShapeLanguage(shape), 0);
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

// The model's order: the table's key comparison, or bytes when none is given.
struct TKeyLess {
    const TKeyDescription* Keys = nullptr;
    bool operator()(const Bytes& a, const Bytes& b) const {
        if (Keys == nullptr || a.size() != b.size()) return a < b;
        return CompareKeys(*Keys, a.data(), b.data(), static_cast<int>(a.size())) < 0;
    }
};

// The model: key -> record number.
using TModel = std::map<Bytes, std::int32_t, TKeyLess>;

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
