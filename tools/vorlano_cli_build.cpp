#include "tools/vorlano_cli_build.h"

#include <iomanip>
#include <ostream>

#include "dictdata/build_database.h"

namespace vorlano::cli {

int RunBuild(const std::string& outDir, const std::string& sourcesDir, std::ostream& out) {
    TBuildOptions options;
    options.OutDir = outDir;
    options.SourcesDir = sourcesDir;
    const TBuildResult result = BuildDictionaryDatabase(options);
    // One line per table: rows written, then what happened to the source
    // entries that did not become a row of their own.
    out << "table      entries   merged  shortened  dropped\n";
    for (const TTableCount& table : result.Tables)
        out << std::left << std::setw(9) << table.Table << std::right << std::setw(9)
            << table.Entries << std::setw(9) << table.Merged << std::setw(11) << table.Shortened
            << std::setw(9) << table.Dropped << "\n";
    out << "sounds " << result.Sounds << "\n";
    for (const std::string& warning : result.Warnings) out << "warning: " << warning << "\n";
    return 0;
}

}  // namespace vorlano::cli
