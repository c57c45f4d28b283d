// Reading ahead on a walk whose index order is not the records' order: the
// records of the next entries and the first blocks of the memos the walker
// reads come along with the record read from disk. What is served must be
// the values of each record, and another process's write must still be seen
// from the walker's next disk read on.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "engine/data_table.h"
#include "storage/file_handler.h"
#include "storage/index_file.h"
#include "storage/little_endian.h"
#include "storage/lock_map.h"
#include "tests/engine/child_process.h"
#include "tests/engine/cursor_test_support.h"
#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

constexpr int kRecords = 300;
constexpr int kWord = 2;
constexpr int kNote = 3;

// Words in an order unrelated to the record numbers.
std::string WordOf(int id) {
    const int scrambled = (id * 131) % 1009;
    return "w" + std::string(4 - std::to_string(scrambled).size(), '0') + std::to_string(scrambled);
}
// Memos of one block and of several (the default block holds 494 bytes).
std::string NoteOf(const std::string& word) {
    const std::size_t length = word.back() % 3 == 0 ? 1200 : 200;
    std::string note;
    while (note.size() < length) note += word + ";";
    return note;
}

std::string ReadNote(TDataCursor& cursor, std::vector<std::uint8_t>& image) {
    std::uint32_t length = 0;
    EXPECT_EQ(cursor.OpenBlob(kNote, image, TBlobOpenMode::Read, length), 0);
    std::string note(length, '\0');
    std::uint32_t count = 0;
    EXPECT_EQ(cursor.GetBlob(kNote, image, 0,
                             std::span(reinterpret_cast<std::uint8_t*>(note.data()), note.size()), count),
              0);
    EXPECT_EQ(cursor.FreeBlob(kNote, image), 0);
    return note;
}

// The records of the entries of each leaf of index `indexNo`, in order.
std::vector<std::vector<std::int32_t>> LeafRecords(TIndexFile& index, int indexNo) {
    std::int32_t page = index.RootPage(indexNo);
    for (TPagePin pin = index.FetchPage(nullptr, indexNo, page); !pin->IsLeaf();
         pin = index.FetchPage(nullptr, indexNo, page))
        page = pin->EntryReference(1);
    std::vector<std::vector<std::int32_t>> leaves;
    while (page != 0) {
        const TPagePin pin = index.FetchPage(nullptr, indexNo, page);
        auto& refs = leaves.emplace_back();
        for (int i = 1; i <= pin->NumberOfEntries(); ++i) refs.push_back(pin->EntryReference(i));
        page = pin->Next();
    }
    return leaves;
}

class ReadAheadTest : public ::testing::Test {
  protected:
    ReadAheadTest()
        : Fixture({.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20), Field("Note", "MEMO")},
                   .Primary = TIndexDefinition{.Fields = {"Id"}},
                   .Indexes = {{.Name = "ByWord", .Fields = {"Word"}}}}) {
        std::vector<TRow> rows;
        for (int id = 1; id <= kRecords; ++id) rows.push_back({id, WordOf(id), NoteOf(WordOf(id))});
        Slots = Fixture.AppendRows(rows);
    }
    // The child's part, when signalled: deletes the record in `slot` and
    // adds one after every other word, under the table's write locks, as
    // the write path would; signals back when done.
    int DeleteAndAddLast(TChildProcess& self, std::int32_t slot) {
        if (!self.Wait()) return 1;
        TFileHandler data(Fixture.FileNames().Data);
        TFileHandler index(Fixture.FileNames().Index);
        TFileHandler blob(Fixture.FileNames().Blob);
        data.OpenFile();
        index.OpenFile();
        blob.OpenFile();
        if (!LockTableWrite(data) || !LockFileWrite(index) || !LockFileWrite(blob)) return 2;
        Fixture.Delete(slot);
        Fixture.Append({kRecords + 1, "zzzz", NoteOf("zzzz")});
        (void)UnlockFileWrite(blob);
        (void)UnlockFileWrite(index);
        (void)UnlockTableWrite(data);
        self.Signal();
        return 0;
    }

    TFixtureTable Fixture;
    std::vector<std::int32_t> Slots;
};

