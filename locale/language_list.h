// The languages a table can be ordered by: each name with its language
// identifier (primary language in the low 10 bits, sublanguage above), in the
// engine's fixed order. Identifier 0, "ANSI Standard", orders keys by byte
// value. Names are looked up ignoring letter case.
//
// The list is a constant table: any thread may use it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace pirin {

struct TLanguage {
    std::string_view Name;
    std::uint16_t Id;
};

// All 99 languages in list order.
std::span<const TLanguage> LanguageList();

// The identifier of a language name (ignoring case), if the name is known.
std::optional<std::uint16_t> LanguageIdOf(std::string_view name);
// The position of an identifier in the list, if it is there.
std::optional<int> LanguagePositionOf(std::uint16_t id);
bool IsLanguageName(std::string_view name);

// Order names: "Default Order" for every language, and also
// "German Phone Book Order" for the German entries.
inline constexpr std::string_view kDefaultOrderName = "Default Order";
inline constexpr std::string_view kGermanPhoneBookOrderName = "German Phone Book Order";
bool HasGermanPhoneBookOrder(std::uint16_t id);

}  // namespace pirin
