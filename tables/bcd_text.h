// Exact decimal text of a BCD field's stored form and back, digit by digit:
// no value passes through a binary or four-place form, so every digit the
// file holds is printed and every digit given is stored.
//
// Text: an optional "-" (or "+" when reading), digits, and optionally "."
// with more digits; no exponent. Written with no trailing zeros after the
// point, no point for a whole value, no leading zeros, and "0" for zero.
//
// Pure functions: any thread. Failures: nothing (BcdToText) for a stored form
// that breaks its rules (storage/index_key_bcd.h); TextToBcd raises
// std::invalid_argument with the reason for text that is not such a number,
// has more significant decimals than the field's places, or more whole digits
// than the precision leaves.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "storage/index_key_bcd.h"

namespace pirin {

std::optional<std::string> BcdToText(std::span<const std::uint8_t, kBcdStoredSize> bcd);

// The stored form with the engine's precision and `places` decimals.
std::array<std::uint8_t, kBcdStoredSize> TextToBcd(std::string_view text, int places);

}  // namespace pirin
