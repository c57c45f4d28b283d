#include "tools/tool_table.h"

#include <unicode/unistr.h>

#include <utility>

#include "errors/engine_error.h"
#include "tables/password_encodings.h"
#include "tables/pirin_session.h"
#include "tables/session_list.h"
#include "tools/table_text.h"

namespace pirin::tools {

namespace {

// Each password in every code page that holds it, once, noted in `added`;
// false the second time, so the engine gives up with 10498.
TPirinSession::TPasswordEvent PasswordPrompt(std::vector<std::string> passwords,
                                             std::vector<std::string>& added) {
    return [passwords = std::move(passwords), &added, asked = false](TPirinSession& session,
                                                                     bool& continueOpen) mutable {
        continueOpen = !asked;
        if (asked) return;
        asked = true;
        for (const std::string& password : passwords) {
            const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
                icu::StringPiece(password.data(), static_cast<int32_t>(password.size())));
            const std::u16string_view units(text.getBuffer(),
                                            static_cast<std::size_t>(text.length()));
            for (std::string& form : PasswordEncodings(units)) {
                session.AddPassword(form);
                added.push_back(std::move(form));
            }
        }
    };
}

}  // namespace

TTableLocation ToolTableLocation(const std::string& directory, const std::string& table) {
    std::string folder = directory.empty() ? "./" : directory;
    if (folder.back() != '/') folder += '/';
    return {.Directory = folder, .Name = table};
}

TToolTable::TToolTable(const TTableLocation& location, const std::vector<std::string>& passwords) {
    TPirinSession& session = Session();
    FStartedSession = !session.Active();
    try {
        session.SetActive(true);
        for (const std::string& password : passwords) {
            session.AddPassword(password);
            FPasswords.push_back(password);
        }
        FPreviousPrompt = std::exchange(session.OnPassword, PasswordPrompt(passwords, FPasswords));
        FPromptSet = true;
        FTable = std::make_unique<TPirinTable>();
        FTable->SetDatabaseName(location.Directory);
        FTable->SetTableName(location.Name);
        FTable->Open();
        FCodePage = &TCodePage::OfLanguage(Cursor().Language());
    } catch (...) {
        Release();
        throw;
    }
}

TToolTable::~TToolTable() { Release(); }

std::string TToolTable::TableName(const std::string& utf8) const {
    try {
        return EncodeTableText(*FCodePage, utf8);
    } catch (const ETableTextError&) {
        return utf8;
    }
}

void TToolTable::Close() {
    if (FTable) FTable->Close();
    Release();
}

void TToolTable::Release() noexcept {
    FTable.reset();  // closes quietly
    TPirinSession& session = Session();
    if (FPromptSet) session.OnPassword = std::move(FPreviousPrompt);
    FPromptSet = false;
    FPreviousPrompt = nullptr;
    try {
        if (FStartedSession) {
            session.SetActive(false);
        } else {
            for (const std::string& password : FPasswords) session.RemovePassword(password);
        }
    } catch (...) {
        // Only after an error already on its way, or after Close.
    }
    FStartedSession = false;
    FPasswords.clear();
}

}  // namespace pirin::tools
