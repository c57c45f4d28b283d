// What `pirin-tool info` prints about a table: one JSON object with the
// header's properties, every field and every index (the primary index as
// number 0 when the table has one, then the secondary indexes; the internal
// indexes 31 and 32 are not listed). Texts are decoded from the table's code
// page to UTF-8.
//
// Reads the open table's headers only. Threads: the files'. Failures: none beyond what
// the files raise.
#pragma once

#include <nlohmann/json.hpp>

#include "tools/tool_table.h"

namespace pirin::tools {

nlohmann::ordered_json TableInfo(TToolTable& table);

}  // namespace pirin::tools
