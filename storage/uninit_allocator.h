// TUninitAllocator: an allocator whose containers leave new elements
// uninitialised on resize (resize with a value, insert and assign still fill
// as usual), for buffers whose every byte is written before it is read: the
// bytes of a BLOB, the read buffers of the unit caches, the entries of an
// index page being unpacked. A zero fill there only costs time.
//
// Plain type, any thread, nothing raises but the allocation.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace pirin {

template <class T>
struct TUninitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = TUninitAllocator<U>;
    };
    TUninitAllocator() = default;
    template <class U>
    TUninitAllocator(const TUninitAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... TArgs>
    void construct(U* place, TArgs&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<TArgs>(args)...);
    }
};

// A byte buffer that resize leaves unfilled.
using TUninitBytes = std::vector<std::uint8_t, TUninitAllocator<std::uint8_t>>;

}  // namespace pirin
