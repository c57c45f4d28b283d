#include "tools/tool_table.h"

#include <utility>

#include "errors/engine_error.h"
#include "tables/pirin_session.h"
#include "tables/session_list.h"
#include "tools/table_text.h"

namespace pirin::tools {

namespace {

// The single-byte code pages a table language can have.
constexpr int kCodePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

// Each password in every code page that holds it, once, noted in `added`;
// false the second time, so the engine gives up with 10498.
TPirinSession::TPasswordEvent PasswordPrompt(std::vector<std::string> passwords,
                                             std::vector<std::string>& added) {
    return [passwords = std::move(passwords), &added, asked = false](TPirinSession& session,
                                                                     bool& continueOpen) mutable {
        continueOpen = !asked;
        if (asked) return;
        asked = true;
        for (const int number : kCodePages) {
            const TCodePage* codePage = nullptr;
            try {
                codePage = &TCodePage::Of(number);
            } catch (const EPirinEngineError&) {
                continue;  // a code page ICU lacks holds no table here
            }
            for (const std::string& password : passwords) {
                try {
                    added.push_back(EncodeTableText(*codePage, password));
                    session.AddPassword(added.back());
                } catch (const ETableTextError&) {
                    // A password this code page cannot hold is not a table's of it.
                }
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
