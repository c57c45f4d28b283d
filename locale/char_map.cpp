#include "locale/char_map.h"

#include <numeric>
#include <span>

#include "locale/list_quick_sort.h"
#include "locale/locale_compare.h"

namespace pirin {

TLanguageCharMap TLanguageCharMap::Build(std::uint16_t language, std::uint16_t sort) {
    TLanguageCharMap result;
    result.FLanguage = language;
    result.FSort = sort;
    std::iota(result.FMap.begin(), result.FMap.end(), std::uint8_t{0});
    auto compare = [&](std::uint8_t a, std::uint8_t b) {
        return LocaleCompareChar(language, sort, a, b);
    };
    if (language != 0) ListQuickSort(std::span<std::uint8_t>(result.FMap), compare);
    std::uint8_t run = 0;
    for (std::size_t p = 0; p < 256; ++p) {
        if (p > 0 && compare(result.FMap[p - 1], result.FMap[p]) != 0) ++run;
        result.FRun[p] = run;
        result.FPosition[result.FMap[p]] = static_cast<std::uint8_t>(p);
    }
    return result;
}

std::optional<std::uint8_t> TLanguageCharMap::NextHigher(std::uint8_t byte) const {
    const std::size_t p = FPosition[byte];
    for (std::size_t q = p + 1; q < 256; ++q)
        if (FRun[q] != FRun[p]) return FMap[q];
    return std::nullopt;
}

std::optional<std::uint8_t> TLanguageCharMap::NextLower(std::uint8_t byte) const {
    const std::size_t p = FPosition[byte];
    for (std::size_t q = p; q-- > 0;)
        if (FRun[q] != FRun[p]) return FMap[q];
    return std::nullopt;
}

TLanguageCharMapsList::TLanguageCharMapsList() { FMaps.reserve(256); }

TLanguageCharMapsList& TLanguageCharMapsList::Instance() {
    static TLanguageCharMapsList instance;
    return instance;
}

TLanguageCharMap TLanguageCharMapsList::Get(std::uint16_t language, std::uint16_t sort) {
    std::lock_guard hold(FLock);
    for (const TLanguageCharMap& map : FMaps)
        if (map.Language() == language && map.Sort() == sort) return map;
    FMaps.push_back(TLanguageCharMap::Build(language, sort));
    return FMaps.back();
}

std::size_t TLanguageCharMapsList::Count() const {
    std::lock_guard hold(FLock);
    return FMaps.size();
}

void TLanguageCharMapsList::Clear() {
    std::lock_guard hold(FLock);
    FMaps.clear();
}

}  // namespace pirin
