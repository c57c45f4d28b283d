// FindKey on Bulgarian words ordered by ICU: a case-insensitive non-unique
// index, a case-sensitive unique one and a descending one; hits, misses,
// prefixes, a word above all words, and the exact search that leaves the
// cursor where it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/navigation_test_cursor.h"

namespace pirin::testing {
namespace {

class FindKeyTest : public ::testing::Test {
  protected:
    FindKeyTest() : FTable(Definition(), TFixtureStorage::Memory) {
        // Two records of "дом" in different letter case.
        const std::vector<std::u16string> words = {u"вода", u"Дом",   u"агне", u"дом",
                                                   u"град", u"ябълка", u"баба", u"дъжд"};
        for (std::size_t i = 0; i < words.size(); ++i)
            FTable.Append({static_cast<int>(i + 1), Bg(words[i])});
        FCursor = std::make_unique<TNavigationTestCursor>(FTable);
    }

    static TTableDefinition Definition() {
        TTableDefinition d;
        d.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20)};
        d.Primary = TIndexDefinition{.Fields = {"Id"}};
        d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true},
                     {.Name = "UWord", .Fields = {"Word"}, .Unique = true},
                     {.Name = "WordDown", .Fields = {"Word"}, .CaseInsensitive = true,
                      .Descending = true}};
        d.Language = 1026;
        return d;
    }

    // The table component's search: one string value, a built key.
    bool Find(std::u16string_view word, bool nearest = false, int partial = 0,
              int fieldCount = 1) {
        TNavigationTestCursor& cursor = *FCursor;
        std::vector<std::uint8_t> key(cursor.KeyLength());
        cursor.BuildKey(cursor.ImageWith("Word", Bg(word)), key);
        return cursor.FindKey(true, key, {}, partial, nearest, fieldCount);
    }
    std::int32_t Id() const { return FCursor->Integer("Id"); }

    TFixtureTable FTable;
    std::unique_ptr<TNavigationTestCursor> FCursor;
};

TEST_F(FindKeyTest, CaseInsensitiveIndexFindsTheFirstRecordOfAWordInAnyCase) {
    FCursor->SetToIndex("IdxWord");
    struct TCase {
        std::u16string_view Word;
        bool Found;
        std::int32_t Id;
    };
    const TCase cases[] = {
        {u"дом", true, 2},      {u"ДОМ", true, 2},     {u"дОм", true, 2},
        {u"агне", true, 3},     {u"ябълка", true, 6},
        {u"гъба", false, 2},    // a miss: the first word above it
        {u"аа", false, 3},      // below every word
        {u"юнак", false, 6},    // between the last two
        {u"яяя", false, 6},     // above every word: the last record, not after it
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(Bg(c.Word)));
        FCursor->First();
        EXPECT_EQ(Find(c.Word), c.Found);
        EXPECT_EQ(Id(), c.Id);
        EXPECT_EQ(FCursor->GetCurrentRecord({}, false), 0);
    }
    // After the word above all the cursor stands on the last record.
    ASSERT_FALSE(Find(u"яяя"));
    EXPECT_EQ(FCursor->GetNextRecord(), PIRIN_EOF);
    // The duplicate follows the first "дом".
    ASSERT_TRUE(Find(u"Дом"));
    ASSERT_EQ(FCursor->GetNextRecord(), 0);
    EXPECT_EQ(Id(), 4);
}

TEST_F(FindKeyTest, PrefixSearchesCompareTheLeadingCharacters) {
    for (const char* index : {"IdxWord", "UWord", "WordDown"}) {
        SCOPED_TRACE(index);
        FCursor->SetToIndex(index);
        EXPECT_TRUE(Find(u"гр", true, 2, 0));
        EXPECT_EQ(Id(), 5);
        EXPECT_TRUE(Find(u"ябъ", true, 3, 0));
        EXPECT_EQ(Id(), 6);
        EXPECT_FALSE(Find(u"гъ", true, 2, 0));
    }
    // In descending order a miss lands on the next word downwards.
    FCursor->SetToIndex("WordDown");
    EXPECT_FALSE(Find(u"гъ", true, 2, 0));
    EXPECT_EQ(Id(), 5);
}

