// Fuzzes `pirin-tool import` (import_exercise.h): a table that no longer
// passes the whole-table verifier after an import is a finding too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/import_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto problems = vorlano::fuzz::ExerciseImport(data, size);
    for (const auto& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    if (!problems.empty()) std::abort();
    return 0;
}
