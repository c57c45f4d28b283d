// The inputs the import fuzzer found faults with, kept: each is imported as
// the fuzzer imports it (fuzz/import_exercise.h), which must end in a refused
// line, an engine error or a clean import, leaving a table that passes the
// whole-table verifier.
//   import-number-overflow: a number too large for a double escaped the
//     import as a JSON library exception and ended the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/import_exercise.h"

namespace pirin::testing {
namespace {

TEST(FuzzFindingsTest, EveryKeptImportInputEndsInARefusalOrACleanImport) {
    const std::filesystem::path folder =
        std::filesystem::path(VORLANO_TESTS_DIR) / "tools" / "fuzz_findings";
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                              std::istreambuf_iterator<char>());
        std::vector<std::string> problems;
        EXPECT_NO_THROW(problems = vorlano::fuzz::ExerciseImport(bytes.data(), bytes.size()));
        EXPECT_EQ(problems, std::vector<std::string>{});
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace pirin::testing
