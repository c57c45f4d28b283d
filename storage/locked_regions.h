// TLockedRegions: the byte ranges one file object has locked in this
// process, so that a second lock over any of their bytes is refused the way
// another process's would be. Regions never overlap; each is found again by
// its exact start and length to be unlocked, or a run of adjacent ones by
// the bytes they cover together.
//
// The list is a flat array sorted by start, highest first, with a moving
// first slot, so that the patterns of the engine cost a few instructions
// and no allocation per lock: a transaction locks each record it adds
// below every earlier record byte (appended at the back) and releases them
// from record 1 on, a run of adjacent bytes at a time (taken from the
// front); a file write lock covers every read-lock byte, so it is the only
// region of its file (the back). Any other lock or unlock is a binary
// search and a move of the shorter side.
//
// Ownership: a value member of its file object. Threads: under the file
// object's critical section. Failures: Add may throw std::bad_alloc; the
// rest never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pirin {

// One locked region; End is inclusive.
struct TLockedRegion {
    std::uint64_t Start = 0;
    std::uint64_t End = 0;
};

class TLockedRegions {
  public:
    // Whether no region overlaps the region; false also for an empty region
    // or one that runs past the largest offset.
    bool IsFree(std::uint64_t start, std::uint64_t length) const {
        if (Size() == 0) return length != 0 && length - 1 <= kLastOffset - start;
        return IsFreeAmongOthers(start, length);
    }
    // Adds a region that IsFree accepted.
    void Add(std::uint64_t start, std::uint64_t length) {
        if (Size() == 0) {
            // The usual case, a file's one read lock: no search, and the
            // array keeps its capacity.
            Clear();
            FRegions.push_back({start, start + length - 1});
            return;
        }
        AddAmongOthers(start, length);
    }
    // Whether a region with exactly this start and length is locked.
    bool Has(std::uint64_t start, std::uint64_t length) const;
    // Drops the region with exactly this start and length; false when none.
    bool Remove(std::uint64_t start, std::uint64_t length);
    // Whether adjacent regions cover exactly the bytes from `start` for
    // `length`: no gap between them and none reaching outside.
    bool HasRun(std::uint64_t start, std::uint64_t length) const;
    // Drops the regions of such a run; false, dropping nothing, when the
    // bytes are not one.
    bool RemoveRun(std::uint64_t start, std::uint64_t length);
    // Drops the region that starts at `start`, if any.
    void RemoveStartingAt(std::uint64_t start) {
        if (Size() == 1) {
            if (FRegions[FFirst].Start == start) Clear();
            return;
        }
        RemoveAmongOthers(start);
    }
    void Clear() noexcept {
        FRegions.clear();
        FFirst = 0;
    }
    std::size_t Size() const noexcept { return FRegions.size() - FFirst; }

  private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    static constexpr std::uint64_t kLastOffset = static_cast<std::uint64_t>(-1);
    // The same with other regions locked.
    bool IsFreeAmongOthers(std::uint64_t start, std::uint64_t length) const;
    void AddAmongOthers(std::uint64_t start, std::uint64_t length);
    void RemoveAmongOthers(std::uint64_t start);
    // The slot of the region that starts at `start`, or kNone.
    std::size_t Find(std::uint64_t start) const;
    // The slot of the lowest region of a run as HasRun takes it and the
    // count of its regions (in the slots before it), or kNone.
    std::size_t FindRun(std::uint64_t start, std::uint64_t length, std::size_t& count) const;
    // Drops `count` regions from slot `at` down to lower slots (higher starts).
    void RemoveSlots(std::size_t at, std::size_t count);
    // The first slot whose region starts at or below `offset`.
    std::size_t FirstAtOrBelow(std::uint64_t offset) const;

    std::vector<TLockedRegion> FRegions;  // slots before FFirst are unused
    std::size_t FFirst = 0;
};

}  // namespace pirin
