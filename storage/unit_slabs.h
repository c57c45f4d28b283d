// TUnitSlabPool: the memory of the unit objects of one free stack (records,
// index pages or BLOB blocks of one file). Units are placed in slabs of a
// fixed number of slots (the cache's growth step) instead of one allocation
// each, and a unit that keeps bytes holds them inline, right after its
// object in the same slot. A big transaction, whose caches grow by one unit
// per insert and keep every unit until commit, then makes one allocation per
// slab instead of two per unit, and trimming or closing gives slabs back
// whole.
//
// Layout. A slot is an 8-byte prefix naming its slab, the unit object, then
// the unit's inline bytes. Every unit object, in a slab or not, carries the
// prefix: TCacheUnit's own operator new gives a unit made alone (a test's,
// or one whose size does not fit the pool's slots) a null prefix, and its
// operator delete reads the prefix to send the memory back where it came
// from. So `delete unit` and unique_ptr<TUnit> keep working whatever made
// the unit, and a unit's object and bytes never move while it lives.
//
// Lifetime. A slab is freed when its last unit goes, except that the pool
// keeps one empty slab, so that a unit taken and given back at the boundary
// does not allocate a slab each time. Units may outlive their pool (a
// record held by a cursor past its file's stack): the pool's destructor
// frees its empty slabs and leaves the others to free themselves when their
// last unit goes.
//
// Threads: a pool and its slabs follow the thread rules of the stack that
// owns them (one thread at a time per file); units are deleted on that
// thread. Failures: Take may throw std::bad_alloc; the rest never throws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pirin {

struct TUnitSlab;

// Where a unit's bytes live when it was built in a slot: `Capacity` bytes at
// `Data`, for as long as the unit lives.
struct TInlineBytes {
    std::uint8_t* Data = nullptr;
    std::size_t Capacity = 0;
};

class TUnitSlabPool {
  public:
    explicit TUnitSlabPool(std::size_t slotsPerSlab);
    ~TUnitSlabPool();
    TUnitSlabPool(const TUnitSlabPool&) = delete;
    TUnitSlabPool& operator=(const TUnitSlabPool&) = delete;

    // A slot for an object of `objectSize` bytes followed by `inlineBytes`
    // bytes (both rounded up to 8), its prefix set; the object goes at the
    // address returned. nullptr when the pool's slots have another layout
    // and some are in use: the caller then makes the unit alone.
    void* Take(std::size_t objectSize, std::size_t inlineBytes);
    // Where the inline bytes of the slot of `object` start.
    static std::uint8_t* InlineBytesOf(void* object, std::size_t objectSize) noexcept {
        return static_cast<std::uint8_t*>(object) + RoundUp(objectSize);
    }

    // Memory for a unit object made alone (null prefix).
    static void* AllocateAlone(std::size_t objectSize);
    // Gives the memory of a destroyed unit object back: to its slab, or to
    // the heap for a unit made alone. Also takes back a slot whose object
    // was never constructed.
    static void Free(void* object) noexcept;

    std::size_t SlotsPerSlab() const noexcept { return FSlotsPerSlab; }
    // Slabs allocated and not freed, the kept empty one included.
    std::size_t SlabCount() const noexcept { return FSlabCount; }
    // Slots in use.
    std::size_t SlotsInUse() const noexcept { return FSlotsInUse; }

    static constexpr std::size_t RoundUp(std::size_t bytes) noexcept { return (bytes + 7) / 8 * 8; }

  private:
    friend struct TUnitSlab;

    TUnitSlab* NewSlab();
    // A slot of `slab` was given back (called by the slab).
    void SlotFreed(TUnitSlab& slab) noexcept;
    void DestroySlab(TUnitSlab& slab) noexcept;

    std::size_t FSlotsPerSlab;
    std::size_t FObjectSize = 0;
    std::size_t FInlineBytes = 0;
    std::size_t FSlotStride = 0;
    // Slabs with a free slot (the kept empty one among them) and full ones,
    // each a doubly linked list through the slabs.
    TUnitSlab* FOpen = nullptr;
    TUnitSlab* FFull = nullptr;
    std::size_t FSlabCount = 0;
    std::size_t FSlotsInUse = 0;
    std::size_t FEmptySlabs = 0;
};

}  // namespace pirin
