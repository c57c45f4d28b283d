// Helpers shared by the collation tests: single-byte text from readable
// literals, the engine error code a call raises, and the locales used.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "errors/engine_error.h"
#include "locale/code_page.h"

namespace pirin::test {

inline constexpr std::uint16_t kAnsi = 0x0000;
inline constexpr std::uint16_t kBulgarian = 0x0402;
inline constexpr std::uint16_t kEnglish = 0x0409;
inline constexpr std::uint16_t kFrench = 0x040C;
inline constexpr std::uint16_t kGerman = 0x0407;
inline constexpr std::uint16_t kSwedish = 0x041D;
inline constexpr std::uint16_t kTurkish = 0x041F;

// Windows-1251 / 1252 / 1254 bytes of a text.
inline std::string Cp1251(std::u16string_view text) { return TCodePage::Of(1251).Encode(text); }
inline std::string Cp1252(std::u16string_view text) { return TCodePage::Of(1252).Encode(text); }
inline std::string Cp1254(std::u16string_view text) { return TCodePage::Of(1254).Encode(text); }

// The engine error code `call` raises, -1 when it raises nothing.
template <class Call>
int EngineErrorOf(Call call) {
    try {
        call();
    } catch (const EPirinEngineError& e) {
        return e.ErrorCode;
    }
    return -1;
}

}  // namespace pirin::test
