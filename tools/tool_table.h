// Opening a table for a tool command through the table component, as any
// program does: the default session gets every password given by
// --password, and a TPirinTable opens the table by its folder (a temporary
// database of the session) and name. Passwords come as UTF-8, and a table
// keeps its own in its code page, which is known only once the table is
// open: the session's password prompt (OnPassword, the mechanism the
// desktop program's dialog uses) therefore registers each password once
// more in every single-byte code page that can hold it, and gives up when
// the engine asks a second time. A tool never prompts a person.
//
// Ownership: owns the table component; when the default session was
// inactive it is started here and stopped again on destruction (which
// finalises the engine), else the passwords added are removed again; the
// session's own OnPassword is restored.
// Threads: one; one TToolTable at a time per process.
// Failures: EPirinEngineError from opening (11010 missing table, 11013 a
// file in use, 12035, 8961, 15878, ...) and 10498 when the table is
// encrypted and no given password is its own; EDatabaseError from the
// component.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_table.h"
#include "engine/table_create.h"
#include "locale/code_page.h"
#include "tables/pirin_session.h"
#include "tables/pirin_table.h"

namespace pirin::tools {

// The location of TABLE in folder DIR ("/" added when missing).
TTableLocation ToolTableLocation(const std::string& directory, const std::string& table);

class TToolTable {
  public:
    TToolTable(const TTableLocation& location, const std::vector<std::string>& passwords);
    ~TToolTable();
    TToolTable(const TToolTable&) = delete;
    TToolTable& operator=(const TToolTable&) = delete;

    // Closes the table, raising what closing raises; the destructor closes
    // quietly (after an error that is already on its way).
    void Close();

    // The open table component.
    TPirinTable& DataSet() noexcept { return *FTable; }
    // Its engine cursor and shared table, for the commands that work on
    // the files (info, verify, copy).
    TDataCursor& Cursor() noexcept { return *FTable->Cursor(); }
    TDataTable& Table() noexcept { return *Cursor().Table(); }
    const TCodePage& CodePage() const noexcept { return *FCodePage; }
    // A name (index, field) given as UTF-8 in the table's code page; a name
    // the code page cannot hold is returned as given (no such name exists).
    std::string TableName(const std::string& utf8) const;

  private:
    void Release() noexcept;

    bool FStartedSession = false;
    std::vector<std::string> FPasswords;
    // The session's prompt before this table's, given back on release.
    TPirinSession::TPasswordEvent FPreviousPrompt;
    bool FPromptSet = false;
    std::unique_ptr<TPirinTable> FTable;
    const TCodePage* FCodePage = nullptr;
};

}  // namespace pirin::tools
