// The pirin-tool commands that work on records through the open table
// component: dump (and export), find and import. Records take the form of
// field_json.h, one JSON object per line.
//
// - DumpRecords prints every record of the table's view (First, Next) in
//   the order of the named index (the primary order, or record order for a
//   table without a primary key, when the name is empty).
// - FindRecord selects the index, gives one value per key field (the first
//   fields of the index, at least one) to the key buffer (SetKey) and
//   searches with GotoKey, and on a miss with GotoNearest: it prints
//   {"found": bool, "record": {...}} for the record the table then stands
//   on (the first at or above the key, or the last one), null for an empty
//   table.
// - ImportRecords reads the file twice: first every line is converted into
//   a new record that is then given up (nothing is inserted when any line is
//   bad), then each is inserted (Insert, field values, Post). "_recno" and
//   the auto-increment field are ignored (the engine assigns both); a field
//   missing from a line takes its default. A failing post stops the import
//   at that line; the engine's write path leaves no trace of it, and the
//   lines before it stay imported.
//
// Threads: one. Failures: ERecordValueError ("line N: ..." for import) for
// a bad value, line or key; EPirinEngineError from the engine (10022 unknown
// index, 9729 duplicate key, 9732 required field blank, ...), prefixed with
// the line by import.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/field_json.h"
#include "tools/tool_table.h"

namespace pirin::tools {

void DumpRecords(TToolTable& table, const std::string& indexName, std::ostream& out);
// Returns whether the key was found.
bool FindRecord(TToolTable& table, const std::string& indexName,
                const std::vector<std::string>& values, std::ostream& out);
// Returns the number of records inserted.
int ImportRecords(TToolTable& table, const std::string& file);

}  // namespace pirin::tools
