#include "storage/password_gate.h"

#include <algorithm>

#include "errors/engine_error.h"

namespace pirin {

void PassPasswordGate(bool encrypted, std::string_view storedPassword, TPasswordSource& session,
                      std::string_view tableName, std::string_view database) {
    if (!encrypted) return;
    while (true) {
        const auto& passwords = session.Passwords();
        if (std::find(passwords.begin(), passwords.end(), storedPassword) != passwords.end())
            return;
        if (!session.PromptForPassword())
            RaiseEngineError(PIRIN_NOTSUFFTABLERIGHTS, {.database = database, .table = tableName});
    }
}

}  // namespace pirin
