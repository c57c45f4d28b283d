// The cursor's navigation on real fixture tables: empty views, first, last,
// next and prior with their cracks across many leaves, positions and
// bookmarks, switching indexes, record-number order for a table without a
// primary key, ranges, copies of a cursor, and changes made by another
// writer while the cursor reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "storage/file_handler.h"
#include "tests/engine/navigation_test_cursor.h"

namespace pirin::testing {
namespace {

// Id INTEGER (primary), Word VARCHAR(20) with a case-insensitive,
// non-unique index, Bulgarian collation.
TTableDefinition NumberedWords(bool primary = true) {
    TTableDefinition d;
    d.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20)};
    if (primary) d.Primary = TIndexDefinition{.Fields = {"Id"}};
    d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true}};
    d.Language = 1026;
    return d;
}

// Word of record i: distinct, and not in Id order.
std::string WordOf(int i) {
    static const std::u16string letters = u"абвгдежзийклмнопрстуфхцчшщъюя";
    std::u16string word;
    word += letters[static_cast<std::size_t>((i * 7) % 29)];
    word += letters[static_cast<std::size_t>((i * 13) % 29)];
    word += letters[static_cast<std::size_t>(i % 29)];
    word += letters[static_cast<std::size_t>(i / 29 % 29)];
    return Bg(word);
}

std::vector<std::string> Ids(int from, int to) {
    std::vector<std::string> ids;
    for (int i = from; from <= to ? i <= to : i >= to; i += from <= to ? 1 : -1)
        ids.push_back(std::to_string(i));
    return ids;
}

class CursorNavigationTest : public ::testing::Test {
  protected:
    // Enough records that every index spans several leaves.
    static constexpr int kMany = 600;

    static void Fill(TFixtureTable& table, int count) {
        for (int i = 1; i <= count; ++i) table.Append({i, WordOf(i)});
    }
    static std::vector<std::string> IdTexts(TNavigationTestCursor& cursor, bool forward) {
        std::vector<std::string> ids;
        if (forward) {
            cursor.First();
            while (cursor.GetNextRecord() == 0) ids.push_back(std::to_string(cursor.Integer("Id")));
        } else {
            cursor.Last();
            while (cursor.GetPriorRecord() == 0)
                ids.push_back(std::to_string(cursor.Integer("Id")));
        }
        return ids;
    }
};

TEST_F(CursorNavigationTest, EmptyTableReportsTheEndsAndCountsZero) {
    for (const bool primary : {true, false}) {
        SCOPED_TRACE(primary ? "primary index" : "record-number order");
        TFixtureTable table(NumberedWords(primary), TFixtureStorage::Memory);
        TNavigationTestCursor cursor(table);
        std::vector<std::uint8_t> buffer(cursor.RecordSize(), 0xAA);
        cursor.First();
        EXPECT_EQ(cursor.GetNextRecord(buffer), PIRIN_EOF);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](auto b) { return b == 0; }));
        std::fill(buffer.begin(), buffer.end(), 0xAA);
        EXPECT_EQ(cursor.GetCurrentRecord(buffer, false), PIRIN_NOCURRREC);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](auto b) { return b == 0; }));
        EXPECT_EQ(cursor.GetPriorRecord(), PIRIN_BOF);
        cursor.Last();
        EXPECT_EQ(cursor.GetPriorRecord(), PIRIN_BOF);
        EXPECT_EQ(cursor.RecordCount(), 0);
        EXPECT_EQ(cursor.RecNo(), 0);
        EXPECT_FALSE(cursor.SetRecNo(1));
        EXPECT_EQ(CodeOf([&] { cursor.CheckError(cursor.GetNextRecord()); }), PIRIN_EOF);
    }
}

