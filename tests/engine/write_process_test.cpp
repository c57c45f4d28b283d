// Writers in real processes: two processes editing one record optimistically
// (the second to post gets 8708), and four processes inserting, modifying
// and deleting in one table with memos, a unique and a non-unique index for
// a few thousand operations while two more read. Afterwards the table
// verifies, every insert that was not deleted is there exactly once with its
// last word and memo, and no reader ever saw a record count that disagreed
// with its walk of the index, or a memo that did not belong to its record.
//
// Each child is forked before the parent opens the table, so that every
// process holds descriptors (and locks) of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "engine/data_table.h"
#include "tests/engine/child_process.h"
#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

using ::testing::IsEmpty;

constexpr int kId = 1;
constexpr int kWord = 2;
constexpr int kNote = 3;

TTableDefinition SharedDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 30), Field("Note", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .CaseInsensitive = true}}};
}

// The memo that belongs to a word: readers check that they always match.
std::string MemoOf(const std::string& word) {
    return "memo of " + word + std::string(word.size() * 37 % 900, '.');
}

TImage Find(TDataCursor& cursor, std::int32_t id) {
    TImage key = NewImage(cursor);
    SetInteger(cursor, kId, key, id);
    TImage image(static_cast<std::size_t>(cursor.RecordSize()));
    if (!cursor.FindKey(false, key, image, 0, false, 0)) return {};
    return image;
}

void Post(TDataCursor& cursor, TImage image, std::int32_t id, const std::string& word,
          bool insert) {
    SetInteger(cursor, kId, image, id);
    SetString(cursor, kWord, image, word);
    SetMemo(cursor, kNote, image, MemoOf(word));
    if (insert)
        cursor.InsertRecord(image, true);
    else
        cursor.ModifyRecord(image, true, true);
}

TEST(WriteProcessTest, TheSecondOptimisticEditorGets8708) {
    TFixtureTable fixture(SharedDefinition());
    fixture.Append({1, "one"});
    const auto editor = [&fixture](TChildProcess& self) {
        TTableSession session(fixture);
        session.Session.SetLockProtocol(TLockProtocol::Optimistic);
        auto cursor = session.OpenCursor();
        TImage image = Find(*cursor, 1);
        if (image.empty() || cursor->GetCurrentRecord(image, true) != 0) return 90;
        self.Signal();  // read
        if (!self.Wait()) return 91;
        SetString(*cursor, kWord, image, "child");
        return CodeOfCall([&] { cursor->ModifyRecord(image, true, true); }) == PIRIN_KEYORRECDELETED
                   ? 0
                   : 92;
    };
    TChildProcess child(editor);
    ASSERT_TRUE(child.Wait());
    {
        TTableSession session(fixture);
        session.Session.SetLockProtocol(TLockProtocol::Optimistic);
        auto cursor = session.OpenCursor();
        TImage image = Find(*cursor, 1);
        ASSERT_FALSE(image.empty());
        ASSERT_EQ(cursor->GetCurrentRecord(image, true), 0);
        SetString(*cursor, kWord, image, "parent");
        cursor->ModifyRecord(image, true, true);
    }
    child.Signal();
    EXPECT_EQ(child.Join(), 0);
    TTableSession session(fixture);
    auto cursor = session.OpenCursor();
    EXPECT_EQ(StringField(*cursor, kWord, Find(*cursor, 1)), "parent");
}

class ConcurrentWritersTest : public ::testing::Test {
  protected:
    ConcurrentWritersTest() : Fixture(SharedDefinition()) {}

    std::string LogPath(int writer) const {
        return Fixture.Directory() + "writer-" + std::to_string(writer) + ".log";
    }
    std::string StopPath() const { return Fixture.Directory() + "stop"; }

    // Inserts, modifies and deletes its own records (ids writer*1000000+k);
    // logs every completed operation as "+id word", "=id word" or "-id".
    int Writer(int writer) {
        std::ofstream log(LogPath(writer));
        TTableSession session(Fixture);
        auto cursor = session.OpenCursor();
        std::mt19937 random(static_cast<std::uint32_t>(writer) * 7919u);
        std::vector<std::int32_t> own;
        int next = 0;
        for (int op = 0; op < kOperationsPerWriter; ++op) {
            const unsigned dice = random() % 100;
            if (own.empty() || dice < 55) {
                const std::int32_t id = writer * 1000000 + next++;
                const std::string word = "w" + std::to_string(random() % 50);
                Post(*cursor, NewImage(*cursor), id, word, true);
                own.push_back(id);
                log << "+" << id << " " << word << "\n";
                continue;
            }
            const std::size_t which = random() % own.size();
            const std::int32_t id = own[which];
            TImage image = Find(*cursor, id);
            if (image.empty()) return 10;
            if (dice < 85) {
                if (cursor->GetCurrentRecord(image, true) != 0) return 11;
                const std::string word = "m" + std::to_string(random() % 50);
                Post(*cursor, image, id, word, false);
                log << "=" << id << " " << word << "\n";
            } else {
                cursor->DeleteRecord(image, true);
                own.erase(own.begin() + static_cast<std::ptrdiff_t>(which));
                log << "-" << id << "\n";
            }
        }
        return 0;
    }

