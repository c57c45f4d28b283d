// TPirinDatabase: the database component. It maps a logical DatabaseName to
// a Directory of tables and, while connected, holds one engine directory
// (TDataDirectory) of its session. Datasets reach it through their
// session's OpenDatabase and add themselves to its dataset list while open;
// closing the database closes them first.
//
// A database is registered with its session from creation to destruction.
// A Temporary one is made by a session for a dataset whose DatabaseName
// names no database component (a folder, or "Memory"), and is freed by that
// session.
//
// Ownership: the application owns its databases, a session its temporary
// ones; the engine directory belongs to the engine session (released by
// Close). Threads: the thread of its session; Open runs under LockSession.
// Failures: EDatabaseError with the fixed texts of errors/database_error.h;
// engine errors pass through. A failed Open leaves the database closed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pirin {

class TPirinSession;
class TDataDirectory;

// What a database needs of the datasets open through it.
class TDatabaseClient {
  public:
    virtual ~TDatabaseClient() = default;
    // Closes the dataset (it then leaves the database's list).
    virtual void Disconnect() = 0;
};

class TPirinDatabase {
  public:
    // In the session `session`, or in the default session when null; the
    // database takes that session's SessionName.
    explicit TPirinDatabase(const void* owner = nullptr, TPirinSession* session = nullptr);
    ~TPirinDatabase();
    TPirinDatabase(const TPirinDatabase&) = delete;
    TPirinDatabase& operator=(const TPirinDatabase&) = delete;

    const void* Owner() const noexcept { return FOwner; }

    // ---- published properties ----
    std::string EngineVersion() const;
    void SetEngineVersion(std::string_view) {}
    bool Connected() const noexcept { return FDirectory != nullptr; }
    void SetConnected(bool value);
    const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    void SetDatabaseName(std::string_view value);
    const std::string& Directory() const noexcept { return FDirectoryName; }
    void SetDirectory(std::string_view value);
    const std::string& RemoteDatabase() const noexcept { return FRemoteDatabase; }
    void SetRemoteDatabase(std::string_view value);
    bool HandleShared() const noexcept { return FHandleShared; }
    void SetHandleShared(bool value) { FHandleShared = value; }
    bool KeepConnection() const noexcept { return FKeepConnection; }
    // False closes the database at once when no dataset holds it.
    void SetKeepConnection(bool value);
    const std::string& SessionName() const noexcept { return FSessionName; }
    void SetSessionName(std::string_view value);
    std::function<void(TPirinDatabase& sender)> BeforeConnect;

    // ---- loading from a description: Connected is applied at the end ----
    void BeginLoading() noexcept { FLoading = true; }
    void EndLoading();

    // ---- operations ----
    void Open();
    void Close();
    // Transactions of the engine directory (connected databases only).
    void StartTransaction();
    void Commit(bool flush = true);
    void Rollback();
    bool InTransaction() const;

    // ---- state ----
    TPirinSession& Session() const noexcept { return *FSession; }
    // The engine directory; null while disconnected.
    TDataDirectory* EngineDirectory() const noexcept { return FDirectory; }
    bool Temporary() const noexcept { return FTemporary; }
    int RefCount() const noexcept { return FRefCount; }
    const std::vector<TDatabaseClient*>& DataSets() const noexcept { return FDataSets; }

    // ---- used by sessions and datasets ----
    void SetTemporary(bool value) noexcept { FTemporary = value; }
    void AddReference() noexcept { ++FRefCount; }
    // The count left.
    int ReleaseReference() noexcept { return FRefCount > 0 ? --FRefCount : 0; }
    void AddDataSet(TDatabaseClient& dataSet);
    void RemoveDataSet(TDatabaseClient& dataSet);
    // Moves the registration to the session of SessionName (quietly none
    // when it does not exist: the database stays where it is).
    void ResolveSession();
    // Its session is going: close, and fall back to the default session.
    void SessionGone();
    bool Destroying() const noexcept { return FDestroying; }
    bool Closing() const noexcept { return FClosing; }

  private:
    void CheckClosed() const;
    // Refuses or frees another database of the same name in the session.
    void CheckName(std::string_view name);
    void MoveTo(TPirinSession& session);

    const void* FOwner;
    TPirinSession* FSession;
    TDataDirectory* FDirectory = nullptr;
    bool FBorrowed = false;
    std::string FDatabaseName;
    std::string FDirectoryName;
    std::string FRemoteDatabase;
    bool FHandleShared = false;
    bool FKeepConnection = true;
    std::string FSessionName;
    bool FTemporary = false;
    int FRefCount = 0;
    std::vector<TDatabaseClient*> FDataSets;
    bool FLoading = false;
    bool FStreamedConnected = false;
    bool FDestroying = false;
    bool FClosing = false;
};

}  // namespace pirin