TEST_F(CursorNavigationTest, WalksEveryRecordInBothDirectionsAcrossLeaves) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, kMany);
    TNavigationTestCursor cursor(table);
    EXPECT_EQ(cursor.RecordCount(), kMany);
    EXPECT_EQ(IdTexts(cursor, true), Ids(1, kMany));
    EXPECT_EQ(IdTexts(cursor, false), Ids(kMany, 1));

    // The secondary index in collation order, the same both ways.
    cursor.SetToIndex("IdxWord");
    const std::vector<std::string> forward = cursor.WalkForward("Word");
    std::vector<std::string> backward = cursor.WalkBackward("Word");
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward.size(), static_cast<std::size_t>(kMany));
    EXPECT_EQ(forward, backward);
}

TEST_F(CursorNavigationTest, CracksAtBothEnds) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, 5);
    TNavigationTestCursor cursor(table);
    cursor.First();
    EXPECT_EQ(cursor.GetPriorRecord(), PIRIN_BOF);
    EXPECT_EQ(cursor.GetNextRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 1);

    cursor.Last();
    EXPECT_EQ(cursor.GetCurrentRecord({}, false), PIRIN_EOF);
    EXPECT_EQ(cursor.GetPriorRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 5);
    // Past the end and back: the last record, not the one before it.
    EXPECT_EQ(cursor.GetNextRecord(), PIRIN_EOF);
    EXPECT_EQ(cursor.GetNextRecord(), PIRIN_EOF);
    EXPECT_EQ(cursor.GetPriorRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 5);
    EXPECT_EQ(cursor.RecNo(), 5);

    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    EXPECT_EQ(cursor.GetCurrentRecord(buffer, false), 0);
    EXPECT_TRUE(cursor.CurrentRecord().EqualsImage(buffer));
}

TEST_F(CursorNavigationTest, PositionsComeFromTheInteriorCounts) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, kMany);
    TNavigationTestCursor cursor(table);
    for (const int n : {1, 2, 137, 299, 300, 451, kMany}) {
        EXPECT_TRUE(cursor.SetRecNo(n)) << n;
        EXPECT_EQ(cursor.Integer("Id"), n);
        EXPECT_EQ(cursor.RecNo(), n);
    }
    // Stepping keeps the position in step.
    ASSERT_TRUE(cursor.SetRecNo(130));
    for (int n = 131; n <= 160; ++n) {
        ASSERT_EQ(cursor.GetNextRecord(), 0);
        EXPECT_EQ(cursor.RecNo(), n);
    }

    EXPECT_FALSE(cursor.SetRecNo(0));
    EXPECT_EQ(cursor.GetNextRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 1);
    EXPECT_FALSE(cursor.SetRecNo(kMany + 1));
    EXPECT_EQ(cursor.GetPriorRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), kMany);
}

TEST_F(CursorNavigationTest, BookmarksReturnToTheirRecordAndCompareInIndexOrder) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, kMany);
    // Duplicates of one word: a bookmark still names one record.
    for (int i = 0; i < 3; ++i) table.Append({kMany + 1 + i, WordOf(1)});
    TNavigationTestCursor cursor(table);
    cursor.SetToIndex("idxword");
    ASSERT_EQ(cursor.BookmarkSize(), cursor.KeyLength());
    std::vector<std::uint8_t> early(cursor.BookmarkSize());
    std::vector<std::uint8_t> late(cursor.BookmarkSize());
    ASSERT_TRUE(cursor.FindKey(false, cursor.ImageWith("Word", WordOf(1)), {}, 0, false, 1));
    ASSERT_EQ(cursor.GetNextRecord(), 0);  // the second record of that word
    const std::int32_t id = cursor.Integer("Id");
    cursor.GetBookmark(early);
    ASSERT_TRUE(cursor.SetRecNo(500));
    cursor.GetBookmark(late);

    EXPECT_TRUE(cursor.GotoBookmark(early, false));
    EXPECT_EQ(cursor.Integer("Id"), id);
    EXPECT_EQ(cursor.CompareBookmarks(early, late), cursor.RecNo() < 500 ? -1 : 1);
    EXPECT_EQ(cursor.CompareBookmarks(late, late), 0);
}

