#include "locale/case_mapping.h"

#include <unicode/ustring.h>

#include <array>
#include <map>
#include <memory>
#include <mutex>

#include "errors/engine_error.h"
#include "locale/code_page.h"
#include "locale/locale_check.h"

namespace pirin {

namespace {

using TByteTable = std::array<std::uint8_t, 256>;

struct TCaseTables {
    TByteTable Upper;
    TByteTable Lower;
};

TByteTable BuildTable(const TCodePage& page, const std::string& localeName, bool upper) {
    TByteTable table;
    for (int b = 0; b < 256; ++b) {
        table[b] = static_cast<std::uint8_t>(b);
        const UChar in = page.ToUnicode(static_cast<std::uint8_t>(b));
        UChar out[4] = {};
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = upper ? u_strToUpper(out, 4, &in, 1, localeName.c_str(), &status)
                                     : u_strToLower(out, 4, &in, 1, localeName.c_str(), &status);
        if (U_FAILURE(status) || length != 1) continue;
        if (const auto mapped = page.FromUnicode(out[0])) table[b] = *mapped;
    }
    return table;
}

const TCaseTables& CaseTablesOf(std::uint16_t language, std::uint16_t sort) {
    static std::mutex lock;
    static std::map<std::uint32_t, std::unique_ptr<TCaseTables>> tables;
    const std::uint32_t localeId = LocaleIdOf(language, sort);
    // Every key built for a case-insensitive index asks: the thread's last
    // answer comes without the lock (tables, once made, stay where they are).
    thread_local std::uint32_t lastId = 0;
    thread_local const TCaseTables* last = nullptr;
    if (last != nullptr && lastId == localeId) return *last;
    std::lock_guard hold(lock);
    auto& entry = tables[localeId];
    if (!entry) {
        const std::string name = IcuLocaleName(CollationLocaleIdOf(language, sort));
        if (name.empty()) {
            tables.erase(localeId);
            RaiseEngineError(PIRIN_CANNOTLOADLDDRV);
        }
        try {
            const TCodePage& page = TCodePage::OfLanguage(language);
            entry = std::make_unique<TCaseTables>(
                TCaseTables{BuildTable(page, name, true), BuildTable(page, name, false)});
        } catch (...) {
            tables.erase(localeId);
            throw;
        }
    }
    lastId = localeId;
    last = entry.get();
    return *entry;
}

void MapZeroTerminated(const TByteTable& table, char* text) {
    if (text == nullptr) return;
    for (; *text != '\0'; ++text)
        *text = static_cast<char>(table[static_cast<std::uint8_t>(*text)]);
}

void MapAll(const TByteTable& table, std::string& text) {
    for (char& c : text) c = static_cast<char>(table[static_cast<std::uint8_t>(c)]);
}

}  // namespace

void UpperCaseLocale(std::uint16_t language, std::uint16_t sort, char* text) {
    MapZeroTerminated(CaseTablesOf(language, sort).Upper, text);
}

void LowerCaseLocale(std::uint16_t language, std::uint16_t sort, char* text) {
    MapZeroTerminated(CaseTablesOf(language, sort).Lower, text);
}

void UpperCaseLocale(std::uint16_t language, std::uint16_t sort, std::string& text) {
    MapAll(CaseTablesOf(language, sort).Upper, text);
}

void LowerCaseLocale(std::uint16_t language, std::uint16_t sort, std::string& text) {
    MapAll(CaseTablesOf(language, sort).Lower, text);
}

}  // namespace pirin
