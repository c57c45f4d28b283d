// TIndexKeyLayout: where each part of an index's keys comes from and how it
// is laid out, resolved once from the index descriptor and the table's field
// descriptors, for building keys (index_key_builder.h) and for the key
// description the key comparison takes.
//
// A key is, for each key field in descriptor order, one presence byte (1 a
// value, 0 null) and the field's key form over its key size (its stored
// size; 8 for BCD; 4 for an autoincrement field), then, for a non-unique
// index, the 4-byte row suffix. See doc/index-keys.md.
//
// Plain value: any thread once made. Make raises the engine's definition
// errors with the table and index names: 9487 more than 16 key fields,
// 10023 a field number that names no field, 12292 a BLOB key field, 10000 a
// key field of a fixed-size type whose stored size is not that size, 10026 a
// fields' part above 522 bytes or a key length in the descriptor that
// differs from the one its fields give.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "locale/key_description.h"
#include "storage/field_descriptor.h"
#include "storage/index_descriptor.h"

namespace pirin {

struct TIndexKeyPart {
    std::string FieldName;
    std::uint16_t FieldNumber = 0;
    std::uint8_t Type = 0;           // kField...; an autoincrement field is kFieldInteger
    bool AutoInc = false;            // the value is record bytes 5..8, never null
    int StoredSize = 0;              // bytes after the presence byte in the record
    std::uint16_t RecordOffset = 0;  // of the presence byte (5 for autoincrement)
    int KeySize = 0;                 // bytes of the key form
    int KeyOffset = 0;               // of the presence byte within the key
    bool Descending = false;         // the field's own flag
    // Language 0, field descending, index ascending: the presence byte and
    // the key form (of a string: its declared-size characters) are stored
    // bit-inverted so byte order is the field's descending order.
    bool Inverted = false;
};

struct TIndexKeyLayout {
    std::string TableName;  // for error messages
    std::string IndexName;
    int IndexNumber = 0;
    bool Unique = false;
    bool Descending = false;
    bool CaseInsensitive = false;
    std::uint16_t Language = 0;
    std::uint16_t Sort = 0;
    std::vector<TIndexKeyPart> Parts;
    int FieldBytes = 0;  // the fields' part: key sizes + 1 each
    int KeyLength = 0;   // FieldBytes, + 4 for a non-unique index

    // Resolves an index 0..30 of a table. `fields` are the table's field
    // descriptors in field-number order. The descriptor's key length must be
    // 0 (not yet set) or the one its fields give.
    static TIndexKeyLayout Make(const TIndexDescriptor& descriptor, int indexNumber,
                                std::span<const TFieldDescriptor> fields, std::uint16_t language,
                                std::uint16_t sort, std::string_view tableName = {});

    // The description CompareKeys takes for keys of this layout.
    TKeyDescription Description() const;
};

// Key length of an index defined by `descriptor` over `fields`: the key
// sizes plus one each, plus 4 when not unique. Raises as Make does, except
// that the descriptor's own key length is not looked at.
int IndexKeyLength(const TIndexDescriptor& descriptor, std::span<const TFieldDescriptor> fields,
                   std::string_view tableName = {});

// The description CompareKeys takes for index `indexNumber`. Indexes 31 and
// 32 compare by their number and get no field list; for the others the key
// fields are resolved as in Make and raise the same way (the descriptor's
// stored key length is not looked at).
TKeyDescription KeyDescriptionOf(const TIndexDescriptor& descriptor, int indexNumber,
                                 std::span<const TFieldDescriptor> fields, std::uint16_t language,
                                 std::uint16_t sort, std::string_view tableName = {});

}  // namespace pirin
