// Validation of a record image against its fields' checks, the first step
// of an insert or a modify, before anything is locked: a required field
// must not be blank, a value must not lie below the field's minimum or above
// its maximum. Bounds are the texts of the field descriptors, converted to
// the field's type; strings compare by the table's collation, dates, times
// and timestamps as points in time, the integer types, floats and BCD
// values as numbers. Fields of other types pass the bound checks. A blank
// value is compared like any other (its bytes are zero).
//
// A plain function: any thread. Failures: EPirinEngineError naming the
// first failing field and the table: 9732 required and blank, 9730 below the
// minimum, 9731 above the maximum.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "storage/field_descriptor.h"

namespace pirin {

struct TValidationPlace {
    std::string_view Database;
    std::string_view Table;
    std::uint16_t Language = 0;
    std::uint16_t Sort = 0;
};

// True when some field is required or has a bound (else nothing to check).
bool HasValueChecks(std::span<const TFieldDescriptor> fields);

void CheckRecordValues(std::span<const TFieldDescriptor> fields,
                       std::span<const std::uint8_t> image, const TValidationPlace& place);

}  // namespace pirin
