// Character maps: the 256 byte values in the collation order of a locale,
// and the process-wide cache of them.
//
// TLanguageCharMap is a value: the map itself and, for each position, which
// run of bytes that compare equal it belongs to, so that the neighbour
// queries need no further comparison. The cursor keeps its own copy. For
// language 0 the map is the identity and every byte is its own run.
//
// TLanguageCharMapsList caches one map per (language, sort) in insertion
// order and builds a missing one under its own lock, so a map is built once
// however many threads ask. The process-wide list (Instance) is created on
// first use; engine finalisation calls Clear, after which the next request
// builds afresh. Building raises 15878 when the locale has no ICU name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace pirin {

class TLanguageCharMap {
  public:
    // The bytes ordered by LocaleCompareChar with ListQuickSort, which decides
    // the order of bytes that compare equal.
    static TLanguageCharMap Build(std::uint16_t language, std::uint16_t sort);

    std::uint16_t Language() const { return FLanguage; }
    std::uint16_t Sort() const { return FSort; }
    const std::array<std::uint8_t, 256>& Map() const { return FMap; }
    std::uint8_t operator[](std::size_t position) const { return FMap[position]; }

    std::uint8_t Lowest() const { return FMap[0]; }
    std::uint8_t Highest() const { return FMap[255]; }
    // True when no byte compares lower (higher): map[0] (map[255]) and every
    // byte that compares equal to it.
    bool IsLowest(std::uint8_t byte) const { return FRun[FPosition[byte]] == FRun[0]; }
    bool IsHighest(std::uint8_t byte) const { return FRun[FPosition[byte]] == FRun[255]; }
    // The nearest byte in the map above (below) `byte` that compares
    // different, skipping the bytes equal to it; nothing when `byte` is
    // highest (lowest).
    std::optional<std::uint8_t> NextHigher(std::uint8_t byte) const;
    std::optional<std::uint8_t> NextLower(std::uint8_t byte) const;

  private:
    std::uint16_t FLanguage = 0;
    std::uint16_t FSort = 0;
    std::array<std::uint8_t, 256> FMap{};       // position → byte
    std::array<std::uint8_t, 256> FPosition{};  // byte → position
    std::array<std::uint8_t, 256> FRun{};       // position → number of its run of equal bytes
};

class TLanguageCharMapsList {
  public:
    TLanguageCharMapsList();
    TLanguageCharMapsList(const TLanguageCharMapsList&) = delete;
    TLanguageCharMapsList& operator=(const TLanguageCharMapsList&) = delete;

    static TLanguageCharMapsList& Instance();

    // A copy of the map of (language, sort), built and appended when missing.
    TLanguageCharMap Get(std::uint16_t language, std::uint16_t sort);
    // Number of cached maps.
    std::size_t Count() const;
    // Drops every map (engine finalisation).
    void Clear();

  private:
    mutable std::mutex FLock;
    std::vector<TLanguageCharMap> FMaps;
};

// The map of (language, sort) from the process-wide cache.
inline TLanguageCharMap LanguageCharMapOf(std::uint16_t language, std::uint16_t sort) {
    return TLanguageCharMapsList::Instance().Get(language, sort);
}

}  // namespace pirin
