#include "storage/scramble.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "storage/little_endian.h"

namespace pirin {

namespace {

constexpr std::size_t kPeriod = 256;
using TKeyStream = std::array<std::uint8_t, kPeriod>;

// The key byte of position i is (seed1 + i) ^ (seed2 - i), which repeats
// every 256 positions.
constexpr TKeyStream MakeKeyStream(std::uint8_t seed1, std::uint8_t seed2) {
    TKeyStream stream{};
    for (std::size_t i = 0; i < kPeriod; ++i)
        stream[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(seed1 + i) ^
                                              static_cast<std::uint8_t>(seed2 - i));
    return stream;
}

// The two seed pairs the files use are made at compile time; a run switches
// between them all the time (a record, then a header's password), so
// neither may cost a rebuild of the other.
constexpr TKeyStream kDataStream = MakeKeyStream(kDataSeeds.First, kDataSeeds.Second);
constexpr TKeyStream kStringStream = MakeKeyStream(kStringSeeds.First, kStringSeeds.Second);

const std::uint8_t* KeyStream(std::uint8_t seed1, std::uint8_t seed2) {
    if (seed1 == kDataSeeds.First && seed2 == kDataSeeds.Second) return kDataStream.data();
    if (seed1 == kStringSeeds.First && seed2 == kStringSeeds.Second) return kStringStream.data();
    thread_local std::uint32_t seeds = ~0u;
    thread_local TKeyStream stream{};
    const std::uint32_t key = std::uint32_t{seed1} << 8 | seed2;
    if (seeds != key) {
        stream = MakeKeyStream(seed1, seed2);
        seeds = key;
    }
    return stream.data();
}

// XORs `length` bytes (at most one period) with the stream from its start.
// Whole periods go through XorPeriod, whose fixed length lets the compiler
// work on many bytes at once.
void XorPart(std::uint8_t* bytes, const std::uint8_t* stream, std::size_t length) {
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= length; i += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::uint64_t mask;
        std::memcpy(&word, bytes + i, sizeof word);
        std::memcpy(&mask, stream + i, sizeof mask);
        word ^= mask;
        std::memcpy(bytes + i, &word, sizeof word);
    }
    for (; i < length; ++i) bytes[i] ^= stream[i];
}

void XorPeriod(std::uint8_t* __restrict bytes, const std::uint8_t* __restrict stream) {
    for (std::size_t i = 0; i < kPeriod; ++i) bytes[i] ^= stream[i];
}

}  // namespace

void ScrambleBytes(void* buffer, std::size_t length, std::uint8_t seed1, std::uint8_t seed2) {
    if ((length & 0xFFFF) == 0) return;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const std::uint8_t* stream = KeyStream(seed1, seed2);
    std::size_t done = 0;
    for (; done + kPeriod <= length; done += kPeriod) XorPeriod(bytes + done, stream);
    XorPart(bytes + done, stream, length - done);
}

std::int32_t LeadingCounter(std::span<const std::uint8_t> bytes, bool scrambled) {
    // XOR is byte-wise, so the four key bytes can be taken as one value.
    constexpr std::uint32_t kKey = std::uint32_t{kDataStream[0]} |
                                   std::uint32_t{kDataStream[1]} << 8 |
                                   std::uint32_t{kDataStream[2]} << 16 |
                                   std::uint32_t{kDataStream[3]} << 24;
    return static_cast<std::int32_t>(le::GetU32(bytes, 0) ^ (scrambled ? kKey : 0u));
}

std::string ScrambleString(std::string_view text) {
    std::string copy(text);
    ScrambleBytes(copy.data(), copy.size(), kStringSeeds);
    return copy;
}

}  // namespace pirin
