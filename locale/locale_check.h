// Locale identifiers of tables and whether this machine can collate them.
//
// A table stores a language identifier and a sort identifier; together they
// form its locale identifier (sort in the high 16 bits). Collation and case
// mapping run on ICU: a locale counts as installed when its language is in the
// language list and ICU has collation data for the locale itself, not only
// the root fallback.
//
// Thread-safe: answers are computed once per locale and cached under a lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pirin {

inline constexpr std::uint16_t kEnglishUsaLanguage = 0x0409;

// The locale identifier of a table's language and sort.
constexpr std::uint32_t LocaleIdOf(std::uint16_t language, std::uint16_t sort) {
    return language + (static_cast<std::uint32_t>(sort) << 16);
}
// The locale a platform call uses: language 0 becomes English (USA), sort 0.
constexpr std::uint32_t CollationLocaleIdOf(std::uint16_t language, std::uint16_t sort) {
    return language == 0 ? kEnglishUsaLanguage : LocaleIdOf(language, sort);
}

// The ICU locale name of a locale identifier ("bg_BG", "es_ES@collation=traditional").
std::string IcuLocaleName(std::uint32_t localeId);

// True when the language is listed and ICU collates its locale.
bool IsLocaleInstalled(std::uint16_t language, std::uint16_t sort);

// Raises 15878 with the table's name when a table's language is not 0 and its
// locale is not installed.
void CheckLocale(std::uint16_t language, std::uint16_t sort, std::string_view tableName);

// The single-byte code page the table's text is stored in (1251 for
// Bulgarian, 1252 for Western languages and language 0, ...).
int CodePageOf(std::uint16_t language);

}  // namespace pirin
