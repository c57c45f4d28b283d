// The cursor's write path in one process: inserts, modifies and deletes
// keep every index, index 31 and the BLOB chains sound (the verifier passes);
// unique keys, required fields and bounds are refused before anything
// changes or is locked; slots are reused; record locks exclude sibling
// cursors at once; sibling cursors never step on a stale leaf copy; a write
// that fails half-way leaves the table as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/data_table.h"
#include "locale/value_conversions.h"
#include "storage/faulty_file_system.h"
#include "storage/file_handler.h"
#include "storage/file_system.h"
#include "storage/index_key_bcd.h"
#include "storage/little_endian.h"
#include "storage/lock_map.h"
#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr int kId = 1;
constexpr int kWord = 2;
constexpr int kNote = 3;
constexpr int kScore = 4;

TTableDefinition WordsDefinition() {
    TFieldDefinition word = Field("Word", "VARCHAR", 20);
    word.Required = true;
    TFieldDefinition score = Field("Score", "INTEGER");
    score.Min = "0";
    score.Max = "100";
    return {.Fields = {Field("Id", "INTEGER"), word, Field("Note", "MEMO"), score},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .CaseInsensitive = true}},
            .Language = 1026};
}

class WritePathTest : public ::testing::Test {
  protected:
    WritePathTest() : Fixture(WordsDefinition()), Session(Fixture) {}

    static TImage Row(const TDataCursor& cursor, std::int32_t id, const std::string& word,
                      std::int32_t score = 50) {
        TImage image = NewImage(cursor);
        SetInteger(cursor, kId, image, id);
        if (!word.empty()) SetString(cursor, kWord, image, word);
        SetInteger(cursor, kScore, image, score);
        return image;
    }
    static TImage Insert(TDataCursor& cursor, std::int32_t id, const std::string& word,
                         const std::string& note = {}) {
        TImage image = Row(cursor, id, word);
        if (!note.empty()) SetMemo(cursor, kNote, image, note);
        cursor.InsertRecord(image, true);
        return image;
    }
    // Stands on record `id` of the primary index and returns its image.
    static TImage Seek(TDataCursor& cursor, std::int32_t id) {
        cursor.SetToIndex("");
        TImage key = NewImage(cursor);
        SetInteger(cursor, kId, key, id);
        TImage image(static_cast<std::size_t>(cursor.RecordSize()));
        EXPECT_TRUE(cursor.FindKey(false, key, image, 0, false, 0)) << "no record " << id;
        return image;
    }
    static std::vector<std::int32_t> Ids(TDataCursor& cursor) {
        std::vector<std::int32_t> ids;
        for (const TImage& image : ReadAll(cursor)) ids.push_back(IntegerField(cursor, kId, image));
        return ids;
    }

    TFixtureTable Fixture;
    TTableSession Session;
};

TEST_F(WritePathTest, InsertModifyDeleteKeepIndexesAndMemosSound) {
    auto cursor = Session.OpenCursor();
    const TImage first = Insert(*cursor, 20, "beta", "second memo");
    EXPECT_GT(le::GetI32(first, 5), 0) << "the stored record comes back with its autoincrement";
    Insert(*cursor, 10, "alpha", std::string(3000, 'm'));
    Insert(*cursor, 30, "gamma");
    EXPECT_EQ(Fixture.RecordCount(), 3);

    // Modify: a new word (the secondary key moves) and a new memo.
    TImage image = Seek(*cursor, 20);
    ASSERT_EQ(cursor->GetCurrentRecord(image, true), 0);
    SetString(*cursor, kWord, image, "delta");
    SetMemo(*cursor, kNote, image, "changed memo");
    cursor->ModifyRecord(image, true, true);
    EXPECT_EQ(cursor->EditLockedRecord(), 0);

    image = Seek(*cursor, 10);
    cursor->DeleteRecord(image, true);

    EXPECT_THAT(Fixture.Verify(), IsEmpty());
    EXPECT_THAT(Ids(*cursor), ElementsAre(20, 30));
    cursor->SetToIndex("ByWord");
    const auto records = ReadAll(*cursor);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(StringField(*cursor, kWord, records[0]), "delta");
    EXPECT_EQ(MemoText(*cursor, kNote, records[0]), "changed memo");
    EXPECT_EQ(StringField(*cursor, kWord, records[1]), "gamma");
    EXPECT_EQ(MemoText(*cursor, kNote, records[1]), "");
}

