// Record buffers: blanking, loading and storing slot images, the modified
// flag against the cache's dirty flag, copies, and the pool of spare records.
#include "storage/record.h"

#include <gtest/gtest.h>

#include "storage/little_endian.h"
#include "storage/scramble.h"
#include "tests/storage/data_file_test_support.h"

namespace pirin::data_test {
namespace {

using namespace le;

std::vector<std::uint8_t> SlotImage(std::uint8_t status, std::int32_t link, std::int32_t autoInc,
                                    std::size_t size = 20) {
    std::vector<std::uint8_t> image(size, 0);
    image[0] = status;
    PutI32(image, 1, link);
    PutI32(image, 5, autoInc);
    for (std::size_t i = 9; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 3);
    return image;
}

TEST(Record, LoadingASlotPutsTheRecordNumberInALiveRecordOnly) {
    for (bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted);
        TRecord record(20);
        record.SetRecordNumber(12);
        auto onDisk = SlotImage(kRecordActive, 999, 7);
        if (encrypted) ScrambleBytes(onDisk.data(), onDisk.size(), kDataSeeds);
        record.LoadImage(onDisk, encrypted);
        EXPECT_EQ(record.Status(), kRecordActive);
        EXPECT_EQ(record.NextDeleted(), 12);
        EXPECT_EQ(record.AutoIncValue(), 7);
        EXPECT_EQ(record.Image()[19], 57);
        EXPECT_FALSE(record.Modified());

        auto deleted = SlotImage(kRecordDeleted, 4, 7);
        if (encrypted) ScrambleBytes(deleted.data(), deleted.size(), kDataSeeds);
        record.LoadImage(deleted, encrypted);
        EXPECT_EQ(record.NextDeleted(), 4);

        std::vector<std::uint8_t> out(20);
        record.SetStatus(kRecordActive);
        EXPECT_TRUE(record.Modified());
        record.StoreImage(out, encrypted);
        EXPECT_FALSE(record.Modified());
        EXPECT_EQ(record.Status(), kRecordActive);  // the image stays clear
        if (encrypted) ScrambleBytes(out.data(), out.size(), kDataSeeds);
        EXPECT_TRUE(record.EqualsImage(out));
    }
}

TEST(Record, SettersMarkModifiedButNotTheRecordNumber) {
    TRecord record(20);
    record.SetRecordNumber(3);
    EXPECT_FALSE(record.Modified());
    EXPECT_EQ(record.RecordNumber(), 3);
    record.SetAutoIncValue(5);
    EXPECT_TRUE(record.Modified());
    EXPECT_FALSE(record.Dirty());  // not in a cache: nothing to write back
    record.Blank(false);
    EXPECT_FALSE(record.Modified());
    EXPECT_EQ(record.NextDeleted(), 3);
    EXPECT_EQ(record.AutoIncValue(), 0);
    record.SetNextDeleted(8);
    EXPECT_TRUE(record.Modified());
}

TEST(Record, CopiesTakeAsMuchAsBothSizesHold) {
    TRecord small(12), large(20);
    const auto image = SlotImage(kRecordActive, 5, 9);
    large.LoadImage(image, false);
    large.SetRecordNumber(5);
    large.SetModified(true);
    small.CopyFrom(large);
    EXPECT_EQ(small.RecordNumber(), 5);
    EXPECT_TRUE(small.Modified());
    EXPECT_TRUE(std::equal(small.Image().begin(), small.Image().end(), large.Image().begin()));
    EXPECT_TRUE(small.EqualsImage(large.Image()));
    EXPECT_FALSE(large.EqualsImage(small.Image()));  // shorter buffer

    TRecord target(20);
    target.SetStatus(kRecordDeleted);
    target.SetModified(false);
    target.CopyFields(image);
    EXPECT_TRUE(target.Modified());
    EXPECT_EQ(target.Status(), kRecordDeleted);  // bytes 0..8 untouched
    EXPECT_EQ(target.Image()[9], image[9]);
    EXPECT_EQ(target.Image()[19], image[19]);
}

TEST(Record, TheSecondImageGrowsInSixtyFourByteStepsZeroFilled) {
    TRecord record(65);
    auto second = record.SecondImage();
    EXPECT_EQ(second.size(), 65u);
    EXPECT_EQ(record.SecondImageCapacity() % 64, 0u);
    EXPECT_GE(record.SecondImageCapacity(), 128u);
    EXPECT_TRUE(std::all_of(second.begin(), second.end(), [](auto b) { return b == 0; }));
}

TEST(Record, AnImageTooSmallForTheRecordHeaderIsCorruptNotAnOverrun) {
    TRecord record(5);
    EXPECT_EQ(CodeOf([&] { (void)record.Status(); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(CodeOf([&] { record.Blank(false); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(CodeOf([&] { record.SetAutoIncValue(1); }), PIRIN_FILECORRUPT);
}

TEST(RecordStack, TakeGivesABlankedRecordAndGiveKeepsAtMostSixtyFour) {
    TRecordStack stack;
    std::vector<std::unique_ptr<TRecord>> taken;
    for (int i = 0; i < 70; ++i) taken.push_back(stack.Take(20));
    taken[0]->SetAutoIncValue(44);
    taken[0]->SetRecordNumber(9);
    for (auto& record : taken) stack.Give(std::move(record));
    EXPECT_EQ(stack.Size(), 64u);

    auto again = stack.Take(30);
    EXPECT_EQ(again->Size(), 30u);
    EXPECT_EQ(again->AutoIncValue(), 0);
    EXPECT_EQ(again->RecordNumber(), 0);
    EXPECT_FALSE(again->Modified());
    EXPECT_EQ(again->PinCount(), 0);
    EXPECT_EQ(stack.Size(), 63u);
}

TEST_F(DataFileTest, CachedRecordsAreDirtyWhenChangedAndDrawAutoincrementValues) {
    Build();
    Append(2);
    TDataFile& again = Reopen();
    TRecordPin pin = again.FetchRecord(nullptr, 2);
    EXPECT_EQ(pin->DataFile(), &again);
    EXPECT_FALSE(pin->Dirty());
    EXPECT_FALSE(pin->Modified());
    pin->SetAutoIncValue(2);
    EXPECT_TRUE(pin->Dirty());
    EXPECT_TRUE(pin->Modified());

    TRecordPin fresh = again.NewRecordSlot(nullptr);
    EXPECT_TRUE(fresh->Dirty());  // a new slot must reach the file
    fresh->Blank(true);
    EXPECT_FALSE(fresh->Modified());
    EXPECT_TRUE(fresh->Dirty());
    EXPECT_EQ(fresh->AutoIncValue(), 3);
    EXPECT_EQ(fresh->NextDeleted(), 3);

    auto spare = again.RecordStack().Take(static_cast<std::size_t>(again.RecordSize()));
    EXPECT_EQ(spare->DataFile(), &again);
    spare->Blank(true);
    EXPECT_EQ(spare->AutoIncValue(), 4);
}

}  // namespace
}  // namespace pirin::data_test
