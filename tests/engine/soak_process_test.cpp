// Soak test: eight real processes on one table for a bounded time. Five
// writers insert, modify and delete their own records, alone or in short
// transactions that end in a commit or a rollback (one writer edits
// optimistically, the others lock the record for the edit); three readers
// walk the word index (one of them with strict change detection) and check
// that every memo they read belongs to its record. Afterwards every
// committed change is in the table exactly once, nothing rolled back is,
// and the table verifies.
//
// Each child is forked before the parent opens the table, so that every
// process holds descriptors (and locks) of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>

#include "engine/data_directory.h"
#include "tests/engine/writer_log.h"

namespace pirin::testing {
namespace {

using TClock = std::chrono::steady_clock;

constexpr int kWriters = 5;
constexpr int kReaders = 3;
constexpr auto kSoakTime = std::chrono::seconds(20);

// A lock another process held through every retry: a real program tells
// its user and lets them try again; the writer gives the change up.
bool Contention(std::int32_t code) {
    return code == PIRIN_LOCKTIMEOUT || code == PIRIN_RECLOCKFAILED;
}

class SoakTest : public ::testing::Test {
  protected:
    SoakTest() : Fixture(WordsDefinition()) {}

    // Writes until the deadline and logs what it committed. Returns 0 when
    // all went well and it both committed and rolled back transactions,
    // otherwise a code naming what went wrong (printed to stderr).
    int Writer(int writer, TClock::time_point deadline) {
        TWriterLog log(WriterLogPath(Fixture.Directory(), writer));
        TTableSession session(Fixture);
        if (writer == kWriters) session.Session.SetLockProtocol(TLockProtocol::Optimistic);
        auto cursor = session.OpenCursor();
        std::mt19937 random(static_cast<std::uint32_t>(writer) * 104729u);
        TOwnRecords own{.Writer = writer, .Next = 0, .Ids = {}};
        int commits = 0;
        int rollbacks = 0;
        while (TClock::now() < deadline) {
            const std::vector<std::int32_t> ownBefore = own.Ids;
            try {
                if (random() % 100 < 40) {
                    session.Directory.StartTransaction();
                    const int steps = 1 + static_cast<int>(random() % 4);
                    for (int step = 0; step < steps; ++step)
                        ChangeOwnRecord(*cursor, random, own, log);
                    if (random() % 100 < 75) {
                        session.Directory.Commit();
                        ++commits;
                    } else {
                        session.Directory.Rollback();
                        own.Ids = ownBefore;
                        log.Discard();
                        ++rollbacks;
                    }
                } else {
                    ChangeOwnRecord(*cursor, random, own, log);
                }
                log.Commit();
            } catch (const EPirinEngineError& error) {
                if (!Contention(error.ErrorCode)) {
                    std::fprintf(stderr, "writer %d: %s\n", writer, error.what());
                    return 10;
                }
                // A write that failed inside the transaction rolled it back
                // already; one refused before it changed anything did not.
                if (session.Directory.InTransaction()) session.Directory.Rollback();
                own.Ids = ownBefore;
                log.Discard();
            } catch (const std::exception& error) {
                std::fprintf(stderr, "writer %d: %s\n", writer, error.what());
                return 11;
            }
        }
        if (commits == 0 || rollbacks == 0) {
            std::fprintf(stderr, "writer %d: %d commits, %d rollbacks\n", writer, commits,
                         rollbacks);
            return 12;
        }
        return 0;
    }

    // Walks the word index until told to stop, reading every fifth memo.
    int Reader(bool strict) {
        TTableSession session(Fixture);
        session.Session.SetStrictChangeDetection(strict);
        auto cursor = session.OpenCursor();
        cursor->SetToIndex("ByWord");
        int walks = 0;
        while (!std::ifstream(StopPath(Fixture.Directory())) || walks < 3) {
            cursor->First();
            TImage image(static_cast<std::size_t>(cursor->RecordSize()));
            int walked = 0;
            while (cursor->GetNextRecord(image) == 0) {
                if (++walked % 5 != 0) continue;
                try {
                    if (MemoText(*cursor, kWordsNote, image) !=
                        MemoOf(StringField(*cursor, kWordsWord, image))) {
                        std::fprintf(stderr, "reader: memo of another word\n");
                        return 20;
                    }
                } catch (const EPirinEngineError& error) {
                    // The record changed since it was read: its old chain is gone.
                    if (error.ErrorCode != PIRIN_KEYORRECDELETED) {
                        std::fprintf(stderr, "reader: %s\n", error.what());
                        return 21;
                    }
                }
            }
            ++walks;
        }
        return 0;
    }

    TFixtureTable Fixture;
};

TEST_F(SoakTest, EightProcessesWithTransactionsLoseAndDuplicateNothing) {
    const TClock::time_point deadline = TClock::now() + kSoakTime;
    const auto expected = RunWritersAndReaders(
        Fixture.Directory(), kWriters, [&](int w) { return Writer(w, deadline); }, kReaders,
        [&](int r) { return Reader(r == 0); });
    EXPECT_GT(ExpectTableHolds(Fixture, expected), 500u);
}

}  // namespace
}  // namespace pirin::testing