TEST_F(WritePathTest, DuplicateUniqueKeyFailsAndLeavesNoTrace) {
    auto cursor = Session.OpenCursor();
    Insert(*cursor, 1, "one", "memo");
    const auto before = FileBytes(Fixture);

    TImage duplicate = Row(*cursor, 1, "other");
    SetMemo(*cursor, kNote, duplicate, "another memo");
    try {
        cursor->InsertRecord(duplicate, true);
        FAIL() << "a duplicate key was inserted";
    } catch (const EPirinEngineError& error) {
        EXPECT_EQ(error.ErrorCode, PIRIN_KEYVIOL);
        EXPECT_THAT(std::string(error.what()), HasSubstr(Fixture.Name()));
    }
    EXPECT_EQ(FileBytes(Fixture), before);
    EXPECT_THAT(Fixture.Verify(), IsEmpty());

    // A modify onto another record's key is refused the same way.
    Insert(*cursor, 2, "two");
    const auto beforeModify = FileBytes(Fixture);
    TImage image = Seek(*cursor, 2);
    SetInteger(*cursor, kId, image, 1);
    EXPECT_EQ(CodeOfCall([&] { cursor->ModifyRecord(image, true, true); }), PIRIN_KEYVIOL);
    EXPECT_EQ(FileBytes(Fixture), beforeModify);
    cursor->CancelEdit();
    EXPECT_THAT(Ids(*cursor), ElementsAre(1, 2));
}

// A record inserted as a copy of another (its memo field still naming the
// other's chain) gets a chain of its own: deleting either leaves the other's
// memo whole.
TEST_F(WritePathTest, AnInsertedCopyGetsItsOwnMemoChain) {
    auto cursor = Session.OpenCursor();
    Insert(*cursor, 1, "one", std::string(2000, 'o'));
    TImage copy = Seek(*cursor, 1);
    SetInteger(*cursor, kId, copy, 2);
    cursor->InsertRecord(copy, true);
    TImage original = Seek(*cursor, 1);
    cursor->DeleteRecord(original, true);
    EXPECT_EQ(MemoText(*cursor, kNote, Seek(*cursor, 2)), std::string(2000, 'o'));
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
}

TEST_F(WritePathTest, ChangingOnlyTheLetterCaseOfAUniqueCaseInsensitiveKeyIsNoViolation) {
    TTableDefinition definition = WordsDefinition();
    definition.Indexes[0].Unique = true;
    TFixtureTable table(definition);
    TTableSession session(table);
    auto cursor = session.OpenCursor();
    Insert(*cursor, 1, "word");
    TImage image = Seek(*cursor, 1);
    SetString(*cursor, kWord, image, "WORD");
    cursor->ModifyRecord(image, true, true);
    EXPECT_EQ(StringField(*cursor, kWord, image), "WORD");
    EXPECT_EQ(CodeOfCall([&] { Insert(*cursor, 2, "Word"); }), PIRIN_KEYVIOL);
    EXPECT_THAT(table.Verify(), IsEmpty());
}

TEST_F(WritePathTest, EqualKeysOfANonUniqueIndexComeBackInAutoincrementOrder) {
    auto cursor = Session.OpenCursor();
    for (const std::int32_t id : {5, 3, 9, 1}) Insert(*cursor, id, "same");
    cursor->SetToIndex("ByWord");
    EXPECT_THAT(Ids(*cursor), ElementsAre(5, 3, 9, 1));
}

TEST_F(WritePathTest, DeleteThenInsertReusesTheSlot) {
    auto cursor = Session.OpenCursor();
    for (const std::int32_t id : {1, 2, 3}) Insert(*cursor, id, "w" + std::to_string(id), "memo");
    const auto size = std::filesystem::file_size(Fixture.FileNames().Data);
    const TImage second = Seek(*cursor, 2);
    const std::int32_t slot = le::GetI32(second, 1);
    cursor->DeleteRecord(second, true);
    const TImage added = Insert(*cursor, 4, "w4");
    EXPECT_EQ(le::GetI32(added, 1), slot);
    EXPECT_EQ(std::filesystem::file_size(Fixture.FileNames().Data), size);
    EXPECT_THAT(Ids(*cursor), ElementsAre(1, 3, 4));
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
}