TEST_F(CursorNavigationTest, SwitchingIndexesKeepsTheRecord) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, kMany);
    TNavigationTestCursor cursor(table);
    ASSERT_TRUE(cursor.SetRecNo(321));
    cursor.SetToIndex("IdxWord");
    EXPECT_EQ(cursor.Integer("Id"), 321);
    EXPECT_EQ(cursor.GetCurrentRecord({}, false), 0);
    const std::int32_t position = cursor.RecNo();
    // The same name in other letter case changes nothing.
    cursor.SetToIndex("IDXWORD");
    EXPECT_EQ(cursor.RecNo(), position);
    ASSERT_EQ(cursor.GetNextRecord(), 0);
    const std::int32_t next = cursor.Integer("Id");

    // An unknown name: 10022 with the name, and nothing changes.
    try {
        cursor.SetToIndex("NoSuchIndex");
        ADD_FAILURE() << "no error";
    } catch (const EPirinEngineError& error) {
        EXPECT_EQ(error.ErrorCode, PIRIN_INVALIDINDEXNAME);
        EXPECT_EQ(error.ErrorIndexName, "NoSuchIndex");
        EXPECT_EQ(error.ErrorTableName, table.Name());
    }
    EXPECT_EQ(cursor.IndexName(), "IdxWord");
    EXPECT_EQ(cursor.Integer("Id"), next);

    cursor.SetToIndex("");
    EXPECT_EQ(cursor.IndexNo(), kPrimaryIndex);
    EXPECT_EQ(cursor.Integer("Id"), next);
    EXPECT_EQ(cursor.RecNo(), next);
}

TEST_F(CursorNavigationTest, RecordNumberOrderWithoutAPrimaryKey) {
    TFixtureTable table(NumberedWords(false), TFixtureStorage::Memory);
    Fill(table, 300);
    for (const int slot : {1, 2, 40, 41, 200, 300}) table.Delete(slot);
    TNavigationTestCursor cursor(table);
    ASSERT_TRUE(cursor.WithoutIndex());
    EXPECT_TRUE(cursor.FilterActive());
    EXPECT_EQ(cursor.BookmarkSize(), 4u);
    EXPECT_EQ(cursor.RecordCount(), 294);

    std::vector<std::string> expected;
    for (int i = 1; i <= 300; ++i)
        if (i != 1 && i != 2 && i != 40 && i != 41 && i != 200 && i != 300)
            expected.push_back(std::to_string(i));
    EXPECT_EQ(IdTexts(cursor, true), expected);
    std::vector<std::string> backward = IdTexts(cursor, false);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, expected);

    // Positions count the records in use.
    EXPECT_TRUE(cursor.SetRecNo(37));
    EXPECT_EQ(cursor.Integer("Id"), 39);
    EXPECT_EQ(cursor.GetNextRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 42);
    EXPECT_EQ(cursor.RecNo(), 38);
    EXPECT_FALSE(cursor.SetRecNo(295));
    EXPECT_EQ(cursor.GetNextRecord(), PIRIN_EOF);
    EXPECT_EQ(cursor.GetPriorRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 299);

    // Key search needs an index: false, and the cursor stays.
    EXPECT_FALSE(cursor.FindKey(false, cursor.ImageWith("Word", WordOf(5)), {}, 0, true, 1));
    EXPECT_EQ(cursor.Integer("Id"), 299);

    std::vector<std::uint8_t> mark(4);
    ASSERT_TRUE(cursor.SetRecNo(100));
    cursor.GetBookmark(mark);
    const std::int32_t id = cursor.Integer("Id");
    cursor.SetToIndex("IdxWord");
    EXPECT_EQ(cursor.Integer("Id"), id);
    cursor.First();
    cursor.SetToIndex("");
    ASSERT_TRUE(cursor.WithoutIndex());
    EXPECT_TRUE(cursor.GotoBookmark(mark, false));
    EXPECT_EQ(cursor.Integer("Id"), id);
}

