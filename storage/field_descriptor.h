// TFieldDescriptor: one field definition of a table, as the data file stores
// it in a 768-byte descriptor after the table header, parsed into a struct;
// the stored and key sizes of each field type; the rules one definition must
// follow on its own; and the SQL type keywords that name field types.
//
// Layout of the 768 bytes (little-endian; strings are a length byte followed
// by the characters, in the table's code page):
//   0 number (u16)  2 name (1 + 30)  33 description (1 + 50)  84 type
//   85 subtype  86 declared size  87 scale  88 stored size  89 scale copy
//   90 offset (u16)  92 required  93 character case  94 minimum (1 + 50)
//   145 maximum (1 + 50)  196 default (1 + 50)  247..767 reserved, zero.
//
// Plain values and pure functions: any thread. Nothing here raises; bytes
// from disk are bounded by the descriptor, and a length byte that claims more
// characters than its place holds leaves the descriptor marked not
// well-formed (the data file's structure check rejects it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "locale/field_types.h"

namespace pirin {

inline constexpr std::size_t kFieldDescriptorSize = 768;
inline constexpr std::size_t kFieldNameLength = 30;
inline constexpr std::size_t kFieldTextLength = 50;
// Declared size limit of string, bytes and varbytes fields.
inline constexpr std::uint8_t kMaxDeclaredSize = 250;
// An autoincrement field has no place of its own: it is record bytes 5..8.
inline constexpr std::uint16_t kAutoIncOffset = 5;

// Character case of a string field.
inline constexpr std::uint8_t kCaseAsEntered = 0;
inline constexpr std::uint8_t kCaseLower = 1;
inline constexpr std::uint8_t kCaseUpper = 2;

struct TFieldDescriptor {
    std::uint16_t Number = 0;  // 1-based position
    std::string Name;          // up to 30 characters
    std::string Description;   // up to 50 characters; the field's display label
    std::uint8_t Type = 0;     // kField... of locale/field_types.h
    std::uint8_t Subtype = 0;
    std::uint8_t DeclaredSize = 0;  // strings, bytes, varbytes; else 0
    std::uint8_t Scale = 0;         // decimal places of a BCD field; else 0
    std::uint8_t StoredSize = 0;
    std::uint8_t ScaleCopy = 0;
    std::uint16_t Offset = 0;  // of the null-flag byte (5 for autoincrement)
    bool Required = false;
    std::uint8_t CharCase = kCaseAsEntered;
    std::string MinText;
    std::string MaxText;
    std::string DefaultText;
    // False when unpacked from bytes whose length bytes overran their places.
    bool WellFormed = true;

    bool IsAutoInc() const { return Type == kFieldInteger && Subtype == kSubtypeAutoInc; }
    bool IsBlob() const { return Type == kFieldBlob; }
    // The stored size the type and declared size give.
    int ExpectedStoredSize() const { return FieldStoredSize(Type, DeclaredSize); }
    // Length inside an index key: the stored size, 8 for BCD.
    int KeySize() const { return FieldKeySize(Type, StoredSize); }
};

using TFieldDescriptorBytes = std::span<std::uint8_t, kFieldDescriptorSize>;
using TConstFieldDescriptorBytes = std::span<const std::uint8_t, kFieldDescriptorSize>;

// Writes the 768 bytes; strings longer than their place are cut, the
// reserved tail is zero.
void PackFieldDescriptor(const TFieldDescriptor& field, TFieldDescriptorBytes out);
TFieldDescriptor UnpackFieldDescriptor(TConstFieldDescriptorBytes bytes);

// What is wrong with one definition taken on its own, in the order the rules
// are checked: the name's form, then the type and sizes, then the texts.
enum class TFieldFault : std::uint8_t { None, Name, Definition, ValueText };
TFieldFault FieldDescriptorFault(const TFieldDescriptor& field);

// True when `text` may be a default, minimum or maximum of a field of
// `type`: empty, or a value of the type in the engine's text forms
// (CURRENT_DATE, CURRENT_TIME, CURRENT_TIMESTAMP where they fit). Strings,
// bytes, varbytes and unknown types accept any text.
bool IsValidFieldValueText(std::uint8_t type, std::string_view text);

// Names compared as field names are: blanks around them ignored, ASCII
// letters without regard to case.
bool SameFieldName(std::string_view a, std::string_view b);

// Type and subtype named by an SQL type keyword (any letter case);
// `hasArguments` tells whether the keyword carried a parenthesised list
// ("BLOB(1, 2)" is a plain BLOB). Nothing for an unknown keyword.
struct TSqlFieldType {
    std::uint8_t Type;
    std::uint8_t Subtype;
    bool operator==(const TSqlFieldType&) const = default;
};
std::optional<TSqlFieldType> SqlFieldType(std::string_view keyword, bool hasArguments = false);

}  // namespace pirin
