// The pirin-tool commands that search records by field values or limit a
// dump to part of a table, through the table component's Locate, key
// ranges and filters:
//
// - locate DIR TABLE FIELD=VALUE... [--case-insensitive] [--partial]: the
//   table's Locate: the first record whose listed fields equal the values
//   (an empty value asks for a field without a value; with --partial the
//   last listed field, when it is a string field, need only begin with the
//   text, a trailing "*" dropped), searched by key on the primary index or another index that
//   begins with the fields (first in that index's order), else by a scan in
//   the primary order. Prints {"found": bool, "record": {...} or null}.
// - dump/export ... [--range-start VALUE... --range-end VALUE...]
//   [--where FIELD=VALUE]...: the dump limited to the key range of the
//   chosen index (SetRangeStart/SetRangeEnd/ApplyRange: one value per
//   leading key field, repeated options in key order; both bounds
//   inclusive) and to the records whose fields equal the --where values
//   (the dataset's Filter, compared exactly, letter case included).
//
// Threads: one. Failures: EUsageError for a malformed FIELD=VALUE or a
// range given by one end only; ERecordValueError for an unknown field
// ("Field 'X' not found") or a value its field cannot hold; the engine's
// errors (10022 unknown index, ...).
#pragma once

#include <ostream>

#include "tools/tool_arguments.h"

namespace pirin::tools {

int LocateCommand(const TToolArguments& arguments, std::ostream& out);
// dump and export, with or without a range and conditions.
int DumpViewCommand(const TToolArguments& arguments, std::ostream& out);

}  // namespace pirin::tools