TEST_F(WritePathTest, ASecondCursorOfTheProcessIsRefusedTheEditedRecordAtOnce) {
    auto editor = Session.OpenCursor();
    auto other = Session.OpenCursor();
    for (const std::int32_t id : {1, 2}) Insert(*editor, id, "w");
    TImage image = Seek(*editor, 1);
    ASSERT_EQ(editor->GetCurrentRecord(image, true), 0);

    TImage seen = Seek(*other, 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CodeOfCall([&] { other->DeleteRecord(seen, true); }), PIRIN_RECLOCKFAILED);
    EXPECT_EQ(CodeOfCall([&] { other->ModifyRecord(seen, true, true); }), PIRIN_RECLOCKFAILED);
    // Retrying would take LockRetryCount waits of LockWaitTime each.
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(Session.Session.LockWaitTime()));

    SetString(*editor, kWord, image, "edited");
    editor->ModifyRecord(image, true, true);
    seen = Seek(*other, 1);
    other->DeleteRecord(seen, true);
    EXPECT_THAT(Ids(*editor), ElementsAre(2));
}

TEST_F(WritePathTest, StaleImagesAreRefusedWith8708) {
    auto first = Session.OpenCursor();
    auto second = Session.OpenCursor();
    Insert(*first, 1, "w");
    TImage stale = Seek(*second, 1);
    TImage image = Seek(*first, 1);
    SetString(*first, kWord, image, "new");
    first->ModifyRecord(image, true, true);

    Session.Session.SetLockProtocol(TLockProtocol::Optimistic);
    TImage edit = stale;
    SetString(*second, kWord, edit, "mine");
    EXPECT_EQ(CodeOfCall([&] { second->ModifyRecord(edit, true, true); }), PIRIN_KEYORRECDELETED);
    EXPECT_TRUE(second->OptimisticConflict());
    EXPECT_EQ(CodeOfCall([&] { second->DeleteRecord(stale, true); }), PIRIN_KEYORRECDELETED);
    // The conflict stays until the edit is given up.
    TImage fresh = Seek(*second, 1);
    EXPECT_EQ(CodeOfCall([&] { second->ModifyRecord(fresh, true, true); }), PIRIN_KEYORRECDELETED);
    second->CancelEdit();
    fresh = Seek(*second, 1);
    SetString(*second, kWord, fresh, "mine");
    second->ModifyRecord(fresh, true, true);
    EXPECT_EQ(StringField(*second, kWord, fresh), "mine");
}

TEST_F(WritePathTest, ValuesAreRefusedBeforeAnyLockIsTried) {
    auto cursor = Session.OpenCursor();
    cursor->Table()->SetWriteLockPolicy(Impatient());
    // Another handle holds the writer's byte: a write that got as far as
    // the lock would fail with 10249.
    TFileHandler holder(Fixture.FileNames().Data);
    holder.OpenFile();
    ASSERT_TRUE(LockTableWrite(holder));
    struct TCase {
        std::string Word;
        std::int32_t Score;
        std::uint16_t Code;
        std::string Field;
    };
    for (const TCase& test :
         {TCase{"", 50, PIRIN_REQDERR, "Word"}, TCase{"w", -1, PIRIN_MINVALERR, "Score"},
          TCase{"w", 101, PIRIN_MAXVALERR, "Score"}, TCase{"w", 100, PIRIN_LOCKTIMEOUT, ""}}) {
        TImage image = Row(*cursor, 1, test.Word, test.Score);
        try {
            cursor->InsertRecord(image, true);
            ADD_FAILURE() << "inserted";
        } catch (const EPirinEngineError& error) {
            EXPECT_EQ(error.ErrorCode, test.Code) << test.Word << " " << test.Score;
            if (!test.Field.empty()) {
                EXPECT_THAT(std::string(error.what()), HasSubstr(test.Field));
            }
        }
    }
    ASSERT_TRUE(UnlockTableWrite(holder));
    holder.CloseFile();
    Insert(*cursor, 1, "w");
    EXPECT_EQ(Fixture.RecordCount(), 1);
}

TEST_F(WritePathTest, ADirectoryCreatesATableThatCursorsThenWrite) {
    Session.Directory.CreateTable("Made", WordsDefinition());
    EXPECT_TRUE(Session.Directory.TableExists("MADE", false));
    auto cursor = Session.NewCursor();
    cursor->SetTableName("Made");
    cursor->Open();
    Insert(*cursor, 1, "one", "memo");
    EXPECT_EQ(cursor->RecordCount(), 1);
    EXPECT_EQ(CodeOfCall([&] { Session.Directory.CreateTable("made", WordsDefinition()); }),
              PIRIN_TABLEEXISTS);
}

