// Key forms of single values: the bytes a value takes inside an index key, so
// that comparing keys byte by byte as unsigned numbers gives the values'
// order. Numbers are written big-endian; signed integers have their sign bit
// inverted; doubles have the top bit set when not negative and every bit
// inverted when negative.
//
// Doubles: -0.0 takes the key of +0.0 (they are equal values, and a unique
// index must not hold both), and every NaN takes one key, that of the
// positive quiet NaN, which sorts after +infinity. Without this a NaN with
// its sign bit set would sort before -infinity and NaNs of different bit
// patterns would make distinct keys.
//
// Plain functions on caller-owned buffers: any thread; nothing raises. The
// caller gives an output span of exactly the form's size.
#pragma once

#include <cstdint>
#include <span>

namespace pirin {

// 2 bytes: small integer.
void PutSmallIntKey(std::int16_t value, std::span<std::uint8_t, 2> out) noexcept;
// 2 bytes: word and boolean (unsigned, no sign to invert).
void PutWordKey(std::uint16_t value, std::span<std::uint8_t, 2> out) noexcept;
// 4 bytes: integer, date, time, autoincrement value and row suffix.
void PutIntegerKey(std::int32_t value, std::span<std::uint8_t, 4> out) noexcept;
// 8 bytes: large integer and BCD (the value x 10000).
void PutLargeIntKey(std::int64_t value, std::span<std::uint8_t, 8> out) noexcept;
// 8 bytes: float and timestamp.
void PutFloatKey(double value, std::span<std::uint8_t, 8> out) noexcept;

}  // namespace pirin