// The child deletes the record of the last word and adds one after it.
TEST_F(ReadAheadTest, AWalkServesEachRecordsOwnMemoAndSeesAnotherProcesssWrite) {
    std::map<std::string, int> ids;
    for (int id = 1; id <= kRecords; ++id) ids[WordOf(id)] = id;
    const std::string lastWord = ids.rbegin()->first;
    const std::int32_t lastSlot = Slots[static_cast<std::size_t>(ids.rbegin()->second - 1)];
    TChildProcess writer([&](TChildProcess& self) { return DeleteAndAddLast(self, lastSlot); });

    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    cursor->SetToIndex("ByWord");
    cursor->First();
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
    TDataTable& table = *cursor->Table();
    const std::size_t noteOffset = cursor->GetFieldDesc(kNote).Field.Offset + 1u;
    // The record of the word after `word` and its memo's first block are
    // cached, and the memo has no second block.
    const auto nextIsReadAhead = [&](const std::string& word) {
        const auto next = ids.upper_bound(word);
        if (next == ids.end() || NoteOf(next->first).size() > 494) return false;
        const TRecord* record =
            table.DataFile().RecordCache().Find(Slots[static_cast<std::size_t>(next->second - 1)]);
        return record != nullptr &&
               table.BlobFile()->Cache().Find(le::GetI32(record->Image(), noteOffset)) != nullptr;
    };
    std::vector<std::string> words;
    bool written = false;
    while (cursor->GetNextRecord(image) == 0) {
        const std::string word = StringField(*cursor, kWord, image);
        EXPECT_EQ(ReadNote(*cursor, image), NoteOf(word)) << word;
        words.push_back(word);
        if (!written && words.size() > 1 && nextIsReadAhead(word)) {
            written = true;
            const auto before = table.ChangeCounters();
            writer.Signal();
            ASSERT_TRUE(writer.Wait());
            // The next step and its memo come from what was read ahead: no
            // disk read, so the write is not noticed yet.
            ASSERT_EQ(cursor->GetNextRecord(image), 0);
            const std::string next = StringField(*cursor, kWord, image);
            EXPECT_EQ(ReadNote(*cursor, image), NoteOf(next));
            EXPECT_EQ(table.ChangeCounters(), before);
            words.push_back(next);
        }
    }
    EXPECT_TRUE(written);
    if (!written) writer.Signal();  // lets the child end
    EXPECT_EQ(writer.Join(), 0);
    // From the next disk read on the walk goes on in the new state.
    ASSERT_EQ(words.size(), static_cast<std::size_t>(kRecords));
    EXPECT_TRUE(std::is_sorted(words.begin(), words.end()));
    EXPECT_EQ(words.back(), "zzzz");
    EXPECT_EQ(std::count(words.begin(), words.end(), lastWord), 0);
}

// A disk read near the end of a leaf brings the records of the next leaf's
// first entries and their memos' first blocks along (the next leaf comes
// from disk too): the walk then steps over the leaf boundary and reads
// those memos without another disk read. Forwards and backwards.
TEST_F(ReadAheadTest, AReadNearALeafsEndBringsTheNextLeafAlong) {
    for (const bool forward : {true, false}) {
        SCOPED_TRACE(forward ? "forwards" : "backwards");
        TTableSession session(Fixture);
        auto cursor = session.OpenCursor();
        cursor->SetToIndex("ByWord");
        TDataTable& table = *cursor->Table();
        // The leaves in walk order, each with its entries in walk order.
        auto leaves = LeafRecords(table.IndexFile(), cursor->IndexNo());
        if (!forward) {
            std::reverse(leaves.begin(), leaves.end());
            for (auto& leaf : leaves) std::reverse(leaf.begin(), leaf.end());
        }
        ASSERT_GE(leaves.size(), 2u);
        const std::vector<std::int32_t>& first = leaves[0];
        ASSERT_GE(first.size(), 3u);
        const auto step = [&](std::vector<std::uint8_t>& image) {
            return forward ? cursor->GetNextRecord(image) : cursor->GetPriorRecord(image);
        };

        // On to the third entry from the first leaf's end, reading each memo.
        forward ? cursor->First() : cursor->Last();
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
        for (std::size_t i = 0; i + 2 < first.size(); ++i) {
            ASSERT_EQ(step(image), 0);
            (void)ReadNote(*cursor, image);
        }
        ASSERT_EQ(le::GetI32(image, 1), first[first.size() - 3]);
        // Nothing cached any more: the next step reads from disk.
        table.DataFile().DiscardRecords();
        table.BlobFile()->DiscardBlocks();
        table.IndexFile().DiscardPages(cursor->IndexNo());
        ASSERT_EQ(step(image), 0);
        EXPECT_EQ(ReadNote(*cursor, image), NoteOf(StringField(*cursor, kWord, image)));

        const auto recordMisses = table.DataFile().RecordCache().Stats().Misses;
        const auto blockMisses = table.BlobFile()->Cache().Stats().Misses;
        const std::size_t ahead = std::min<std::size_t>(leaves[1].size(), 4) + 1;
        for (std::size_t i = 0; i < ahead; ++i) {
            ASSERT_EQ(step(image), 0);
            const std::string word = StringField(*cursor, kWord, image);
            // A memo of one block is whole in what was read ahead.
            if (NoteOf(word).size() <= 494) {
                EXPECT_EQ(ReadNote(*cursor, image), NoteOf(word)) << word;
            }
        }
        EXPECT_EQ(le::GetI32(image, 1), leaves[1][ahead - 2]);
        EXPECT_EQ(table.DataFile().RecordCache().Stats().Misses, recordMisses);
        EXPECT_EQ(table.BlobFile()->Cache().Stats().Misses, blockMisses);
    }
}