TEST_F(CursorNavigationTest, RangeLimitsWalksCountsAndPositions) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, kMany);
    TNavigationTestCursor cursor(table);
    std::vector<std::uint8_t> start(cursor.KeyLength());
    std::vector<std::uint8_t> end(cursor.KeyLength());
    auto image = cursor.ImageWith("Word", "");
    const auto idAt = [&](int id) {
        std::memcpy(image.data() + 10, &id, 4);  // Id: presence byte at 9
        image[9] = 1;
        return image;
    };
    cursor.BuildKey(idAt(120), start);
    cursor.BuildKey(idAt(389), end);
    cursor.ApplyRange(start, end);
    EXPECT_EQ(cursor.RecordCount(), 270);
    EXPECT_EQ(IdTexts(cursor, true), Ids(120, 389));
    EXPECT_EQ(IdTexts(cursor, false), Ids(389, 120));
    EXPECT_TRUE(cursor.SetRecNo(1));
    EXPECT_EQ(cursor.Integer("Id"), 120);
    EXPECT_FALSE(cursor.SetRecNo(271));
    EXPECT_EQ(cursor.GetPriorRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 389);

    // A start above the end: nothing in the view.
    cursor.ApplyRange(end, start);
    EXPECT_EQ(cursor.RecordCount(), 0);
    cursor.First();
    EXPECT_EQ(cursor.GetNextRecord(), PIRIN_EOF);
}

TEST_F(CursorNavigationTest, SyncToCursorPlacesACopyOnTheSameRecord) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, 50);
    TNavigationTestCursor original(table);
    original.SetToIndex("IdxWord");
    ASSERT_TRUE(original.SetRecNo(17));
    const std::int32_t id = original.Integer("Id");

    TNavigationTestCursor copy(table);
    copy.SetToIndex("IdxWord");
    EXPECT_EQ(copy.SyncToCursor(original), 0);
    EXPECT_EQ(copy.Integer("Id"), id);
    EXPECT_EQ(copy.RecNo(), 17);

    // A copy of a cursor before the first record steps onto the first.
    original.First();
    EXPECT_EQ(copy.SyncToCursor(original), 0);
    EXPECT_EQ(copy.GetNextRecord(), 0);
    ASSERT_EQ(original.GetNextRecord(), 0);
    EXPECT_EQ(copy.Integer("Id"), original.Integer("Id"));

    // The original still holds a record another writer deleted.
    ASSERT_TRUE(original.SetRecNo(30));
    const std::int32_t gone = original.Integer("Id");
    ASSERT_TRUE(copy.SetRecNo(5));
    const std::int32_t stays = copy.Integer("Id");
    table.Delete(gone);  // ids are slots here
    copy.SetStrict(true);
    EXPECT_EQ(copy.SyncToCursor(original), PIRIN_RECNOTFOUND);
    EXPECT_EQ(copy.Integer("Id"), stays);
}

TEST_F(CursorNavigationTest, GetCurrentRecordWithTheLockFlagVerifiesTheBuffer) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, 3);
    TNavigationTestCursor cursor(table);
    ASSERT_EQ(cursor.GetNextRecord(), 0);
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    ASSERT_EQ(cursor.GetCurrentRecord(buffer, false), 0);
    EXPECT_EQ(cursor.GetCurrentRecord(buffer, true), 0);
    EXPECT_EQ(cursor.EditLocks, 1);
    buffer.back() ^= 1;
    EXPECT_EQ(CodeOf([&] { (void)cursor.GetCurrentRecord(buffer, true); }),
              PIRIN_KEYORRECDELETED);
    // A buffer shorter than a record is refused, never overrun.
    std::vector<std::uint8_t> tooShort(cursor.RecordSize() - 1);
    EXPECT_EQ(CodeOf([&] { (void)cursor.GetCurrentRecord(tooShort, false); }), PIRIN_INVALIDKEY);
}

