// TDataDirectory: one database of a session, that is one directory path,
// with the tables open in it. A table open in the directory is one
// TDataTable shared by every cursor of the directory that opens the same
// table name, so its files, headers and caches are read once.
//
// Exclusive use is decided here: a table open in this directory may not be
// opened again exclusively, and one open exclusively may not be opened again
// (11013), except by a clone of the cursor that holds the exclusive open.
//
// Transactions (data_directory_transaction.cpp): StartTransaction puts every
// listed table into the transaction (a table opened later joins it),
// Commit writes every table back and Rollback throws the changes away; a
// table whose last cursor closed meanwhile stays listed until then.
//
// Ownership: the session owns the directory; the directory owns its tables
// and frees a table when its last cursor closes it.
// Threads: the thread of the session. Failures: OpenTable passes on what
// opening the files raises (the table is then not listed).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pirin {

class TDataSession;
class TDataTable;
struct TTableDefinition;

class TDataDirectory {
  public:
    TDataDirectory(TDataSession& session, std::string databaseName, std::string path);
    ~TDataDirectory();
    TDataDirectory(const TDataDirectory&) = delete;
    TDataDirectory& operator=(const TDataDirectory&) = delete;

    TDataSession& Session() const noexcept { return FSession; }
    const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    // Normalised, ending with "/"; empty for the in-memory database.
    const std::string& Path() const noexcept { return FPath; }
    // What error messages name: the path, or the database name on a
    // server-side session.
    const std::string& ErrorName() const;
    int RefCount() const noexcept { return FRefCount; }
    void AddReference() noexcept { ++FRefCount; }
    // Returns the count left (never below 0).
    int ReleaseReference() noexcept { return FRefCount > 0 ? --FRefCount : 0; }
    bool InTransaction() const noexcept { return FInTransaction; }
    const std::vector<std::unique_ptr<TDataTable>>& Tables() const noexcept { return FTables; }

    // The shared table for a cursor, opened for it (0), or -11013 when the
    // exclusive rules refuse it. `ordinary` is false only for query cursors.
    [[nodiscard]] int OpenTable(std::string_view tableName, bool inMemory, bool exclusive,
                                bool sharesExclusiveOpen, TDataTable*& table, bool ordinary = true);
    // Closes the table for one cursor and frees it when nobody uses it;
    // -11010 for a table not listed here.
    [[nodiscard]] int CloseTable(TDataTable& table, bool force, bool ordinary = true);
    // Creates a table in this directory (see engine/table_create.h).
    void CreateTable(std::string_view tableName, const TTableDefinition& definition,
                     bool inMemory = false) const;

    // ---- transactions ----
    // 10249 when a table's writer's byte cannot be had (the tables already
    // started are ended again and the directory stays idle).
    void StartTransaction();
    // The first error of a failed write passes on after every table has been
    // released and taken out of the transaction.
    void Commit(bool trim = true, bool flush = false);
    void Rollback();

    // Listed here, or its data file exists.
    bool TableExists(std::string_view tableName, bool inMemory) const;

  private:
    // Leaves the transaction and frees the tables nobody has open.
    void EndTransactions();

    TDataSession& FSession;
    std::string FDatabaseName;
    std::string FPath;
    int FRefCount = 1;
    bool FInTransaction = false;
    std::vector<std::unique_ptr<TDataTable>> FTables;
};

}  // namespace pirin
