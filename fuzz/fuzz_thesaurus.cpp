// Fuzzes the builder's thesaurus reader (source_exercise.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/source_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorlano::fuzz::ExerciseThesaurus(data, size);
    return 0;
}
