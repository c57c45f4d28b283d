// Builds the demo dictionary database into the folder given, for the
// end-to-end test of the desktop program: the pronunciations only of the
// first SOUNDS words of each foreign list (none when 0 or left out), so the
// build stays fast.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "dictdata/build_database.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: build_demo_data OUT_DIR [SOUNDS]\n");
        return 2;
    }
    try {
        vorlano::TBuildOptions options;
        options.OutDir = argv[1];
        options.SoundLimit = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 0;
        options.MakeSounds = options.SoundLimit > 0;
        options.SoundBudgetSeconds = 0;
        const auto result = vorlano::BuildDictionaryDatabase(options);
        for (const auto& table : result.Tables)
            std::printf("%s %zu\n", table.Table.c_str(), table.Entries);
        std::printf("sounds %zu\n", result.Sounds);
        for (const auto& warning : result.Warnings) std::printf("warning: %s\n", warning.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
