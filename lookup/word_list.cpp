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

std::pair<std::size_t, std::size_t> TWordList::PrefixRun(std::string_view folded) const {
    const auto itemOf = [this](std::int32_t index) -> const std::string& {
        return FFolded[static_cast<std::size_t>(index)];
    };
    const auto first = std::partition_point(FSorted.begin(), FSorted.end(),
                                            [&](std::int32_t i) { return itemOf(i) < folded; });
    const auto last = std::partition_point(first, FSorted.end(), [&](std::int32_t i) {
        return itemOf(i).compare(0, folded.size(), folded) == 0;
    });
    return {static_cast<std::size_t>(first - FSorted.begin()), static_cast<std::size_t>(last - FSorted.begin())};
}

int TWordList::FindExact(std::string_view key) const { return FindFoldedExact(Folded(key)); }

int TWordList::FindFoldedExact(std::string_view folded) const {
    // Sorted by folded bytes then index: the first equal item is the lowest.
    const auto it = std::partition_point(FSorted.begin(), FSorted.end(), [&](std::int32_t i) {
        return FFolded[static_cast<std::size_t>(i)] < folded;
    });
    if (it == FSorted.end() || FFolded[static_cast<std::size_t>(*it)] != folded) return -1;
    return *it;
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
    if (const int exact = FindFoldedExact(folded); exact >= 0) return exact;
    const std::string_view view = folded;
    for (std::size_t length = view.size(); length > 0; --length) {
        if (const int found = FindFoldedPrefix(view.substr(0, length)); found >= 0) return found;
    }
    return -1;
}

}  // namespace vorlano
