#include "errors/database_error.h"

namespace pirin {

void DatabaseError(std::string_view message) { throw EDatabaseError(std::string(message)); }

void DatabaseErrorFmt(std::string_view format, std::string_view arg) {
    std::string text(format);
    if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, arg);
    throw EDatabaseError(std::move(text));
}

}  // namespace pirin
