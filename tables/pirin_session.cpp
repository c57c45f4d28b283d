#include "tables/pirin_session.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/engine.h"
#include "errors/database_error.h"
#include "tables/pirin_database.h"
#include "tables/session_list.h"

namespace pirin {

namespace {

TPirinSession::TPasswordDialog& PasswordDialog() {
    static TPirinSession::TPasswordDialog dialog;
    return dialog;
}

std::string_view Cut(std::string_view text) { return text.substr(0, kMaxEngineStringLength); }

// Holds the engine lock for one scope.
using TEngineLockGuard = std::lock_guard<std::recursive_mutex>;

}  // namespace

std::string NormalizeSeparators(std::string_view name) {
    std::string normalized(name);
    std::replace(normalized.begin(), normalized.end(), '\\', '/');
    return normalized;
}

// The code pages of the tables are single-byte, so no lead byte can hide a
// separator.
bool HasPathCharacters(std::string_view name) {
    return name.find_first_of(":/") != std::string_view::npos;
}

TPirinSession::TPirinSession(std::string componentName, const void* owner, bool isDefault)
    : FName(std::move(componentName)), FOwner(owner), FDefault(isDefault) {
    if (isDefault) FSessionName = "Default";
    if (owner == nullptr || isDefault) return;
    for (TPirinSession* other : Sessions().List())
        if (other->Owner() == owner && other->AutoSessionName())
            DatabaseError(messages::kAutoSessionExists);
}

TPirinSession::~TPirinSession() {
    try {
        SetActive(false);
    } catch (...) {
        // Closing tables that fail to flush must not stop the shut-down.
    }
    FTemporary.clear();
    // Databases of the application fall back to the default session (at
    // shut-down, the one made to replace this).
    while (!FDatabases.empty()) {
        TPirinDatabase* database = FDatabases.back();
        FDatabases.pop_back();
        database->SessionGone();
    }
    if (FAutoSessionNumber >= 0) Sessions().ReleaseAutoSessionNumber(FAutoSessionNumber);
}

void TPirinSession::SetName(std::string name) {
    FName = std::move(name);
    if (FAutoSessionName) {
        Sessions().ReleaseAutoSessionNumber(FAutoSessionNumber);
        FAutoSessionNumber = -1;
        TakeAutoSessionName();
    }
}

// ---- activation ----

void TPirinSession::SetActive(bool value) {
    if (FLoading) {
        FStreamedActive = value;
        return;
    }
    if (value == Active()) return;
    if (value)
        Activate();
    else
        Deactivate();
}

void TPirinSession::EndLoading() {
    FLoading = false;
    if (FStreamedActive) SetActive(true);
}

void TPirinSession::Activate() {
    TEngineLockGuard guard(Sessions().EngineLock());
    if (Active()) return;
    try {
        if (OnStartup) OnStartup(*this);
        if (FSessionName.empty()) DatabaseError(messages::kSessionNameMissing);
        if (!FDefault) Session().SetActive(true);
        if (FDefault) {
            InitializeEngine();
            FEngineSession = &DefaultSession();
        } else {
            FEngineSession = &CreateSession();
            SetCurrentSession(*FEngineSession);
        }
        PassSettings();
        // Remote sessions are carried as settings only: nothing connects.
    } catch (...) {
        Deactivate();
        throw;
    }
}

void TPirinSession::PassSettings() {
    TDataSession& engine = *FEngineSession;
    engine.SetPrivateDir(FPrivateDir);
    engine.SetStrictChangeDetection(FStrictChangeDetection);
    engine.SetForceBufferFlush(FForceBufferFlush);
    engine.SetLockRetryCount(FLockRetryCount);
    engine.SetLockWaitTime(FLockWaitTime);
    engine.SetLockProtocol(FLockProtocol);
    engine.SetProgressSteps(FProgressSteps);
    engine.SetBufferLimits(FBufferLimits);
}

void TPirinSession::Deactivate() {
    TEngineLockGuard guard(Sessions().EngineLock());
    if (FDeactivating) return;
    FDeactivating = true;
    try {
        // Finalising the engine frees every engine session: the other
        // sessions stop first rather than keep a session that is gone.
        if (FDefault)
            for (TPirinSession* other : Sessions().List())
                if (other != this) other->SetActive(false);
        if (FEngineSession != nullptr) SetCurrentSession(*FEngineSession);
        for (std::size_t i = FDatabases.size(); i-- > 0;) {
            if (i >= FDatabases.size()) continue;
            TPirinDatabase* database = FDatabases[i];
            if (!FreeTemporary(*database)) database->Close();
        }
        if (FDefault) {
            FinalizeEngine();
        } else if (FEngineSession != nullptr) {
            FreeSession(*FEngineSession);
            if (Session().EngineSession() != nullptr) SetCurrentSession(*Session().EngineSession());
        }
    } catch (...) {
        FEngineSession = nullptr;
        FDeactivating = false;
        throw;
    }
    FEngineSession = nullptr;
    FDeactivating = false;
}

// ---- the engine lock ----

void TPirinSession::LockSession() {
    if (FLockCount != 0) {
        ++FLockCount;
        return;
    }
    auto& lock = Sessions().EngineLock();
    lock.lock();
    FLockCount = 1;
    try {
        if (Active())
            SetCurrentSession(*FEngineSession);
        else
            SetActive(true);
    } catch (...) {
        if (--FLockCount == 0) lock.unlock();
        throw;
    }
}

void TPirinSession::UnlockSession() {
    if (FLockCount == 0) return;
    if (--FLockCount == 0) Sessions().EngineLock().unlock();
}

template <class TPass>
void TPirinSession::PassToEngine(TPass&& pass) {
    if (!Active()) return;
    TSessionLock lock(*this);
    pass(*FEngineSession);
}

// ---- passwords ----

void TPirinSession::AddPassword(std::string_view password) {
    TSessionLock lock(*this);
    FEngineSession->AddPassword(Cut(password));
}

void TPirinSession::RemovePassword(std::string_view password) {
    TSessionLock lock(*this);
    FEngineSession->RemovePassword(Cut(password));
}

void TPirinSession::RemoveAllPasswords() {
    TSessionLock lock(*this);
    FEngineSession->RemoveAllPasswords();
}

bool TPirinSession::PasswordPrompt() {
    if (OnPassword) {
        bool continueOpen = false;
        OnPassword(*this, continueOpen);
        return continueOpen;
    }
    const TPasswordDialog& dialog = PasswordDialog();
    return dialog && dialog(*this);
}

void TPirinSession::SetPasswordDialog(TPasswordDialog dialog) {
    PasswordDialog() = std::move(dialog);
}

// ---- settings ----

void TPirinSession::CheckInactive() const {
    if (Active()) DatabaseError(messages::kSessionActive);
}

void TPirinSession::SetForceBufferFlush(bool value) {
    FForceBufferFlush = value;
    PassToEngine([&](TDataSession& engine) { engine.SetForceBufferFlush(value); });
}

void TPirinSession::SetLockRetryCount(std::uint8_t value) {
    FLockRetryCount = value;
    PassToEngine([&](TDataSession& engine) { engine.SetLockRetryCount(value); });
}

void TPirinSession::SetLockWaitTime(std::uint16_t value) {
    FLockWaitTime = value;
    PassToEngine([&](TDataSession& engine) { engine.SetLockWaitTime(value); });
}

void TPirinSession::SetLockProtocol(TLockProtocol value) {
    FLockProtocol = value;
    PassToEngine([&](TDataSession& engine) { engine.SetLockProtocol(value); });
}

void TPirinSession::SetPrivateDir(std::string_view value) {
    FPrivateDir = std::string(Cut(value));
    PassToEngine([&](TDataSession& engine) { engine.SetPrivateDir(FPrivateDir); });
}

void TPirinSession::SetProgressSteps(std::uint16_t value) {
    if (value > 100) return;
    FProgressSteps = value;
    PassToEngine([&](TDataSession& engine) { engine.SetProgressSteps(value); });
}

void TPirinSession::SetStrictChangeDetection(bool value) {
    FStrictChangeDetection = value;
    PassToEngine([&](TDataSession& engine) { engine.SetStrictChangeDetection(value); });
}

void TPirinSession::SetSessionType(TSessionType value) {
    if (value == FSessionType) return;
    CheckInactive();
    FSessionType = value;
}

void TPirinSession::SetRemoteType(TRemoteType value) {
    if (value == FRemoteType) return;
    CheckInactive();
    FRemoteType = value;
}

void TPirinSession::SetRemoteHost(std::string_view value) {
    CheckInactive();
    FRemoteHost = value;
}

void TPirinSession::SetRemoteAddress(std::string_view value) {
    CheckInactive();
    FRemoteAddress = value;
}

void TPirinSession::SetRemotePort(std::int32_t value) {
    CheckInactive();
    FRemotePort = value;
}

void TPirinSession::SetRemoteService(std::string_view value) {
    CheckInactive();
    FRemoteService = value;
}

void TPirinSession::SetRemoteUser(std::string_view value) {
    CheckInactive();
    FRemoteUser = value;
}

void TPirinSession::SetRemotePassword(std::string_view value) {
    CheckInactive();
    FRemotePassword = value;
}

// ---- session names ----

void TPirinSession::CheckNotAuto() const {
    if (FAutoSessionName) DatabaseError(messages::kAutoSessionActive);
}

void TPirinSession::CheckNameFree(std::string_view name) const {
    if (name.empty()) return;
    TPirinSession* other = Sessions().FindSession(name);
    if (other != nullptr && other != this) DatabaseErrorFmt(messages::kDuplicateSessionName, name);
}

void TPirinSession::SetSessionName(std::string_view value) {
    CheckNotAuto();
    if (value == FSessionName) return;
    CheckInactive();
    CheckNameFree(value);
    FSessionName = value;
}

void TPirinSession::SetAutoSessionName(bool value) {
    if (value == FAutoSessionName) return;
    TEngineLockGuard guard(Sessions().EngineLock());
    if (!value) {
        FAutoSessionName = false;
        Sessions().ReleaseAutoSessionNumber(FAutoSessionNumber);
        FAutoSessionNumber = -1;
        return;
    }
    CheckInactive();
    for (TPirinSession* other : Sessions().List())
        if (other != this && FOwner != nullptr && other->Owner() == FOwner)
            DatabaseError(messages::kAutoSessionExclusive);
    TakeAutoSessionName();
    FAutoSessionName = true;
}

void TPirinSession::TakeAutoSessionName() {
    FAutoSessionNumber = Sessions().TakeAutoSessionNumber();
    char number[16];
    std::snprintf(number, sizeof number, "_%d", FAutoSessionNumber + 1);
    const std::string name = FName + number;
    try {
        CheckNameFree(name);
    } catch (...) {
        Sessions().ReleaseAutoSessionNumber(FAutoSessionNumber);
        FAutoSessionNumber = -1;
        throw;
    }
    FSessionName = name;
    PassAutoSessionName();
}

void TPirinSession::PassAutoSessionName() {
    if (FOwner == nullptr) return;
    for (TPirinDataSetBase* dataSet : Sessions().DataSets())
        if (dataSet->Owner() == FOwner && dataSet->SessionName() != FSessionName)
            dataSet->TakeSessionName(FSessionName);
    for (TPirinSession* session : Sessions().List())
        for (TPirinDatabase* database : std::vector<TPirinDatabase*>(session->Databases()))
            if (database->Owner() == FOwner && database->SessionName() != FSessionName &&
                !database->Connected())
                database->SetSessionName(FSessionName);
}

// ---- databases ----

void TPirinSession::AddDatabase(TPirinDatabase& database) {
    FDatabases.push_back(&database);
    NotifyDatabase(TDatabaseEvent::Added, database);
}

void TPirinSession::RemoveDatabase(TPirinDatabase& database) {
    const auto it = std::find(FDatabases.begin(), FDatabases.end(), &database);
    if (it == FDatabases.end()) return;
    FDatabases.erase(it);
    NotifyDatabase(TDatabaseEvent::Removed, database);
}

void TPirinSession::NotifyDatabase(TDatabaseEvent event, TPirinDatabase& database) {
    if (OnDatabaseEvent) OnDatabaseEvent(event, database);
}

TPirinDatabase* TPirinSession::FindDatabase(std::string_view name) const {
    for (TPirinDatabase* database : FDatabases) {
        if (database->DatabaseName().empty() && !database->Temporary()) continue;
        if (SameEngineName(database->DatabaseName(), name)) return database;
    }
    return nullptr;
}

TPirinDatabase& TPirinSession::OpenDatabase(std::string_view name, const void* owner) {
    TSessionLock lock(*this);
    const std::string normalized = NormalizeSeparators(name);
    TPirinDatabase* database = nullptr;
    for (TPirinDatabase* candidate : FDatabases)
        if (candidate->Owner() == owner && candidate->HandleShared() &&
            SameEngineName(candidate->DatabaseName(), normalized)) {
            database = candidate;
            break;
        }
    if (database == nullptr) database = FindDatabase(normalized);
    bool made = false;
    if (database == nullptr) {
        auto temporary = std::make_unique<TPirinDatabase>(this, this);
        temporary->SetTemporary(true);
        temporary->SetDatabaseName(normalized);
        if (!SameEngineName(normalized, "Memory")) {
            if (FSessionType == TSessionType::Local)
                temporary->SetDirectory(normalized);
            else
                temporary->SetRemoteDatabase(normalized);
        } else if (FSessionType == TSessionType::Remote) {
            temporary->SetRemoteDatabase(normalized);
        }
        temporary->SetKeepConnection(FKeepConnections);
        database = temporary.get();
        FTemporary.push_back(std::move(temporary));
        made = true;
    }
    try {
        database->Open();
    } catch (...) {
        if (made) FreeTemporary(*database);
        throw;
    }
    database->AddReference();
    return *database;
}

bool TPirinSession::FreeTemporary(TPirinDatabase& database) {
    if (!database.Temporary()) return false;
    const auto it = std::find_if(FTemporary.begin(), FTemporary.end(),
                                 [&](const auto& owned) { return owned.get() == &database; });
    if (it == FTemporary.end()) return false;
    // Taken out of the list first: the destructor closes the database and
    // unregisters it from FDatabases.
    auto freed = std::move(*it);
    FTemporary.erase(it);
    freed.reset();
    return true;
}

void TPirinSession::CloseDatabase(TPirinDatabase& database) {
    // A database that is closing releases its datasets itself.
    if (database.ReleaseReference() != 0 || database.KeepConnection() || database.Closing()) return;
    if (database.Destroying() || !FreeTemporary(database)) database.Close();
}

}  // namespace pirin
