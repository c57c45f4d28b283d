// TWordList: the items of the word list, in the order of the "LangWords"
// memo, with a search structure for the list search: the first item (lowest
// index) equal to a key, or beginning with it, ignoring letter case the
// Windows-1251 way (A-Z with a-z, 0xC0-0xDF with 0xE0-0xFF).
//
// The items are kept sorted by their case-folded bytes (ties by index), so
// the items equal to or beginning with a key form one run found by binary
// search; a sparse table of minimum indexes over that order gives the run's
// first item in constant time. Building is O(n log n); a search is
// O(|key| log n). The binary searches compare the first eight folded bytes
// of each item from an array of their own, in sorted order, and read an
// item itself only where those are the key's: most steps touch no string.
//
// Ownership: a value type. Threads: const methods from any thread.
// Failures: none besides allocation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlano {

// The byte with letter case folded (to the lower letter).
std::uint8_t FoldCase(std::uint8_t byte) noexcept;

class TWordList {
  public:
    TWordList() = default;
    explicit TWordList(std::vector<std::string> items);

    const std::vector<std::string>& Items() const noexcept { return FItems; }
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    const std::string& Item(int index) const { return FItems.at(static_cast<std::size_t>(index)); }

    // Lowest index of an item equal to `key` ignoring case, or -1.
    int FindExact(std::string_view key) const;
    // Lowest index of an item beginning with `key` ignoring case, or -1.
    int FindPrefix(std::string_view key) const;
    // The list search: the whole key exactly, then the key and ever shorter
    // prefixes of it as prefixes; -1 when not even the first byte matches.
    int Search(std::string_view key) const;

  private:
    // The run [first, last) of sorted positions whose folded item begins
    // with the folded key.
    std::pair<std::size_t, std::size_t> PrefixRun(std::string_view folded) const;
    // The first sorted position not before the folded key (head: its Head).
    std::size_t LowerBound(std::string_view folded, std::uint64_t head) const;
    // The end of the run of items beginning with the folded key, from its
    // LowerBound `first`.
    std::size_t RunEnd(std::size_t first, std::string_view folded, std::uint64_t head) const;
    // Whether the item at sorted position `at` equals the folded key.
    bool EqualAt(std::size_t at, std::string_view folded, std::uint64_t head) const;
    // FindExact and FindPrefix of a key already folded.
    int FindFoldedExact(std::string_view folded) const;
    int FindFoldedPrefix(std::string_view folded) const;
    int MinIndex(std::size_t first, std::size_t last) const;
    // Whether the item at sorted position `at` sorts before the folded key
    // whose head is `head`.
    bool SortsBefore(std::size_t at, std::string_view folded, std::uint64_t head) const;

    std::vector<std::string> FItems;
    std::vector<std::string> FFolded;           // by item index
    std::vector<std::int32_t> FSorted;          // item indexes by folded bytes, then index
    // By sorted position: the item's first eight folded bytes, big-endian,
    // zero-padded (Head), which order as the items do wherever they differ.
    std::vector<std::uint64_t> FHeads;
    std::vector<std::vector<std::int32_t>> FMin;  // FMin[k][i]: min index of FSorted[i, i + 2^k)
};

}  // namespace vorlano