// Bounds compare in the field's own terms: strings by collation (not by
// bytes), dates as days, decimals and signed integers as numbers.
TEST(WriteValidationTest, BoundsCompareByTheFieldsType) {
    const auto bounded = [](std::string name, std::string_view type, std::string min,
                            std::string max, std::uint8_t size = 0) {
        TFieldDefinition field = Field(std::move(name), type, size);
        field.Min = std::move(min);
        field.Max = std::move(max);
        return field;
    };
    TFixtureTable table({.Fields = {bounded("Name", "VARCHAR", "b", "d", 10),
                                    bounded("Day", "DATE", "2020-01-01", "2020-12-31"),
                                    bounded("Amount", "DECIMAL", "-1.5", "2.25", 2),
                                    bounded("Small", "SMALLINT", "-3", "")}});
    TTableSession session(table);
    auto cursor = session.OpenCursor();
    const auto setDay = [&](TImage& image, const std::string& text) {
        const std::int32_t day = *TryStrToDayNumber(text);
        SetInteger(*cursor, 2, image, day);
    };
    const auto setAmount = [&](TImage& image, const std::string& text) {
        const auto bcd = *DecimalToBcd(*TryStrToDecimal(text), 2);
        cursor->SetField(3, image, std::span<const std::uint8_t>(bcd));
    };
    const auto setSmall = [&](TImage& image, std::int16_t value) {
        std::array<std::uint8_t, 2> bytes{};
        std::memcpy(bytes.data(), &value, 2);
        cursor->SetField(4, image, std::span<const std::uint8_t>(bytes));
    };
    struct TCase {
        std::function<void(TImage&)> Change;
        std::uint16_t Code;
    };
    const std::vector<TCase> cases = {
        {[&](TImage& i) { SetString(*cursor, 1, i, "a"); }, PIRIN_MINVALERR},
        {[&](TImage& i) { SetString(*cursor, 1, i, "C"); }, 0},  // 'C' < 'b' as bytes
        {[&](TImage& i) { SetString(*cursor, 1, i, "e"); }, PIRIN_MAXVALERR},
        {[&](TImage& i) { setDay(i, "2019-12-31"); }, PIRIN_MINVALERR},
        {[&](TImage& i) { setDay(i, "2021-01-01"); }, PIRIN_MAXVALERR},
        {[&](TImage& i) { setAmount(i, "-1.51"); }, PIRIN_MINVALERR},
        {[&](TImage& i) { setAmount(i, "2.26"); }, PIRIN_MAXVALERR},
        {[&](TImage& i) { setAmount(i, "2.25"); }, 0},
        {[&](TImage& i) { setSmall(i, -4); }, PIRIN_MINVALERR},
        {[&](TImage& i) { setSmall(i, 30000); }, 0},
    };
    int inserted = 0;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        TImage image = NewImage(*cursor);
        SetString(*cursor, 1, image, "c");
        setDay(image, "2020-06-01");
        setAmount(image, "0");
        setSmall(image, 0);
        cases[k].Change(image);
        EXPECT_EQ(CodeOfCall([&] { cursor->InsertRecord(image, true); }), cases[k].Code)
            << "case " << k;
        if (cases[k].Code == 0) ++inserted;
    }
    EXPECT_EQ(cursor->RecordCount(), inserted);
}

TEST_F(WritePathTest, ReadOnlyCursorCannotWrite) {
    auto cursor = Session.OpenCursor({.ReadOnly = true});
    TImage image = Row(*cursor, 1, "w");
    EXPECT_EQ(CodeOfCall([&] { cursor->InsertRecord(image, true); }), PIRIN_OSEACCES);
}

// Sibling cursors of one process: a reader standing in the middle of a leaf
// keeps a private copy of it; the writer's insert and delete on that leaf
// must show in the reader's next steps, shared and under an exclusive open
// (where cursors take no locks).
class SiblingCursorTest : public WritePathTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SiblingCursorTest, ReaderSeesTheWritesOfItsSibling) {
    const bool exclusive = GetParam();
    // The cursor of the exclusive open takes no locks and makes no change
    // checks; its clone writes.
    auto reader = Session.OpenCursor({.Exclusive = exclusive});
    std::unique_ptr<TDataCursor> writer = exclusive ? reader->CloneCursor() : Session.OpenCursor();
    for (std::int32_t id = 10; id <= 300; id += 10) Insert(*writer, id, "w");
    (void)Seek(*reader, 100);

    Insert(*writer, 105, "w");
    TImage gone = Seek(*writer, 110);
    writer->DeleteRecord(gone, true);

