#include <gtest/gtest.h>

#include <filesystem>

#include "dictdata/datas.h"
#include "errors/database_error.h"
#include "errors/engine_error.h"
#include "tables/session_list.h"
#include "tests/dictdata/dictionary_fixture.h"

namespace vorlano::testing {
namespace {

// A main window that records the data module's calls.
class TRecordingClient : public TDataModuleClient {
  public:
    explicit TRecordingClient(std::string dir) : FDir(std::move(dir)) {}
    std::string DataDir() const override { return FDir; }
    void InitLookupState() override { Calls += "init "; }
    void SelectStartDictionary() override { Calls += "select "; }
    void ShowFirstEntry() override { Calls += "first"; }
    std::string Calls;

  private:
    std::string FDir;
};

class DatasTest : public ::testing::Test {
  protected:
    void TearDown() override { pirin::ShutdownTableLayer(); }
    TDictionaryFixture Fixture;
};

TEST_F(DatasTest, CreationOpensTheWordListsAndHandsOverInOrder) {
    TDatas datas;
    TRecordingClient client(Fixture.DataDir());
    datas.DataModuleCreate(client);
    EXPECT_EQ(client.Calls, "init select first");
    EXPECT_TRUE(datas.DBase.Connected());
    EXPECT_TRUE(datas.tWords.Active());
    EXPECT_FALSE(datas.tBG.Active());
    EXPECT_EQ(datas.tBG.IndexName(), "IdxWord");

    // A memo ending in a line break gives no empty last item; an exact
    // 5-character "Table" value is found; a missing row leaves the cursor.
    ASSERT_TRUE(datas.LocateWordList("Bg_Jd"));
    const std::vector<std::string> list = datas.CurrentWordList();
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(list[1], "");
    EXPECT_EQ(list.back(), TDictionaryFixture::Bytes(u"идея", 1251));
    EXPECT_FALSE(datas.LocateWordList("bg_jd"));
    EXPECT_FALSE(datas.LocateWordList("Nope"));
    EXPECT_EQ(datas.tWords.FieldByName("Table").AsString(), "Bg_Jd");
}

TEST_F(DatasTest, OpeningChecksTheFieldsOfEachTable) {
    TDatas datas;
    TRecordingClient client(Fixture.DataDir());
    datas.DataModuleCreate(client);
    // "LangWords" opened as a dictionary table: "Id" is unsigned 16-bit there.
    datas.tBG.SetTableName("LangWords");
    datas.tBG.SetIndexName("");
    try {
        datas.OpenTable(datas.tBG);
        FAIL() << "a table of another shape opened";
    } catch (const pirin::EDatabaseError& error) {
        EXPECT_EQ(error.Message(), "Type mismatch for field 'Id', expecting: Integer actual: Word");
    }
    EXPECT_FALSE(datas.tBG.Active());
    datas.tBG.SetTableName("Bg_En");
    datas.tBG.SetIndexName("IdxWord");
    datas.OpenTable(datas.tBG);
    EXPECT_TRUE(datas.tBG.FindKey({TDictionaryFixture::Bytes(u"ябълка", 1251)}));
}

TEST_F(DatasTest, FailuresEndCreationAtTheirStep) {
    {
        TDatas datas;
        TRecordingClient client(Fixture.DataDir() + "missing/");
        EXPECT_THROW(datas.DataModuleCreate(client), pirin::EDatabaseError);
        EXPECT_EQ(client.Calls, "");
    }
    pirin::ShutdownTableLayer();
    // Without "LangWords" the database connects and the word lists fail.
    std::filesystem::remove(Fixture.Root() / "LangWords.DAT");
    TDatas datas;
    TRecordingClient client(Fixture.DataDir());
    try {
        datas.DataModuleCreate(client);
        FAIL() << "opened without LangWords";
    } catch (const pirin::EPirinEngineError& error) {
        EXPECT_EQ(error.ErrorCode, 11010);
    }
    EXPECT_TRUE(datas.DBase.Connected());
    EXPECT_EQ(client.Calls, "");
}

}  // namespace
}  // namespace vorlano::testing
