// The commands of vorlano-cli: `lookup` and `dicts` drive the program's own
// dictionary logic (TDictionaryLookup) through the in-memory views, and
// `build` runs the demo database builder.
//
//   vorlano-cli [--data DIR] lookup [--dict N|NAME] [--rtf|--json] WORD
//   vorlano-cli [--data DIR] dicts
//   vorlano-cli build --out DIR [--sources DIR]
//
// DIR holds "Dictionary/" (the thirteen tables). Without --data: the folder
// of the executable when it holds "Dictionary/", else the demo data folder
// the run script builds ("build/demo-data/" in the source tree).
//
// Threads: one. Failures: engine and table-layer errors go to `err` as their
// message with exit code 1; usage errors exit 2.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorlano::cli {

// Runs one command line (arguments without the program name); returns the
// exit code. `executableDir` is where the default data folder is looked for
// first.
int RunVorlanoCli(const std::vector<std::string>& arguments, const std::string& executableDir,
                  std::ostream& out, std::ostream& err);

}  // namespace vorlano::cli
