// A key search reads its leaf from the page cache and keeps only the entry
// it lands on; stepping afterwards must give the neighbours as they were
// (the page left the cache meanwhile: read again) or as they are now (the
// table changed: resync), never bytes of a page object that holds another
// page by then.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "storage/index_file.h"
#include "tests/engine/child_process.h"
#include "tests/engine/cursor_test_support.h"
#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

constexpr int kWords = 600;

// "word 0001" ... : the key order is the number order.
std::string Word(int k) {
    char text[16];
    std::snprintf(text, sizeof text, "word %04d", k);
    return text;
}

TTableDefinition Definition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 60)},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true}}};
}

class LazyLeafTest : public ::testing::Test {
  protected:
    LazyLeafTest() : Fixture(Definition()) {
        std::vector<TRow> rows;
        for (int k = 1; k <= kWords; ++k) rows.push_back({k, Word(k)});
        Fixture.AppendRows(rows);
    }

    // Places `cursor` (on IdxWord) on word k by a key search.
    static void FindWord(TDataCursor& cursor, int k) {
        TImage image = NewImage(cursor);
        SetString(cursor, 2, image, Word(k));
        ASSERT_TRUE(cursor.FindKey(false, image, {}, 0, false, 1)) << Word(k);
    }
    static std::string Next(TDataCursor& cursor) {
        TImage image(static_cast<std::size_t>(cursor.RecordSize()));
        return cursor.GetNextRecord(image) == 0 ? StringField(cursor, 2, image) : "<end>";
    }
    static std::string Current(TDataCursor& cursor) {
        TImage image(static_cast<std::size_t>(cursor.RecordSize()));
        return cursor.GetCurrentRecord(image, false) == 0 ? StringField(cursor, 2, image) : "<none>";
    }
    static std::string Prior(TDataCursor& cursor) {
        TImage image(static_cast<std::size_t>(cursor.RecordSize()));
        return cursor.GetPriorRecord(image) == 0 ? StringField(cursor, 2, image) : "<end>";
    }
    // A cursor on IdxWord; with `fewPages` its session caches two pages of
    // an index.
    static std::unique_ptr<TDataCursor> OnWords(TTableSession& session, bool fewPages) {
        if (fewPages)
            session.Session.SetBufferLimits({.RecordBytes = 4096, .IndexBytes = 8192, .IndexPages = 0});
        auto cursor = session.OpenCursor();
        cursor->SetToIndex("IdxWord");
        return cursor;
    }
    // Reads every page of IdxWord through `other`, which with a cache of a
    // few pages pushes the searched cursor's leaf out and reuses its object.
    static void ChurnPages(TDataCursor& other) {
        for (other.First(); other.GetNextRecord() == 0;) {
        }
    }

    TFixtureTable Fixture;
};

TEST_F(LazyLeafTest, StepsAfterTheLeafLeftTheCacheGiveTheNeighbours) {
    TTableSession session(Fixture);
    auto cursor = OnWords(session, true);
    auto other = OnWords(session, true);
    // Every place on a leaf, its edges included, over several leaves.
    for (int k = 2; k < kWords; k += 7) {
        SCOPED_TRACE(Word(k));
        FindWord(*cursor, k);
        const std::uint64_t changes = TPageCache::UnitChanges();
        ChurnPages(*other);
        ASSERT_NE(TPageCache::UnitChanges(), changes);
        EXPECT_EQ(Current(*cursor), Word(k));
        EXPECT_EQ(Next(*cursor), Word(k + 1));
        EXPECT_EQ(Prior(*cursor), Word(k));
        EXPECT_EQ(Prior(*cursor), Word(k - 1));
    }
}

TEST_F(LazyLeafTest, AnEditBySiblingCursorBetweenSearchAndStepIsSeen) {
    TTableSession session(Fixture);
    auto cursor = OnWords(session, true);
    auto writer = OnWords(session, true);
    FindWord(*cursor, 300);
    ChurnPages(*writer);

    // Its leaf's page object now holds another page. A word right after
    // the one found, and the one after that gone.
    TImage added = NewImage(*writer);
    SetInteger(*writer, 1, added, 10'000);
    SetString(*writer, 2, added, Word(300) + "a");
    writer->InsertRecord(added, true);
    FindWord(*writer, 301);
    TImage gone(static_cast<std::size_t>(writer->RecordSize()));
    ASSERT_EQ(writer->GetCurrentRecord(gone, false), 0);
    writer->DeleteRecord(gone, true);

    EXPECT_EQ(Current(*cursor), Word(300));
    EXPECT_EQ(Next(*cursor), Word(300) + "a");
    EXPECT_EQ(Next(*cursor), Word(302));
    EXPECT_EQ(Prior(*cursor), Word(300) + "a");
    EXPECT_EQ(Prior(*cursor), Word(300));
}

TEST_F(LazyLeafTest, AnEditByAnotherProcessBetweenSearchAndStepIsSeen) {
    // Forked before the parent opens the table: descriptors and locks of
    // its own. It deletes the found word's record and adds one after it.
    TChildProcess writer([this](TChildProcess& self) {
        if (!self.Wait()) return 1;
        TTableSession session(Fixture);
        auto cursor = OnWords(session, false);
        FindWord(*cursor, 300);
        TImage gone(static_cast<std::size_t>(cursor->RecordSize()));
        if (cursor->GetCurrentRecord(gone, false) != 0) return 2;
        cursor->DeleteRecord(gone, true);
        TImage added = NewImage(*cursor);
        SetInteger(*cursor, 1, added, 10'000);
        SetString(*cursor, 2, added, Word(300) + "a");
        cursor->InsertRecord(added, true);
        cursor.reset();
        self.Signal();
        return 0;
    });
    TTableSession session(Fixture);
    session.Session.SetStrictChangeDetection(true);
    auto cursor = OnWords(session, false);
    FindWord(*cursor, 300);
    writer.Signal();
    ASSERT_TRUE(writer.Wait());

    // The record stood on is gone: the cursor moves on to the nearest
    // entry after its key, the new word, and steps from there.
    EXPECT_EQ(Current(*cursor), Word(300) + "a");
    EXPECT_EQ(Next(*cursor), Word(301));
    EXPECT_EQ(Prior(*cursor), Word(300) + "a");
    EXPECT_EQ(Prior(*cursor), Word(299));
    EXPECT_EQ(writer.Join(), 0);
}

}  // namespace
}  // namespace pirin::testing