// Records whose order follows the record numbers come in runs of one disk
// read each, forwards and backwards, with and without an index.
TEST_F(CursorNavigationTest, ConsecutiveRecordsAreReadAhead) {
    for (const bool primary : {true, false}) {
        SCOPED_TRACE(primary ? "primary index" : "record-number order");
        TFixtureTable table(NumberedWords(primary), TFixtureStorage::Memory);
        Fill(table, kMany);
        TNavigationTestCursor cursor(table);
        for (const bool forward : {true, false}) {
            cursor.Files().Data().DiscardRecords();
            const std::uint64_t reads = cursor.Files().Data().RecordCache().Stats().Reads;
            EXPECT_EQ(IdTexts(cursor, forward).size(), static_cast<std::size_t>(kMany));
            const std::uint64_t made = cursor.Files().Data().RecordCache().Stats().Reads - reads;
            // 8192 bytes hold a few hundred of these records.
            EXPECT_LE(made, 12u) << forward;
        }
    }
}

// A leaf link that leads outside the file is reported, not followed.
TEST_F(CursorNavigationTest, DamagedLeafLinksRaiseIndexCorrupt) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, kMany);
    {
        TFileHandler file(table.FileNames().Index);
        file.SetInMemory(true);
        file.OpenFile();
        std::vector<std::uint8_t> page(4096);
        for (std::uint64_t offset = 4096; offset + page.size() <= static_cast<std::uint64_t>(file.FileLength());
             offset += page.size()) {
            file.ReadAt(offset, page.data(), page.size());
            // Header: type, entry count (2), previous (4), next (4), bytes used.
            if (page[0] != static_cast<std::uint8_t>(TPageType::Leaf)) continue;
            if (page[3] != 0 || page[4] != 0) page[6] = 0x7F;  // previous
            if (page[7] != 0 || page[8] != 0) page[10] = 0x7F;  // next
            file.WriteAt(offset, page.data(), page.size());
        }
    }
    TNavigationTestCursor cursor(table);
    EXPECT_EQ(CodeOf([&] { (void)IdTexts(cursor, true); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { (void)IdTexts(cursor, false); }), PIRIN_INDEXCORRUPT);
}

// ---- another writer while the cursor reads --------------------------------------

TEST_F(CursorNavigationTest, StrictDetectionSeesAnotherWritersRecordAtTheNextStep) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    for (int i = 1; i <= 10; ++i) table.Append({i * 10, WordOf(i)});
    TNavigationTestCursor cursor(table);
    cursor.SetStrict(true);
    ASSERT_TRUE(cursor.SetRecNo(4));
    ASSERT_EQ(cursor.Integer("Id"), 40);
    const int before = cursor.BeginReads;

    table.Append({45, WordOf(45)});
    table.Append({5, WordOf(5)});
    ASSERT_EQ(cursor.GetNextRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 45);
    EXPECT_EQ(cursor.RecNo(), 6);  // 5 came in before it
    EXPECT_EQ(cursor.RecordCount(), 12);
    EXPECT_GT(cursor.BeginReads, before);
    EXPECT_EQ(cursor.BeginReads, cursor.EndReads);
}

// A table nobody writes is read from memory once its look-ups have touched
// its pages: the same look-ups again read nothing from disk (no read lock,
// no change check), with the default cache budgets.
TEST_F(CursorNavigationTest, RepeatedLookUpsAreServedFromTheCaches) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, kMany);
    TNavigationTestCursor cursor(table);
    cursor.SetToIndex("IdxWord");
    const auto lookUpAll = [&] {
        for (int i = 1; i <= kMany; i += 15) {
            ASSERT_TRUE(cursor.FindKey(false, cursor.ImageWith("Word", WordOf(i)), {}, 0, false, 1));
            ASSERT_EQ(cursor.Integer("Id"), i);
        }
    };
    lookUpAll();
    const int reads = cursor.BeginReads;
    EXPECT_GT(reads, 0);
    lookUpAll();
    EXPECT_EQ(cursor.BeginReads, reads);
    EXPECT_EQ(cursor.Changes, 0);
}

