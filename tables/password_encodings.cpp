#include "tables/password_encodings.h"

#include <algorithm>

#include "errors/engine_error.h"
#include "locale/code_page.h"

namespace pirin {

namespace {

// The single-byte code pages a table language can have.
constexpr int kCodePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

}  // namespace

std::vector<std::string> PasswordEncodings(std::u16string_view password) {
    std::vector<std::string> forms;
    for (const int number : kCodePages) {
        const TCodePage* codePage = nullptr;
        try {
            codePage = &TCodePage::Of(number);
        } catch (const EPirinEngineError&) {
            continue;  // a code page ICU lacks holds no table here
        }
        std::string bytes;
        bool holds = true;
        for (const char16_t c : password) {
            const auto byte = codePage->FromUnicode(c);
            if (!byte) {
                holds = false;
                break;
            }
            bytes.push_back(static_cast<char>(*byte));
        }
        if (holds && std::find(forms.begin(), forms.end(), bytes) == forms.end())
            forms.push_back(std::move(bytes));
    }
    return forms;
}

}  // namespace pirin
