#include "locale/convert_error.h"

namespace pirin {

void ConvertError(std::string_view format, std::string_view text) {
    std::string message(format);
    if (auto at = message.find("%s"); at != std::string::npos) message.replace(at, 2, text);
    throw EConvertError(std::move(message));
}

}  // namespace pirin
