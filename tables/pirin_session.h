// TPirinSession: the session component. It owns one engine session while
// active (the default session takes the engine's default session and
// initialises the engine; others create their own), registers table
// passwords, carries the locking and buffering settings, and lists the
// database components that belong to it.
//
// Activation happens through Active, through LockSession (so AddPassword on
// an inactive session starts it) or through a database opening in it. Every
// call into the engine session is made under LockSession, which holds the
// process-wide engine lock (nested per session) and makes this session's
// engine session the current one.
//
// Ownership: TPirinSessionList owns sessions; a session frees the temporary
// databases it made for datasets, the others belong to the application.
// Threads: one thread at a time per session; session-level work is
// serialised by the engine lock. Failures: EDatabaseError with the fixed
// texts of errors/database_error.h; engine errors pass through.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/data_session.h"

namespace pirin {

class TPirinDatabase;
class TDataCursor;

enum class TSessionType : std::uint8_t { Local, Remote };
enum class TRemoteType : std::uint8_t { LAN, Internet };

inline constexpr char kEngineVersion[] = "3.17";

class TPirinSession {
  public:
    using TNotifyEvent = std::function<void(TPirinSession& sender)>;
    // The handler may call AddPassword and sets `continueOpen` to retry.
    using TPasswordEvent = std::function<void(TPirinSession& sender, bool& continueOpen)>;
    // The application's password dialog (see SetPasswordDialog).
    using TPasswordDialog = std::function<bool(TPirinSession& session)>;
    using TLoginEvent = std::function<void(TPirinSession& sender, std::string& userName,
                                           std::string& password, bool& continueLogin)>;
    using TTraceEvent = std::function<void(TPirinSession& sender, const std::string& message)>;

    // Codes of the database-change notification.
    enum class TDatabaseEvent : std::uint8_t { Connected, Disconnected, Added, Removed };
    using TDatabaseNotify = std::function<void(TDatabaseEvent event, TPirinDatabase& database)>;

    // Made by TPirinSessionList only. "This auto-session already exists."
    // when the owner holds an auto-session.
    TPirinSession(std::string componentName, const void* owner, bool isDefault);
    ~TPirinSession();
    TPirinSession(const TPirinSession&) = delete;
    TPirinSession& operator=(const TPirinSession&) = delete;

    const std::string& Name() const noexcept { return FName; }
    // Renaming derives the auto-session name again.
    void SetName(std::string name);
    const void* Owner() const noexcept { return FOwner; }
    bool IsDefault() const noexcept { return FDefault; }

    // ---- published properties ----
    std::string EngineVersion() const { return kEngineVersion; }
    void SetEngineVersion(std::string_view) {}
    bool Active() const noexcept { return FEngineSession != nullptr; }
    void SetActive(bool value);
    bool AutoSessionName() const noexcept { return FAutoSessionName; }
    void SetAutoSessionName(bool value);
    bool ForceBufferFlush() const noexcept { return FForceBufferFlush; }
    void SetForceBufferFlush(bool value);
    bool KeepConnections() const noexcept { return FKeepConnections; }
    void SetKeepConnections(bool value) { FKeepConnections = value; }
    std::uint8_t LockRetryCount() const noexcept { return FLockRetryCount; }
    void SetLockRetryCount(std::uint8_t value);
    std::uint16_t LockWaitTime() const noexcept { return FLockWaitTime; }
    void SetLockWaitTime(std::uint16_t value);
    TLockProtocol LockProtocol() const noexcept { return FLockProtocol; }
    void SetLockProtocol(TLockProtocol value);
    const std::string& PrivateDir() const noexcept { return FPrivateDir; }
    void SetPrivateDir(std::string_view value);
    std::uint16_t ProgressSteps() const noexcept { return FProgressSteps; }
    // Values above 100 are ignored.
    void SetProgressSteps(std::uint16_t value);
    const std::string& SessionName() const noexcept { return FSessionName; }
    void SetSessionName(std::string_view value);
    bool StrictChangeDetection() const noexcept { return FStrictChangeDetection; }
    void SetStrictChangeDetection(bool value);
    TSessionType SessionType() const noexcept { return FSessionType; }
    void SetSessionType(TSessionType value);
    TRemoteType RemoteType() const noexcept { return FRemoteType; }
    void SetRemoteType(TRemoteType value);
    const std::string& RemoteHost() const noexcept { return FRemoteHost; }
    void SetRemoteHost(std::string_view value);
    const std::string& RemoteAddress() const noexcept { return FRemoteAddress; }
    void SetRemoteAddress(std::string_view value);
    std::int32_t RemotePort() const noexcept { return FRemotePort; }
    void SetRemotePort(std::int32_t value);
    const std::string& RemoteService() const noexcept { return FRemoteService; }
    void SetRemoteService(std::string_view value);
    bool RemoteTrace() const noexcept { return FRemoteTrace; }
    void SetRemoteTrace(bool value) { FRemoteTrace = value; }
    const std::string& RemoteUser() const noexcept { return FRemoteUser; }
    void SetRemoteUser(std::string_view value);
    const std::string& RemotePassword() const noexcept { return FRemotePassword; }
    void SetRemotePassword(std::string_view value);

