// The inputs the table fuzzer found faults with, kept: each is read as the
// fuzzer reads it (fuzz/table_exercise.h), which must end in engine errors or
// a clean result. The sanitizer build shows the undefined behaviour some of
// them once caused.
//   table-no-fields: a data file declaring no fields (an empty descriptor
//     read into an empty buffer).
//   table-record-count-past-end: a data header counting 100 million records
//     in a file of one (the verifier reserved its slot list from the count;
//     the same input seeds the table fuzzer, whose allocation limit shows it).
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_input.h"
#include "fuzz/table_exercise.h"

namespace pirin::testing {
namespace {

TEST(FuzzFindingsTest, EveryKeptTableInputEndsInEngineErrorsOrACleanRead) {
    const auto inputs = vorlano::fuzz::ReadKeptInputs(
        std::filesystem::path(VORLANO_TESTS_DIR) / "engine" / "fuzz_findings", "table-");
    EXPECT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(vorlano::fuzz::ExerciseTable(bytes.data(), bytes.size()));
    }
}

}  // namespace
}  // namespace pirin::testing