TEST_F(CursorNavigationTest, LazyDetectionRestartsAWalkAndKeepsTheRecord) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, kMany);
    TNavigationTestCursor cursor(table);
    cursor.SetToIndex("IdxWord");
    ASSERT_TRUE(cursor.SetRecNo(250));
    const std::int32_t id = cursor.Integer("Id");
    const std::string word = cursor.Text("Word");

    // Another writer adds a word below the cursor's; the cursor's caches
    // still hold the old pages, so nothing is noticed yet.
    const std::string lowest = Bg(u"ааа");
    table.Append({kMany + 1, lowest});
    EXPECT_EQ(cursor.RecNo(), 250);
    EXPECT_EQ(cursor.Changes, 0);

    // Once the pages are gone the next read from disk asks, finds the
    // change, puts the cursor back on its record, and the search restarts.
    cursor.Files().Index().DiscardPages();
    cursor.Files().Data().DiscardRecords();
    ASSERT_TRUE(cursor.FindKey(false, cursor.ImageWith("Word", lowest), {}, 0, false, 1));
    EXPECT_EQ(cursor.Changes, 1);
    EXPECT_EQ(cursor.Integer("Id"), kMany + 1);
    EXPECT_EQ(cursor.RecNo(), 1);
    EXPECT_EQ(cursor.RecordCount(), kMany + 1);

    // A step that reads a record from disk after another change: the cursor
    // stays on the record it stepped to, and its position follows the change.
    ASSERT_TRUE(cursor.FindKey(false, cursor.ImageWith("Word", word), {}, 0, false, 1));
    ASSERT_EQ(cursor.Integer("Id"), id);
    ASSERT_EQ(cursor.RecNo(), 251);
    table.Append({kMany + 2, Bg(u"ааб")});
    cursor.Files().Index().DiscardPages();
    cursor.Files().Data().DiscardRecords();
    ASSERT_EQ(cursor.GetPriorRecord(), 0);
    EXPECT_EQ(cursor.Changes, 2);
    EXPECT_EQ(cursor.RecNo(), 251);
    ASSERT_EQ(cursor.GetNextRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), id);
    EXPECT_EQ(cursor.RecNo(), 252);

    // Refresh asks whatever the cache holds.
    table.Append({kMany + 3, Bg(u"аав")});
    cursor.Refresh();
    EXPECT_EQ(cursor.Changes, 3);
    EXPECT_EQ(cursor.Integer("Id"), id);
    EXPECT_EQ(cursor.RecNo(), 253);
    EXPECT_EQ(cursor.RecordCount(), kMany + 3);
}

TEST_F(CursorNavigationTest, RecordNumberOrderFollowsAnotherWritersInsertsAndDeletes) {
    TFixtureTable table(NumberedWords(false), TFixtureStorage::Memory);
    Fill(table, 40);
    TNavigationTestCursor cursor(table);
    cursor.SetStrict(true);
    ASSERT_TRUE(cursor.SetRecNo(20));
    table.Delete(10);
    table.Delete(21);
    table.Append({41, WordOf(41)});  // no primary key: slot 41, never a free one
    EXPECT_EQ(cursor.RecordCount(), 39);
    EXPECT_EQ(cursor.Integer("Id"), 20);
    EXPECT_EQ(cursor.RecNo(), 19);
    ASSERT_EQ(cursor.GetNextRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 22);
    cursor.Last();
    ASSERT_EQ(cursor.GetPriorRecord(), 0);
    EXPECT_EQ(cursor.Integer("Id"), 41);

    // The record under the cursor goes: it moves to the nearest one (none
    // follows, so the one before).
    table.Delete(41);
    table.Delete(40);
    EXPECT_EQ(cursor.GetCurrentRecord({}, false), 0);
    EXPECT_EQ(cursor.Integer("Id"), 39);
}

TEST_F(CursorNavigationTest, ExclusiveCursorsNeverAskTheTable) {
    TFixtureTable table(NumberedWords(), TFixtureStorage::Memory);
    Fill(table, 20);
    TNavigationTestCursor cursor(table);
    cursor.SetNoLocks(true);
    const int reads = cursor.BeginReads;
    const int ends = cursor.EndReads;
    cursor.Refresh();
    EXPECT_EQ(IdTexts(cursor, true), Ids(1, 20));
    EXPECT_EQ(cursor.BeginReads, reads);
    EXPECT_EQ(cursor.EndReads, ends);
}

}  // namespace
}  // namespace pirin::testing
