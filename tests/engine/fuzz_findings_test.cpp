// The inputs the table fuzzer found faults with, kept: each is read as the
// fuzzer reads it (fuzz/table_exercise.h), which must end in engine errors or
// a clean result. The sanitizer build shows the undefined behaviour some of
// them once caused.
//   table-no-fields: a data file declaring no fields (an empty descriptor
//     read into an empty buffer).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/table_exercise.h"

namespace pirin::testing {
namespace {

TEST(FuzzFindingsTest, EveryKeptTableInputEndsInEngineErrorsOrACleanRead) {
    const std::filesystem::path folder =
        std::filesystem::path(VORLANO_TESTS_DIR) / "engine" / "fuzz_findings";
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("table-", 0) != 0) continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                              std::istreambuf_iterator<char>());
        EXPECT_NO_THROW(vorlano::fuzz::ExerciseTable(bytes.data(), bytes.size()));
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace pirin::testing
