// The text of every engine error code, with the context slots that fill its
// "%s" places in order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "errors/error_context.h"

namespace pirin {

struct TEngineErrorText {
    std::uint16_t Code;
    const char* Text;                 // with "%s" places
    std::vector<TErrorSlot> Fillers;  // the slot that fills each "%s", in order
};

// The entry for a code, or nullptr when the code has no text of its own.
const TEngineErrorText* FindEngineErrorText(std::uint16_t code);

// The text of codes that have none of their own.
inline constexpr const char* kUnknownEngineErrorText = "An unknown error occurred";

}  // namespace pirin