    // Walks the word index until told to stop. A walk that saw no change by
    // another process (the counters were the same before and after) must
    // count what RecordCount says, and every memo read must belong to its
    // word. Returns 0 when all was well and some walks were undisturbed.
    int Reader() {
        // The default change detection: a walk that reads nothing from disk
        // works on the state its cache holds, which must be a whole one.
        TTableSession session(Fixture);
        auto cursor = session.OpenCursor();
        cursor->SetToIndex("ByWord");
        int undisturbed = 0;
        int walks = 0;
        while (!std::ifstream(StopPath()) || walks < 3) {
            ++walks;
            const std::int32_t count = cursor->RecordCount();
            const auto before = cursor->ChangeSnapshot();
            std::int32_t walked = 0;
            cursor->First();
            TImage image(static_cast<std::size_t>(cursor->RecordSize()));
            while (cursor->GetNextRecord(image) == 0) {
                ++walked;
                if (walked % 7 != 0) continue;
                try {
                    if (MemoText(*cursor, kNote, image) !=
                        MemoOf(StringField(*cursor, kWord, image)))
                        return 20;
                } catch (const EPirinEngineError& error) {
                    // The record changed since it was read: its old chain is gone.
                    if (error.ErrorCode != PIRIN_KEYORRECDELETED) return 21;
                }
            }
            const std::int32_t after = cursor->RecordCount();
            if (cursor->ChangeSnapshot() == before && after == count) {
                if (walked != count) return 22;
                ++undisturbed;
            }
        }
        return undisturbed > 0 ? 0 : 23;
    }

    static constexpr int kWriters = 4;
    static constexpr int kReaders = 2;
    static constexpr int kOperationsPerWriter = 750;
    TFixtureTable Fixture;
};

TEST_F(ConcurrentWritersTest, FourWritersAndTwoReadersKeepTheTableSound) {
    std::vector<std::unique_ptr<TChildProcess>> writers;
    std::vector<std::unique_ptr<TChildProcess>> readers;
    for (int w = 1; w <= kWriters; ++w)
        writers.push_back(
            std::make_unique<TChildProcess>([this, w](TChildProcess&) { return Writer(w); }));
    for (int r = 0; r < kReaders; ++r)
        readers.push_back(
            std::make_unique<TChildProcess>([this](TChildProcess&) { return Reader(); }));
    for (auto& writer : writers) EXPECT_EQ(writer->Join(), 0);
    std::ofstream(StopPath()) << "stop";
    for (auto& reader : readers) EXPECT_EQ(reader->Join(), 0);

    // What the logs say the table holds: id -> last word.
    std::map<std::int32_t, std::string> expected;
    for (int w = 1; w <= kWriters; ++w) {
        std::ifstream log(LogPath(w));
        std::string entry;
        std::string word;
        while (log >> entry) {
            const std::int32_t id = std::stoi(entry.substr(1));
            if (entry[0] == '-') {
                expected.erase(id);
                continue;
            }
            log >> word;
            expected[id] = word;
        }
    }
    EXPECT_THAT(Fixture.Verify(), IsEmpty());
    TTableSession session(Fixture);
    auto cursor = session.OpenCursor();
    std::map<std::int32_t, std::string> found;
    for (const TImage& image : ReadAll(*cursor)) {
        const std::int32_t id = IntegerField(*cursor, kId, image);
        const std::string word = StringField(*cursor, kWord, image);
        EXPECT_TRUE(found.emplace(id, word).second) << "id " << id << " twice";
        EXPECT_EQ(MemoText(*cursor, kNote, image), MemoOf(word)) << id;
    }
    EXPECT_EQ(found, expected);
    EXPECT_GT(found.size(), 1000u);
}

}  // namespace
}  // namespace pirin::testing
