// Transactions of a database directory, and creating a table in it.
#include <algorithm>
#include <exception>
#include <vector>

#include "engine/data_directory.h"
#include "engine/data_table.h"
#include "engine/table_create.h"

namespace pirin {

void TDataDirectory::CreateTable(std::string_view tableName, const TTableDefinition& definition,
                                 bool inMemory) const {
    pirin::CreateTable({.Directory = inMemory ? std::string() : FPath,
                        .Name = std::string(tableName),
                        .InMemory = inMemory},
                       definition);
}

void TDataDirectory::StartTransaction() {
    if (FInTransaction) return;
    try {
        for (const auto& table : FTables) table->StartTransaction();
    } catch (...) {
        // The tables started so far hold nothing yet: ending them is enough.
        for (auto it = FTables.rbegin(); it != FTables.rend(); ++it) {
            try {
                (*it)->RollbackTransaction();
            } catch (...) {
            }
        }
        throw;
    }
    FInTransaction = true;
}

void TDataDirectory::Commit(bool trim, bool flush) {
    if (!FInTransaction) return;
    std::exception_ptr failure;
    const auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    };
    // Every table's write lock first, so that a table that cannot be
    // locked fails the commit before any table is written.
    for (auto it = FTables.rbegin(); it != FTables.rend() && !failure; ++it) {
        TDataTable& table = **it;
        if (table.TransactionActive() && !table.ReadOnly())
            attempt([&] { (void)table.BeginCommitWrite(); });
    }
    std::vector<const TDataTable*> written;
    if (!failure) {
        for (auto it = FTables.rbegin(); it != FTables.rend() && !failure; ++it)
            attempt([&] {
                (*it)->CommitTransaction(trim, flush);
                written.push_back(it->get());
            });
    }
    // A table the commit did not write (a lock or an earlier table failed)
    // is rolled back: its caches must not go on showing changes that never
    // reach the files. One whose write-back is owed keeps it.
    for (auto it = FTables.rbegin(); it != FTables.rend(); ++it) {
        TDataTable& table = **it;
        const bool stored = table.WriteBackOwed() ||
                            std::find(written.begin(), written.end(), &table) != written.end();
        attempt([&] { stored ? table.EndTransaction() : table.RollbackTransaction(); });
    }
    EndTransactions();
    if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::Rollback() {
    if (!FInTransaction) return;
    std::exception_ptr failure;
    for (auto it = FTables.rbegin(); it != FTables.rend(); ++it) {
        try {
            (*it)->RollbackTransaction();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    EndTransactions();
    if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::EndTransactions() {
    FInTransaction = false;
    // Tables kept listed for the transaction after their last cursor closed.
    for (auto it = FTables.begin(); it != FTables.end();) {
        if ((*it)->OpenCount() > 0) {
            ++it;
            continue;
        }
        try {
            (*it)->Close(false);
        } catch (...) {
            // Closing writes nothing back here; the files close all the same.
        }
        it = FTables.erase(it);
    }
}

}  // namespace pirin
