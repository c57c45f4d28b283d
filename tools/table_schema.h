// The JSON schema of `pirin-tool create` turned into a table definition, and
// the type keywords the tools print for field types.
//
// Schema: {"language": 1026, "sort": 0, "password": null, "description": "",
// "blob_block_size": 512, "fields": [{"name": "Id", "type": "INTEGER"}, ...],
// "primary": {"fields": ["Id"]}, "indexes": [{"name": "IdxWord", "fields":
// ["Word"], "unique": false, "case_insensitive": true, "descending": false,
// "field_descending": [false], "compression": 3}]}. A field has "name" and
// "type" (an SQL type keyword, or a type code number) and may have "size",
// "subtype", "scale", "required", "case" (0 as entered, 1 lower, 2 upper),
// "min", "max", "default" and "description". "primary": null or no
// "primary" makes a table without a primary key. Names and texts are UTF-8
// and are stored in the code page of the table's language. Unknown keys are
// refused, so that a misspelt key never passes unnoticed.
//
// Pure functions: any thread. Failures: ESchemaError naming the place in
// the schema (the definition's own errors come later, from CreateTable).
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "engine/table_create.h"
#include "storage/field_descriptor.h"

namespace pirin::tools {

class ESchemaError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

TTableDefinition ParseTableSchema(const nlohmann::json& schema);

// The SQL keyword of a field's type ("VARCHAR", "AUTOINC", "MEMO", ...), or
// the type code for the types no keyword names.
nlohmann::json FieldTypeName(const TFieldDescriptor& field);

}  // namespace pirin::tools
