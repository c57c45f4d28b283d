// The write path's shortcuts reach the state the long way reaches: after an
// insert the cursor stands where a key search for the new record stands
// (equal keys of a non-unique index, inserts at both ends of leaves, page
// and root splits, reused slots in index 31), and the last record read in
// one step is what Last then a prior step give (with a range, a filter, an
// empty view). The record the cursor holds after an insert is the one stored.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "storage/little_endian.h"
#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

constexpr int kId = 1;
constexpr int kWord = 2;
constexpr int kNote = 3;

TTableDefinition WordsDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20), Field("Note", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .CaseInsensitive = true}},
            .Language = 1026};
}

// Everything a caller can see of a cursor's position.
struct TSeen {
    std::int32_t Record = 0;
    std::int32_t LogicalPos = 0;
    std::int32_t RecNo = 0;
    bool Bof = false;
    bool Eof = false;
    std::uint16_t Code = 0;
    TImage Bookmark;
    TImage Current;
    bool operator==(const TSeen&) const = default;
};

TSeen Seen(TDataCursor& cursor) {
    TSeen seen;
    seen.Record = cursor.CurrentRecordNumber();
    seen.LogicalPos = cursor.LogicalPos();
    seen.RecNo = cursor.RecNo();
    seen.Bof = cursor.Bof();
    seen.Eof = cursor.Eof();
    seen.Bookmark.resize(cursor.BookmarkSize());
    cursor.GetBookmark(seen.Bookmark);
    seen.Current.resize(static_cast<std::size_t>(cursor.RecordSize()));
    seen.Code = cursor.GetCurrentRecord(seen.Current, false);
    return seen;
}

void PrintTo(const TSeen& seen, std::ostream* out) {
    *out << "record " << seen.Record << " at " << seen.LogicalPos << " (RecNo " << seen.RecNo
         << ", bof " << seen.Bof << ", eof " << seen.Eof << ", code " << seen.Code << ")";
}

class WriteShortcutsTest : public ::testing::TestWithParam<int> {
  protected:
    WriteShortcutsTest() : Fixture(WordsDefinition()), Session(Fixture) {}

    static TImage Row(const TDataCursor& cursor, std::int32_t id, const std::string& word) {
        TImage image = NewImage(cursor);
        SetInteger(cursor, kId, image, id);
        SetString(cursor, kWord, image, word);
        return image;
    }

    TFixtureTable Fixture;
    TTableSession Session;
};

