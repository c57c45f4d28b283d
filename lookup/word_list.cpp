#include "lookup/word_list.h"

#include <algorithm>
#include <bit>

namespace vorlano {

std::uint8_t FoldCase(std::uint8_t b) noexcept {
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDF)) return static_cast<std::uint8_t>(b + 0x20);
    return b;
}

namespace {

std::string Folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(FoldCase(static_cast<std::uint8_t>(c)));
    return out;
}

// The first eight bytes, big-endian, with zeros after a shorter text. Two
// texts whose heads differ order as their heads: at the first byte where
// the heads differ either both texts have a byte, or the one that ended
// there is a prefix of the other (and a zero is the lowest byte).
std::uint64_t Head(std::string_view text) {
    std::uint64_t head = 0;
    const std::size_t count = std::min<std::size_t>(text.size(), 8);
    for (std::size_t i = 0; i < count; ++i)
        head |= std::uint64_t{static_cast<std::uint8_t>(text[i])} << (56 - 8 * i);
    return head;
}

}  // namespace

TWordList::TWordList(std::vector<std::string> items) : FItems(std::move(items)) {
    const std::size_t n = FItems.size();
    FFolded.reserve(n);
    for (const std::string& item : FItems) FFolded.push_back(Folded(item));
    FSorted.resize(n);
    for (std::size_t i = 0; i < n; ++i) FSorted[i] = static_cast<std::int32_t>(i);
    // std::string compares bytes unsigned, as memcmp does.
    std::sort(FSorted.begin(), FSorted.end(), [this](std::int32_t a, std::int32_t b) {
        const int order = FFolded[static_cast<std::size_t>(a)].compare(FFolded[static_cast<std::size_t>(b)]);
        return order != 0 ? order < 0 : a < b;
    });
    FHeads.resize(n);
    for (std::size_t i = 0; i < n; ++i) FHeads[i] = Head(FFolded[static_cast<std::size_t>(FSorted[i])]);
    if (n == 0) return;
    FMin.push_back(FSorted);
    for (std::size_t width = 2; width <= n; width *= 2) {
        const std::vector<std::int32_t>& prev = FMin.back();
        std::vector<std::int32_t> level(n - width + 1);
        for (std::size_t i = 0; i < level.size(); ++i) level[i] = std::min(prev[i], prev[i + width / 2]);
        FMin.push_back(std::move(level));
    }
}

int TWordList::MinIndex(std::size_t first, std::size_t last) const {
    const std::size_t level = std::bit_width(last - first) - 1;
    const std::size_t width = std::size_t{1} << level;
    return std::min(FMin[level][first], FMin[level][last - width]);
}

namespace {

// The first sorted position in [first, last) where `before` is false (it is
// true on a leading run of positions only).
template <class TBefore>
std::size_t FirstNotBefore(std::size_t first, std::size_t last, TBefore before) {
    while (first < last) {
        const std::size_t mid = first + (last - first) / 2;
        if (before(mid))
            first = mid + 1;
        else
            last = mid;
    }
    return first;
}

}  // namespace

bool TWordList::SortsBefore(std::size_t at, std::string_view folded, std::uint64_t head) const {
    if (FHeads[at] != head) return FHeads[at] < head;
    return FFolded[static_cast<std::size_t>(FSorted[at])] < folded;
}

std::size_t TWordList::LowerBound(std::string_view folded, std::uint64_t head) const {
    return FirstNotBefore(0, FSorted.size(), [&](std::size_t at) { return SortsBefore(at, folded, head); });
}

std::pair<std::size_t, std::size_t> TWordList::PrefixRun(std::string_view folded) const {
    const std::uint64_t head = Head(folded);
    const std::size_t first = LowerBound(folded, head);
    return {first, RunEnd(first, folded, head)};
}

std::size_t TWordList::RunEnd(std::size_t first, std::string_view folded, std::uint64_t head) const {
    // An item that begins with the key has the key's leading bytes in its
    // head too; only an item whose head agrees there needs reading.
    const std::size_t shown = std::min<std::size_t>(folded.size(), 8);
    const std::uint64_t mask = shown == 0 ? 0 : ~std::uint64_t{0} << (64 - 8 * shown);
    return FirstNotBefore(first, FSorted.size(), [&](std::size_t at) {
        return (FHeads[at] & mask) == (head & mask) &&
               FFolded[static_cast<std::size_t>(FSorted[at])].compare(0, folded.size(), folded) == 0;
    });
}

int TWordList::FindExact(std::string_view key) const { return FindFoldedExact(Folded(key)); }

int TWordList::FindFoldedExact(std::string_view folded) const {
    // Sorted by folded bytes then index: the first equal item is the lowest.
    const std::uint64_t head = Head(folded);
    const std::size_t at = LowerBound(folded, head);
    return EqualAt(at, folded, head) ? FSorted[at] : -1;
}

bool TWordList::EqualAt(std::size_t at, std::string_view folded, std::uint64_t head) const {
    return at < FSorted.size() && FHeads[at] == head && FFolded[static_cast<std::size_t>(FSorted[at])] == folded;
}

int TWordList::FindPrefix(std::string_view key) const { return FindFoldedPrefix(Folded(key)); }

int TWordList::FindFoldedPrefix(std::string_view folded) const {
    const auto [first, last] = PrefixRun(folded);
    return first == last ? -1 : MinIndex(first, last);
}

int TWordList::Search(std::string_view key) const {
    if (key.empty()) return -1;
    // Folded once: a prefix of the folded key is the folded prefix.
    const std::string folded = Folded(key);
    // The item equal to the key and the run of items beginning with it
    // start at the same sorted place: one search finds both.
    const std::uint64_t head = Head(folded);
    const std::size_t first = LowerBound(folded, head);
    if (EqualAt(first, folded, head)) return FSorted[first];
    if (const std::size_t last = RunEnd(first, folded, head); last != first) return MinIndex(first, last);
    const std::string_view view = folded;
    for (std::size_t length = view.size() - 1; length > 0; --length) {
        if (const int found = FindFoldedPrefix(view.substr(0, length)); found >= 0) return found;
    }
    return -1;
}

}  // namespace vorlano
