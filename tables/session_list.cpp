#include "tables/session_list.h"

#include <algorithm>

#include "errors/database_error.h"
#include "tables/pirin_session.h"

namespace pirin {

TPirinSessionList& TPirinSessionList::Instance() {
    // Never destroyed: see the header.
    static TPirinSessionList* list = new TPirinSessionList();
    return *list;
}

TPirinSessionList::TPirinSessionList() { MakeDefaultSession(); }

void TPirinSessionList::MakeDefaultSession() {
    auto session = std::make_unique<TPirinSession>(std::string(), nullptr, true);
    std::lock_guard guard(FListLock);
    FSessions.push_back(std::move(session));
}

TPirinSession* TPirinSessionList::FindSession(std::string_view name) const {
    std::lock_guard guard(FListLock);
    if (name.empty()) return FSessions.empty() ? nullptr : FSessions.front().get();
    for (const auto& session : FSessions)
        if (SameEngineName(session->SessionName(), name)) return session.get();
    return nullptr;
}

TPirinSession& TPirinSessionList::GetSession(std::string_view name) const {
    TPirinSession* session = FindSession(name);
    if (session == nullptr) DatabaseErrorFmt(messages::kInvalidSessionName, name);
    return *session;
}

std::vector<TPirinSession*> TPirinSessionList::List() const {
    std::lock_guard guard(FListLock);
    std::vector<TPirinSession*> list;
    for (const auto& session : FSessions) list.push_back(session.get());
    return list;
}

TPirinSession& TPirinSessionList::AddSession(std::string componentName, const void* owner) {
    auto session = std::make_unique<TPirinSession>(std::move(componentName), owner, false);
    std::lock_guard guard(FListLock);
    FSessions.push_back(std::move(session));
    return *FSessions.back();
}

void TPirinSessionList::FreeSession(TPirinSession& session) {
    if (session.IsDefault()) return;
    std::unique_ptr<TPirinSession> freed;
    {
        std::lock_guard guard(FListLock);
        const auto it = std::find_if(FSessions.begin(), FSessions.end(),
                                     [&](const auto& owned) { return owned.get() == &session; });
        if (it == FSessions.end()) return;
        freed = std::move(*it);
        FSessions.erase(it);
    }
    freed.reset();
}

void TPirinSessionList::Shutdown() {
    for (;;) {
        std::unique_ptr<TPirinSession> last;
        {
            std::lock_guard guard(FListLock);
            if (FSessions.size() <= 1) break;
            last = std::move(FSessions.back());
            FSessions.pop_back();
        }
        last.reset();
    }
    // The new default session is in place before the old one goes, so the
    // databases the application still holds fall back to it.
    std::unique_ptr<TPirinSession> oldDefault;
    {
        std::lock_guard guard(FListLock);
        if (!FSessions.empty()) {
            oldDefault = std::move(FSessions.front());
            FSessions.clear();
        }
    }
    MakeDefaultSession();
    oldDefault.reset();
}

int TPirinSessionList::TakeAutoSessionNumber() {
    std::lock_guard guard(FListLock);
    const auto free = std::find(FAutoNumbers.begin(), FAutoNumbers.end(), false);
    const auto number = static_cast<int>(free - FAutoNumbers.begin());
    if (free == FAutoNumbers.end())
        FAutoNumbers.push_back(true);
    else
        *free = true;
    return number;
}

void TPirinSessionList::ReleaseAutoSessionNumber(int number) {
    std::lock_guard guard(FListLock);
    if (number >= 0 && static_cast<std::size_t>(number) < FAutoNumbers.size())
        FAutoNumbers[static_cast<std::size_t>(number)] = false;
}

void TPirinSessionList::RegisterDataSet(TPirinDataSetBase& dataSet) {
    std::lock_guard guard(FListLock);
    FDataSets.push_back(&dataSet);
}

void TPirinSessionList::UnregisterDataSet(TPirinDataSetBase& dataSet) {
    std::lock_guard guard(FListLock);
    std::erase(FDataSets, &dataSet);
}

std::vector<TPirinDataSetBase*> TPirinSessionList::DataSets() const {
    std::lock_guard guard(FListLock);
    return FDataSets;
}

TPirinSessionList& Sessions() { return TPirinSessionList::Instance(); }

TPirinSession& Session() { return *Sessions().FindSession({}); }

void ShutdownTableLayer() { Sessions().Shutdown(); }

}  // namespace pirin
