// The shared words table, the writers' logs and the final check of the
// multi-process tests.
#include "tests/engine/writer_log.h"

#include <gmock/gmock.h>

#include <memory>
#include <stdexcept>

#include "tests/engine/child_process.h"

namespace pirin::testing {

TTableDefinition WordsDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 30), Field("Note", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .CaseInsensitive = true}}};
}

std::string MemoOf(const std::string& word) {
    // Lengths from a few bytes to more than one BLOB block.
    return "memo of " + word + std::string(word.size() * 53 % 1300, '.');
}

TImage FindWord(TDataCursor& cursor, std::int32_t id) {
    TImage key = NewImage(cursor);
    SetInteger(cursor, kWordsId, key, id);
    TImage image(static_cast<std::size_t>(cursor.RecordSize()));
    if (!cursor.FindKey(false, key, image, 0, false, 0)) return {};
    return image;
}

void PostWord(TDataCursor& cursor, TImage image, std::int32_t id, const std::string& word,
              bool insert) {
    SetInteger(cursor, kWordsId, image, id);
    SetString(cursor, kWordsWord, image, word);
    SetMemo(cursor, kWordsNote, image, MemoOf(word));
    if (insert)
        cursor.InsertRecord(image, true);
    else
        cursor.ModifyRecord(image, true, true);
}

void TWriterLog::Inserted(std::int32_t id, const std::string& word) {
    FPending.push_back("+" + std::to_string(id) + " " + word);
}

void TWriterLog::Modified(std::int32_t id, const std::string& word) {
    FPending.push_back("=" + std::to_string(id) + " " + word);
}

void TWriterLog::Deleted(std::int32_t id) { FPending.push_back("-" + std::to_string(id)); }

void TWriterLog::Commit() {
    for (const std::string& line : FPending) FFile << line << "\n";
    FFile.flush();
    FPending.clear();
}

void ChangeOwnRecord(TDataCursor& cursor, std::mt19937& random, TOwnRecords& own,
                     TWriterLog& log) {
    const unsigned dice = random() % 100;
    if (own.Ids.empty() || dice < 50) {
        const std::int32_t id = own.Writer * 1000000 + own.Next++;
        const std::string word = "w" + std::to_string(random() % 60);
        PostWord(cursor, NewImage(cursor), id, word, true);
        own.Ids.push_back(id);
        log.Inserted(id, word);
        return;
    }
    const std::size_t which = random() % own.Ids.size();
    const std::int32_t id = own.Ids[which];
    TImage image = FindWord(cursor, id);
    if (image.empty()) throw std::runtime_error("record " + std::to_string(id) + " is gone");
    if (dice < 80) {
        cursor.CheckError(cursor.GetCurrentRecord(image, true));
        const std::string word = "m" + std::to_string(random() % 60);
        PostWord(cursor, image, id, word, false);
        log.Modified(id, word);
    } else {
        cursor.DeleteRecord(image, true);
        own.Ids.erase(own.Ids.begin() + static_cast<std::ptrdiff_t>(which));
        log.Deleted(id);
    }
}

std::string WriterLogPath(const std::string& directory, int writer) {
    return directory + "writer-" + std::to_string(writer) + ".log";
}

std::string StopPath(const std::string& directory) { return directory + "stop"; }

std::map<std::int32_t, std::string> RunWritersAndReaders(const std::string& directory, int writers,
                                                         const std::function<int(int)>& writer,
                                                         int readers,
                                                         const std::function<int(int)>& reader) {
    std::vector<std::unique_ptr<TChildProcess>> writing;
    std::vector<std::unique_ptr<TChildProcess>> reading;
    for (int w = 1; w <= writers; ++w)
        writing.push_back(
            std::make_unique<TChildProcess>([&writer, w](TChildProcess&) { return writer(w); }));
    for (int r = 0; r < readers; ++r)
        reading.push_back(
            std::make_unique<TChildProcess>([&reader, r](TChildProcess&) { return reader(r); }));
    for (auto& process : writing) EXPECT_EQ(process->Join(), 0);
    std::ofstream(StopPath(directory)) << "stop";
    for (auto& process : reading) EXPECT_EQ(process->Join(), 0);
    std::vector<std::string> logs;
    for (int w = 1; w <= writers; ++w) logs.push_back(WriterLogPath(directory, w));
    return ReplayLogs(logs);
}

std::map<std::int32_t, std::string> ReplayLogs(const std::vector<std::string>& paths) {
    std::map<std::int32_t, std::string> expected;
    for (const std::string& path : paths) {
        std::ifstream log(path);
        std::string entry;
        std::string word;
        while (log >> entry) {
            const std::int32_t id = std::stoi(entry.substr(1));
            if (entry[0] == '-') {
                EXPECT_EQ(expected.erase(id), 1u) << "deleted " << id << " was not there";
                continue;
            }
            log >> word;
            if (entry[0] == '+')
                EXPECT_TRUE(expected.emplace(id, word).second) << "inserted " << id << " twice";
            else
                EXPECT_TRUE(expected.contains(id)) << "modified " << id << " was not there";
            expected[id] = word;
        }
    }
    return expected;
}

std::size_t ExpectTableHolds(const TFixtureTable& table,
                             const std::map<std::int32_t, std::string>& expected) {
    EXPECT_THAT(table.Verify(), ::testing::IsEmpty());
    TTableSession session(table);
    auto cursor = session.OpenCursor();
    std::map<std::int32_t, std::string> found;
    for (const TImage& image : ReadAll(*cursor)) {
        const std::int32_t id = IntegerField(*cursor, kWordsId, image);
        const std::string word = StringField(*cursor, kWordsWord, image);
        EXPECT_TRUE(found.emplace(id, word).second) << "id " << id << " twice";
        EXPECT_EQ(MemoText(*cursor, kWordsNote, image), MemoOf(word)) << "id " << id;
    }
    EXPECT_EQ(found, expected);
    return found.size();
}

}  // namespace pirin::testing