// The same read near a leaf's end, then another process deletes the record
// of an entry of the next leaf (read ahead with its leaf) and adds one at
// the end: the walk goes on from what was read ahead, consistently, and
// from its next disk read on in the new state; every memo is its record's.
TEST_F(ReadAheadTest, AnotherProcesssWriteAfterTheNextLeafWasReadAheadIsSeen) {
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    cursor->SetToIndex("ByWord");
    TDataTable& table = *cursor->Table();
    const auto leaves = LeafRecords(table.IndexFile(), cursor->IndexNo());
    ASSERT_GE(leaves.size(), 2u);
    const std::vector<std::int32_t>& first = leaves[0];
    ASSERT_GE(first.size(), 3u);
    // The first record on the next leaf whose memo is one block (whole in
    // what is read ahead, so that serving it needs no disk read).
    std::int32_t doomed = 0;
    for (const std::int32_t slot : leaves[1]) {
        const auto id = std::find(Slots.begin(), Slots.end(), slot) - Slots.begin() + 1;
        if (NoteOf(WordOf(static_cast<int>(id))).size() <= 494) {
            doomed = slot;
            break;
        }
    }
    ASSERT_NE(doomed, 0);
    TChildProcess writer([&](TChildProcess& self) { return DeleteAndAddLast(self, doomed); });

    cursor->First();
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
    std::vector<std::string> words;
    const auto take = [&] {
        const std::string word = StringField(*cursor, kWord, image);
        EXPECT_EQ(ReadNote(*cursor, image), NoteOf(word)) << word;
        words.push_back(word);
    };
    for (std::size_t i = 0; i + 2 < first.size(); ++i) {
        ASSERT_EQ(cursor->GetNextRecord(image), 0);
        take();
    }
    table.DataFile().DiscardRecords();
    table.BlobFile()->DiscardBlocks();
    table.IndexFile().DiscardPages(cursor->IndexNo());
    ASSERT_EQ(cursor->GetNextRecord(image), 0);
    take();
    ASSERT_NE(table.DataFile().RecordCache().Find(doomed), nullptr);
    writer.Signal();
    ASSERT_TRUE(writer.Wait());
    EXPECT_EQ(writer.Join(), 0);
    while (cursor->GetNextRecord(image) == 0) take();

    // Each word once, in order, and the added one at the end; the deleted
    // one was served from what was read ahead or not at all.
    EXPECT_TRUE(std::adjacent_find(words.begin(), words.end(), std::greater_equal<>()) == words.end());
    EXPECT_EQ(words.back(), "zzzz");
    EXPECT_GE(words.size(), static_cast<std::size_t>(kRecords));
    EXPECT_LE(words.size(), static_cast<std::size_t>(kRecords) + 1);
}

