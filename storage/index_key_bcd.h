// The 34-byte BCD stored form of a decimal field and its conversion to and
// from the engine's four-place decimal (an int64 holding the value x 10000,
// locale/number_text.h), which is what an index key holds for a BCD field.
//
// Stored form: byte 0 the precision p (number of digits, 0..64); byte 1 the
// sign in bit 7 (set: negative) and the decimal places s in bits 0..5
// (s <= p); bytes 2..33 the digits packed two per byte, high nibble first.
// The p digits are left-aligned: digit i is nibble i (byte 2 + i / 2, the
// high nibble when i is even); the first p - s digits are the whole part,
// the last s the fraction. Nibbles after digit p are ignored (written 0).
// Bit 6 of byte 1 is ignored.
//
// Plain functions: any thread. Decoding never raises: it reports a form
// that breaks these rules so the caller can raise its corruption code.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace pirin {

inline constexpr std::size_t kBcdStoredSize = 34;
inline constexpr int kBcdMaxDigits = 64;
// The precision the engine writes.
inline constexpr int kBcdPrecision = 32;

// The value x 10000, rounded half away from zero at the fifth decimal place.
// Values beyond the int64 range saturate at its ends (the key still sorts
// them after, or before, every value that fits). Nothing when the form is
// malformed: precision above 64, places above the precision, a digit nibble
// above 9.
std::optional<std::int64_t> BcdToDecimal(std::span<const std::uint8_t, kBcdStoredSize> bcd);

// The stored form of `scaled` / 10000 with precision 32 and `places`
// decimals (0..32), rounded half away from zero when places is below 4.
// Nothing when places is above 32 or the whole part needs more than
// 32 - places digits.
std::optional<std::array<std::uint8_t, kBcdStoredSize>> DecimalToBcd(std::int64_t scaled,
                                                                     int places);

}  // namespace pirin
