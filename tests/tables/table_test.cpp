// The table component: opening and closing, field definitions, navigation
// and record numbers, FindKey, index selection, the TableName rules,
// read-only state and failures that leave the table closed.
#include <gmock/gmock.h>

#include <filesystem>

#include "tables/password_encodings.h"
#include "tests/tables/tables_test_support.h"

namespace pirin::testing {
namespace {

class TableTest : public TablesTest {
  protected:
    TableTest() : Fixture(WordsDefinition(), TFixtureStorage::Disk, "Words") {
        Fixture.Append({1, "cherry", "red"});
        Fixture.Append({2, "apple", "green\r\nround"});
        Fixture.Append({3, "banana", nullptr});
        PointAt(Table, Fixture);
    }
    std::vector<std::string> Words() {
        std::vector<std::string> words;
        for (Table.First(); !Table.Eof(); Table.Next()) words.push_back(Table.FieldByName("word").AsString());
        return words;
    }
    TFixtureTable Fixture;
    TPirinTable Table;
};

TEST_F(TableTest, OpensOnThePrimaryIndexAndWalksBothWays) {
    Table.Open();
    ASSERT_TRUE(Table.Active());
    EXPECT_EQ(Table.RecordCount(), 3);
    EXPECT_EQ(Table.FieldByName("Id").AsInteger(), 1);
    EXPECT_TRUE(Table.Bof());
    EXPECT_THAT(Words(), ::testing::ElementsAre("cherry", "apple", "banana"));
    EXPECT_TRUE(Table.Eof());
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");  // the last stays current
    Table.Last();
    Table.Prior();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "apple");
    Table.Prior();
    Table.Prior();
    EXPECT_TRUE(Table.Bof());
    EXPECT_EQ(Table.FieldByName("Id").AsInteger(), 1);
    EXPECT_EQ(MessageOf([&] { Table.FieldByName("Nope"); }), "Field 'Nope' not found");
}

TEST_F(TableTest, FieldDefinitionsFollowTheDescriptors) {
    Table.Open();
    const auto& defs = Table.FieldDefs();
    ASSERT_EQ(defs.size(), 3u);
    EXPECT_EQ(defs[0].DataType, TFieldType::Integer);
    EXPECT_EQ(defs[1].DataType, TFieldType::String);
    EXPECT_EQ(defs[1].Size, 30);
    EXPECT_EQ(defs[2].DataType, TFieldType::Memo);
    EXPECT_NE(dynamic_cast<TMemoField*>(&Table.FieldByName("Desc")), nullptr);
    EXPECT_NE(dynamic_cast<TIntegerField*>(&Table.FieldByName("Id")), nullptr);
}

TEST_F(TableTest, FieldNamesMatchIgnoringLetterCaseAndOuterBlanks) {
    Table.Open();
    const std::pair<const char*, const char*> cases[] = {
        {"Word", "Word"}, {"wORD", "Word"}, {"  desc ", "Desc"}, {"ID", "Id"},
        {"Wor", nullptr}, {"Words", nullptr}, {"W ord", nullptr}, {"", nullptr}, {"   ", nullptr}};
    for (const auto& [asked, found] : cases) {
        const TField* field = Table.FindField(asked);
        if (found == nullptr) {
            EXPECT_EQ(field, nullptr) << asked;
        } else {
            ASSERT_NE(field, nullptr) << asked;
            EXPECT_EQ(field->FieldName(), found) << asked;
        }
    }
}

// A string value is cut to the field, whatever its length (short values
// and long ones are laid out apart before they reach the record).
TEST_F(TableTest, StringValuesOfAnyLengthAreCutToTheField) {
    Table.Open();
    std::string text;
    while (text.size() < 300) text += "abcdefghij";
    for (const std::size_t length : {5u, 30u, 31u, 255u, 256u, 300u}) {
        Table.Edit();
        Table.FieldByName("Word").SetAsString(text.substr(0, length));
        EXPECT_EQ(Table.FieldByName("Word").AsString(), text.substr(0, std::min<std::size_t>(length, 30)))
            << length;
        Table.Cancel();
    }
}

TEST_F(TableTest, AutoDisplayLabelsComeFromTheFieldDescriptions) {
    TTableDefinition d = WordsDefinition();
    d.Fields[1].Description = "Headword";
    TFixtureTable labelled(d, TFixtureStorage::Disk, "Labelled");
    TPirinTable table;
    PointAt(table, labelled);
    table.Open();
    EXPECT_EQ(table.FieldByName("Word").DisplayName(), "Word");
    table.Close();
    table.AutoDisplayLabels = true;
    table.Open();
    EXPECT_EQ(table.FieldByName("Word").DisplayName(), "Headword");
    EXPECT_EQ(table.FieldByName("Id").DisplayName(), "Id");
}

TEST_F(TableTest, RecNoIsTheCursorsRecordNumberAndCanBeSet) {
    Table.SetIndexName("IdxWord");
    Table.Open();
    EXPECT_EQ(Table.RecNo(), 1);
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "apple");
    Table.SetRecNo(3);
    EXPECT_EQ(Table.RecNo(), 3);
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "cherry");
}

