// Splitting one fuzzer input into the parts a harness feeds: a header of
// little-endian 32-bit lengths, then the parts in order, the last one taking
// whatever remains. Lengths beyond the input are cut to what is there, so
// every byte string is a valid input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace vorlano::fuzz {

inline std::vector<std::span<const std::uint8_t>> SplitInput(const std::uint8_t* data,
                                                             std::size_t size, int parts) {
    std::span<const std::uint8_t> rest(data, size);
    std::vector<std::uint32_t> lengths;
    for (int i = 0; i + 1 < parts; ++i) {
        std::uint32_t length = 0;
        for (int b = 0; b < 4 && !rest.empty(); ++b) {
            length |= static_cast<std::uint32_t>(rest.front()) << (8 * b);
            rest = rest.subspan(1);
        }
        lengths.push_back(length);
    }
    std::vector<std::span<const std::uint8_t>> result;
    for (std::uint32_t length : lengths) {
        const std::size_t take = std::min<std::size_t>(length, rest.size());
        result.push_back(rest.first(take));
        rest = rest.subspan(take);
    }
    result.push_back(rest);
    return result;
}

// The kept inputs of the regression tests: the bytes of every file in
// `folder` whose name starts with `prefix`, by file name.
inline std::map<std::string, std::vector<std::uint8_t>> ReadKeptInputs(
    const std::filesystem::path& folder, const std::string& prefix) {
    std::map<std::string, std::vector<std::uint8_t>> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix)) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        inputs[name].assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    return inputs;
}

}  // namespace vorlano::fuzz
