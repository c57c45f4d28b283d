// pirin-tool: the commands of the general table utility and their dispatch.
// Each command is one entry of a table (name, usage, options, handler), so a
// new command is one more entry; the commands that read records through a
// cursor (dump, find, locate, import, export) join when the engine's cursor
// does.
//
// Exit codes: 0 success, 1 an error (the engine's message, or a schema or
// text error, on `err`) or, for verify, a damaged table, 2 a usage error.
// Threads: one.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pirin::tools {

// `arguments` excludes the program name.
int RunPirinTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace pirin::tools
