// TCacheUnit: the common part of every fixed-size unit a table file caches
// (a record slot of the data file, a 4096-byte index page, a BLOB block).
//
// A unit carries its 1-based number, a dirty flag, a pin count and the links
// of its cache's most-recently-used chain; these belong to the cache
// (unit_cache.h) and only it changes them, except MarkDirty, which the holder
// of a pin calls after changing the unit. The unit's clear bytes live in a
// buffer of the unit size (or in the unit's own form alone, below);
// scrambling happens only in the file's write and read buffers, never here.
// A unit built in a slab slot (unit_slabs.h) holds its bytes inline, in the
// slot; a unit made alone, or one that has to grow past its slot, holds
// them in an allocation of its own. Either way they stay where they are
// until the unit is resized or destroyed.
//
// Concrete units (TRecord, TPage, TBlock) derive from TCacheUnit, must be
// constructible from the unit size, and may keep their own in-memory form by
// overriding Reset, LoadBytes and SaveBytes (a page unpacks its entries, a
// block splits its 18-byte header). A unit that keeps only its own form
// (a page) asks for no byte buffer: Bytes() is then empty, while Size()
// still gives the unit size. LoadBytes receives untrusted bytes and
// raises the file's corrupt code when they cannot be a unit; the cache then
// leaves the unit out.
//
// Threads: a unit belongs to the cache that holds it and follows its thread
// rules. Failures: none here, except what LoadBytes of a derived unit raises.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>

#include "storage/unit_slabs.h"

namespace pirin {

class TCacheUnit {
  public:
    // `holdsBytes` false: the unit keeps its contents in a form of its own
    // and has no byte buffer.
    explicit TCacheUnit(std::size_t unitSize, bool holdsBytes = true);
    // Bytes held in `storage` (the unit's slab slot) when they fit there.
    TCacheUnit(std::size_t unitSize, TInlineBytes storage);
    virtual ~TCacheUnit();
    TCacheUnit(const TCacheUnit&) = delete;
    TCacheUnit& operator=(const TCacheUnit&) = delete;

    // Every unit object carries its slab prefix (unit_slabs.h): one made
    // with `new` is alone, and delete hands each back where it came from.
    static void* operator new(std::size_t size) { return TUnitSlabPool::AllocateAlone(size); }
    static void operator delete(void* object) noexcept { TUnitSlabPool::Free(object); }

    // 0 while the unit is free (in a free stack or held outside any cache).
    std::int32_t UnitNumber() const noexcept { return FUnitNumber; }
    bool Dirty() const noexcept { return FDirty; }
    std::int16_t PinCount() const noexcept { return FPinCount; }

    // Called by the holder of a pin after changing the unit: the cache will
    // write it back and never drop it until then.
    void MarkDirty() noexcept { FDirty = true; }

    std::span<std::uint8_t> Bytes() noexcept { return {FBytes, FHoldsBytes ? FSize : 0}; }
    std::span<const std::uint8_t> Bytes() const noexcept {
        return {FBytes, FHoldsBytes ? FSize : 0};
    }
    std::size_t Size() const noexcept { return FSize; }

    // Clears the contents (all bytes 0). Derived units clear their own fields
    // too and call this.
    virtual void Reset();
    // Reset for a unit that LoadBytes fills next: a unit whose LoadBytes
    // replaces every byte and field may skip clearing them. Reset unless
    // overridden.
    virtual void ResetForLoad() { Reset(); }
    // Fills the unit from `bytes` (exactly Size() clear bytes read from disk).
    virtual void LoadBytes(std::span<const std::uint8_t> bytes);
    // Stores the unit's clear bytes into `out` (exactly Size() bytes).
    virtual void SaveBytes(std::span<std::uint8_t> out) const;

  private:
    template <class>
    friend class TUnitCache;
    template <class>
    friend class TUnitStack;

    // Back to the free state: no number, clean, unpinned, unlinked.
    void ClearCacheState() noexcept;
    // `unitSize` bytes, all 0; a unit whose bytes no longer fit where they
    // are gets an allocation of its own.
    void ResizeBytes(std::size_t unitSize);

    TCacheUnit* FChainNext = nullptr;  // towards the tail (less recently used)
    TCacheUnit* FChainPrev = nullptr;  // towards the head (more recently used)
    std::uint8_t* FBytes = nullptr;
    std::int32_t FUnitNumber = 0;
    std::uint32_t FSize;
    // Bytes FBytes can hold.
    std::uint32_t FCapacity = 0;
    std::int16_t FPinCount = 0;
    bool FDirty = false;
    // Set while a discarded unit waits for its last pin to go (unit_cache.h).
    bool FDetached = false;
    bool FHoldsBytes;
    // FBytes is an allocation of the unit's own (not its slot).
    bool FOwnsBytes = false;
};

// What a unit cache and a free stack require of their unit type (slab slots
// align objects to 8 bytes).
template <class T>
concept CacheUnit = std::derived_from<T, TCacheUnit> && std::constructible_from<T, std::size_t> &&
                    alignof(T) <= 8;

}  // namespace pirin