TEST_F(TableTest, FindKeyHitMissAndLetterCase) {
    Table.SetIndexName("IdxWord");
    Table.Open();
    int scrolls = 0;
    Table.AfterScroll = [&](TDataSet&) { ++scrolls; };
    EXPECT_TRUE(Table.FindKey({std::string("banana")}));
    EXPECT_EQ(Table.FieldByName("Id").AsInteger(), 3);
    EXPECT_EQ(scrolls, 1);
    Table.First();
    scrolls = 0;
    EXPECT_FALSE(Table.FindKey({std::string("durian")}));
    EXPECT_EQ(scrolls, 0);
    // The record that was current stays current, also for the next move.
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "apple");
    Table.Next();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
    EXPECT_TRUE(Table.FindKey({std::string("CHERRY")}));
    EXPECT_EQ(Table.FieldByName("Id").AsInteger(), 1);
}

TEST_F(TableTest, FindNearestStandsOnTheFirstKeyAtOrAbove) {
    Table.SetIndexName("IdxWord");
    Table.Open();
    const std::pair<const char*, const char*> cases[] = {
        {"BANANA", "banana"}, {"b", "banana"}, {"bz", "cherry"}, {"", "apple"}, {"zzz", "cherry"}};
    for (const auto& [key, word] : cases) {
        Table.FindNearest({std::string(key)});
        EXPECT_EQ(Table.FieldByName("Word").AsString(), word) << key;
        // The cursor stands there too: the next record follows it.
        if (std::string(word) == "apple") {
            Table.Next();
            EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
        }
    }
}

// A key search hands over the record it copied while searching: the record
// must carry the position a read of the cursor's record would give it (its
// number, its bookmark), hit or nearest entry.
TEST_F(TableTest, KeySearchesGiveTheRecordItsPosition) {
    Table.SetIndexName("IdxWord");
    Table.Open();
    const struct {
        const char* Key;
        bool Nearest;
        const char* Word;
        std::int32_t RecNo;
    } cases[] = {{"banana", false, "banana", 2}, {"CHERRY", false, "cherry", 3}, {"b", true, "banana", 2},
                 {"", true, "apple", 1}, {"ba", true, "banana", 2}};
    for (const auto& c : cases) {
        Table.Last();
        if (c.Nearest)
            Table.FindNearest({std::string(c.Key)});
        else
            ASSERT_TRUE(Table.FindKey({std::string(c.Key)})) << c.Key;
        EXPECT_EQ(Table.FieldByName("Word").AsString(), c.Word) << c.Key;
        EXPECT_EQ(Table.RecNo(), c.RecNo) << c.Key;
        const std::vector<std::uint8_t> found = Table.GetBookmark();
        Table.First();
        ASSERT_TRUE(Table.GotoBookmark(found)) << c.Key;
        EXPECT_EQ(Table.FieldByName("Word").AsString(), c.Word) << c.Key;
        Table.Next();
        EXPECT_EQ(Table.RecNo(), std::min(c.RecNo + 1, 3)) << c.Key;
    }
}

