#include "engine/engine.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/data_session.h"
#include "errors/engine_error.h"
#include "locale/char_map.h"

namespace pirin {

namespace {

struct TEngineGlobals {
    std::unique_ptr<TDataSession> Default;
    std::vector<std::unique_ptr<TDataSession>> Created;
    TDataSession* Current = nullptr;
};

// Present exactly while the engine is initialised.
std::unique_ptr<TEngineGlobals>& Globals() {
    static std::unique_ptr<TEngineGlobals> globals;
    return globals;
}

}  // namespace

void InitializeEngine() {
    auto& globals = Globals();
    if (globals) return;
    auto fresh = std::make_unique<TEngineGlobals>();
    fresh->Default = std::make_unique<TDataSession>(false);
    fresh->Current = fresh->Default.get();
    globals = std::move(fresh);
}

void FinalizeEngine() {
    auto& globals = Globals();
    if (!globals) return;
    // Sessions go before the caches they may still use.
    auto finished = std::move(globals);
    finished->Current = nullptr;
    while (!finished->Created.empty()) finished->Created.pop_back();
    finished->Default.reset();
    finished.reset();
    TLanguageCharMapsList::Instance().Clear();
}

bool EngineInitialized() noexcept { return Globals() != nullptr; }

TDataSession& DefaultSession() {
    auto& globals = Globals();
    if (!globals) RaiseEngineError(PIRIN_NOTINITIALIZED);
    return *globals->Current;
}

void SetCurrentSession(TDataSession& session) {
    auto& globals = Globals();
    if (!globals) RaiseEngineError(PIRIN_NOTINITIALIZED);
    globals->Current = &session;
}

TDataSession& CreateSession(bool serverSide) {
    auto& globals = Globals();
    if (!globals) RaiseEngineError(PIRIN_NOTINITIALIZED);
    globals->Created.push_back(std::make_unique<TDataSession>(serverSide));
    return *globals->Created.back();
}

void FreeSession(TDataSession& session) {
    auto& globals = Globals();
    if (!globals) return;
    auto& created = globals->Created;
    const auto it = std::find_if(created.begin(), created.end(),
                                 [&](const auto& owned) { return owned.get() == &session; });
    if (it == created.end()) return;
    if (globals->Current == &session) globals->Current = globals->Default.get();
    auto freed = std::move(*it);
    created.erase(it);
}

}  // namespace pirin
