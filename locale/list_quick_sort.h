// ListQuickSort: the quicksort of the engine's general lists. The pivot is
// the value of the middle element; equal elements may be exchanged, so the
// sort is not stable. Character maps depend on where it leaves bytes that
// compare equal, so it is used instead of std::sort, whose tie order is
// unspecified.
//
// `compare(a, b)` returns a negative, zero or positive number and must be a
// consistent order (ties allowed). Works on the caller's elements, no state.
#pragma once

#include <cstddef>
#include <span>
#include <utility>

namespace pirin {

template <typename T, typename Compare>
void ListQuickSort(std::span<T> items, Compare compare) {
    if (items.size() < 2) return;
    // Recurse into the left part, loop on the right one.
    auto sort = [&](auto& self, std::ptrdiff_t left, std::ptrdiff_t right) -> void {
        std::ptrdiff_t i = 0;
        do {
            i = left;
            std::ptrdiff_t j = right;
            const T pivot = items[static_cast<std::size_t>((left + right) / 2)];
            do {
                while (compare(items[static_cast<std::size_t>(i)], pivot) < 0) ++i;
                while (compare(items[static_cast<std::size_t>(j)], pivot) > 0) --j;
                if (i <= j) {
                    std::swap(items[static_cast<std::size_t>(i)],
                              items[static_cast<std::size_t>(j)]);
                    ++i;
                    --j;
                }
            } while (i <= j);
            if (left < j) self(self, left, j);
            left = i;
        } while (i < right);
    };
    sort(sort, 0, static_cast<std::ptrdiff_t>(items.size()) - 1);
}

}  // namespace pirin
