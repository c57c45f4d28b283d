// The engine's field type codes and subtypes, as a field definition carries
// them in the data file (a byte of type code and a byte of subtype). Shared by
// the key comparison in this layer and the table files in storage/.
//
// Constants only: no state, usable from any thread.
#pragma once

#include <cstdint>

namespace pirin {

// ---- field type codes ----
inline constexpr std::uint8_t kFieldString = 1;      // declared size + 1, zero-terminated
inline constexpr std::uint8_t kFieldDate = 2;        // 4: day number
inline constexpr std::uint8_t kFieldBlob = 3;        // 8: first block, BLOB stamp
inline constexpr std::uint8_t kFieldBoolean = 4;     // 2: 0 or 1
inline constexpr std::uint8_t kFieldSmallInt = 5;    // 2: signed
inline constexpr std::uint8_t kFieldInteger = 6;     // 4: signed
inline constexpr std::uint8_t kFieldFloat = 7;       // 8: IEEE double
inline constexpr std::uint8_t kFieldBcd = 8;         // 34: packed decimal (key size 8)
inline constexpr std::uint8_t kFieldBytes = 9;       // declared size
inline constexpr std::uint8_t kFieldTime = 10;       // 4: milliseconds since midnight
inline constexpr std::uint8_t kFieldTimeStamp = 11;  // 8: IEEE double
inline constexpr std::uint8_t kFieldWord = 12;       // 2: unsigned
inline constexpr std::uint8_t kFieldFourBytes = 13;  // 4: stored as given
inline constexpr std::uint8_t kFieldTenBytes = 14;   // 10: stored as given
inline constexpr std::uint8_t kFieldVarBytes = 15;   // declared size
inline constexpr std::uint8_t kFieldLargeInt = 18;   // 8: signed 64-bit

// ---- subtypes ----
inline constexpr std::uint8_t kSubtypePlain = 0;
inline constexpr std::uint8_t kSubtypeMoney = 21;          // float
inline constexpr std::uint8_t kSubtypeMemo = 22;           // BLOB holding text
inline constexpr std::uint8_t kSubtypeBinary = 23;         // BLOB
inline constexpr std::uint8_t kSubtypeFormattedMemo = 24;  // BLOB
inline constexpr std::uint8_t kSubtypeGraphic = 26;        // BLOB
inline constexpr std::uint8_t kSubtypeTypedBinary = 28;    // BLOB
inline constexpr std::uint8_t kSubtypeAutoInc = 29;        // integer, lives in record bytes 5..8
inline constexpr std::uint8_t kSubtypeFixedString = 31;    // fixed-width string

// Stored size of a field of `type` with `declaredSize` (the size a field
// definition gives); codes without a fixed size store the declared size.
constexpr int FieldStoredSize(std::uint8_t type, int declaredSize) {
    switch (type) {
        case kFieldString:
            return declaredSize + 1;
        case kFieldDate:
            return 4;
        case kFieldBlob:
            return 8;
        case kFieldBoolean:
            return 2;
        case kFieldSmallInt:
            return 2;
        case kFieldInteger:
            return 4;
        case kFieldFloat:
            return 8;
        case kFieldBcd:
            return 34;
        case kFieldTime:
            return 4;
        case kFieldTimeStamp:
            return 8;
        case kFieldWord:
            return 2;
        case kFieldFourBytes:
            return 4;
        case kFieldTenBytes:
            return 10;
        case kFieldLargeInt:
            return 8;
        default:
            return declaredSize;
    }
}

// Length of a field inside an index key: its stored size, except 8 for BCD.
constexpr int FieldKeySize(std::uint8_t type, int storedSize) {
    return type == kFieldBcd ? 8 : storedSize;
}

}  // namespace pirin
