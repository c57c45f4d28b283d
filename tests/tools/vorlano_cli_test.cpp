#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/dictdata/dictionary_fixture.h"
#include "tools/vorlano_cli_commands.h"

namespace vorlano::testing {
namespace {

class VorlanoCliTest : public ::testing::Test {
  protected:
    VorlanoCliTest() {
        Data = Fixture.Root().string() + "-data";
        std::filesystem::create_directories(Data);
        std::filesystem::create_directory_symlink(Fixture.Root(), Data / "Dictionary");
    }
    ~VorlanoCliTest() override { std::filesystem::remove_all(Data); }

    int Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--data", Data.string()});
        Out.str({});
        Err.str({});
        return cli::RunVorlanoCli(arguments, "/nonexistent", Out, Err);
    }

    TDictionaryFixture Fixture;
    std::filesystem::path Data;
    std::ostringstream Out, Err;
};

TEST_F(VorlanoCliTest, LookupPrintsTheHeadwordAndTheArticle) {
    ASSERT_EQ(Run({"lookup", "--dict", "2", "house"}), 0) << Err.str();
    EXPECT_EQ(Out.str(), "house\n\nhouse\narticle of house\n");

    // Only a prefix matches: the first item beginning with the longest one.
    ASSERT_EQ(Run({"lookup", "--dict", "En_Bg", "--json", "housx"}), 0) << Err.str();
    const nlohmann::json result = nlohmann::json::parse(Out.str());
    EXPECT_EQ(result["headword"], "house");
    EXPECT_EQ(result["list_index"], 8);
    EXPECT_EQ(result["exact"], false);
    EXPECT_EQ(result["mode"], "foreign-to-bg");
    EXPECT_EQ(result["dictionary"], "Английски <=> Български");

    // Cyrillic in the explanatory dictionary, and a plain-text article.
    ASSERT_EQ(Run({"lookup", "ябълка"}), 0) << Err.str();
    EXPECT_EQ(Out.str(), "ябълка\n\nябълка - плод\nвтори ред\n");
    ASSERT_EQ(Run({"lookup", "--dict", "3", "--rtf", "über"}), 0) << Err.str();
    EXPECT_NE(Out.str().find("{\\rtf1"), std::string::npos);
}

TEST_F(VorlanoCliTest, DictsAndErrors) {
    ASSERT_EQ(Run({"dicts"}), 0) << Err.str();
    EXPECT_NE(Out.str().find("2  Английски <=> Български  Bg_En (7)  En_Bg (13)\n"), std::string::npos);
    EXPECT_NE(Out.str().find("0  Тълковен речник  Bg_Bg (34)\n"), std::string::npos);

    EXPECT_EQ(Run({"lookup", "--dict", "9", "x"}), 2);
    EXPECT_EQ(Run({"frobnicate"}), 2);
    std::filesystem::remove(Data / "Dictionary");
    EXPECT_EQ(Run({"lookup", "house"}), 1);
    EXPECT_NE(Err.str().find("Pirin Engine Error"), std::string::npos) << Err.str();
}

}  // namespace
}  // namespace vorlano::testing
