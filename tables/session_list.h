// TPirinSessionList: every session component of the process, in creation
// order, and the process-wide re-entrant engine lock that serialises the
// session-level work of all sessions (activation, passwords, settings,
// opening databases). The first session, "Default", is made together with
// the list and is reached as Session().
//
// Shut-down is explicit (ShutdownTableLayer): it frees every session, last
// created first, which closes their databases and finalises the engine. The
// list itself is never destroyed by static destruction, because the engine's
// own process-wide objects may already be gone by then.
//
// Ownership: the list owns every session. Threads: the session list has a
// lock of its own; the engine lock is re-entrant for the thread holding it.
// Failures: GetSession raises EDatabaseError "Session name %s is not valid.".
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pirin {

class TPirinSession;
class TPirinDataSetBase;

class TPirinSessionList {
  public:
    static TPirinSessionList& Instance();

    // Empty name: the default session; else the first session of that name
    // (case-insensitive), or null.
    TPirinSession* FindSession(std::string_view name) const;
    TPirinSession& GetSession(std::string_view name) const;
    std::vector<TPirinSession*> List() const;

    // A new inactive session with a component name and an owner (any object
    // that groups components; null for none). The list owns it.
    TPirinSession& AddSession(std::string componentName = {}, const void* owner = nullptr);
    // Deactivates and frees a session other than the default one.
    void FreeSession(TPirinSession& session);
    // Frees every session, last first; the default session finalises the
    // engine. A new default session is made, so the layer can start again.
    void Shutdown();

    std::recursive_mutex& EngineLock() noexcept { return FEngineLock; }

    // Auto-session numbers: the lowest free one, taken; and its release.
    int TakeAutoSessionNumber();
    void ReleaseAutoSessionNumber(int number);

    // Datasets bound by session name, so an auto-session can pass its name
    // to the ones of its owner.
    void RegisterDataSet(TPirinDataSetBase& dataSet);
    void UnregisterDataSet(TPirinDataSetBase& dataSet);
    std::vector<TPirinDataSetBase*> DataSets() const;

  private:
    TPirinSessionList();
    void MakeDefaultSession();

    mutable std::recursive_mutex FListLock;
    std::recursive_mutex FEngineLock;
    std::vector<std::unique_ptr<TPirinSession>> FSessions;
    std::vector<bool> FAutoNumbers;
    std::vector<TPirinDataSetBase*> FDataSets;
};

TPirinSessionList& Sessions();
// The default session "Default".
TPirinSession& Session();
// Ends the layer: see TPirinSessionList::Shutdown.
void ShutdownTableLayer();

// Interface of the datasets that name a session (TPirinDBDataSet).
class TPirinDataSetBase {
  public:
    virtual ~TPirinDataSetBase() = default;
    virtual const void* Owner() const noexcept = 0;
    virtual const std::string& SessionName() const noexcept = 0;
    // Stores a session name the auto-session derived (the dataset closed).
    virtual void TakeSessionName(const std::string& name) = 0;
};

}  // namespace pirin
