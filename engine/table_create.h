// Creating a new table: the definition of its fields and indexes
// (TTableDefinition) and CreateTable, which makes the table's files from it:
// the data file with its header and field descriptors, the index file with
// the primary and secondary index descriptors, and, only when a field is a
// BLOB, the BLOB file. Everything is written before CreateTable returns and
// the files are closed again; a table is then opened the usual way.
//
// A table's files are named from its base path (the database folder, ending
// in "/", followed by the table name; an in-memory table has just its name):
// base + ".DAT", ".IDX" and ".BLB", where a table name that already ends in
// ".DAT" (any letter case) has that extension replaced, not doubled.
//
// Plain values and a free function: no state is kept between calls. One
// thread at a time per table name (the file layer serialises the files).
// Failures raise EPirinEngineError with the table name and database path:
// 11010 for a blank table name; 13060 when the table's data file exists
// already; 15878 a language and sort
// this system cannot collate; 9492 more than 1024
// fields; 10038 a bad or repeated field name; 10000 a bad type or size;
// 10006 a default, minimum or maximum that is not a value of the field's
// type; 9498 more than 128 BLOB fields; 9477 a record above 65535 bytes;
// 10023 an index naming a field the table lacks (or a per-field descending
// list of the wrong length, or a compression above 3); 9487, 10010, 10022,
// 10027, 12292 the index definition errors of the index file; and the file
// layer's errors. Nothing of a failed creation is left behind: whatever
// files it made are removed again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/field_descriptor.h"

namespace pirin {

struct TFieldDefinition {
    std::string Name{};
    std::uint8_t Type = 0;      // kField... of locale/field_types.h
    std::uint8_t Subtype = 0;   // kSubtype...
    std::uint8_t Size = 0;      // declared size of string, bytes and varbytes fields
    std::uint8_t Decimals = 0;  // scale of a BCD field
    bool Required = false;
    std::uint8_t CharCase = kCaseAsEntered;
    std::string Min{};
    std::string Max{};
    std::string Default{};
    std::string Description{};  // display label
};

struct TIndexDefinition {
    std::string Name{};                 // ignored for the primary index
    std::vector<std::string> Fields{};  // key fields by name, in key order
    bool Unique = false;                // the primary index is always unique
    bool CaseInsensitive = false;
    bool Descending = false;
    // One flag per key field, or empty for all ascending.
    std::vector<bool> FieldDescending{};
    std::uint8_t Compression = 0;  // 0 none, 1 duplicate, 2 trailing, 3 full
};

struct TTableDefinition {
    std::vector<TFieldDefinition> Fields{};
    // The primary key; nothing for a table without one (records in slot
    // order, deleted slots never reused).
    std::optional<TIndexDefinition> Primary{};
    std::vector<TIndexDefinition> Indexes{};
    std::uint16_t Language = 0;
    std::uint16_t Sort = 0;
    std::string Description{};
    // An encrypted table's password (only its first 15 characters are kept);
    // nothing for a table in clear.
    std::optional<std::string> Password{};
    std::uint32_t BlobBlockSize = 512;
};

// Where a table's files are: `Directory` is the database path ("/" at the
// end, or empty for the in-memory database), `Name` the table name.
struct TTableLocation {
    std::string Directory{};
    std::string Name{};
    bool InMemory = false;
};

struct TTableFileNames {
    std::string Data{};
    std::string Index{};
    std::string Blob{};
};

// True when `name` ends in ".DAT" in any letter case.
bool HasDataFileExtension(std::string_view name);

// The three file names of a table (see the header comment for the rule).
TTableFileNames TableFileNames(std::string_view directory, std::string_view tableName);

// The field descriptors a definition gives, in field order (numbers, stored
// sizes and offsets are filled in when the data file is created).
std::vector<TFieldDescriptor> FieldDescriptors(const TTableDefinition& definition);

// Creates the table's files from `definition`; see the header comment.
void CreateTable(const TTableLocation& location, const TTableDefinition& definition);

}  // namespace pirin
