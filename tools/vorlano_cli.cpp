// vorlano-cli: dictionary look-ups and the database builder from a terminal
// (see vorlano_cli_commands.h).
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "tools/vorlano_cli_commands.h"

int main(int argc, char** argv) {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::canonical("/proc/self/exe", error);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return vorlano::cli::RunVorlanoCli(arguments, error ? std::string(".") : executable.parent_path().string(),
                                       std::cout, std::cerr);
}