    TImage image(static_cast<std::size_t>(reader->RecordSize()));
    std::vector<std::int32_t> next;
    for (int i = 0; i < 3 && reader->GetNextRecord(image) == 0; ++i)
        next.push_back(IntegerField(*reader, kId, image));
    EXPECT_THAT(next, ElementsAre(105, 120, 130));
    EXPECT_EQ(reader->RecordCount(), 30);
    writer.reset();
    reader.reset();
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(SharedAndExclusive, SiblingCursorTest, ::testing::Bool());

// A read fault in the middle of a write, after the primary index changed in
// the cache and before the secondary index could: the write fails, the
// files are as before, and the table keeps working. The cursor holds an
// exclusive open, whose writes start without rereading the headers, so the
// fault meets the first page of the secondary index (not cached yet in a
// fresh session); the reread after the failure fails too and waits for
// the next write.
TEST_F(WritePathTest, AWriteFailingHalfWayLeavesTheTableAsItWas) {
    TFaultyFileSystem faulty;
    TFileSystemOverride seam(faulty);
    {
        auto cursor = Session.OpenCursor();
        for (std::int32_t id = 1; id <= 5; ++id) Insert(*cursor, id, "w" + std::to_string(id), "m");
    }
    enum class TOp { Insert, Modify, Delete };
    int added = 0;
    for (const TOp op : {TOp::Insert, TOp::Modify, TOp::Delete}) {
        SCOPED_TRACE(static_cast<int>(op));
        const auto before = FileBytes(Fixture);
        {
            TTableSession session(Fixture);
            auto cursor = session.OpenCursor({.Exclusive = true});
            TImage image = Seek(*cursor, 3);
            faulty.ShortenReads(0);
            const std::int32_t code = CodeOfCall([&] {
                switch (op) {
                    case TOp::Insert:
                        Insert(*cursor, 6, "w6");
                        break;
                    case TOp::Modify:
                        SetInteger(*cursor, kId, image, 33);
                        SetString(*cursor, kWord, image, "changed");
                        cursor->ModifyRecord(image, true, true);
                        break;
                    case TOp::Delete:
                        cursor->DeleteRecord(image, true);
                        break;
                }
            });
            faulty.ShortenReads(std::numeric_limits<std::size_t>::max());
            EXPECT_NE(code, 0);
            EXPECT_EQ(FileBytes(Fixture), before);
            // The same cursor goes on writing.
            Insert(*cursor, 100 + added++, "after");
            EXPECT_EQ(cursor->RecordCount(), 5 + added);
        }
        EXPECT_THAT(Fixture.Verify(), IsEmpty());
        EXPECT_EQ(Fixture.RecordCount(), 5 + added);
    }
    // A write that fails during the write-back is written again: the
    // insert completes.
    auto cursor = Session.OpenCursor();
    faulty.FailNthWrite(2);
    Insert(*cursor, 200, "w");
    // ForceBufferFlush syncs every write-back: a sync that keeps failing
    // fails the insert, whose units reached the files all the same.
    Session.Session.SetForceBufferFlush(true);
    faulty.FailSyncs(EIO);
    EXPECT_NE(CodeOfCall([&] { Insert(*cursor, 201, "w"); }), 0);
    faulty.FailSyncs(0);
    Insert(*cursor, 202, "w");
    cursor.reset();
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
    EXPECT_EQ(Fixture.RecordCount(), 11);
}

// A write that starts after another process's write returns to its place
// under the write lock it has just taken. Whichever read fails on the way,
// the write does not go through half-locked: no lock of it stays behind.
TEST_F(WritePathTest, AWriteThatFailsAtItsStartKeepsNoLock) {
    for (int failAt = 1; failAt <= 12; ++failAt) {
        SCOPED_TRACE(failAt);
        TFaultyFileSystem faulty;
        TFileSystemOverride seam(faulty);
        TFixtureTable table(WordsDefinition());
        std::vector<TRow> rows;
        for (int id = 1; id <= 300; ++id) rows.push_back({id, "w" + std::to_string(id), nullptr, 1});
        (void)table.AppendRows(rows);
        TTableSession session(table);
        auto cursor = session.OpenCursor();
        cursor->Table()->SetWriteLockPolicy(Impatient());
        (void)Seek(*cursor, 150);
        {
            // Another process's write: a session of its own, with its own
            // caches and counters.
            TTableSession other(table);
            auto writer = other.OpenCursor();
            Insert(*writer, 1000, "other");
        }
        faulty.FailNth(TFaultyFileSystem::TCall::Read, failAt, EIO);
        (void)CodeOfCall([&] { Insert(*cursor, 2000, "mine"); });
        faulty.FailNth(TFaultyFileSystem::TCall::Read, 0, 0);
        TFileHandler data(table.FileNames().Data);
        data.OpenFile();
        EXPECT_TRUE(LockTableWrite(data, Impatient()));
        EXPECT_TRUE(UnlockTableWrite(data));
    }
}

}  // namespace
}  // namespace pirin::testing
