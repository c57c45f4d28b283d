// Little-endian fields of the table files: headers, field descriptors, record
// images, index pages and BLOB blocks. Every on-disk integer of a table file
// is little-endian whatever the host's order; floats are IEEE doubles in the
// same order.
//
// Plain functions on byte spans: any thread. The caller guarantees that the
// span holds the field (offsets are constants of the format or were checked
// against the buffer first), so nothing here checks or raises.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pirin::le {

inline std::uint16_t GetU16(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return std::uint32_t{bytes[at]} | (std::uint32_t{bytes[at + 1]} << 8) |
           (std::uint32_t{bytes[at + 2]} << 16) | (std::uint32_t{bytes[at + 3]} << 24);
}

inline std::int32_t GetI32(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return static_cast<std::int32_t>(GetU32(bytes, at));
}

inline double GetF64(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    const std::uint64_t bits =
        std::uint64_t{GetU32(bytes, at)} | (std::uint64_t{GetU32(bytes, at + 4)} << 32);
    return std::bit_cast<double>(bits);
}

inline void PutU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) noexcept {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) noexcept {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutI32(std::span<std::uint8_t> bytes, std::size_t at, std::int32_t value) noexcept {
    PutU32(bytes, at, static_cast<std::uint32_t>(value));
}

inline void PutF64(std::span<std::uint8_t> bytes, std::size_t at, double value) noexcept {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    PutU32(bytes, at, static_cast<std::uint32_t>(bits));
    PutU32(bytes, at + 4, static_cast<std::uint32_t>(bits >> 32));
}

// A length-byte string with room for `room` characters at `at`: the length
// byte, then the characters. A length byte above the room reads the room only
// and, when asked, reports the string as overlong.
inline std::string GetShortString(std::span<const std::uint8_t> bytes, std::size_t at,
                                  std::size_t room, bool* overlong = nullptr) {
    std::size_t length = bytes[at];
    if (length > room) {
        if (overlong != nullptr) *overlong = true;
        length = room;
    }
    return std::string(reinterpret_cast<const char*>(bytes.data() + at + 1), length);
}

// Stores at most `room` characters of `text` as a length-byte string; the rest
// of the room is zero.
inline void PutShortString(std::span<std::uint8_t> bytes, std::size_t at, std::size_t room,
                           std::string_view text) noexcept {
    const std::size_t length = text.size() < room ? text.size() : room;
    bytes[at] = static_cast<std::uint8_t>(length);
    for (std::size_t i = 0; i < room; ++i)
        bytes[at + 1 + i] = i < length ? static_cast<std::uint8_t>(text[i]) : 0;
}

}  // namespace pirin::le
