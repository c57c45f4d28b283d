// TUnitStack: the free stack of spare unit objects of one kind, so that
// caches and cursors recycle records, pages and blocks instead of allocating.
//
// Ownership: the stack owns the spare units it holds; Pop hands one out as a
// unique_ptr and Push takes one back. A stack may serve several caches (the
// index file's caches share one page stack), so it outlives them all.
// Push keeps a unit while the stack is below its limit and destroys it
// otherwise; Pop from an empty stack constructs a new unit, in a slot of the
// stack's slab pool (unit_slabs.h), with its bytes inline where the unit
// type takes them. Push never allocates (the room is reserved up front), so
// it is safe in destructors.
//
// Threads: one thread at a time, like the file that owns it.
// Failures: Pop may throw std::bad_alloc; Push never throws.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "storage/unit_cache_params.h"
#include "storage/unit_cache_unit.h"
#include "storage/unit_slabs.h"

namespace pirin {

// Spare units kept per kind.
inline constexpr std::size_t kRecordStackLimit = 64;
inline constexpr std::size_t kPageStackLimit = 4;
inline constexpr std::size_t kBlockStackLimit = 32;
// A stack's slabs hold as many units as its limit, which is its cache's
// growth step: a cache that grows takes one slab per step.
static_assert(kRecordStackLimit == kRecordCacheParams.GrowStep);
static_assert(kPageStackLimit == kPageCacheParams.GrowStep);
static_assert(kBlockStackLimit == kBlockCacheParams.GrowStep);

template <class TUnit>
class TUnitStack {
    static_assert(CacheUnit<TUnit>);

  public:
    explicit TUnitStack(std::size_t limit) : FLimit(limit), FSlabs(limit) { FUnits.reserve(limit); }

    // A free unit of `unitSize` bytes: cleared, unnumbered, clean, unpinned.
    // `loading`: the caller fills it with LoadBytes next, so a spare one is
    // only ResetForLoad.
    std::unique_ptr<TUnit> Pop(std::size_t unitSize, bool loading = false) {
        if (FUnits.empty()) return Make(unitSize);
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
    const TUnitSlabPool& Slabs() const noexcept { return FSlabs; }

  private:
    // A new unit of `unitSize` bytes in a slab slot; alone when the pool's
    // slots have another layout.
    std::unique_ptr<TUnit> Make(std::size_t unitSize) {
        constexpr bool kInline = std::constructible_from<TUnit, std::size_t, TInlineBytes>;
        const std::size_t inlineBytes = kInline ? unitSize : 0;
        void* place = FSlabs.Take(sizeof(TUnit), inlineBytes);
        if (place == nullptr) return std::make_unique<TUnit>(unitSize);
        try {
            if constexpr (kInline) {
                const TInlineBytes storage{TUnitSlabPool::InlineBytesOf(place, sizeof(TUnit)),
                                           TUnitSlabPool::RoundUp(inlineBytes)};
                return std::unique_ptr<TUnit>(::new (place) TUnit(unitSize, storage));
            } else {
                return std::unique_ptr<TUnit>(::new (place) TUnit(unitSize));
            }
        } catch (...) {
            TUnitSlabPool::Free(place);
            throw;
        }
    }

    std::size_t FLimit;
    // Declared before the units, so that the spare units go back to it
    // before it goes.
    TUnitSlabPool FSlabs;
    std::vector<std::unique_ptr<TUnit>> FUnits;
};

}  // namespace pirin
