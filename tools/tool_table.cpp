#include "tools/tool_table.h"

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/engine.h"
#include "tools/table_text.h"

namespace pirin::tools {

TTableLocation ToolTableLocation(const std::string& directory, const std::string& table) {
    std::string folder = directory.empty() ? "./" : directory;
    if (folder.back() != '/') folder += '/';
    return {.Directory = folder, .Name = table};
}

TToolTable::TToolTable(const TTableLocation& location, const std::vector<std::string>& passwords) {
    FOwnsEngine = !EngineInitialized();
    InitializeEngine();
    try {
        TDataSession& session = DefaultSession();
        for (const std::string& password : passwords) session.AddPassword(password);
        FDirectory = &session.OpenDatabase(location.Directory, location.Directory);
        FCursor = std::make_unique<TDataCursor>(*FDirectory);
        FCursor->SetTableName(location.Name);
        FCursor->SetPasswordCallback(
            nullptr, [passwords, encodedOnce = false](void*, TDataCursor& cursor) mutable {
                if (encodedOnce) return false;
                encodedOnce = true;
                const TCodePage& codePage =
                    TCodePage::OfLanguage(cursor.Table()->DataFile().Language());
                for (const std::string& password : passwords) {
                    try {
                        cursor.Session().AddPassword(EncodeTableText(codePage, password));
                    } catch (const ETableTextError&) {
                        // A password this code page cannot hold is not the table's.
                    }
                }
                return true;
            });
        FCursor->Open();
        FCodePage = &TCodePage::OfLanguage(FCursor->Language());
    } catch (...) {
        Release();
        throw;
    }
}

TToolTable::~TToolTable() { Release(); }

void TToolTable::Close() {
    if (FCursor && FCursor->IsOpen()) FCursor->Close();
    Release();
}

void TToolTable::Release() noexcept {
    try {
        if (FCursor) FCursor->Close(true);
    } catch (...) {
        // Only after an error already on its way, or after Close.
    }
    FCursor.reset();
    if (FDirectory != nullptr) DefaultSession().CloseDatabase(*FDirectory);
    FDirectory = nullptr;
    if (FOwnsEngine) FinalizeEngine();
    FOwnsEngine = false;
}

}  // namespace pirin::tools