// A walk's step copies a record read ahead straight from the cache, and its
// memo's first block is read in place: an edit of that record and its memo
// by a sibling cursor of the same process, made after the read-ahead, must
// be what the step and the memo read return.
TEST_F(ReadAheadTest, ASiblingsEditOfARecordReadAheadIsWhatTheWalkReads) {
    std::map<std::string, int> ids;
    for (int id = 1; id <= kRecords; ++id) ids[WordOf(id)] = id;
    TTableSession session(Fixture);
    auto reader = session.OpenCursor();
    auto writer = session.OpenCursor();
    reader->SetToIndex("ByWord");
    writer->SetToIndex("ByWord");
    TDataTable& table = *reader->Table();
    const std::size_t noteOffset = reader->GetFieldDesc(kNote).Field.Offset + 1u;
    // The walk goes on until the next record and its memo's first block
    // were read ahead.
    std::vector<std::uint8_t> image(static_cast<std::size_t>(reader->RecordSize()));
    reader->First();
    auto next = ids.end();
    while (next == ids.end() && reader->GetNextRecord(image) == 0) {
        const std::string word = StringField(*reader, kWord, image);
        EXPECT_EQ(ReadNote(*reader, image), NoteOf(word));
        const auto after = ids.upper_bound(word);
        if (after == ids.end()) break;
        const TRecord* record =
            table.DataFile().RecordCache().Find(Slots[static_cast<std::size_t>(after->second - 1)]);
        if (record != nullptr &&
            table.BlobFile()->Cache().Find(le::GetI32(record->Image(), noteOffset)) != nullptr)
            next = after;
    }
    ASSERT_NE(next, ids.end());

    std::vector<std::uint8_t> edited(image.size());
    writer->First();
    while (writer->GetNextRecord(edited) == 0 && StringField(*writer, kWord, edited) != next->first) {
    }
    ASSERT_EQ(writer->GetCurrentRecord(edited, true), 0);
    ASSERT_EQ(StringField(*writer, kWord, edited), next->first);
    const std::array<std::uint8_t, 4> newId{0x39, 0x30, 0, 0};  // 12345
    writer->SetField(1, edited, std::span<const std::uint8_t>(newId));
    std::uint32_t length = 0;
    ASSERT_EQ(writer->OpenBlob(kNote, edited, TBlobOpenMode::ReadWrite, length), 0);
    const std::array<std::uint8_t, 3> hey{'H', 'E', 'Y'};
    ASSERT_EQ(writer->PutBlob(kNote, edited, 0, hey), 0);
    writer->ModifyRecord(edited, true, true);

    const std::string expected = "HEY" + NoteOf(next->first).substr(3);
    ASSERT_EQ(reader->GetNextRecord(image), 0);
    EXPECT_EQ(StringField(*reader, kWord, image), next->first);
    EXPECT_EQ(IntegerField(*reader, 1, image), 12345);
    std::string text;
    ASSERT_EQ(reader->ReadBlob(kNote, image, text), 0);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(ReadNote(*reader, image), expected);
    if (std::next(next) != ids.end()) {
        ASSERT_EQ(reader->GetNextRecord(image), 0);
        EXPECT_EQ(StringField(*reader, kWord, image), std::next(next)->first);
    }
}


