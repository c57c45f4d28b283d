#include "tables/pirin_database.h"

#include <algorithm>
#include <utility>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "errors/database_error.h"
#include "tables/pirin_session.h"
#include "tables/session_list.h"

namespace pirin {

TPirinDatabase::TPirinDatabase(const void* owner, TPirinSession* session)
    : FOwner(owner), FSession(session != nullptr ? session : &pirin::Session()) {
    FSessionName = FSession->SessionName();
    FSession->AddDatabase(*this);
}

TPirinDatabase::~TPirinDatabase() {
    FDestroying = true;
    try {
        Close();
    } catch (...) {
        // A table that fails to close must not stop the database going.
    }
    FSession->RemoveDatabase(*this);
}

std::string TPirinDatabase::EngineVersion() const { return kEngineVersion; }

void TPirinDatabase::CheckClosed() const {
    if (Connected()) DatabaseError(messages::kDatabaseOpen);
}

void TPirinDatabase::SetConnected(bool value) {
    if (FLoading) {
        FStreamedConnected = value;
        return;
    }
    if (value)
        Open();
    else
        Close();
}

void TPirinDatabase::EndLoading() {
    FLoading = false;
    if (FStreamedConnected) Open();
}

void TPirinDatabase::SetDatabaseName(std::string_view value) {
    const std::string name = NormalizeSeparators(value);
    if (FLoading) {
        FDatabaseName = name;
        return;
    }
    if (name == FDatabaseName) return;
    CheckClosed();
    if (!name.empty() && !FTemporary && HasPathCharacters(name))
        DatabaseErrorFmt(messages::kInvalidDatabaseName, name);
    CheckName(name);
    FDatabaseName = name;
}

void TPirinDatabase::SetDirectory(std::string_view value) {
    const std::string directory = NormalizeSeparators(value);
    if (directory == FDirectoryName) return;
    CheckClosed();
    FDirectoryName = directory;
}

void TPirinDatabase::SetRemoteDatabase(std::string_view value) {
    const std::string name = NormalizeSeparators(value);
    if (name == FRemoteDatabase) return;
    CheckClosed();
    FRemoteDatabase = name;
}

void TPirinDatabase::SetKeepConnection(bool value) {
    FKeepConnection = value;
    if (!value && FRefCount == 0) Close();
}

void TPirinDatabase::SetSessionName(std::string_view value) {
    if (FLoading) {
        FSessionName = value;
        return;
    }
    if (value == FSessionName) return;
    CheckClosed();
    FSessionName = value;
    ResolveSession();
}

void TPirinDatabase::ResolveSession() {
    TPirinSession* session = Sessions().FindSession(FSessionName);
    if (session != nullptr && session != FSession) MoveTo(*session);
}

void TPirinDatabase::MoveTo(TPirinSession& session) {
    FSession->RemoveDatabase(*this);
    FSession = &session;
    FSession->AddDatabase(*this);
}

void TPirinDatabase::SessionGone() {
    try {
        Close();
    } catch (...) {
        // The session goes in any case.
    }
    FSessionName.clear();
    FSession = &pirin::Session();
    FSession->AddDatabase(*this);
}

void TPirinDatabase::CheckName(std::string_view name) {
    TPirinDatabase* other = FSession->FindDatabase(name);
    if (other == nullptr || other == this || (other->HandleShared() && FHandleShared)) return;
    if (other->Temporary() && other->RefCount() == 0 && FSession->FreeTemporary(*other)) return;
    DatabaseErrorFmt(messages::kDuplicateDatabaseName, name);
}

void TPirinDatabase::Open() {
    if (Connected()) return;
    if (BeforeConnect) BeforeConnect(*this);
    if (FDatabaseName.empty() && !FTemporary) DatabaseError(messages::kDatabaseNameMissing);
    TPirinSession& session = Sessions().GetSession(FSessionName);
    if (&session != FSession) MoveTo(session);
    try {
        CheckName(FDatabaseName);
    } catch (...) {
        FDatabaseName.clear();
        throw;
    }
    TSessionLock lock(session);
    for (TPirinDatabase* other : session.Databases()) {
        if (other == this || !FHandleShared || !other->HandleShared() || !other->Connected() ||
            !SameEngineName(other->DatabaseName(), FDatabaseName))
            continue;
        FDirectory = other->EngineDirectory();
        FBorrowed = true;
        session.NotifyDatabase(TPirinSession::TDatabaseEvent::Connected, *this);
        return;
    }
    const std::string engineName = HasPathCharacters(FDatabaseName) ? std::string() : FDatabaseName;
    TDataSession& engine = *session.EngineSession();
    if (session.SessionType() == TSessionType::Remote)
        FDirectory = &engine.OpenDatabase(engineName, FRemoteDatabase, true);
    else
        FDirectory = &engine.OpenDatabase(engineName, FDirectoryName);
    session.NotifyDatabase(TPirinSession::TDatabaseEvent::Connected, *this);
}

void TPirinDatabase::Close() {
    if (!Connected() || FClosing) return;
    FClosing = true;
    FSession->NotifyDatabase(TPirinSession::TDatabaseEvent::Disconnected, *this);
    while (!FDataSets.empty()) {
        TDatabaseClient* dataSet = FDataSets.back();
        try {
            dataSet->Disconnect();
        } catch (...) {
            RemoveDataSet(*dataSet);
            FClosing = false;
            throw;
        }
        // A dataset that could not leave is dropped rather than looped on.
        RemoveDataSet(*dataSet);
    }
    FClosing = false;
    if (!FBorrowed) {
        // Databases that borrowed this directory close first: they must not
        // keep a directory the engine frees.
        for (TPirinDatabase* other : std::vector<TPirinDatabase*>(FSession->Databases()))
            if (other != this && other->FBorrowed && other->FDirectory == FDirectory) other->Close();
    }
    TDataDirectory* directory = std::exchange(FDirectory, nullptr);
    FRefCount = 0;
    if (FBorrowed) {
        FBorrowed = false;
        return;
    }
    if (FSession->EngineSession() != nullptr) FSession->EngineSession()->CloseDatabase(*directory);
}

// ---- transactions ----

bool TPirinDatabase::InTransaction() const { return FDirectory != nullptr && FDirectory->InTransaction(); }

void TPirinDatabase::StartTransaction() {
    if (!Connected()) DatabaseError(messages::kDatabaseClosed);
    if (FDirectory->InTransaction()) DatabaseErrorFmt(messages::kInTransaction, FDatabaseName);
    FDirectory->StartTransaction();
}

void TPirinDatabase::Commit(bool flush) {
    if (!Connected()) DatabaseError(messages::kDatabaseClosed);
    if (!FDirectory->InTransaction()) DatabaseErrorFmt(messages::kNotInTransaction, FDatabaseName);
    FDirectory->Commit(true, flush);
}

void TPirinDatabase::Rollback() {
    if (!Connected()) DatabaseError(messages::kDatabaseClosed);
    if (!FDirectory->InTransaction()) DatabaseErrorFmt(messages::kNotInTransaction, FDatabaseName);
    FDirectory->Rollback();
}

void TPirinDatabase::AddDataSet(TDatabaseClient& dataSet) {
    if (std::find(FDataSets.begin(), FDataSets.end(), &dataSet) == FDataSets.end())
        FDataSets.push_back(&dataSet);
}

void TPirinDatabase::RemoveDataSet(TDatabaseClient& dataSet) { std::erase(FDataSets, &dataSet); }

}  // namespace pirin
