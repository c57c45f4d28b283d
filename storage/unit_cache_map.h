// TUnitNumberMap: the unit cache's look-up from unit number to cached unit,
// an open-addressing hash table with linear probing. The numbers sit in an
// array of their own, so that a look-up reads only that array (and one
// pointer on a hit) and never touches a unit object; a miss, an insert and
// an erase cost about the same and move nothing else.
//
// Numbers are 1 or more (0 marks an empty slot); a number is in the map at
// most once. The table keeps at most half its slots filled, four fifths
// once it has 65,536 slots, and doubles when an insert would pass that (a
// big transaction's caches then need half the memory; their numbers are
// mostly dense, and Fibonacci hashing spreads a dense range evenly, so probe
// runs stay short); an erase shifts the following entries of its
// probe run back, so that no tombstones pile up.
//
// Ownership: the map holds plain pointers and owns no unit (the cache does).
// Threads: the thread of its cache. Failures: Insert and Reserve may throw
// std::bad_alloc and then leave the map as it was; the rest never throws.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace pirin {

template <class TUnit>
class TUnitNumberMap {
  public:
    // The unit with number n, nullptr when it is not in the map.
    TUnit* Find(std::int32_t n) const noexcept {
        if (FSize == 0) return nullptr;
        for (std::size_t i = Home(n);; i = (i + 1) & FMask) {
            const std::int32_t at = FNumbers[i];
            if (at == n) return FUnits[i];
            if (at == 0) return nullptr;
        }
    }

    // Room for `count` entries in all, so that inserts up to that size cannot
    // throw.
    void Reserve(std::size_t count) {
        if (count > FMaxFill) Grow(count);
    }

    // Adds n (not in the map yet) with its unit.
    void Insert(std::int32_t n, TUnit* unit) {
        Reserve(FSize + 1);
        std::size_t i = Home(n);
        while (FNumbers[i] != 0) i = (i + 1) & FMask;
        FNumbers[i] = n;
        FUnits[i] = unit;
        ++FSize;
    }

    // Removes n; nothing when it is not in the map.
    void Erase(std::int32_t n) noexcept {
        if (FSize == 0) return;
        std::size_t hole = Home(n);
        while (FNumbers[hole] != n) {
            if (FNumbers[hole] == 0) return;
            hole = (hole + 1) & FMask;
        }
        // Entries after the hole whose home does not lie between the hole
        // and themselves move back into it; an empty slot ends the run.
        for (std::size_t i = (hole + 1) & FMask; FNumbers[i] != 0; i = (i + 1) & FMask) {
            const std::size_t home = Home(FNumbers[i]);
            const bool stays = hole <= i ? hole < home && home <= i : hole < home || home <= i;
            if (stays) continue;
            FNumbers[hole] = FNumbers[i];
            FUnits[hole] = FUnits[i];
            hole = i;
        }
        FNumbers[hole] = 0;
        FUnits[hole] = nullptr;
        --FSize;
    }

    // Empties the map and keeps its slots.
    void Clear() noexcept {
        std::fill(FNumbers.begin(), FNumbers.end(), 0);
        std::fill(FUnits.begin(), FUnits.end(), nullptr);
        FSize = 0;
    }

    std::size_t Size() const noexcept { return FSize; }
    bool Empty() const noexcept { return FSize == 0; }

    // Visits every entry as visit(number, unit), in no particular order. The
    // visit must not change the map.
    template <class TVisit>
    void ForEach(TVisit&& visit) const {
        for (std::size_t i = 0; i < FNumbers.size(); ++i)
            if (FNumbers[i] != 0) visit(FNumbers[i], FUnits[i]);
    }

    // Appends the units `keep(unit)` selects, by increasing number; orders
    // the numbers, never the unit objects. Numbers that lie densely (the
    // common case: a run of appended units) are placed by number, without
    // a comparison sort.
    template <class TKeep>
    void AppendSorted(std::vector<TUnit*>& out, TKeep&& keep) const {
        // First the range and the count, without a copy: at the end of a big
        // transaction the units of a whole load are dirty.
        std::size_t count = 0;
        std::int32_t low = 0;
        std::int32_t high = 0;
        ForEach([&](std::int32_t n, TUnit* unit) {
            if (!keep(*unit)) return;
            low = count == 0 ? n : std::min(low, n);
            high = count == 0 ? n : std::max(high, n);
            ++count;
        });
        if (count == 0) return;
        const std::size_t first = out.size();
        const auto span = static_cast<std::size_t>(std::int64_t{high} - low + 1);
        if (span <= 4 * count + 64) {
            // Placed by number straight into `out`, then closed up.
            out.resize(first + span, nullptr);
            ForEach([&](std::int32_t n, TUnit* unit) {
                if (keep(*unit)) out[first + static_cast<std::size_t>(n - low)] = unit;
            });
            out.erase(std::remove(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(), nullptr),
                      out.end());
            return;
        }
        std::vector<std::pair<std::int32_t, TUnit*>> entries;
        entries.reserve(count);
        ForEach([&](std::int32_t n, TUnit* unit) {
            if (keep(*unit)) entries.emplace_back(n, unit);
        });
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        out.reserve(first + count);
        for (const auto& entry : entries) out.push_back(entry.second);
    }

  private:
    static constexpr std::size_t kMinSlots = 16;
    static constexpr std::size_t kDenseSlots = 65536;

    // Fibonacci hashing: consecutive numbers spread over the table.
    std::size_t Home(std::int32_t n) const noexcept {
        return static_cast<std::size_t>(
            (static_cast<std::uint64_t>(static_cast<std::uint32_t>(n)) * 0x9E3779B97F4A7C15ULL) >>
            FShift);
    }
    static std::size_t MaxFill(std::size_t slotCount) noexcept {
        return slotCount >= kDenseSlots ? slotCount / 5 * 4 : slotCount / 2;
    }

    // Out of line, so that Reserve stays a compare small enough to inline
    // into every insert and read-ahead.
    [[gnu::noinline]] void Grow(std::size_t count) {
        std::size_t slotCount = std::max<std::size_t>(FNumbers.size(), kMinSlots);
        while (count > MaxFill(slotCount)) slotCount *= 2;
        Rehash(slotCount);
    }

    void Rehash(std::size_t slotCount) {
        std::vector<std::int32_t> numbers(slotCount, 0);
        std::vector<TUnit*> units(slotCount, nullptr);
        std::swap(numbers, FNumbers);
        std::swap(units, FUnits);
        FMask = slotCount - 1;
        FMaxFill = MaxFill(slotCount);
        FShift = 64;
        for (std::size_t s = slotCount; s > 1; s /= 2) --FShift;
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            if (numbers[i] == 0) continue;
            std::size_t at = Home(numbers[i]);
            while (FNumbers[at] != 0) at = (at + 1) & FMask;
            FNumbers[at] = numbers[i];
            FUnits[at] = units[i];
        }
    }

    std::vector<std::int32_t> FNumbers;
    std::vector<TUnit*> FUnits;
    std::size_t FMask = 0;
    int FShift = 64;
    std::size_t FSize = 0;
    // MaxFill of the current slot count, kept for the check on every insert.
    std::size_t FMaxFill = 0;
};

}  // namespace pirin
