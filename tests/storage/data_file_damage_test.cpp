// Damaged and hostile data files: every read is bounded and every failure is
// an engine error with the table's name, never a crash or a huge allocation.
#include <gtest/gtest.h>

#include "tests/storage/data_file_test_support.h"

namespace pirin::data_test {
namespace {

struct TDamage {
    const char* Name;
    std::function<void(DataFileTest&)> Apply;
};

class DataFileDamageTest : public DataFileTest, public ::testing::WithParamInterface<int> {};

const std::vector<TDamage>& Damages() {
    static const std::vector<TDamage> damages = {
        {"file shorter than its header", [](DataFileTest& t) { t.Truncate(100); }},
        {"empty file", [](DataFileTest& t) { t.Truncate(0); }},
        {"truncated descriptors", [](DataFileTest& t) { t.Truncate(127 + 768 * 3 + 10); }},
        {"huge field count",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetFieldCount(0xFFFF); }); }},
        {"1025 fields",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetFieldCount(1025); }); }},
        {"more fields than the file holds",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetFieldCount(1024); }); }},
        {"record size 0 with records",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetRecordSize(0); }); }},
        {"record size 8",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetRecordSize(8); }); }},
        {"negative next record number",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetNextRecordNumber(-5); }); }},
        {"next record number 0",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetNextRecordNumber(0); }); }},
        {"more records than the limit",
         [](DataFileTest& t) {
             t.PatchHeader([](auto& h) { h.SetNextRecordNumber(200'000'002); });
         }},
        {"slots ending past 4,000,000,000",
         [](DataFileTest& t) {
             t.PatchHeader([](auto& h) { h.SetNextRecordNumber(100'000'000); });
         }},
        {"negative first free",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetFirstFree(-1); }); }},
        {"password length 16",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.Bytes()[87] = 16; }); }},
        {"description length 200",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.Bytes()[35] = 200; }); }},
    };
    return damages;
}

TEST_P(DataFileDamageTest, OpeningADamagedHeaderFailsWith8961AndLeavesTheFileClosed) {
    const TDamage& damage = Damages()[static_cast<std::size_t>(GetParam())];
    Build();
    Append(3);
    damage.Apply(*this);
    File = std::make_unique<TDataFile>(Context, Name);
    File->SetInMemory(true);
    EPirinEngineError error(0);
    EXPECT_EQ(CodeOf([&] { File->OpenFile(); }, &error), PIRIN_HEADERCORRUPT) << damage.Name;
    EXPECT_EQ(error.ErrorTableName, File->TFileHandler::TableName());
    EXPECT_FALSE(File->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Cases, DataFileDamageTest,
                         ::testing::Range(0, static_cast<int>(Damages().size())),
                         [](const ::testing::TestParamInfo<int>& info) {
                             std::string name = Damages()[info.param].Name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST_F(DataFileTest, OverlongStringsInADescriptorFailTheCheckNotTheOpen) {
    Build();
    // A name length byte of 200 would run into the description and beyond.
    PutRaw(127 + 768 * 1 + 2, {200});
    TDataFile& file = Reopen();
    EXPECT_EQ(file.Fields()[1].Name.size(), kFieldNameLength);
    EXPECT_EQ(CodeOf([&] { file.CheckStructure(); }), PIRIN_HEADERCORRUPT);
}

TEST_F(DataFileTest, RecordNumbersOutsideTheTableAreCorruptBuffers) {
    Build();
    Append(3);
    TDataFile& file = Reopen();
    EXPECT_EQ(CodeOf([&] { (void)file.FetchRecord(nullptr, 0); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(CodeOf([&] { (void)file.FetchRecord(nullptr, -1); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(CodeOf([&] { (void)file.FetchRecord(nullptr, 5); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(file.RecordCount(), 3);
}

TEST_F(DataFileTest, AHeaderCountingSlotsTheFileLacksGivesAReadErrorOnFetch) {
    Build();
    Append(3);
    PatchHeader([](TDataHeader& h) { h.SetNextRecordNumber(10); });
    TDataFile& file = Reopen();
    EXPECT_EQ(CodeOf([&] { file.CheckStructure(); }), PIRIN_HEADERCORRUPT);
    EXPECT_EQ(CodeOf([&] { (void)file.FetchRecord(nullptr, 8); }), PIRIN_READERR);
    EXPECT_EQ(WordOf(*file.FetchRecord(nullptr, 2)), "w2");
}

TEST_F(DataFileTest, ATableIsFullAtTwoHundredMillionRecordsOrFourGigabytes) {
    // One string field of 250: a record of 261 bytes.
    const std::vector<TFieldDescriptor> wide = {Field("Text", kFieldString, 0, 250)};
    Build(wide);
    const std::uint64_t dataOffset = 127 + 768;
    const auto fitting = static_cast<std::int32_t>((4'000'000'000ULL - dataOffset) / 261);
    PatchHeader([&](TDataHeader& h) { h.SetNextRecordNumber(fitting + 1); });
    TDataFile& file = Reopen();
    EXPECT_EQ(CodeOf([&] { (void)file.NewRecordSlot(nullptr); }), PIRIN_TABLEFULL);
    EXPECT_EQ(file.RecordCount(), fitting);

    Build({});  // no fields: 9-byte records, so 200,000,000 of them fit
    PatchHeader([](TDataHeader& h) { h.SetNextRecordNumber(200'000'001); });
    TDataFile& full = Reopen();
    EXPECT_EQ(CodeOf([&] { (void)full.NewRecordSlot(nullptr); }), PIRIN_TABLEFULL);
    EXPECT_EQ(full.RecordCount(), 200'000'000);
}

}  // namespace
}  // namespace pirin::data_test
