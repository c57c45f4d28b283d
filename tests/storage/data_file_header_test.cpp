// Writing the header: the change counter, the fields every write sets, and
// detecting a write made by another handler (another process).
#include <gtest/gtest.h>

#include "locale/date_time.h"
#include "tests/storage/data_file_test_support.h"

namespace pirin::data_test {
namespace {

TEST_F(DataFileTest, AHeaderWriteCountsAndStampsItself) {
    Build();
    PatchHeader([](TDataHeader& h) {
        h.SetWriterFlag(1);
        h.SetField120(0xDEADBEEF);
        h.SetBuild(1);
    });
    TDataFile& file = Reopen();
    Context.Written = false;
    const std::int32_t counter = file.Header().ChangeCounter();
    EXPECT_FALSE(file.WriteHeader());  // nothing changed
    EXPECT_FALSE(Context.Written);
    EXPECT_TRUE(file.WriteHeader(true));
    EXPECT_TRUE(Context.Written);

    const auto raw = RawBytes();
    TDataHeader stored;
    std::copy_n(raw.begin(), kDataHeaderSize, stored.Bytes().begin());
    EXPECT_EQ(stored.ChangeCounter(), counter + 1);
    EXPECT_EQ(stored.Build(), kEngineBuild);
    EXPECT_EQ(stored.WriterFlag(), 0);
    EXPECT_EQ(stored.Field120(), 0u);
    // The local day count minus 693594: within a day of now.
    const double expected = TimeStampToDayCount(NowTimeStamp()) - 693594.0;
    EXPECT_NEAR(stored.WriteTime(), expected, 1.0);
}

TEST_F(DataFileTest, ACreatedHeaderHoldsWhatWasAskedFor) {
    TNewTableOptions options = Options();
    options.BlobBlockSize = 0;
    options.Description = std::string(60, 'd');
    options.UserMinor = 3;
    options.UserMajor = 2;
    Build(SampleFields(), options);
    TDataFile& file = Reopen();
    const TDataHeader& h = file.Header();
    EXPECT_EQ(h.ChangeCounter(), 1);  // created at 0, written once
    EXPECT_EQ(h.Version(), 5);
    EXPECT_EQ(h.FieldCount(), 6);
    EXPECT_EQ(h.BlobFieldCount(), 1);
    EXPECT_EQ(h.RecordSize(), kSampleRecordSize);
    EXPECT_EQ(file.BlobBlockSize(), 512);  // 0 reads as 512
    EXPECT_EQ(h.Language(), kBulgarian);
    EXPECT_EQ(h.UserMajor(), 2);
    EXPECT_EQ(h.UserMinor(), 3);
    EXPECT_EQ(file.Description(), std::string(50, 'd'));
    EXPECT_FALSE(file.Encrypted());
    EXPECT_EQ(h.PasswordLength(), 0);
}

TEST_F(DataFileTest, TouchingTheHeaderCountsWithoutWriting) {
    TDataFile& file = Build();
    const std::int32_t counter = file.Header().ChangeCounter();
    Context.Written = false;
    file.TouchHeader();
    EXPECT_EQ(file.Header().ChangeCounter(), counter + 1);
    EXPECT_TRUE(file.HeaderModified());
    EXPECT_TRUE(Context.Written);
    EXPECT_EQ(Reopen().Header().ChangeCounter(), counter);
}

TEST_F(DataFileTest, AHeaderWrittenThroughAnotherHandlerIsNoticedOnce) {
    Build();
    Append(2);
    TDataFile& mine = Reopen();
    std::unique_ptr<TDataFile> theirs = OpenAnother();
    EXPECT_FALSE(mine.HeaderChanged());

    {
        TRecordPin pin = theirs->NewRecordSlot(nullptr);
        pin->Blank(true);
    }
    theirs->WriteBack();
    theirs->WriteHeader();

    EXPECT_EQ(mine.RecordCount(), 2);
    EXPECT_TRUE(mine.HeaderChanged());
    EXPECT_EQ(mine.RecordCount(), 3);
    EXPECT_EQ(mine.Header().LastAutoIncrement(), 3);
    EXPECT_EQ(mine.Header().ChangeCounter(), theirs->Header().ChangeCounter());
    EXPECT_FALSE(mine.HeaderChanged());
    mine.DiscardRecords();
    EXPECT_EQ(mine.FetchRecord(nullptr, 3)->AutoIncValue(), 3);
}

TEST_F(DataFileTest, AForeignHeaderThatChangesTheLayoutIsRefused) {
    Build();
    TDataFile& mine = Reopen();
    std::unique_ptr<TDataFile> theirs = OpenAnother();
    TDataHeader changed = theirs->Header();
    changed.SetChangeCounter(changed.ChangeCounter() + 5);
    changed.SetRecordSize(60);
    theirs->WriteAt(0, changed.Bytes().data(), kDataHeaderSize);
    EXPECT_EQ(CodeOf([&] { (void)mine.HeaderChanged(); }), PIRIN_HEADERCORRUPT);
    EXPECT_EQ(mine.RecordSize(), kSampleRecordSize);
}

}  // namespace
}  // namespace pirin::data_test
