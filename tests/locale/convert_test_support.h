// Helpers shared by the value-conversion tests.
#pragma once

#include <string>

#include "locale/convert_error.h"

namespace pirin::test {

// The message of the EConvertError that `call` raises, or a marker text.
template <class Call>
std::string ConvertErrorOf(Call call) {
    try {
        call();
    } catch (const EConvertError& e) {
        return e.Message();
    } catch (...) {
        return "(another exception)";
    }
    return "(nothing raised)";
}

}  // namespace pirin::test
