// The inputs the import fuzzer found faults with, kept: each is imported as
// the fuzzer imports it (fuzz/import_exercise.h), which must end in a refused
// line, an engine error or a clean import, leaving a table that passes the
// whole-table verifier.
//   import-number-overflow: a number too large for a double escaped the
//     import as a JSON library exception and ended the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/import_exercise.h"

namespace pirin::testing {
namespace {

TEST(FuzzFindingsTest, EveryKeptImportInputEndsInARefusalOrACleanImport) {
    const auto inputs = vorlano::fuzz::ReadKeptInputs(
        std::filesystem::path(VORLANO_TESTS_DIR) / "tools" / "fuzz_findings", "import-");
    EXPECT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        std::vector<std::string> problems;
        EXPECT_NO_THROW(problems = vorlano::fuzz::ExerciseImport(bytes.data(), bytes.size()));
        EXPECT_EQ(problems, std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace pirin::testing