// Index 0 (ascending ids: always the right edge), 1 (many equal words in
// three letter cases, arriving in no order) and 31 (slots by status, with
// deleted slots reused).
TEST_P(WriteShortcutsTest, AnInsertStandsWhereASearchForTheRecordStands) {
    auto cursor = Session.OpenCursor();
    cursor->SelectIndex(GetParam());
    const std::array<std::string, 6> words{"same", "Same", "SAME", "alpha", "omega", "m"};
    std::uint32_t random = 12345;
    for (std::int32_t id = 1; id <= 1500; ++id) {
        random = random * 1103515245u + 12345u;
        std::string word = words[(random >> 16) % words.size()];
        if (word == "m") word += std::to_string((random >> 8) % 997);
        TImage image = Row(*cursor, id, word);
        cursor->InsertRecord(image, true);
        const std::int32_t record = le::GetI32(image, 1);
        const TSeen placed = Seen(*cursor);
        ASSERT_EQ(placed.Record, record) << "insert " << id;
        cursor->RepositionOn(record, image);
        ASSERT_EQ(placed, Seen(*cursor)) << "insert " << id;
        if (id % 40 == 0) {
            // A deleted slot comes back with the next insert.
            cursor->DeleteRecord(image, true);
        }
    }
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

// The cursor's current record after an insert is what the write stored
// (autoincrement value, memo reference): an edit that follows at once, with
// no read between, finds the record it holds still on file.
TEST_P(WriteShortcutsTest, AnInsertedRecordCanBeEditedWithoutAnotherRead) {
    auto cursor = Session.OpenCursor();
    cursor->SelectIndex(GetParam());
    for (std::int32_t id = 1; id <= 300; ++id) {
        TImage image = Row(*cursor, id, "w" + std::to_string(id % 17));
        SetMemo(*cursor, kNote, image, "memo " + std::to_string(id));
        cursor->InsertRecord(image, true);
        SetString(*cursor, kWord, image, "edited" + std::to_string(id));
        ASSERT_EQ(CodeOfCall([&] { cursor->ModifyRecord(image, true, true); }), 0) << "insert " << id;
    }
    cursor->SetToIndex("");
    const std::vector<TImage> records = ReadAll(*cursor);
    ASSERT_EQ(records.size(), 300u);
    EXPECT_EQ(StringField(*cursor, kWord, records[41]), "edited42");
    EXPECT_EQ(MemoText(*cursor, kNote, records[41]), "memo 42");
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Indexes, WriteShortcutsTest, ::testing::Values(0, 1, 31));

// The primary index's unique check is its insertion's own descent: a
// duplicate is refused before anything changed, so the transaction around
// it goes on with what it wrote before. A duplicate of the last key is
// found by the one comparison with the last entry that ascending keys get;
// one of an earlier key by the search of the leaf.
TEST_F(WriteShortcutsTest, ADuplicateKeyInATransactionLeavesTheTransactionAlone) {
    auto cursor = Session.OpenCursor();
    Session.Directory.StartTransaction();
    for (const std::int32_t id : {1, 2}) {
        TImage image = Row(*cursor, id, "word" + std::to_string(id));
        cursor->InsertRecord(image, true);
    }
    for (const std::int32_t id : {2, 1, 2}) {
        TImage duplicate = Row(*cursor, id, "other");
        EXPECT_EQ(CodeOfCall([&] { cursor->InsertRecord(duplicate, true); }), PIRIN_KEYVIOL)
            << id;
    }
    TImage third = Row(*cursor, 3, "word3");
    cursor->InsertRecord(third, true);
    Session.Directory.Commit();
    std::vector<std::int32_t> ids;
    cursor->SetToIndex("ByWord");
    for (const TImage& image : ReadAll(*cursor)) ids.push_back(IntegerField(*cursor, kId, image));
    EXPECT_THAT(ids, ::testing::ElementsAre(1, 2, 3));
    EXPECT_EQ(cursor->RecordCount(), 3);
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

TEST(WriteShortcutsLastTest, TheLastRecordInOneStepIsLastThenPrior) {
    TFixtureTable fixture(WordsDefinition());
    TTableSession session(fixture);
    auto writer = session.OpenCursor();
    auto longWay = session.OpenCursor();
    auto shortWay = session.OpenCursor();
    const auto compare = [&](const std::string& what) {
        TImage a(static_cast<std::size_t>(longWay->RecordSize()), 0xAA);
        TImage b(a.size(), 0x55);
        longWay->Last();
        const std::uint16_t codeA = longWay->GetPriorRecord(a);
        const std::uint16_t codeB = shortWay->GetLastRecord(b);
        EXPECT_EQ(codeA, codeB) << what;
        EXPECT_EQ(a, b) << what;
        EXPECT_EQ(Seen(*longWay), Seen(*shortWay)) << what;
    };
    for (auto* cursor : {longWay.get(), shortWay.get()}) cursor->SetToIndex("ByWord");
    compare("an empty table");
    const std::array<std::string, 5> words{"pear", "apple", "Pear", "fig", "kiwi"};
    for (std::int32_t id = 1; id <= 5; ++id) {
        TImage image = NewImage(*writer);
        SetInteger(*writer, kId, image, id);
        SetString(*writer, kWord, image, words[static_cast<std::size_t>(id - 1)]);
        writer->InsertRecord(image, false);
        compare("after insert " + std::to_string(id));
    }
    for (auto* cursor : {longWay.get(), shortWay.get()}) {
        TImage low = NewImage(*cursor);
        TImage high = NewImage(*cursor);
        SetString(*cursor, kWord, low, "b");
        SetString(*cursor, kWord, high, "l");
        cursor->SetRange(false, low, 1, high, 1);
    }
    compare("a range");
    for (auto* cursor : {longWay.get(), shortWay.get()}) {
        cursor->CancelRange();
        cursor->ActivateFilter(&cursor->AddFilter(
            nullptr, [](void*, TCursorNavigation&, std::span<const std::uint8_t>,
                        std::int32_t n) { return n % 2 == 1; }));
    }
    compare("a filter");
    for (auto* cursor : {longWay.get(), shortWay.get()}) {
        cursor->RemoveFilter();
        cursor->ActivateFilter(&cursor->AddFilter(
            nullptr,
            [](void*, TCursorNavigation&, std::span<const std::uint8_t>, std::int32_t) {
                return false;
            }));
    }
    compare("an empty view");
}

}  // namespace
}  // namespace pirin::testing