    TPasswordEvent OnPassword;
    TNotifyEvent OnStartup;
    TLoginEvent OnRemoteLogin;
    TTraceEvent OnRemoteTrace;
    TDatabaseNotify OnDatabaseEvent;

    // ---- loading from a description: Active is applied at the end ----
    void BeginLoading() noexcept { FLoading = true; }
    void EndLoading();
    bool Loading() const noexcept { return FLoading; }

    // ---- operations ----
    void AddPassword(std::string_view password);
    void RemovePassword(std::string_view password);
    void RemoveAllPasswords();
    // The database a dataset uses (found or made temporary), opened, with
    // its RefCount raised.
    TPirinDatabase& OpenDatabase(std::string_view name, const void* owner);
    void CloseDatabase(TPirinDatabase& database);
    TPirinDatabase* FindDatabase(std::string_view name) const;
    void LockSession();
    void UnlockSession();
    // The prompt engine cursors call when no registered password fits: true
    // has the engine try the session's passwords again.
    bool PasswordPrompt();
    // The dialog PasswordPrompt shows when OnPassword is not assigned (the
    // application's Qt dialog); without one the prompt answers false.
    static void SetPasswordDialog(TPasswordDialog dialog);

    // The engine session; null while inactive.
    TDataSession* EngineSession() const noexcept { return FEngineSession; }
    const std::vector<TPirinDatabase*>& Databases() const noexcept { return FDatabases; }
    int AutoSessionNumber() const noexcept { return FAutoSessionNumber; }

    // ---- used by TPirinDatabase ----
    void AddDatabase(TPirinDatabase& database);
    void RemoveDatabase(TPirinDatabase& database);
    void NotifyDatabase(TDatabaseEvent event, TPirinDatabase& database);
    // Frees a temporary database this session made; false for any other.
    bool FreeTemporary(TPirinDatabase& database);

  private:
    void Activate();
    void Deactivate();
    void PassSettings();
    void CheckInactive() const;
    void CheckNotAuto() const;
    void CheckNameFree(std::string_view name) const;
    void TakeAutoSessionName();
    void PassAutoSessionName();
    // Runs `pass` on the engine session under LockSession when active.
    template <class TPass>
    void PassToEngine(TPass&& pass);

    std::string FName;
    const void* FOwner;
    bool FDefault;
    TDataSession* FEngineSession = nullptr;
    std::vector<TPirinDatabase*> FDatabases;
    std::vector<std::unique_ptr<TPirinDatabase>> FTemporary;
    int FLockCount = 0;
    int FAutoSessionNumber = -1;
    bool FLoading = false;
    bool FStreamedActive = false;
    bool FDeactivating = false;

    bool FAutoSessionName = false;
    bool FForceBufferFlush = false;
    bool FKeepConnections = true;
    std::uint8_t FLockRetryCount = 15;
    std::uint16_t FLockWaitTime = 100;
    TLockProtocol FLockProtocol = TLockProtocol::Pessimistic;
    std::string FPrivateDir;
    std::uint16_t FProgressSteps = 20;
    std::string FSessionName;
    bool FStrictChangeDetection = false;
    TSessionType FSessionType = TSessionType::Local;
    TRemoteType FRemoteType = TRemoteType::LAN;
    std::string FRemoteHost;
    std::string FRemoteAddress = "127.0.0.1";
    std::int32_t FRemotePort = 12005;
    std::string FRemoteService;
    bool FRemoteTrace = false;
    std::string FRemoteUser;
    std::string FRemotePassword;
    TCacheBudgets FBufferLimits;  // 16384, 8192, 16384, 32768, 8192
};

// RAII bracket of LockSession/UnlockSession.
class TSessionLock {
  public:
    explicit TSessionLock(TPirinSession& session) : FSession(session) { session.LockSession(); }
    ~TSessionLock() { FSession.UnlockSession(); }
    TSessionLock(const TSessionLock&) = delete;
    TSessionLock& operator=(const TSessionLock&) = delete;

  private:
    TPirinSession& FSession;
};

// Names given to the layer use "/" as separator; "\" is turned into "/".
std::string NormalizeSeparators(std::string_view name);
// True when the name contains ":" or "/" (a path rather than a name).
bool HasPathCharacters(std::string_view name);

}  // namespace pirin
