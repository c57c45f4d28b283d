// Table scrambling: a byte-wise XOR stream that encrypted tables apply to
// their records, field descriptors, index pages, BLOB blocks, file headers,
// description and password. The stream is fixed; the password is only a gate
// (password_gate.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pirin {

struct TScrambleSeeds {
    std::uint8_t First;
    std::uint8_t Second;
};

// Records, descriptors, pages, blocks and headers.
inline constexpr TScrambleSeeds kDataSeeds{0x5B, 0xA6};
// The description and password characters of a data-file header.
inline constexpr TScrambleSeeds kStringSeeds{0x3D, 0x8E};

// Scrambles `length` bytes in place; the same call undoes it. Each call starts
// afresh from the seeds. A length whose low 16 bits are zero (0, 65536, ...)
// leaves the buffer unchanged.
void ScrambleBytes(void* buffer, std::size_t length, std::uint8_t seed1, std::uint8_t seed2);
inline void ScrambleBytes(void* buffer, std::size_t length, TScrambleSeeds seeds) {
    ScrambleBytes(buffer, length, seeds.First, seeds.Second);
}

// The little-endian signed value of the first four bytes of a run stored
// scrambled with the data seeds (`scrambled`) or clear: a header's change
// counter, read without unscrambling the rest of the header (the key of a
// byte depends only on its place in the run). At least four bytes.
std::int32_t LeadingCounter(std::span<const std::uint8_t> bytes, bool scrambled);

// A scrambled (or clear) copy of a string run with the string seeds.
std::string ScrambleString(std::string_view text);

}  // namespace pirin
