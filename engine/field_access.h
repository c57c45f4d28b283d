// Reading and writing one field's value inside a record image, by the
// field's descriptor: an offset and a length, no parsing. The presence byte
// at the descriptor's offset says whether the field has a value; the value
// bytes follow it. An auto-increment field has no presence byte: it is the
// record's autoincrement value (bytes 5..8) and is never blank.
//
// Value forms (little-endian, as stored): a string is its characters up to a
// zero; a BLOB is its 4-byte first-block number or, while it is open, the
// negative handle of its buffer; a Boolean a 16-bit 0 or 1; every other type
// its stored bytes.
//
// Plain functions: any thread. Preconditions (checked by the cursor, which
// raises): the image holds the field's bytes and a value buffer holds
// FieldValueSize bytes (strings: any length, cut to the field).
// Failures: WriteFieldDefault raises EConvertError for a default text that
// is not a value of its type (the data file refuses such definitions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "storage/field_descriptor.h"

namespace pirin {

// The table's language driver, for the character case of string fields.
struct TFieldLocale {
    std::uint16_t Language = 0;
    std::uint16_t Sort = 0;
};

// Bytes GetField delivers: 4 for a BLOB, else the stored size.
std::size_t FieldValueSize(const TFieldDescriptor& field);
// Bytes the field occupies in the image from its offset.
std::size_t FieldImageSpan(const TFieldDescriptor& field);

// True when the field is blank; copies the value into `value` when it is
// not empty (the bytes are copied even for a blank field).
bool ReadFieldValue(const TFieldDescriptor& field, std::span<const std::uint8_t> image,
                    std::span<std::uint8_t> value);

// Stores `value` (nothing: blank). Strings lose trailing blanks, take the
// field's character case and are cut to the declared size; an empty result
// is blank. A BLOB value that is a handle is present unless `handleBlank`;
// a block number is present when not 0. A Boolean above 1 is stored as 1.
void WriteFieldValue(const TFieldDescriptor& field, std::span<std::uint8_t> image,
                     std::optional<std::span<const std::uint8_t>> value, bool handleBlank,
                     const TFieldLocale& locale);

// Stores the field's default text converted to its type (nothing for an
// empty default or a type without a text form). CURRENT_DATE, CURRENT_TIME
// and CURRENT_TIMESTAMP (any case) stand for the moment of the call; a
// timestamp takes CURRENT_DATE as today's midnight and CURRENT_TIME as the
// time of day on day 0 of the day-count scale.
void WriteFieldDefault(const TFieldDescriptor& field, std::span<std::uint8_t> image,
                       const TFieldLocale& locale);

}  // namespace pirin
