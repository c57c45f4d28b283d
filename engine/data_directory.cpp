#include "engine/data_directory.h"

#include <algorithm>

#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/table_create.h"
#include "errors/engine_error.h"
#include "storage/file_list.h"

namespace pirin {

TDataDirectory::TDataDirectory(TDataSession& session, std::string databaseName, std::string path)
    : FSession(session), FDatabaseName(std::move(databaseName)), FPath(std::move(path)) {}

TDataDirectory::~TDataDirectory() {
    try {
        Rollback();
    } catch (...) {
        // Destruction cannot report; the tables close all the same.
    }
    while (!FTables.empty()) FTables.pop_back();
}

const std::string& TDataDirectory::ErrorName() const {
    return FSession.ServerSide() ? FDatabaseName : FPath;
}

int TDataDirectory::OpenTable(std::string_view tableName, bool inMemory, bool exclusive,
                              bool sharesExclusiveOpen, TDataTable*& table, bool ordinary) {
    table = nullptr;
    for (const auto& listed : FTables) {
        if (!SameEngineName(listed->TableName(), tableName) || listed->InMemory() != inMemory)
            continue;
        if (listed->OpenCount() > 0 || listed->InTransaction()) {
            if ((listed->Exclusive() || exclusive) &&
                (listed->OpenCount() > 0 || !listed->InTransaction()) && !sharesExclusiveOpen)
                return -static_cast<int>(PIRIN_OSEACCES);
            listed->Open();
        } else {
            // Kept listed by a transaction while closed: it takes the new flags.
            listed->SetOpenFlags(exclusive, inMemory);
            listed->Open();
        }
        if (ordinary) listed->AddCursor();
        table = listed.get();
        return 0;
    }
    auto created = std::make_unique<TDataTable>(
        *this, std::string(tableName).substr(0, kMaxEngineStringLength), exclusive, inMemory,
        false);
    created->Open();
    // A table opened while the database is in a transaction joins it (and
    // reads under the transaction's lock, not the read lock of its open).
    if (FInTransaction) {
        try {
            created->EndRead();
            created->StartTransaction();
        } catch (...) {
            created->Close(true);
            throw;
        }
    }
    if (ordinary) created->AddCursor();
    table = created.get();
    FTables.push_back(std::move(created));
    return 0;
}

int TDataDirectory::CloseTable(TDataTable& table, bool force, bool ordinary) {
    const auto it = std::find_if(FTables.begin(), FTables.end(),
                                 [&](const auto& owned) { return owned.get() == &table; });
    if (it == FTables.end()) return -static_cast<int>(PIRIN_OSENOENT);
    // A write-back that fails on the last close still closes the files; the
    // table then goes all the same and the error passes on.
    struct TAfterClose {
        TDataDirectory& Directory;
        TDataTable& Table;
        bool Ordinary;
        ~TAfterClose() {
            auto& tables = Directory.FTables;
            const auto listed = std::find_if(tables.begin(), tables.end(), [&](const auto& owned) {
                return owned.get() == &Table;
            });
            if (Table.OpenCount() == 0 && !Table.InTransaction()) {
                auto freed = std::move(*listed);
                tables.erase(listed);
            } else if (Ordinary) {
                Table.RemoveCursor();
            }
        }
    } afterClose{*this, table, ordinary};
    if (table.OpenCount() > 0) table.Close(force);
    return 0;
}

bool TDataDirectory::TableExists(std::string_view tableName, bool inMemory) const {
    for (const auto& listed : FTables)
        if (SameEngineName(listed->TableName(), tableName) && listed->InMemory() == inMemory)
            return true;
    return TFileList::Instance().Exists(TableFileNames(FPath, tableName).Data, inMemory);
}

}  // namespace pirin
