// `vorlano-cli build`: builds the demo dictionary database into a folder
// with the database builder, and prints the entry count of every table.
//
// Threads: one. Failures: the builder's errors propagate.
#pragma once

#include <iosfwd>
#include <string>

namespace vorlano::cli {

int RunBuild(const std::string& outDir, const std::string& sourcesDir, std::ostream& out);

}  // namespace vorlano::cli
