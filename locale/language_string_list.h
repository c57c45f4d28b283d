// TLanguageStringList: a sorted list of single-byte strings of one locale,
// ordered and searched with LocaleCompare ignoring letter case. It holds word
// lists for text indexing.
//
// Strings that compare equal are kept once: Add of an equal string returns
// the position of the one already there. Changing the locale re-sorts with
// ListQuickSort. Owned by its user; one thread at a time. Comparisons raise
// 15878 when the locale has no ICU name; a bad position raises EDatabaseError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pirin {

class TLanguageStringList {
  public:
    TLanguageStringList(std::uint16_t language, std::uint16_t sort)
        : FLanguage(language), FSort(sort) {}

    std::uint16_t Language() const { return FLanguage; }
    std::uint16_t Sort() const { return FSort; }
    // Re-sorts the strings by the new locale; strings that now compare equal
    // all stay.
    void SetLocale(std::uint16_t language, std::uint16_t sort);

    // Inserts at the sorted position; returns the position of the string.
    std::size_t Add(std::string_view text);
    // True when an equal string is present; `position` is where it is, or
    // where `text` would be inserted.
    bool Find(std::string_view text, std::size_t& position) const;
    // Position of an equal string, -1 when there is none.
    std::ptrdiff_t IndexOf(std::string_view text) const;
    void Delete(std::size_t position);
    void Clear() { FItems.clear(); }

    std::size_t Count() const { return FItems.size(); }
    // A position at or beyond Count raises EDatabaseError "List index out of
    // bounds (n)".
    const std::string& operator[](std::size_t position) const;
    const std::vector<std::string>& Items() const { return FItems; }

  private:
    int Compare(std::string_view a, std::string_view b) const;
    void CheckPosition(std::size_t position) const;

    std::uint16_t FLanguage;
    std::uint16_t FSort;
    std::vector<std::string> FItems;
};

}  // namespace pirin
