// Builds the demo dictionary database (without sounds) into the folder
// given, for the end-to-end test of the desktop program.
#include <cstdio>
#include <exception>

#include "dictdata/build_database.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: build_demo_data OUT_DIR\n");
        return 2;
    }
    try {
        vorlano::TBuildOptions options;
        options.OutDir = argv[1];
        options.MakeSounds = false;
        const auto result = vorlano::BuildDictionaryDatabase(options);
        for (const auto& table : result.Tables)
            std::printf("%s %zu\n", table.Table.c_str(), table.Entries);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
