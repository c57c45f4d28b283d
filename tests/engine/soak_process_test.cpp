// Soak test: eight real processes on one table for a bounded time. Five
// writers insert, modify and delete their own records, alone or in short
// transactions that end in a commit or a rollback; three readers walk the
// word index and check that every memo they read belongs to its record.
// Writers give up an operation the locks of another process refuse (the
// table's writer's byte held by a transaction) and go on. Afterwards every
// committed change is in the table exactly once, nothing rolled back or
// refused is, and the table verifies.
//
// Each child is forked before the parent opens the table, so that every
// process holds descriptors (and locks) of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>

#include "engine/data_directory.h"
#include "tests/engine/child_process.h"
#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

using ::testing::IsEmpty;
using TClock = std::chrono::steady_clock;

constexpr int kId = 1;
constexpr int kWord = 2;
constexpr int kNote = 3;
constexpr int kWriters = 5;
constexpr int kReaders = 3;
constexpr auto kSoakTime = std::chrono::seconds(20);

TTableDefinition SoakDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 30), Field("Note", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .CaseInsensitive = true}}};
}

std::string MemoOf(const std::string& word) {
    return "memo of " + word + std::string(word.size() * 53 % 1300, '-');
}

// A lock another process holds: the operation is given up, not failed.
bool Contention(std::int32_t code) {
    return code == PIRIN_LOCKTIMEOUT || code == PIRIN_LOCKED || code == PIRIN_RECLOCKFAILED;
}

class SoakTest : public ::testing::Test {
  protected:
    SoakTest() : Fixture(SoakDefinition()) {}

    std::string LogPath(int writer) const {
        return Fixture.Directory() + "writer-" + std::to_string(writer) + ".log";
    }
    std::string StopPath() const { return Fixture.Directory() + "stop"; }

    static TImage Find(TDataCursor& cursor, std::int32_t id) {
        TImage key = NewImage(cursor);
        SetInteger(cursor, kId, key, id);
        TImage image(static_cast<std::size_t>(cursor.RecordSize()));
        if (!cursor.FindKey(false, key, image, 0, false, 0)) return {};
        return image;
    }

    // One write on the writer's own records; its log line goes to `pending`
    // and `own` follows it.
    static void WriteOne(TDataCursor& cursor, std::mt19937& random, int writer, int& next,
                         std::vector<std::int32_t>& own, std::vector<std::string>& pending) {
        const unsigned dice = random() % 100;
        if (own.empty() || dice < 50) {
            const std::int32_t id = writer * 1000000 + next++;
            const std::string word = "w" + std::to_string(random() % 60);
            TImage image = NewImage(cursor);
            SetInteger(cursor, kId, image, id);
            SetString(cursor, kWord, image, word);
            SetMemo(cursor, kNote, image, MemoOf(word));
            cursor.InsertRecord(image, true);
            own.push_back(id);
            pending.push_back("+" + std::to_string(id) + " " + word);
            return;
        }
        const std::size_t which = random() % own.size();
        const std::int32_t id = own[which];
        TImage image = Find(cursor, id);
        if (image.empty()) throw std::runtime_error("own record lost");
        if (dice < 80) {
            if (const std::uint16_t code = cursor.GetCurrentRecord(image, true); code != 0)
                cursor.CheckError(code);
            const std::string word = "m" + std::to_string(random() % 60);
            SetString(cursor, kWord, image, word);
            SetMemo(cursor, kNote, image, MemoOf(word));
            cursor.ModifyRecord(image, true, true);
            pending.push_back("=" + std::to_string(id) + " " + word);
        } else {
            cursor.DeleteRecord(image, true);
            own.erase(own.begin() + static_cast<std::ptrdiff_t>(which));
            pending.push_back("-" + std::to_string(id));
        }
    }

    // Writes until the deadline; logs what was committed. Returns 0, or a
    // code naming what went wrong.
    int Writer(int writer, TClock::time_point deadline) {
        std::ofstream log(LogPath(writer));
        TTableSession session(Fixture);
        session.Session.SetLockWaitTime(10);
        auto cursor = session.OpenCursor();
        std::mt19937 random(static_cast<std::uint32_t>(writer) * 104729u);
        std::vector<std::int32_t> own;
        int next = 0;
        int commits = 0;
        int rollbacks = 0;
        while (TClock::now() < deadline) {
            const bool transaction = random() % 100 < 40;
            std::vector<std::int32_t> ownBefore = own;
            std::vector<std::string> pending;
            try {
                if (transaction) {
                    session.Directory.StartTransaction();
                    const int steps = 1 + static_cast<int>(random() % 4);
                    for (int step = 0; step < steps; ++step)
                        WriteOne(*cursor, random, writer, next, own, pending);
                    if (random() % 100 < 75) {
                        session.Directory.Commit();
                        ++commits;
                    } else {
                        session.Directory.Rollback();
                        own = ownBefore;
                        pending.clear();
                        ++rollbacks;
                    }
                } else {
                    WriteOne(*cursor, random, writer, next, own, pending);
                }
            } catch (const EPirinEngineError& error) {
                if (!Contention(error.ErrorCode)) return 10;
                if (session.Directory.InTransaction()) session.Directory.Rollback();
                own = ownBefore;
                pending.clear();
            } catch (const std::exception&) {
                return 11;
            }
            for (const std::string& line : pending) log << line << "\n";
        }
        log.flush();
        return commits > 0 && rollbacks > 0 ? 0 : 12;
    }

    // Walks the word index until told to stop, reading memos.
    int Reader() {
        TTableSession session(Fixture);
        auto cursor = session.OpenCursor();
        cursor->SetToIndex("ByWord");
        int walks = 0;
        while (!std::ifstream(StopPath()) || walks < 3) {
            try {
                cursor->First();
                TImage image(static_cast<std::size_t>(cursor->RecordSize()));
                int walked = 0;
                while (cursor->GetNextRecord(image) == 0) {
                    if (++walked % 5 != 0) continue;
                    try {
                        if (MemoText(*cursor, kNote, image) !=
                            MemoOf(StringField(*cursor, kWord, image)))
                            return 20;
                    } catch (const EPirinEngineError& error) {
                        // The record changed since it was read: its old chain is gone.
                        if (error.ErrorCode != PIRIN_KEYORRECDELETED) return 21;
                    }
                }
                ++walks;
            } catch (const EPirinEngineError& error) {
                if (!Contention(error.ErrorCode)) return 22;
            }
        }
        return 0;
    }

    TFixtureTable Fixture;
};

TEST_F(SoakTest, EightProcessesWithTransactionsLoseAndDuplicateNothing) {
    const TClock::time_point deadline = TClock::now() + kSoakTime;
    std::vector<std::unique_ptr<TChildProcess>> writers;
    std::vector<std::unique_ptr<TChildProcess>> readers;
    for (int w = 1; w <= kWriters; ++w)
        writers.push_back(std::make_unique<TChildProcess>(
            [this, w, deadline](TChildProcess&) { return Writer(w, deadline); }));
    for (int r = 0; r < kReaders; ++r)
        readers.push_back(
            std::make_unique<TChildProcess>([this](TChildProcess&) { return Reader(); }));
    for (auto& writer : writers) EXPECT_EQ(writer->Join(), 0);
    std::ofstream(StopPath()) << "stop";
    for (auto& reader : readers) EXPECT_EQ(reader->Join(), 0);

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
    EXPECT_GT(found.size(), 20u);
}

}  // namespace
}  // namespace pirin::testing
