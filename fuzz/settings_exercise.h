// Reading and writing a damaged settings file, as the settings fuzzer and its
// regression tests do: the input holds the file's bytes and a query
// (fuzz_input.h); the query's first line is a section name, the rest a key
// name. ExerciseSettings reads the key as text, integer and flag, writes it
// and reads it back, which must give what was written whenever the names can
// stand in the file (a section without "]", a key without "=" that does not
// start like a section or a comment, neither with line breaks or outer
// blanks). Reads never fail; a failed write, a wrong read-back or any
// exception is reported with std::abort, so the fuzzer sees it as a finding.
//
// Threads: one at a time (the file lives in the process's scratch folder).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/settings_file.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_scratch.h"

namespace vorlano::fuzz {

namespace settings_detail {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline bool CanStand(std::string_view name, std::string_view forbidden) {
    return !name.empty() && !IsBlank(name.front()) && !IsBlank(name.back()) &&
           name.find_first_of(forbidden) == std::string_view::npos;
}

inline void Fail(const char* what, std::string_view section, std::string_view key) {
    std::fprintf(stderr, "settings file: %s ([%.*s] %.*s)\n", what,
                 static_cast<int>(section.size()), section.data(), static_cast<int>(key.size()),
                 key.data());
    std::abort();
}

}  // namespace settings_detail

inline void ExerciseSettings(const std::uint8_t* data, std::size_t size) {
    using namespace settings_detail;
    static const TScratchFolder scratch("fuzz-settings");
    const auto parts = SplitInput(data, size, 2);
    const TIniFile ini(scratch.Put("vorlano.ini", parts[0]));
    const std::string_view query(reinterpret_cast<const char*>(parts[1].data()), parts[1].size());
    const std::size_t lineEnd = query.find('\n');
    const std::string_view section = query.substr(0, lineEnd);
    const std::string_view key =
        lineEnd == std::string_view::npos ? query : query.substr(lineEnd + 1);

    for (const auto& [s, k] : {std::pair{section, key},
                               std::pair{std::string_view("Options"), std::string_view("Font")}}) {
        (void)ini.ReadString(s, k, "default");
        (void)ini.ReadInteger(s, k, -7);
        (void)ini.ReadBool(s, k, true);
    }
    (void)ParseIniInteger(query);

    const std::string_view written = "written value";
    if (!ini.WriteString(section, key, written)) Fail("write failed", section, key);
    const bool standsInFile = CanStand(section, "]\r\n") && CanStand(key, "=\r\n") &&
                              key.front() != ';' && key.front() != '[';
    if (standsInFile && ini.ReadString(section, key, "") != written)
        Fail("the written value does not read back", section, key);
}

}  // namespace vorlano::fuzz
