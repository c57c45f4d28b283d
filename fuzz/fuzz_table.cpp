// Fuzzes opening and reading a table from damaged files (table_exercise.h).
// An engine error is a clean end; anything else (a crash, another exception,
// a hang, a leak, undefined behaviour) is a finding.
#include <cstddef>
#include <cstdint>

#include "fuzz/table_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorlano::fuzz::ExerciseTable(data, size);
    return 0;
}
