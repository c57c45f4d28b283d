#include "storage/index_key_form.h"

#include <bit>
#include <cmath>
#include <limits>

namespace pirin {

namespace {

template <std::size_t N>
void PutBigEndian(std::uint64_t value, std::span<std::uint8_t, N> out) noexcept {
    for (std::size_t i = 0; i < N; ++i)
        out[N - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

void PutSmallIntKey(std::int16_t value, std::span<std::uint8_t, 2> out) noexcept {
    PutBigEndian<2>(static_cast<std::uint16_t>(value) ^ 0x8000u, out);
}

void PutWordKey(std::uint16_t value, std::span<std::uint8_t, 2> out) noexcept {
    PutBigEndian<2>(value, out);
}

void PutIntegerKey(std::int32_t value, std::span<std::uint8_t, 4> out) noexcept {
    PutBigEndian<4>(static_cast<std::uint32_t>(value) ^ 0x8000'0000u, out);
}

void PutLargeIntKey(std::int64_t value, std::span<std::uint8_t, 8> out) noexcept {
    PutBigEndian<8>(static_cast<std::uint64_t>(value) ^ 0x8000'0000'0000'0000u, out);
}

void PutFloatKey(double value, std::span<std::uint8_t, 8> out) noexcept {
    constexpr std::uint64_t kTop = 0x8000'0000'0000'0000u;
    if (value == 0.0) value = 0.0;  // -0.0 is stored as +0.0
    if (std::isnan(value)) value = std::numeric_limits<double>::quiet_NaN();
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    // quiet_NaN() may carry the sign bit on some platforms; clear it so every
    // NaN sorts after +infinity.
    if (std::isnan(value)) bits &= ~kTop;
    bits = (bits & kTop) ? ~bits : (bits | kTop);
    PutBigEndian<8>(bits, out);
}

}  // namespace pirin
