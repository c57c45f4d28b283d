// The pirin-tool commands that search records by field values or limit a
// dump to part of a table, through the engine cursor's key ranges and
// filters:
//
// - locate DIR TABLE FIELD=VALUE... [--case-insensitive] [--partial]: the
//   first record, in the primary order, whose listed fields equal the values
//   (an empty value asks for a field without a value; with --partial a
//   string field's value need only begin with the text, a trailing "*"
//   dropped). The values are ANDed into one equality filter, which the
//   engine answers through an index where one serves. Prints {"found":
//   bool, "record": {...} or null}.
// - dump/export ... [--range-start VALUE... --range-end VALUE...]
//   [--where FIELD=VALUE]...: the dump limited to the key range of the
//   chosen index (one value per leading key field, repeated options in key
//   order; both bounds inclusive) and to the records whose fields equal the
//   --where values (compared exactly, letter case included).
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
