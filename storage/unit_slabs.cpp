#include "storage/unit_slabs.h"

#include <initializer_list>
#include <new>

namespace pirin {

namespace {

// Every unit object is preceded by the slab that holds it (null: made alone).
constexpr std::size_t kPrefixSize = 8;

TUnitSlab*& PrefixOf(void* object) noexcept {
    return *reinterpret_cast<TUnitSlab**>(static_cast<std::uint8_t*>(object) - kPrefixSize);
}

}  // namespace

// A slab: this header, then its slots. Slots past `Handed` were never used
// (their memory is not touched before a unit needs it); freed ones form a
// list through their first bytes.
struct TUnitSlab {
    TUnitSlabPool* Pool;
    TUnitSlab* Prev = nullptr;
    TUnitSlab* Next = nullptr;
    void* FreeList = nullptr;
    std::size_t Stride;
    std::uint32_t Slots;
    std::uint32_t Handed = 0;
    std::uint32_t Used = 0;
    bool InFull = false;

    static constexpr std::size_t HeaderSize() noexcept { return (sizeof(TUnitSlab) + 15) / 16 * 16; }
    std::uint8_t* SlotArea() noexcept { return reinterpret_cast<std::uint8_t*>(this) + HeaderSize(); }

    void* TakeSlot() noexcept {
        void* object;
        if (FreeList != nullptr) {
            object = FreeList;
            FreeList = *static_cast<void**>(object);
        } else {
            object = SlotArea() + static_cast<std::size_t>(Handed++) * Stride + kPrefixSize;
        }
        PrefixOf(object) = this;
        ++Used;
        return object;
    }

    void GiveSlot(void* object) noexcept {
        *static_cast<void**>(object) = FreeList;
        FreeList = object;
        --Used;
        if (Pool != nullptr)
            Pool->SlotFreed(*this);
        else if (Used == 0)
            ::operator delete(this);  // orphaned by its pool, now empty
    }
};

namespace {

void PushFront(TUnitSlab*& head, TUnitSlab& slab) noexcept {
    slab.Prev = nullptr;
    slab.Next = head;
    if (head != nullptr) head->Prev = &slab;
    head = &slab;
}

void Remove(TUnitSlab*& head, TUnitSlab& slab) noexcept {
    if (slab.Prev != nullptr)
        slab.Prev->Next = slab.Next;
    else
        head = slab.Next;
    if (slab.Next != nullptr) slab.Next->Prev = slab.Prev;
    slab.Prev = slab.Next = nullptr;
}

}  // namespace

TUnitSlabPool::TUnitSlabPool(std::size_t slotsPerSlab)
    : FSlotsPerSlab(slotsPerSlab > 0 ? slotsPerSlab : 1) {}

TUnitSlabPool::~TUnitSlabPool() {
    for (TUnitSlab* list : {FOpen, FFull}) {
        for (TUnitSlab* slab = list; slab != nullptr;) {
            TUnitSlab* const next = slab->Next;
            if (slab->Used == 0)
                ::operator delete(slab);
            else
                slab->Pool = nullptr;  // frees itself with its last unit
            slab = next;
        }
    }
}

void* TUnitSlabPool::Take(std::size_t objectSize, std::size_t inlineBytes) {
    objectSize = RoundUp(objectSize);
    inlineBytes = RoundUp(inlineBytes);
    if (objectSize != FObjectSize || inlineBytes != FInlineBytes) {
        if (FSlotsInUse != 0) return nullptr;
        // Nothing in use: only empty slabs of the old layout remain.
        while (FOpen != nullptr) DestroySlab(*FOpen);
        FEmptySlabs = 0;
        FObjectSize = objectSize;
        FInlineBytes = inlineBytes;
        FSlotStride = kPrefixSize + objectSize + inlineBytes;
    }
    TUnitSlab* slab = FOpen != nullptr ? FOpen : NewSlab();
    if (slab->Used == 0) --FEmptySlabs;
    void* object = slab->TakeSlot();
    ++FSlotsInUse;
    if (slab->Used == slab->Slots) {
        Remove(FOpen, *slab);
        PushFront(FFull, *slab);
        slab->InFull = true;
    }
    return object;
}

TUnitSlab* TUnitSlabPool::NewSlab() {
    void* memory = ::operator new(TUnitSlab::HeaderSize() + FSlotsPerSlab * FSlotStride);
    auto* slab = new (memory) TUnitSlab{.Pool = this,
                                        .Stride = FSlotStride,
                                        .Slots = static_cast<std::uint32_t>(FSlotsPerSlab)};
    PushFront(FOpen, *slab);
    ++FSlabCount;
    ++FEmptySlabs;
    return slab;
}

void TUnitSlabPool::SlotFreed(TUnitSlab& slab) noexcept {
    --FSlotsInUse;
    if (slab.InFull) {
        Remove(FFull, slab);
        PushFront(FOpen, slab);
        slab.InFull = false;
    }
    if (slab.Used != 0) return;
    // One empty slab is kept for the next unit; more go back.
    if (FEmptySlabs > 0)
        DestroySlab(slab);
    else
        ++FEmptySlabs;
}

void TUnitSlabPool::DestroySlab(TUnitSlab& slab) noexcept {
    Remove(slab.InFull ? FFull : FOpen, slab);
    --FSlabCount;
    ::operator delete(&slab);
}

void* TUnitSlabPool::AllocateAlone(std::size_t objectSize) {
    void* memory = ::operator new(kPrefixSize + objectSize);
    void* object = static_cast<std::uint8_t*>(memory) + kPrefixSize;
    PrefixOf(object) = nullptr;
    return object;
}

void TUnitSlabPool::Free(void* object) noexcept {
    if (object == nullptr) return;
    TUnitSlab* const slab = PrefixOf(object);
    if (slab == nullptr)
        ::operator delete(static_cast<std::uint8_t*>(object) - kPrefixSize);
    else
        slab->GiveSlot(object);
}

}  // namespace pirin
