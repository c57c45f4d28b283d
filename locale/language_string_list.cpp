#include "locale/language_string_list.h"

#include <span>
#include <string>

#include "errors/database_error.h"
#include "locale/list_quick_sort.h"
#include "locale/locale_compare.h"

namespace pirin {

int TLanguageStringList::Compare(std::string_view a, std::string_view b) const {
    return LocaleCompare(FLanguage, FSort, a, b, true);
}

void TLanguageStringList::CheckPosition(std::size_t position) const {
    if (position >= FItems.size())
        DatabaseErrorFmt("List index out of bounds (%s)", std::to_string(position));
}

const std::string& TLanguageStringList::operator[](std::size_t position) const {
    CheckPosition(position);
    return FItems[position];
}

void TLanguageStringList::SetLocale(std::uint16_t language, std::uint16_t sort) {
    FLanguage = language;
    FSort = sort;
    ListQuickSort(std::span<std::string>(FItems),
                  [this](const std::string& a, const std::string& b) { return Compare(a, b); });
}

bool TLanguageStringList::Find(std::string_view text, std::size_t& position) const {
    std::size_t low = 0;
    std::size_t high = FItems.size();
    bool found = false;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const int r = Compare(FItems[middle], text);
        if (r < 0) {
            low = middle + 1;
        } else {
            high = middle;
            if (r == 0) found = true;  // keep going left to the first equal one
        }
    }
    position = low;
    return found;
}

std::size_t TLanguageStringList::Add(std::string_view text) {
    std::size_t position = 0;
    if (!Find(text, position))
        FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(position), std::string(text));
    return position;
}

std::ptrdiff_t TLanguageStringList::IndexOf(std::string_view text) const {
    std::size_t position = 0;
    return Find(text, position) ? static_cast<std::ptrdiff_t>(position) : -1;
}

void TLanguageStringList::Delete(std::size_t position) {
    CheckPosition(position);
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(position));
}

}  // namespace pirin
