// pirin-tool: a general utility for any Pirin table (see
// pirin_tool_commands.h for the commands and exit codes).
#include <iostream>

#include "tools/pirin_tool_commands.h"

int main(int argc, char** argv) {
    return pirin::tools::RunPirinTool({argv + 1, argv + argc}, std::cout, std::cerr);
}
