// Opening a table for a tool command through the engine, as any program
// does: the engine is initialised, the default session gets every password
// given by --password, a database is opened on the folder, and a cursor
// opens the table (header verification for the first opener, the password
// gate, field descriptors, the primary index). Passwords come as UTF-8 and a
// table keeps its own in its code page, which is known only once the table
// is open: the cursor's password callback therefore registers the passwords
// again in that code page, once, before the gate gives up. A tool never
// prompts.
//
// Ownership: owns the engine state it initialised (finalised again on
// destruction), the database reference and the open cursor.
// Threads: one; one TToolTable at a time per process.
// Failures: EPirinEngineError from opening (11010 missing table, 11013 a
// file in use, 12035, 8961, 15878, ...) and 10498 when the table is
// encrypted and no given password is its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_table.h"
#include "engine/table_create.h"
#include "locale/code_page.h"

namespace pirin {
class TDataDirectory;
}

namespace pirin::tools {

// The location of TABLE in folder DIR ("/" added when missing).
TTableLocation ToolTableLocation(const std::string& directory, const std::string& table);

class TToolTable {
  public:
    TToolTable(const TTableLocation& location, const std::vector<std::string>& passwords);
    ~TToolTable();
    TToolTable(const TToolTable&) = delete;
    TToolTable& operator=(const TToolTable&) = delete;

    // Closes the cursor, raising what closing raises; the destructor closes
    // quietly (after an error that is already on its way).
    void Close();

    TDataCursor& Cursor() noexcept { return *FCursor; }
    TDataTable& Table() noexcept { return *FCursor->Table(); }
    const TCodePage& CodePage() const noexcept { return *FCodePage; }

  private:
    void Release() noexcept;

    bool FOwnsEngine = false;
    TDataDirectory* FDirectory = nullptr;
    std::unique_ptr<TDataCursor> FCursor;
    const TCodePage* FCodePage = nullptr;
};

}  // namespace pirin::tools
