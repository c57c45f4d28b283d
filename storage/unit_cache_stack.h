// TUnitStack: the free stack of spare unit objects of one kind, so that
// caches and cursors recycle records, pages and blocks instead of allocating.
//
// Ownership: the stack owns the spare units it holds; Pop hands one out as a
// unique_ptr and Push takes one back. A stack may serve several caches (the
// index file's caches share one page stack), so it outlives them all.
// Push keeps a unit while the stack is below its limit and destroys it
// otherwise; Pop from an empty stack constructs a new unit. Push never
// allocates (the room is reserved up front), so it is safe in destructors.
//
// Threads: one thread at a time, like the file that owns it.
// Failures: Pop may throw std::bad_alloc; Push never throws.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "storage/unit_cache_unit.h"

namespace pirin {

// Spare units kept per kind.
inline constexpr std::size_t kRecordStackLimit = 64;
inline constexpr std::size_t kPageStackLimit = 4;
inline constexpr std::size_t kBlockStackLimit = 32;

template <class TUnit>
class TUnitStack {
    static_assert(CacheUnit<TUnit>);

  public:
    explicit TUnitStack(std::size_t limit) : FLimit(limit) { FUnits.reserve(limit); }

    // A free unit of `unitSize` bytes: cleared, unnumbered, clean, unpinned.
    // `loading`: the caller fills it with LoadBytes next, so a spare one is
    // only ResetForLoad.
    std::unique_ptr<TUnit> Pop(std::size_t unitSize, bool loading = false) {
        if (FUnits.empty()) return std::make_unique<TUnit>(unitSize);
        std::unique_ptr<TUnit> unit = std::move(FUnits.back());
        FUnits.pop_back();
        Renew(*unit, unitSize, loading);
        return unit;
    }

    // Makes a used unit (a spare, or a victim taken from a cache) free again:
    // unnumbered, clean, unpinned, `unitSize` bytes, cleared as Pop clears.
    static void Renew(TUnit& unit, std::size_t unitSize, bool loading) {
        unit.ClearCacheState();
        if (unit.Size() != unitSize) unit.ResizeBytes(unitSize);
        if (loading)
            unit.ResetForLoad();
        else
            unit.Reset();
    }

    // Takes a unit back; destroys it when the stack is full.
    void Push(std::unique_ptr<TUnit> unit) noexcept {
        if (unit && FUnits.size() < FLimit) FUnits.push_back(std::move(unit));
    }

    std::size_t Size() const noexcept { return FUnits.size(); }
    std::size_t Limit() const noexcept { return FLimit; }

  private:
    std::size_t FLimit;
    std::vector<std::unique_ptr<TUnit>> FUnits;
};

}  // namespace pirin
