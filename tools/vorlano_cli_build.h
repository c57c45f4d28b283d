// `vorlano-cli build`: builds the demo dictionary database into a folder
// with the database builder, and prints for every table its rows and the
// source entries merged into another row, cut to the headword field or
// dropped.
//
// Threads: one. Failures: the builder's errors propagate.
#pragma once

#include <iosfwd>
#include <string>

namespace vorlano::cli {

int RunBuild(const std::string& outDir, const std::string& sourcesDir, std::ostream& out);

}  // namespace vorlano::cli
