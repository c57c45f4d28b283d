#include "bench/sqlite_words.h"

#include <stdexcept>

namespace vorlano::bench {

TSqliteWords::TSqliteWords(const std::string& path) {
    if (sqlite3_open(path.c_str(), &FDb) != SQLITE_OK) Fail("open");
    Execute("PRAGMA journal_mode=DELETE");
    Execute("CREATE TABLE IF NOT EXISTS t(Id INTEGER PRIMARY KEY, Word TEXT COLLATE NOCASE, Desc TEXT)");
    Execute("CREATE INDEX IF NOT EXISTS IdxWord ON t(Word COLLATE NOCASE)");
}

TSqliteWords::~TSqliteWords() {
    sqlite3_finalize(FFind);
    sqlite3_finalize(FNearest);
    sqlite3_finalize(FWalk);
    sqlite3_finalize(FFindName);
    sqlite3_close(FDb);
}

void TSqliteWords::Fail(const char* what) {
    throw std::runtime_error(std::string("sqlite ") + what + ": " + sqlite3_errmsg(FDb));
}

void TSqliteWords::Execute(const char* sql) {
    if (sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

sqlite3_stmt* TSqliteWords::Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(FDb, sql, -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
    return statement;
}

void TSqliteWords::Load(const std::vector<TBenchRow>& rows) {
    sqlite3_stmt* insert = Prepare("INSERT INTO t(Id, Word, Desc) VALUES(?, ?, ?)");
    Execute("BEGIN");
    for (const TBenchRow& row : rows) {
        sqlite3_bind_int(insert, 1, row.Id);
        sqlite3_bind_text(insert, 2, row.Word.data(), static_cast<int>(row.Word.size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, row.Desc.data(), static_cast<int>(row.Desc.size()), SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE) Fail("insert");
        sqlite3_reset(insert);
    }
    Execute("COMMIT");
    sqlite3_finalize(insert);
}

bool TSqliteWords::StepText(sqlite3_stmt* statement, std::string_view word, std::string& desc) {
    sqlite3_bind_text(statement, 1, word.data(), static_cast<int>(word.size()), SQLITE_STATIC);
    const int result = sqlite3_step(statement);
    const bool found = result == SQLITE_ROW;
    if (found)
        desc.assign(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                    static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    else if (result != SQLITE_DONE)
        Fail("select");
    sqlite3_reset(statement);
    return found;
}

bool TSqliteWords::Find(std::string_view word, std::string& desc) {
    if (FFind == nullptr) FFind = Prepare("SELECT Desc FROM t WHERE Word = ?");
    return StepText(FFind, word, desc);
}

bool TSqliteWords::FindNearest(std::string_view word, std::string& desc) {
    if (FNearest == nullptr) FNearest = Prepare("SELECT Desc FROM t WHERE Word >= ? ORDER BY Word LIMIT 1");
    return StepText(FNearest, word, desc);
}

std::size_t TSqliteWords::WalkAll(std::size_t limit) {
    if (FWalk == nullptr) FWalk = Prepare("SELECT Word, Desc FROM t ORDER BY Word");
    std::size_t count = 0;
    std::size_t bytes = 0;
    int result = SQLITE_DONE;
    while (count < limit && (result = sqlite3_step(FWalk)) == SQLITE_ROW) {
        bytes += static_cast<std::size_t>(sqlite3_column_bytes(FWalk, 0)) +
                 static_cast<std::size_t>(sqlite3_column_bytes(FWalk, 1));
        ++count;
    }
    if (count < limit && result != SQLITE_DONE) Fail("walk");
    sqlite3_reset(FWalk);
    return bytes > 0 ? count : 0;
}

void TSqliteWords::LoadNames(const std::vector<std::string>& names) {
    Execute("CREATE TABLE IF NOT EXISTS names(Id INTEGER PRIMARY KEY, Name TEXT)");
    sqlite3_stmt* insert = Prepare("INSERT INTO names(Name) VALUES(?)");
    Execute("BEGIN");
    for (const std::string& name : names) {
        sqlite3_bind_text(insert, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE) Fail("insert");
        sqlite3_reset(insert);
    }
    Execute("COMMIT");
    sqlite3_finalize(insert);
}

bool TSqliteWords::FindName(std::string_view name) {
    if (FFindName == nullptr) FFindName = Prepare("SELECT Id FROM names WHERE Name = ?");
    sqlite3_bind_text(FFindName, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    const int result = sqlite3_step(FFindName);
    if (result != SQLITE_ROW && result != SQLITE_DONE) Fail("select");
    sqlite3_reset(FFindName);
    return result == SQLITE_ROW;
}

}  // namespace vorlano::bench
