// ParseFilterText: the condition text of a dataset's Filter property. It
// reads comparisons of a field with a constant joined by AND:
//   Name = 'text'   [Two Words] <> 12   Tag = NULL   Word >= 'b' and Num < 5
// Names are bare words or in brackets; operators = <> < > <= >=; constants
// are quoted text ('' stands for one quote), whole numbers, or NULL; the
// AND keyword ignores case. Nothing else is understood.
//
// Threads: any. Failures: none raised; a text it cannot read gives nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/filter.h"
#include "tables/pirin_dataset.h"

namespace pirin {

struct TFilterTerm {
    std::string FieldName;
    TFilterOperator Operator = TFilterOperator::Equal;
    TKeyValue Value;
};

// The terms of the text; nothing when it is empty or cannot be read.
std::optional<std::vector<TFilterTerm>> ParseFilterText(std::string_view text);

}  // namespace pirin
