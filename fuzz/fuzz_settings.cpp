// Fuzzes the settings-file reader and writer (settings_exercise.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/settings_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorlano::fuzz::ExerciseSettings(data, size);
    return 0;
}
