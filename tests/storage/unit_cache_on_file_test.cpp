// The unit cache on a real file handler: records written back to a disk file
// in one write per run, scrambled on disk, read back by a fresh cache, and a
// failing disk that leaves the records dirty instead of losing them.
#include <gtest/gtest.h>

#include "storage/faulty_file_system.h"
#include "storage/file_handler.h"
#include "tests/storage/file_test_support.h"
#include "tests/storage/unit_cache_test_owner.h"

namespace pirin::cache_test {
namespace {

constexpr std::size_t kRecordSize = 40;
constexpr std::uint64_t kHeaderSize = 127;

// A record file: a fixed header, then scrambled record slots, through a
// TFileHandler as the data file will do it.
class THandlerOwner : public TUnitCacheOwner {
  public:
    explicit THandlerOwner(TFileHandler& handler) : Handler(handler) {}

    std::size_t UnitSize() const override { return kRecordSize; }
    std::uint64_t UnitOffset(std::int32_t n) const override {
        return kHeaderSize + static_cast<std::uint64_t>(n - 1) * kRecordSize;
    }
    std::int32_t NextUnitNumber() const override { return Next; }
    void AdvanceNextUnitNumber() override { ++Next; }
    std::int32_t UnitNumberLimit() const override { return kRecordNumberLimit; }
    std::size_t ReadUnits(std::uint64_t offset, std::span<std::uint8_t> buffer,
                          bool allowShort) override {
        return Handler.ReadAt(offset, buffer.data(), buffer.size(), allowShort);
    }
    void WriteUnits(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        Handler.WriteAt(offset, bytes.data(), bytes.size());
    }
    void UnscrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) override {
        ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    }
    void ScrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) override {
        ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    }
    bool InTransaction() const override { return false; }
    bool ShortReadsAllowed() const override { return false; }
    void SetWrittenSinceOpen() override {}
    bool StrictChangeDetection() const override { return true; }
    bool CheckAndResync() override { return false; }
    std::uint16_t CorruptCode() const override { return PIRIN_FILECORRUPT; }
    std::string_view TableName() const override { return "Bg_En"; }

    TFileHandler& Handler;
    std::int32_t Next = 1;
};

struct UnitCacheOnFile : ::testing::Test {
    pirin::testing::TScratchFolder Folder;
    TFaultyFileSystem Disk;
    TFileSystemOverride Seam{Disk};
    TFileHandler Handler{Folder / "Bg_En.DAT"};
    THandlerOwner Owner{Handler};
    TTestStack Stack{kRecordStackLimit};

    void SetUp() override {
        Handler.CreateNewFile();
        const std::vector<std::uint8_t> header(kHeaderSize, 0x48);
        Handler.WriteAt(0, header.data(), header.size());
    }
    // Appends records 1..count through the cache with their pattern.
    void Append(TTestCache& cache, std::int32_t count) {
        for (std::int32_t n = 1; n <= count; ++n) {
            auto pin = cache.Fetch(n);
            ASSERT_TRUE(pin);
            const auto bytes = Pattern(n, 1, kRecordSize);
            std::copy(bytes.begin(), bytes.end(), pin->Bytes().begin());
            pin->MarkDirty();
        }
    }
};

TEST_F(UnitCacheOnFile, WriteBackIsOneDiskWritePerRunAndReadsBackThroughAFreshCache) {
    {
        TTestCache cache(Owner, Stack, kRecordCacheParams, 64);
        Append(cache, 20);
        const int writesBefore = Disk.WriteCount();
        EXPECT_EQ(cache.WriteBack(), 1u);
        EXPECT_EQ(Disk.WriteCount() - writesBefore, 1);
        cache.DiscardAll();
    }
    EXPECT_EQ(Handler.FileLength(), static_cast<std::int64_t>(kHeaderSize + 20 * kRecordSize));

    // On disk each slot is scrambled by itself.
    auto slot = Pattern(7, 1, kRecordSize);
    ScrambleBytes(slot.data(), slot.size(), kDataSeeds);
    std::vector<std::uint8_t> onDisk(kRecordSize);
    Handler.ReadAt(Owner.UnitOffset(7), onDisk.data(), onDisk.size());
    EXPECT_EQ(onDisk, slot);

    // A fresh cache reads a forward run with one read and sees clear bytes.
    TTestCache fresh(Owner, Stack, kRecordCacheParams, 64);
    auto pin = fresh.Fetch(5, {.Count = 10});
    ASSERT_TRUE(pin);
    EXPECT_EQ(BytesOf(*pin), Pattern(5, 1, kRecordSize));
    EXPECT_EQ(fresh.Stats().Reads, 1u);
    ASSERT_NE(fresh.Find(14), nullptr);
    EXPECT_EQ(BytesOf(*fresh.Find(14)), Pattern(14, 1, kRecordSize));
}

TEST_F(UnitCacheOnFile, AFullDiskRaises9218AndKeepsTheRecordsDirtyForTheNextTry) {
    TTestCache cache(Owner, Stack, kRecordCacheParams, 64);
    Append(cache, 5);
    Disk.FailNthWrite(1, ENOSPC);
    EXPECT_EQ(CodeOf([&] { (void)cache.WriteBack(); }), PIRIN_WRITEERR);
    for (std::int32_t n = 1; n <= 5; ++n) EXPECT_TRUE(cache.Find(n)->Dirty()) << n;

    EXPECT_EQ(cache.WriteBack(), 1u);
    cache.DiscardAll();
    TTestCache fresh(Owner, Stack, kRecordCacheParams, 64);
    auto pin = fresh.Fetch(5);
    ASSERT_TRUE(pin);
    EXPECT_EQ(BytesOf(*pin), Pattern(5, 1, kRecordSize));
}

TEST_F(UnitCacheOnFile, ARecordPastTheEndOfAShortenedFileIsAReadErrorNotGarbage) {
    Owner.Next = 4;  // the header claims three records; the file holds none
    TTestCache cache(Owner, Stack, kRecordCacheParams, 64);
    EXPECT_EQ(CodeOf([&] { (void)cache.Fetch(2); }), PIRIN_READERR);
    EXPECT_EQ(cache.Size(), 0u);
}

}  // namespace
}  // namespace pirin::cache_test
