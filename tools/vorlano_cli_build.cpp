#include "tools/vorlano_cli_build.h"

#include <ostream>

#include "dictdata/build_database.h"

namespace vorlano::cli {

int RunBuild(const std::string& outDir, const std::string& sourcesDir, std::ostream& out) {
    TBuildOptions options;
    options.OutDir = outDir;
    options.SourcesDir = sourcesDir;
    const TBuildResult result = BuildDictionaryDatabase(options);
    for (const TTableCount& table : result.Tables) out << table.Table << " " << table.Entries << "\n";
    out << "sounds " << result.Sounds << "\n";
    for (const std::string& warning : result.Warnings) out << "warning: " << warning << "\n";
    return 0;
}

}  // namespace vorlano::cli
