#include "storage/scramble.h"

namespace pirin {

void ScrambleBytes(void* buffer, std::size_t length, std::uint8_t seed1, std::uint8_t seed2) {
    if ((length & 0xFFFF) == 0) return;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint8_t a = seed1;
    std::uint8_t b = seed2;
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] ^= static_cast<std::uint8_t>(a ^ b);
        ++a;
        --b;
    }
}

std::string ScrambleString(std::string_view text) {
    std::string copy(text);
    ScrambleBytes(copy.data(), copy.size(), kStringSeeds);
    return copy;
}

}  // namespace pirin
