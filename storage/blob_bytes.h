// Little-endian integers inside the BLOB file's header and blocks. Every
// on-disk integer of a table file is little-endian whatever the host's order.
//
// Plain functions on byte spans: any thread. The caller guarantees that the
// span holds the field (offsets are constants of the format, never read from
// disk), so nothing here checks or raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pirin::blob_bytes {

inline std::uint16_t GetU16(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline std::int32_t GetI32(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    const std::uint32_t value = std::uint32_t{bytes[at]} | (std::uint32_t{bytes[at + 1]} << 8) |
                                (std::uint32_t{bytes[at + 2]} << 16) |
                                (std::uint32_t{bytes[at + 3]} << 24);
    return static_cast<std::int32_t>(value);
}

inline void PutU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) noexcept {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutI32(std::span<std::uint8_t> bytes, std::size_t at, std::int32_t value) noexcept {
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

}  // namespace pirin::blob_bytes
