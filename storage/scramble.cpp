#include "storage/scramble.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace pirin {

namespace {

constexpr std::size_t kPeriod = 256;

// The key byte of position i is (seed1 + i) ^ (seed2 - i), which repeats
// every 256 positions. One period and a word more (so that a word-wise XOR
// may start anywhere in the period) are kept for the seeds used last: a file
// uses one pair of seeds for all its units.
const std::uint8_t* KeyStream(std::uint8_t seed1, std::uint8_t seed2) {
    thread_local std::uint32_t seeds = ~0u;
    thread_local std::array<std::uint8_t, kPeriod + sizeof(std::uint64_t)> stream{};
    const std::uint32_t key = std::uint32_t{seed1} << 8 | seed2;
    if (seeds != key) {
        for (std::size_t i = 0; i < stream.size(); ++i)
            stream[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(seed1 + i) ^
                                                  static_cast<std::uint8_t>(seed2 - i));
        seeds = key;
    }
    return stream.data();
}

}  // namespace

void ScrambleBytes(void* buffer, std::size_t length, std::uint8_t seed1, std::uint8_t seed2) {
    if ((length & 0xFFFF) == 0) return;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const std::uint8_t* stream = KeyStream(seed1, seed2);
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= length; i += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::uint64_t mask;
        std::memcpy(&word, bytes + i, sizeof word);
        std::memcpy(&mask, stream + i % kPeriod, sizeof mask);
        word ^= mask;
        std::memcpy(bytes + i, &word, sizeof word);
    }
    for (; i < length; ++i) bytes[i] ^= stream[i % kPeriod];
}

std::string ScrambleString(std::string_view text) {
    std::string copy(text);
    ScrambleBytes(copy.data(), copy.size(), kStringSeeds);
    return copy;
}

}  // namespace pirin
