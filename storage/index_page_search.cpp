// Searches within one index page: the binary search of a descent, the
// insertion point, range bounds, and the scans of record runs.
#include <algorithm>

#include "locale/compare_keys.h"
#include "storage/index_page.h"

namespace pirin {


void TPage::CheckSearch(std::span<const std::uint8_t> key, std::size_t compareLength) const {
    if (!FAttached || IsParameterPage()) RaiseCorrupt();
    if (compareLength > KeyLength() || compareLength > key.size()) RaiseKeySize();
}

TPageFind TPage::FindEntry(std::span<const std::uint8_t> key, std::size_t compareLength,
                           bool nearest) const {
    CheckSearch(key, compareLength);
    if (!FConfig.Keys) RaiseCorrupt();
    return FindEntry(TKeySearch(*FConfig.Keys, key.data(), compareLength), nearest);
}

TPageFind TPage::FindEntry(const TKeySearch& compare, bool nearest) const {
    const std::size_t compareLength = compare.Count();
    CheckSearch({static_cast<const std::uint8_t*>(compare.Key()), compareLength}, compareLength);
    // A search made for another index's keys compares by this page's.
    if (&compare.Index() != FConfig.Keys) {
        return FindEntry({static_cast<const std::uint8_t*>(compare.Key()), compareLength},
                         compareLength, nearest);
    }
    if (NumberOfEntries() == 0) RaiseCorrupt();
    const int n = NumberOfEntries();
    const bool leaf = IsLeaf();
    TPageFind result;
    // Entries before lo are below the key, entries after hi above it.
    int lo = 1;
    int hi = n;
    while (lo <= hi) {
        const int mid = static_cast<int>(static_cast<unsigned>(lo + hi) / 2);
        const int c = compare(KeyAt(static_cast<std::size_t>(mid - 1)));
        if (c < 0) {
            lo = mid + 1;
        } else if (c > 0) {
            hi = mid - 1;
        } else {
            result.Found = true;
            result.Position = mid;
            break;
        }
    }
    if (!result.Found) {
        // A leaf searched for the nearest entry: the first entry above the
        // key (the last entry when there is none); otherwise the last entry
        // below it (the first when there is none), the child to descend to.
        const bool above = leaf && nearest;
        result.Position = above ? std::min(lo, n) : std::max(hi, 1);
        result.Above = above && lo > n;
    }
    result.KeysBefore = KeysBefore(result.Position);
    return result;
}

int TPage::FindInsertPosition(std::span<const std::uint8_t> key) const {
    CheckSearch(key, KeyLength());
    return FindInsertPosition(TKeySearch(*FConfig.Keys, key.data(), KeyLength()));
}

int TPage::FindInsertPosition(const TKeySearch& compare) const {
    CheckSearch({static_cast<const std::uint8_t*>(compare.Key()), compare.Count()}, KeyLength());
    // A search made for another index's keys, or for part of a key, is
    // repeated with this page's.
    if (&compare.Index() != FConfig.Keys || compare.Count() != KeyLength())
        return FindInsertPosition({static_cast<const std::uint8_t*>(compare.Key()), KeyLength()});
    // Entries not above the key form a prefix of the page: find its end.
    int lo = 0;
    int hi = NumberOfEntries();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compare(KeyAt(static_cast<std::size_t>(mid))) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int TPage::FindFirst(std::span<const std::uint8_t> key, std::size_t compareLength) const {
    CheckSearch(key, compareLength);
    const TKeySearch compare(*FConfig.Keys, key.data(), compareLength);
    int lo = 0;
    int hi = NumberOfEntries();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compare(KeyAt(static_cast<std::size_t>(mid))) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo + 1;
}

int TPage::FindLast(std::span<const std::uint8_t> key, std::size_t compareLength) const {
    CheckSearch(key, compareLength);
    const TKeySearch compare(*FConfig.Keys, key.data(), compareLength);
    int lo = 0;
    int hi = NumberOfEntries();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compare(KeyAt(static_cast<std::size_t>(mid))) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int TPage::ConsecutiveRun(int position, TReadDirection direction, int limit) const {
    const int n = NumberOfEntries();
    if (position < 1 || position > n || limit < 1) return 0;
    const int step = direction == TReadDirection::Forward ? 1 : -1;
    int run = 1;
    for (int at = position; run < limit; at += step, ++run) {
        const int next = at + step;
        if (next < 1 || next > n) break;
        const std::int64_t expected = std::int64_t{RefAt(static_cast<std::size_t>(at - 1))} + step;
        if (RefAt(static_cast<std::size_t>(next - 1)) != expected) break;
    }
    return run;
}

int TPage::NextAccepted(int position, TReadDirection direction,
                        const std::function<bool(std::int32_t)>& accept) const {
    const int n = NumberOfEntries();
    const int step = direction == TReadDirection::Forward ? 1 : -1;
    for (int at = position; at >= 1 && at <= n; at += step)
        if (accept(RefAt(static_cast<std::size_t>(at - 1)))) return at;
    return 0;
}

}  // namespace pirin
