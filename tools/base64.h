// Base64 (the standard alphabet with "=" padding) for the bytes the tools
// print: BLOBs that are not text and bytes fields.
//
// Pure functions: any thread. Failures: DecodeBase64 gives nothing for text
// that is not canonical base64 (a foreign character, a wrong length or
// padding, or padding bits that are not zero), so that a bad value is
// refused instead of being read as other bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pirin::tools {

std::string EncodeBase64(std::span<const std::uint8_t> bytes);
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

}  // namespace pirin::tools
