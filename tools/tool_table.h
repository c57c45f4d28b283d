// Opening a table for a tool command: the folder and table name of the
// command line, the password gate with the passwords given by --password
// (UTF-8, compared in the table's code page; no prompt: a tool never asks),
// and the table's code page for its text.
//
// Ownership: owns the open table files. Threads: one.
// Failures: EPirinEngineError from opening (11010 missing table, ...) and
// 10498 when the table is encrypted and no given password is its own.
#pragma once

#include <string>
#include <vector>

#include "engine/table_files.h"
#include "locale/code_page.h"

namespace pirin::tools {

// The location of TABLE in folder DIR ("/" added when missing).
TTableLocation ToolTableLocation(const std::string& directory, const std::string& table);

class TToolTable {
  public:
    TToolTable(const TTableLocation& location, const std::vector<std::string>& passwords);

    TTableFiles& Files() noexcept { return FFiles; }
    const TCodePage& CodePage() const noexcept { return FCodePage; }

  private:
    TTableFiles FFiles;
    const TCodePage& FCodePage;
};

}  // namespace pirin::tools
