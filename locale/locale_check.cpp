#include "locale/locale_check.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <cstring>
#include <map>
#include <mutex>

#include "errors/engine_error.h"
#include "locale/language_list.h"

namespace pirin {

std::string IcuLocaleName(std::uint32_t localeId) {
    char name[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLocaleForLCID(localeId, name, sizeof name, &status);
    if (U_FAILURE(status)) return {};
    return name;
}

namespace {

bool IcuCollates(std::uint32_t localeId) {
    const std::string name = IcuLocaleName(localeId);
    if (name.empty()) return false;
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(name.c_str(), &status);
    if (U_FAILURE(status) || collator == nullptr) return false;
    // The valid locale is "root" when ICU has nothing for this locale.
    const char* valid = ucol_getLocaleByType(collator, ULOC_VALID_LOCALE, &status);
    const bool known = U_SUCCESS(status) && valid != nullptr && std::strcmp(valid, "root") != 0;
    ucol_close(collator);
    return known;
}

}  // namespace

bool IsLocaleInstalled(std::uint16_t language, std::uint16_t sort) {
    if (!LanguagePositionOf(language)) return false;
    static std::mutex lock;
    static std::map<std::uint32_t, bool> answers;
    const std::uint32_t localeId = CollationLocaleIdOf(language, sort);
    std::lock_guard hold(lock);
    auto it = answers.find(localeId);
    if (it == answers.end()) it = answers.emplace(localeId, IcuCollates(localeId)).first;
    return it->second;
}

void CheckLocale(std::uint16_t language, std::uint16_t sort, std::string_view tableName) {
    if (language != 0 && !IsLocaleInstalled(language, sort))
        RaiseEngineError(PIRIN_CANNOTLOADLDDRV, {.table = tableName});
}

int CodePageOf(std::uint16_t language) {
    switch (language & 0x3FF) {
        case 0x02:  // Bulgarian
        case 0x19:  // Russian
        case 0x22:  // Ukrainian
        case 0x23:  // Belarusian
            return 1251;
        case 0x1A:  // Croatian and Serbian share a primary language
            return language == 0x0C1A ? 1251 : 1250;
        case 0x1C:  // Albanian
        case 0x05:  // Czech
        case 0x0E:  // Hungarian
        case 0x15:  // Polish
        case 0x18:  // Romanian
        case 0x1B:  // Slovak
        case 0x24:  // Slovenian
            return 1250;
        case 0x08:  // Greek
            return 1253;
        case 0x1F:  // Turkish
            return 1254;
        case 0x0D:  // Hebrew
            return 1255;
        case 0x01:  // Arabic
        case 0x29:  // Farsi
            return 1256;
        case 0x25:  // Estonian
        case 0x26:  // Latvian
        case 0x27:  // Lithuanian
            return 1257;
        case 0x2A:  // Vietnamese
            return 1258;
        case 0x1E:  // Thai
            return 874;
        default:
            return 1252;
    }
}

}  // namespace pirin
