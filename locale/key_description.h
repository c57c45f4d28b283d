// TKeyDescription: what CompareKeys needs to know about the index whose keys
// it compares. A plain value that the cursor and the index file fill from the
// index's descriptor and the table's locale.
//
// Key layout: per field one null-flag byte (1 value, 0 null) and KeySize bytes
// of the value's key form; a non-unique index appends the 4-byte row
// identifier. Index 31 is the deleted-records index; index 32 the text index,
// whose keys are 3 bytes, a 61-byte zero-padded word and 4 bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace pirin {

inline constexpr int kDeletedRecordsIndex = 31;
inline constexpr int kTextIndex = 32;

struct TKeyField {
    std::uint8_t Type = 0;    // field type code, locale/field_types.h
    int KeySize = 0;          // length of the value in the key (FieldKeySize)
    bool Descending = false;  // this field orders descending
};

struct TKeyDescription {
    int IndexNumber = 0;
    std::vector<TKeyField> Fields;  // in index order
    bool Descending = false;        // the whole index orders descending
    std::uint16_t Language = 0;     // the table's locale
    std::uint16_t Sort = 0;
};

}  // namespace pirin
