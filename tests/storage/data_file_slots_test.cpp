// Slot reuse through the free chain, and the header's counters.
#include <gtest/gtest.h>

#include <limits>

#include "tests/storage/data_file_test_support.h"

namespace pirin::data_test {
namespace {

constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

// Deletes the records numbered in `slots`, in order.
void Delete(TDataFile& file, std::initializer_list<std::int32_t> slots) {
    for (std::int32_t n : slots) {
        TRecordPin pin = file.FetchRecord(nullptr, n);
        ASSERT_TRUE(pin);
        file.FreeRecordSlot(*pin);
    }
}

std::int32_t InsertOne(TDataFile& file) {
    TRecordPin pin = file.NewRecordSlot(nullptr);
    EXPECT_TRUE(pin);
    pin->Blank(true);
    return pin->RecordNumber();
}

TEST_F(DataFileTest, WithAPrimaryIndexDeletedSlotsAreReusedLastInFirstOut) {
    TDataFile& file = Build();
    Append(10);
    Delete(file, {3, 7});
    EXPECT_EQ(file.Header().FirstFree(), 7);
    EXPECT_TRUE(file.HeaderModified());

    EXPECT_EQ(InsertOne(file), 7);
    EXPECT_EQ(file.Header().FirstFree(), 3);
    EXPECT_EQ(InsertOne(file), 3);
    EXPECT_EQ(file.Header().FirstFree(), 0);
    EXPECT_EQ(InsertOne(file), 11);
    EXPECT_EQ(file.RecordCount(), 11);
}

TEST_F(DataFileTest, WithoutAPrimaryIndexInsertsAlwaysAppend) {
    Context.PrimaryIndex = false;
    TDataFile& file = Build();
    Append(10);
    Delete(file, {3, 7});
    EXPECT_EQ(file.Header().FirstFree(), 7);
    EXPECT_EQ(InsertOne(file), 11);
    EXPECT_EQ(InsertOne(file), 12);
    EXPECT_EQ(file.Header().FirstFree(), 0);
}

TEST_F(DataFileTest, TheFreeChainSurvivesWriteBackAndReopening) {
    TDataFile& file = Build();
    Append(10);
    Delete(file, {3, 7});
    file.WriteBack();
    file.WriteHeader();
    TDataFile& again = Reopen();
    again.CheckStructure();
    {
        TRecordPin seven = again.FetchRecord(nullptr, 7);
        EXPECT_TRUE(seven->Deleted());
        EXPECT_EQ(seven->NextDeleted(), 3);  // the link, not the slot number
        TRecordPin three = again.FetchRecord(nullptr, 3);
        EXPECT_EQ(three->NextDeleted(), 0);
        TRecordPin five = again.FetchRecord(nullptr, 5);
        EXPECT_EQ(five->NextDeleted(), 5);  // a live record carries its own number
        EXPECT_EQ(WordOf(*five), "w5");
    }
    EXPECT_EQ(InsertOne(again), 7);
    EXPECT_EQ(InsertOne(again), 3);
}

TEST_F(DataFileTest, AFreeChainPointingAtALiveRecordIsRefusedNotOverwritten) {
    Build();
    Append(5);
    PatchHeader([](TDataHeader& h) { h.SetFirstFree(4); });
    TDataFile& file = Reopen();
    EXPECT_EQ(CodeOf([&] { (void)file.NewRecordSlot(nullptr); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(file.Header().FirstFree(), 4);
    TRecordPin four = file.FetchRecord(nullptr, 4);
    EXPECT_FALSE(four->Deleted());
    EXPECT_EQ(WordOf(*four), "w4");
}

TEST_F(DataFileTest, DeletingTwiceOrARecordOutsideTheCacheIsRefused) {
    TDataFile& file = Build();
    Append(3);
    Delete(file, {2});
    TRecordPin two = file.FetchRecord(nullptr, 2);
    EXPECT_EQ(CodeOf([&] { file.FreeRecordSlot(*two); }), PIRIN_KEYORRECDELETED);
    EXPECT_EQ(file.Header().FirstFree(), 2);
    EXPECT_EQ(two->NextDeleted(), 0);

    auto copy = file.RecordStack().Take(static_cast<std::size_t>(file.RecordSize()));
    copy->SetRecordNumber(1);
    EXPECT_EQ(CodeOf([&] { file.FreeRecordSlot(*copy); }), PIRIN_FILECORRUPT);
}

struct TCounter {
    const char* Name;
    std::int32_t (TDataFile::*Next)();
    void (TDataFile::*SetLast)(std::int32_t);
    std::int32_t (TDataHeader::*Last)() const;
    void (TDataHeader::*Store)(std::int32_t);
};

TEST_F(DataFileTest, CountersWrapToOneAndExplicitValuesOnlyRaiseThem) {
    const TCounter counters[] = {
        {"autoincrement", &TDataFile::NextAutoIncrement, &TDataFile::SetLastAutoIncrement,
         &TDataHeader::LastAutoIncrement, &TDataHeader::SetLastAutoIncrement},
        {"BLOB stamp", &TDataFile::NextBlobStamp, &TDataFile::SetLastBlobStamp,
         &TDataHeader::LastBlobStamp, &TDataHeader::SetLastBlobStamp},
    };
    for (const TCounter& c : counters) {
        SCOPED_TRACE(c.Name);
        TDataFile& file = Build();
        EXPECT_EQ((file.*c.Next)(), 1);
        EXPECT_EQ((file.*c.Next)(), 2);
        file.WriteHeader();
        (file.*c.SetLast)(1);  // lower: no change
        EXPECT_EQ((file.Header().*c.Last)(), 2);
        EXPECT_FALSE(file.HeaderModified());
        (file.*c.SetLast)(40);
        EXPECT_TRUE(file.HeaderModified());
        EXPECT_EQ((file.*c.Next)(), 41);

        (file.*c.SetLast)(kMaxInt - 1);
        EXPECT_EQ((file.*c.Next)(), kMaxInt);
        EXPECT_EQ((file.*c.Next)(), 1);
        file.WriteHeader();
        EXPECT_EQ((Reopen().Header().*c.Last)(), 1);
    }
}

TEST_F(DataFileTest, ANewRecordAfterTheLargestAutoincrementValueGetsOne) {
    Build();
    PatchHeader([](TDataHeader& h) { h.SetLastAutoIncrement(kMaxInt); });
    TDataFile& file = Reopen();
    TRecordPin pin = file.NewRecordSlot(nullptr);
    pin->Blank(true);
    EXPECT_EQ(pin->AutoIncValue(), 1);
    EXPECT_EQ(pin->RecordNumber(), 1);
    EXPECT_TRUE(pin->Dirty());
}

}  // namespace
}  // namespace pirin::data_test