TEST_F(TableTest, RangesLimitTheViewToTheirKeysBothInclusive) {
    Fixture.Append({4, "date", nullptr});
    Table.SetIndexName("IdxWord");
    Table.Open();
    Table.SetRange({std::string("banana")}, {std::string("CHERRY")});
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
    EXPECT_THAT(Words(), ::testing::ElementsAre("banana", "cherry"));
    // Bounds through the key buffers; an open start.
    Table.SetRangeStart();
    Table.SetRangeEnd();
    Table.FieldByName("Word").SetAsString("banana");
    Table.ApplyRange();
    EXPECT_THAT(Words(), ::testing::ElementsAre("apple", "banana"));
    // Searches stay inside the range.
    EXPECT_FALSE(Table.FindKey({std::string("date")}));
    EXPECT_TRUE(Table.Locate("Word", std::string("apple")));
    Table.CancelRange();
    EXPECT_THAT(Words(), ::testing::ElementsAre("apple", "banana", "cherry", "date"));
    EXPECT_EQ(MessageOf([&] { Table.FieldByName("Word").SetAsString("x"); }), "Table is not in edit or insert mode.");
}

TEST_F(TableTest, KeyErrors) {
    TTableDefinition d;
    d.Fields = {Field("Id", "INTEGER")};
    TFixtureTable noKey(d, TFixtureStorage::Disk, "NoKey");
    TPirinTable plain;
    PointAt(plain, noKey);
    plain.Open();
    EXPECT_EQ(MessageOf([&] { plain.FindKey({std::int64_t{1}}); }),
              "No fields defined for the current index.");
    Table.Open();
    EXPECT_EQ(MessageOf([&] { Table.FindKey({std::int64_t{1}, std::int64_t{2}}); }),
              "Field index out of range.");
    EXPECT_TRUE(Table.FindKey({std::int64_t{2}}));
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "apple");
}

TEST_F(TableTest, SetKeyAcceptsOnlyIndexFields) {
    Table.Open();
    Table.SetKey();
    EXPECT_EQ(MessageOf([&] { Table.FieldByName("Word").SetAsString("x"); }),
              "Field Word is not in the current index.");
    Table.FieldByName("Id").SetAsInteger(3);
    EXPECT_TRUE(Table.GotoKey());
    EXPECT_EQ(Table.State(), TDataSetState::Browse);
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "banana");
    EXPECT_EQ(MessageOf([&] { Table.FieldByName("Id").SetAsInteger(4); }),
              "Table is not in edit or insert mode.");
}

TEST_F(TableTest, IndexChangesWhileOpenKeepTheRecord) {
    Table.Open();
    Table.Next();  // apple, Id 2
    Table.SetIndexName("IdxWord");
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "apple");
    EXPECT_THAT(Words(), ::testing::ElementsAre("apple", "banana", "cherry"));
    Table.SetIndexFieldNames("Id");
    EXPECT_EQ(Table.IndexName(), "");
    EXPECT_EQ(Table.IndexFieldNames(), "Id");
    EXPECT_THAT(Words(), ::testing::ElementsAre("cherry", "apple", "banana"));
    EXPECT_EQ(MessageOf([&] { Table.SetIndexFieldNames("Desc"); }), "No index for fields 'Desc'");
    EXPECT_EQ(Table.IndexFieldNames(), "Id");
    // A step right after a switch goes on in the new order from the same
    // record: cherry is last by word but first by Id.
    Table.First();
    Table.SetIndexName("IdxWord");
    Table.Next();
    EXPECT_TRUE(Table.Eof());
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "cherry");
    Table.SetIndexFieldNames("Id");
    Table.Next();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "apple");
}

