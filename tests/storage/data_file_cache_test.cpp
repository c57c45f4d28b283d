// Records through the cache on a disk file: write-back in one write per run,
// read-ahead runs forwards and backwards, and the change check a fetch asks
// before it reads.
#include <gtest/gtest.h>

#include "storage/faulty_file_system.h"
#include "tests/storage/data_file_test_support.h"

namespace pirin::data_test {
namespace {

class DataFileOnDisk : public DataFileTest {
  protected:
    DataFileOnDisk() { UseDisk(Folder); }
    // The file closes while the seam it was opened with still exists.
    ~DataFileOnDisk() override { File.reset(); }
    pirin::testing::TScratchFolder Folder;
    TFaultyFileSystem Disk;
    TFileSystemOverride Seam{Disk};
};

TEST_F(DataFileOnDisk, DirtyRecordsGoOutInOneWritePerRunOfConsecutiveSlots) {
    TDataFile& file = Build();
    Append(20);
    // Change 3..5 and 9..10: two runs.
    for (std::int32_t n : {3, 4, 5, 9, 10}) {
        TRecordPin pin = file.FetchRecord(nullptr, n);
        FillWord(*pin, "x" + std::to_string(n));
    }
    const int before = Disk.WriteCount();
    EXPECT_EQ(file.WriteBack(), 2u);
    EXPECT_EQ(Disk.WriteCount() - before, 2);
    EXPECT_EQ(file.WriteBack(), 0u);
    EXPECT_TRUE(Context.Written);

    TDataFile& again = Reopen();
    EXPECT_EQ(WordOf(*again.FetchRecord(nullptr, 4)), "x4");
    EXPECT_EQ(WordOf(*again.FetchRecord(nullptr, 6)), "w6");
}

TEST_F(DataFileOnDisk, ReadAheadFillsARunWithOneReadInEitherDirection) {
    Build();
    Append(40);
    TDataFile& file = Reopen();
    EXPECT_EQ(file.RecordsPerRun(), 8192 / kSampleRecordSize);

    TRecordPin five = file.FetchRecord(nullptr, 5, {.Count = 10});
    EXPECT_EQ(file.RecordCache().Stats().Reads, 1u);
    for (std::int32_t n = 5; n <= 14; ++n) {
        const TRecord* cached = file.RecordCache().Find(n);
        ASSERT_NE(cached, nullptr) << n;
        EXPECT_EQ(WordOf(*cached), "w" + std::to_string(n));
    }
    EXPECT_EQ(file.RecordCache().Find(15), nullptr);

    TRecordPin thirty =
        file.FetchRecord(nullptr, 30, {.Count = 6, .Direction = TReadDirection::Backward});
    EXPECT_EQ(file.RecordCache().Stats().Reads, 2u);
    for (std::int32_t n = 25; n <= 30; ++n) EXPECT_NE(file.RecordCache().Find(n), nullptr) << n;
    EXPECT_EQ(file.RecordCache().Find(24), nullptr);
    EXPECT_EQ(file.RecordCache().Find(31), nullptr);

    // Served from the cache: no further read.
    EXPECT_EQ(WordOf(*file.FetchRecord(nullptr, 27)), "w27");
    EXPECT_EQ(file.RecordCache().Stats().Reads, 2u);
    // A run is cut at the last record.
    TRecordPin last = file.FetchRecord(nullptr, 38, {.Count = 50});
    EXPECT_NE(file.RecordCache().Find(40), nullptr);
    EXPECT_EQ(file.RecordCache().Stats().Reads, 3u);
}

class TCountingCheck : public TChangeCheck {
  public:
    bool CheckAndResync() override {
        ++Calls;
        return Changed;
    }
    int Calls = 0;
    bool Changed = false;
};

TEST_F(DataFileOnDisk, AFetchThatMustReadAsksTheCursorFirstUnlessDetectionIsStrict) {
    Build();
    Append(3);
    TDataFile& file = Reopen();
    TCountingCheck cursor;
    EXPECT_TRUE(file.FetchRecord(&cursor, 1));
    EXPECT_EQ(cursor.Calls, 1);
    EXPECT_TRUE(file.FetchRecord(&cursor, 1));  // a hit asks nobody
    EXPECT_EQ(cursor.Calls, 1);

    cursor.Changed = true;
    EXPECT_FALSE(file.FetchRecord(&cursor, 2));  // nothing fetched: start over
    EXPECT_EQ(cursor.Calls, 2);

    Context.Strict = true;
    EXPECT_TRUE(file.FetchRecord(&cursor, 3));
    EXPECT_EQ(cursor.Calls, 2);
    // The cursor is asked only during its own fetch.
    Context.Strict = false;
    EXPECT_TRUE(file.FetchRecord(nullptr, 2));
    EXPECT_EQ(cursor.Calls, 2);
}

TEST_F(DataFileOnDisk, AFailedHeaderWriteLeavesTheHeaderToBeWrittenAgain) {
    TDataFile& file = Build();
    Append(1);
    const std::int32_t counter = file.Header().ChangeCounter();
    (void)file.NextAutoIncrement();
    Disk.FailNthWrite(1, ENOSPC);
    EXPECT_EQ(CodeOf([&] { file.WriteHeader(); }), PIRIN_WRITEERR);
    EXPECT_EQ(file.Header().ChangeCounter(), counter);
    EXPECT_TRUE(file.HeaderModified());
    EXPECT_TRUE(file.WriteHeader());
    EXPECT_EQ(Reopen().Header().ChangeCounter(), counter + 1);
}

}  // namespace
}  // namespace pirin::data_test