TEST_F(FindKeyTest, UniqueIndexSearchesExactlyAndCaseSensitively) {
    FCursor->SetToIndex("UWord");
    EXPECT_TRUE(Find(u"Дом"));
    EXPECT_EQ(Id(), 2);
    EXPECT_TRUE(Find(u"дом"));
    EXPECT_EQ(Id(), 4);

    // An exact search that fails leaves the cursor where it was.
    ASSERT_TRUE(Find(u"баба"));
    EXPECT_FALSE(Find(u"ДОМ"));
    EXPECT_EQ(Id(), 7);
    EXPECT_FALSE(Find(u"гъба"));
    EXPECT_EQ(Id(), 7);
    ASSERT_EQ(FCursor->GetNextRecord(), 0);
    EXPECT_EQ(Id(), 1);  // вода follows баба

    // With nearest it moves to the first word above.
    EXPECT_FALSE(Find(u"гъба", true));
    EXPECT_TRUE(Id() == 2 || Id() == 4) << Id();
    EXPECT_FALSE(Find(u"яяя", true));
    EXPECT_EQ(Id(), 6);
}

TEST_F(FindKeyTest, RecordImagesOutputsAndBadArguments) {
    FCursor->SetToIndex("IdxWord");
    std::vector<std::uint8_t> output(FCursor->RecordSize());
    EXPECT_TRUE(FCursor->FindKey(false, FCursor->ImageWith("Word", Bg(u"ГРАД")), output, 0,
                                 false, 1));
    EXPECT_TRUE(FCursor->CurrentRecord().EqualsImage(output));
    EXPECT_EQ(Id(), 5);
    // No key: false, and the cursor stays.
    EXPECT_FALSE(FCursor->FindKey(true, {}, {}, 0, false, 1));
    EXPECT_EQ(Id(), 5);
    const std::vector<std::uint8_t> shortKey(3);
    EXPECT_EQ(CodeOf([&] { (void)FCursor->FindKey(true, shortKey, {}, 0, false, 1); }),
              PIRIN_INVALIDKEY);
    EXPECT_EQ(CodeOf([&] { (void)Find(u"дом", false, 0, 2); }), PIRIN_INVALIDKEY);
    // A partial length on a field that is not a string.
    FCursor->SetToIndex("");
    EXPECT_EQ(CodeOf([&] {
                  (void)FCursor->FindKey(false, FCursor->ImageWith("Word", ""), {}, 2, true, 0);
              }),
              PIRIN_INVALIDKEY);
}

TEST(FindKeyManyTest, EveryWordIsFoundAcrossLeaves) {
    TTableDefinition d;
    d.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20)};
    d.Primary = TIndexDefinition{.Fields = {"Id"}};
    d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true,
                  .Compression = 3}};
    d.Language = 1026;
    TFixtureTable table(d, TFixtureStorage::Memory);
    const auto word = [](int i) {
        std::u16string text = u"дума";
        for (int n = i; n > 0; n /= 10) text += static_cast<char16_t>(u'а' + n % 10);
        return Bg(text);
    };
    constexpr int kCount = 700;
    for (int i = 1; i <= kCount; ++i) table.Append({i, word(i)});
    TNavigationTestCursor cursor(table);
    cursor.SetToIndex("IdxWord");
    for (int i = 1; i <= kCount; i += 23) {
        ASSERT_TRUE(cursor.FindKey(false, cursor.ImageWith("Word", word(i)), {}, 0, false, 1)) << i;
        EXPECT_EQ(cursor.Integer("Id"), i);
        EXPECT_EQ(cursor.Text("Word"), word(i));
    }
}

}  // namespace
}  // namespace pirin::testing