// A walk whose records the record cache already holds (a table smaller than
// the cache, walked again) reads nothing ahead at its steps. The memos
// still come in batches: the memo that goes to disk brings the first
// blocks of the next cached records' memos along. Both ways of reading a
// memo, forwards and backwards; every memo is its record's own.
TEST(ReadAheadOfCachedRecords, TheirMemosComeInBatches) {
    constexpr int kSmall = 120;  // more memos than the block cache holds
    TFixtureTable fixture({.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20), Field("Note", "MEMO")},
                           .Primary = TIndexDefinition{.Fields = {"Id"}},
                           .Indexes = {{.Name = "ByWord", .Fields = {"Word"}}}});
    std::vector<TRow> rows;
    for (int id = 1; id <= kSmall; ++id) rows.push_back({id, WordOf(id), WordOf(id) + " " + std::string(150, 'x')});
    (void)fixture.AppendRows(rows);

    for (const bool viaOpen : {false, true}) {
        for (const bool forward : {true, false}) {
            SCOPED_TRACE(std::string(viaOpen ? "OpenBlob" : "ReadBlob") + (forward ? " forwards" : " backwards"));
            TTableSession session(fixture);
            auto cursor = session.OpenCursor();
            cursor->SetToIndex("ByWord");
            TDataTable& table = *cursor->Table();
            ASSERT_GE(table.DataFile().RecordCache().Budget(), static_cast<std::size_t>(kSmall));
            ASSERT_LT(table.BlobFile()->Cache().Budget(), static_cast<std::size_t>(kSmall));
            std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
            const auto readNote = [&] {
                if (viaOpen) return ReadNote(*cursor, image);
                std::string text;
                EXPECT_EQ(cursor->ReadBlob(kNote, image, text), 0);
                return text;
            };
            const auto walk = [&] {
                forward ? cursor->First() : cursor->Last();
                int records = 0;
                int memosFromDisk = 0;
                while ((forward ? cursor->GetNextRecord(image) : cursor->GetPriorRecord(image)) == 0) {
                    const auto misses = table.BlobFile()->Cache().Stats().Misses;
                    const std::string word = StringField(*cursor, kWord, image);
                    EXPECT_EQ(readNote(), word + " " + std::string(150, 'x'));
                    memosFromDisk += table.BlobFile()->Cache().Stats().Misses != misses ? 1 : 0;
                    ++records;
                }
                EXPECT_EQ(records, kSmall);
                return memosFromDisk;
            };
            (void)walk();  // every record in the cache now
            // Two or three batches of the block cache's size, not a disk
            // read for every memo.
            EXPECT_LE(walk(), kSmall / 16);
        }
    }
}

// A look-up of a record whose memo fills several blocks, by a reader that
// shows each record's memo, brings the rest of the memo along with its
// first block: a memo written in one piece lies in consecutive blocks, so
// reading it then needs no disk read (and no read lock) of its own. A memo
// whose chain jumps elsewhere (it grew after another memo was written) is
// still read whole and right: what is read ahead is only cached.
TEST(ReadAheadOfALookUp, BringsTheWholeMemoOfItsRecord) {
    TFixtureTable fixture({.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20), Field("Note", "MEMO")},
                           .Primary = TIndexDefinition{.Fields = {"Id"}}});
    const auto noteOf = [](int id, std::size_t length) {
        std::string note;
        while (note.size() < length) note += "note " + std::to_string(id) + ";";
        return note;
    };
    std::vector<TRow> rows;
    for (int id = 1; id <= kRecords; ++id)
        rows.push_back({id, WordOf(id), noteOf(id, id % 2 == 1 ? 1200 : 100)});
    (void)fixture.AppendRows(rows);
    const std::string grown = noteOf(kRecords - 1, 2000);
    const auto find = [](TDataCursor& cursor, int id) {
        TImage image = NewImage(cursor);
        SetInteger(cursor, 1, image, id);
        EXPECT_TRUE(cursor.FindKey(false, image, {}, 0, false, 0));
        EXPECT_EQ(cursor.GetCurrentRecord(image, false), 0);
        return image;
    };
    {
        // A memo grows from three blocks to five: its chain goes on at the
        // end of the file after its third block.
        TTableSession session(fixture);
        auto cursor = session.OpenCursor();
        TImage image = find(*cursor, kRecords - 1);
        ASSERT_EQ(cursor->GetCurrentRecord(image, true), 0);
        SetMemo(*cursor, kNote, image, grown);
        cursor->ModifyRecord(image, true, true);
    }
    for (const auto& [id, note, inOneRead] :
         {std::tuple{251, noteOf(251, 1200), true}, std::tuple{kRecords - 1, grown, false}}) {
        SCOPED_TRACE(id);
        TTableSession session(fixture);
        auto cursor = session.OpenCursor();
        std::string text;
        // The cursor's first look-up reads a memo: memos are wanted from now
        // on. (The records of the table's start come into the cache when
        // the cursor opens; those looked up below do not.)
        TImage image = find(*cursor, 2);
        ASSERT_EQ(cursor->ReadBlob(kNote, image, text), 0);
        const TBlockCache& blocks = cursor->Table()->BlobFile()->Cache();
        image = find(*cursor, id);
        const auto misses = blocks.Stats().Misses;
        ASSERT_EQ(cursor->ReadBlob(kNote, image, text), 0);
        EXPECT_EQ(text, note);
        if (inOneRead) {
            EXPECT_EQ(blocks.Stats().Misses, misses);
        }
    }
}

}  // namespace
}  // namespace pirin::testing
