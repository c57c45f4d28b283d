// TTableFiles: the files of one table opened directly through storage, with
// no engine session: the data file, the index file (its key layout set from
// the table's fields) and, when the table has BLOB fields, the BLOB file, on
// a settable TPlainTableContext. For tools and tests that read or change a
// table at file level (the table verifier, `pirin-tool info|verify`, the
// engine tests' fixture); cursors work through TDataTable instead.
//
// Ownership: owns the three handlers and the context. Destroying or Close
// drops every cached unit without writing; WriteAll first to keep changes.
// Threads: one thread at a time.
// Failures raise EPirinEngineError with the table name: what opening the
// files raises (11010 for a missing data or index file, 11013 for a file in
// use, 8961, 12035, ...), including 11010 when a table with BLOB fields has
// no BLOB file. Opening takes no share lock beyond the file layer's own and
// no password gate: the caller checks the password (Password()).
#pragma once

#include <memory>
#include <string>

#include "engine/table_create.h"
#include "storage/blob_file.h"
#include "storage/data_file.h"
#include "storage/index_file.h"
#include "storage/table_file_context.h"

namespace pirin {

class TTableFiles {
  public:
    // Opens the table's files (read-write where allowed).
    explicit TTableFiles(const TTableLocation& location);
    ~TTableFiles();
    TTableFiles(const TTableFiles&) = delete;
    TTableFiles& operator=(const TTableFiles&) = delete;

    TDataFile& Data() noexcept { return FData; }
    TIndexFile& Index() noexcept { return FIndex; }
    // Null for a table without BLOB fields.
    TBlobFile* Blob() noexcept { return FBlob.get(); }
    TPlainTableContext& Context() noexcept { return FContext; }
    const TTableLocation& Location() const noexcept { return FLocation; }

    // Writes back every dirty record, page and block, then the headers
    // (data file last, so that it never counts what the others lack).
    void WriteAll();
    // Closes the files without writing (nothing when closed).
    void Close();

  private:
    TTableLocation FLocation;
    TPlainTableContext FContext;
    TDataFile FData;
    TIndexFile FIndex;
    std::unique_ptr<TBlobFile> FBlob;
};

}  // namespace pirin
