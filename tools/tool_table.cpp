#include "tools/tool_table.h"

#include "storage/password_gate.h"
#include "tools/table_text.h"

namespace pirin::tools {

namespace {

class TGivenPasswords final : public TPasswordSource {
  public:
    explicit TGivenPasswords(const std::vector<std::string>& passwords) : FPasswords(passwords) {}
    const std::vector<std::string>& Passwords() const override { return FPasswords; }
    bool PromptForPassword() override { return false; }

  private:
    const std::vector<std::string>& FPasswords;
};

}  // namespace

TTableLocation ToolTableLocation(const std::string& directory, const std::string& table) {
    std::string folder = directory.empty() ? "./" : directory;
    if (folder.back() != '/') folder += '/';
    return {.Directory = folder, .Name = table};
}

TToolTable::TToolTable(const TTableLocation& location, const std::vector<std::string>& passwords)
    : FFiles(location), FCodePage(TCodePage::OfLanguage(FFiles.Data().Language())) {
    // Passwords come as UTF-8; the table stores its own in its code page.
    std::vector<std::string> encoded;
    for (const std::string& password : passwords) {
        try {
            encoded.push_back(EncodeTableText(FCodePage, password));
        } catch (const ETableTextError&) {
            // A password this table's code page cannot hold is not its password.
        }
    }
    TGivenPasswords given(encoded);
    PassPasswordGate(FFiles.Data().Encrypted(), FFiles.Data().GetPassword(), given, location.Name);
}

}  // namespace pirin::tools
