// The fields the dictionary program relies on in its tables, and the check
// that an open table has them with the right type and size.
//
// Pure functions: any thread. Failures: EDatabaseError "Field '<name>' not
// found" or "Type mismatch for field '<name>', expecting: <type> actual:
// <type>" (also for a size that differs).
#pragma once

#include <span>
#include <string_view>

#include "tables/fields.h"
#include "tables/pirin_table.h"

namespace vorlano {

struct TExpectedField {
    std::string_view Name;
    pirin::TFieldType Type;
    int Size;  // 0: the type has no size
};

// "LangWords": Id (unsigned 16-bit), Table (fixed-width 5), Words (memo).
std::span<const TExpectedField> WordListFields();
// A dictionary table: Id (32-bit), Word (fixed-width 50), Desc (memo).
std::span<const TExpectedField> DictionaryFields();

void CheckFields(const pirin::TPirinTable& table, std::span<const TExpectedField> fields);

}  // namespace vorlano
