// Running the built pirin-tool in tests: a scratch folder per test, schema
// files, and the program run as a child process with both outputs captured.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/table_create.h"

namespace pirin::testing {

// Every field type in one table (fields 1 to 22: Id AUTOINC, Дума VARCHAR
// 30, Fixed CHAR 10 fixed-width, Born, Memo, Flag, Small, Count, Ratio,
// Price MONEY, Amount DECIMAL 3, Raw BYTES 4, At, Stamp, Unsigned, Var (type
// 15, 6 bytes), Four (type 13), Ten (type 14), Large, Picture, Plain, Binary),
// with no bounds or defaults: the tests add theirs.
inline nlohmann::json EveryTypeFields() {
    return nlohmann::json::array(
        {{{"name", "Id"}, {"type", "AUTOINC"}},
         {{"name", "Дума"}, {"type", "VARCHAR"}, {"size", 30}},
         {{"name", "Fixed"}, {"type", "CHAR"}, {"size", 10}, {"subtype", 31}},
         {{"name", "Born"}, {"type", "DATE"}},
         {{"name", "Memo"}, {"type", "MEMO"}},
         {{"name", "Flag"}, {"type", "BOOLEAN"}},
         {{"name", "Small"}, {"type", "SMALLINT"}},
         {{"name", "Count"}, {"type", "INTEGER"}},
         {{"name", "Ratio"}, {"type", "FLOAT"}},
         {{"name", "Price"}, {"type", "MONEY"}},
         {{"name", "Amount"}, {"type", "DECIMAL"}, {"scale", 3}},
         {{"name", "Raw"}, {"type", "BYTES"}, {"size", 4}},
         {{"name", "At"}, {"type", "TIME"}},
         {{"name", "Stamp"}, {"type", "TIMESTAMP"}},
         {{"name", "Unsigned"}, {"type", "WORD"}},
         {{"name", "Var"}, {"type", 15}, {"size", 6}},
         {{"name", "Four"}, {"type", 13}},
         {{"name", "Ten"}, {"type", 14}},
         {{"name", "Large"}, {"type", "LARGEINT"}},
         {{"name", "Picture"}, {"type", "GRAPHIC"}},
         {{"name", "Plain"}, {"type", "BLOB(1, 2)"}},
         {{"name", "Binary"}, {"type", "BLOB"}}});
}

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A scratch folder "db" per test, and the built pirin-tool run on it.
class PirinTool : public ::testing::Test {
  protected:
    PirinTool()
        : FFolder(std::filesystem::temp_directory_path() /
                  ("pirin-tool-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                   "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(FFolder);
        std::filesystem::create_directories(FFolder / "db");
    }
    ~PirinTool() override { std::filesystem::remove_all(FFolder); }

    std::string Db() const { return (FFolder / "db").string(); }
    TTableLocation ToolLocation(const std::string& name) const {
        return {.Directory = Db() + "/", .Name = name};
    }

    std::string WriteSchema(const nlohmann::json& schema) const {
        return WriteFile("schema.json", schema.dump());
    }
    // A file of the scratch folder (beside "db") with `text`; its path.
    std::string WriteFile(const std::string& name, const std::string& text) const {
        const auto path = FFolder / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    // Runs the built executable with `arguments`, capturing both outputs.
    TRun Run(const std::vector<std::string>& arguments) const {
        const auto outPath = FFolder / "out.txt";
        const auto errPath = FFolder / "err.txt";
        const pid_t child = ::fork();
        if (child == 0) {
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(PIRIN_TOOL_PATH)};
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(PIRIN_TOOL_PATH, argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(outPath), ReadAll(errPath)};
    }

  private:
    std::filesystem::path FFolder;
};

}  // namespace pirin::testing