// The cursor opens straight onto the index (by name or by fields); active
// filters still decide which record comes first.
TEST_F(TableTest, OpensAtTheFirstRecordOfItsIndexThatTheFiltersLetThrough) {
    struct TCase {
        const char* Name;
        const char* Fields;
        const char* Filter;
        const char* First;
        std::vector<std::string> Walk;
    };
    const std::vector<TCase> cases = {
        {"IdxWord", "", "", "apple", {"apple", "banana", "cherry"}},
        {"", "Word", "", "apple", {"apple", "banana", "cherry"}},
        {"IdxWord", "", "Word <> 'apple'", "banana", {"banana", "cherry"}},
        {"", "", "Id > 1", "apple", {"apple", "banana"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + c.Fields + c.Filter);
        if (*c.Fields != 0)
            Table.SetIndexFieldNames(c.Fields);
        else
            Table.SetIndexName(c.Name);
        Table.SetFilter(c.Filter);
        Table.SetFiltered(*c.Filter != 0);
        Table.Open();
        EXPECT_TRUE(Table.Bof());
        EXPECT_EQ(Table.FieldByName("Word").AsString(), c.First);
        Table.Prior();
        EXPECT_EQ(Table.FieldByName("Word").AsString(), c.First);
        EXPECT_THAT(Words(), ::testing::ElementsAreArray(c.Walk));
        Table.Close();
    }
}

TEST_F(TableTest, IndexDefsListThePrimaryAndSecondaryIndexes) {
    const auto& defs = Table.IndexDefs();  // closed: a temporary cursor
    ASSERT_EQ(defs.size(), 2u);
    EXPECT_TRUE(defs[0].Primary);
    EXPECT_EQ(defs[0].Fields, "Id");
    EXPECT_EQ(defs[1].Name, "IdxWord");
    EXPECT_EQ(defs[1].Fields, "Word");
    EXPECT_TRUE(defs[1].CaseInsensitive);
    EXPECT_TRUE(Table.Exists());
}

TEST_F(TableTest, UnknownIndexNameFailsWith10022AndLeavesTheTableClosed) {
    Table.SetIndexName("NoSuchIndex");
    EXPECT_EQ(CodeOfCall([&] { Table.Open(); }), 10022);
    EXPECT_FALSE(Table.Active());
    EXPECT_EQ(Table.Cursor(), nullptr);
    EXPECT_EQ(Table.Database(), nullptr);
    Table.SetIndexName("IdxWord");
    Table.Open();
    EXPECT_EQ(Table.FieldByName("Word").AsString(), "apple");
}

TEST_F(TableTest, TableNameRules) {
    Table.Open();
    EXPECT_EQ(MessageOf([&] { Table.SetTableName("Other"); }),
              "Cannot perform this operation on an open dataset");
    EXPECT_EQ(Table.TableName(), "Words");
    EXPECT_EQ(MessageOf([&] { Table.SetExclusive(true); }),
              "Cannot perform this operation on an open dataset");
    Table.Close();
    TPirinTable named;
    named.SetTableName("C:\\Data\\Words");
    EXPECT_EQ(named.DatabaseName(), "C:/Data/");
    EXPECT_EQ(named.TableName(), "Words");
    named.SetTableName("/srv/dict/Bg_En");
    EXPECT_EQ(named.DatabaseName(), "/srv/dict/");
    EXPECT_EQ(named.TableName(), "Bg_En");
    TPirinTable empty;
    EXPECT_EQ(MessageOf([&] { empty.Open(); }), "Missing table name.");
}

TEST_F(TableTest, ChangingTableNameBetweenCloseAndOpenKeepsTheIndexName) {
    TFixtureTable other(WordsDefinition(), TFixtureStorage::Disk, "Other");
    other.Append({7, "zebra", nullptr});
    Table.SetIndexName("IdxWord");
    Table.Open();
    Table.Close();
    PointAt(Table, other);
    Table.Open();
    EXPECT_EQ(Table.IndexName(), "IdxWord");
    EXPECT_TRUE(Table.FindKey({std::string("Zebra")}));
    EXPECT_EQ(Table.FieldByName("Id").AsInteger(), 7);
}

TEST_F(TableTest, ReadOnlyFilesOpenReadOnly) {
    const auto names = Fixture.FileNames();
    namespace fs = std::filesystem;
    for (const auto& name : {names.Data, names.Index, names.Blob})
        fs::permissions(name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Table.Open();
    EXPECT_TRUE(Table.ReadOnly());
    EXPECT_FALSE(Table.CanModify());
    EXPECT_EQ(Table.RecordCount(), 3);
    Table.Close();
    for (const auto& name : {names.Data, names.Index, names.Blob})
        fs::permissions(name, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(TableTest, ExclusiveOpenShutsOutASecondTable) {
    Table.SetExclusive(true);
    Table.Open();
    TPirinTable second;
    PointAt(second, Fixture);
    EXPECT_EQ(CodeOfCall([&] { second.Open(); }), 11013);
    EXPECT_FALSE(second.Active());
}

TEST_F(TableTest, EncryptedTableAsksTheSessionsPasswordPrompt) {
    TTableDefinition d = WordsDefinition();
    d.Password = "Sesame";
    TFixtureTable locked(d, TFixtureStorage::Disk, "Locked");
    locked.Append({1, "one", nullptr});
    TPirinTable table;
    PointAt(table, locked);
    int asked = 0;
    Session().OnPassword = [&](TPirinSession& session, bool& continueOpen) {
        ++asked;
        if (asked == 1) session.AddPassword("wrong");
        if (asked == 2) session.AddPassword("Sesame");
        continueOpen = asked <= 2;
    };
    table.Open();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(table.FieldByName("Word").AsString(), "one");
    table.Close();
    Session().SetActive(false);
    Session().OnPassword = [](TPirinSession&, bool& continueOpen) { continueOpen = false; };
    EXPECT_EQ(CodeOfCall([&] { table.Open(); }), 10498);
    EXPECT_FALSE(table.Active());
}

TEST_F(TableTest, TypedPasswordsReachTablesInTheirCodePage) {
    EXPECT_EQ(PasswordEncodings(u"Sesame"), std::vector<std::string>{"Sesame"});
    EXPECT_TRUE(PasswordEncodings(u"\u4E2D").empty());  // no single-byte page holds it
    TTableDefinition d = WordsDefinition();
    d.Password = "\xD1\xE5\xE7\xE0\xEC";  // "Сезам" in Windows-1251
    TFixtureTable locked(d, TFixtureStorage::Disk, "Cyrillic");
    locked.Append({1, "one", nullptr});
    TPirinTable table;
    PointAt(table, locked);
    Session().OnPassword = [](TPirinSession& session, bool& continueOpen) {
        for (const std::string& form : PasswordEncodings(u"Сезам")) session.AddPassword(form);
        continueOpen = true;
    };
    table.Open();
    EXPECT_EQ(table.FieldByName("Word").AsString(), "one");
    table.Close();
    Session().OnPassword = [](TPirinSession&, bool& continueOpen) { continueOpen = false; };
}

TEST_F(TableTest, BookmarksCompareWithAbsentOnesLast) {
    Table.Open();
    const auto first = Table.GetBookmark();
    Table.Next();
    const auto second = Table.GetBookmark();
    EXPECT_EQ(Table.CompareBookmarks({}, {}), 0);
    EXPECT_GT(Table.CompareBookmarks({}, first), 0);
    EXPECT_LT(Table.CompareBookmarks(first, {}), 0);
    EXPECT_LT(Table.CompareBookmarks(first, second), 0);
    EXPECT_TRUE(Table.GotoBookmark(first));
    EXPECT_EQ(Table.FieldByName("Id").AsInteger(), 1);
}

}  // namespace
}  // namespace pirin::testing
