// The structure check: an empty table, the file length against the header's
// counters, version and locale, and one structural fault at a time.
#include <gtest/gtest.h>

#include "tests/storage/data_file_test_support.h"

namespace pirin::data_test {
namespace {

TEST_F(DataFileTest, AnEmptyTableIsHeaderAndDescriptorsOnlyAndPassesTheCheck) {
    TDataFile& file = Build();
    EXPECT_EQ(file.RecordSize(), kSampleRecordSize);
    EXPECT_EQ(file.FileLength(), 127 + 768 * 6);
    EXPECT_EQ(file.Header().NextRecordNumber(), 1);
    EXPECT_EQ(file.RecordCount(), 0);
    EXPECT_EQ(OpenAndCheck(), 0);

    PutRaw(127 + 768 * 6, {0});
    EXPECT_EQ(OpenAndCheck(), PIRIN_HEADERCORRUPT);
}

TEST_F(DataFileTest, ATableWithRecordsPassesAndOneByteMoreOrLessFails) {
    Build();
    Append(3);
    EXPECT_EQ(OpenAndCheck(), 0);
    const std::uint64_t end = 127 + 768 * 6 + 3 * kSampleRecordSize;
    PutRaw(end, {0});
    EXPECT_EQ(OpenAndCheck(), PIRIN_HEADERCORRUPT);
    Truncate(end - 1);
    EXPECT_EQ(OpenAndCheck(), PIRIN_HEADERCORRUPT);
}

// The check may judge by the length the open saw, but a table another
// writer grew since then is judged by its length now, and a damaged one
// still fails.
TEST_F(DataFileTest, TheCheckAsksAgainWhenTheFileChangedSinceTheOpen) {
    const pirin::testing::TScratchFolder folder;
    UseDisk(folder);
    Build();
    Append(2);
    File.reset();
    auto reader = OpenAnother();  // opens the descriptor: two records long
    Reopen();                     // another writer on the same file
    Append(1);
    ASSERT_TRUE(reader->HeaderChanged());
    EXPECT_EQ(CodeOf([&] { reader->CheckStructure(); }), 0);
    reader.reset();
    const std::uint64_t end = 127 + 768 * 6 + 3 * kSampleRecordSize;
    PutRaw(end, {0});
    EXPECT_EQ(OpenAndCheck(), PIRIN_HEADERCORRUPT);
    File.reset();  // before the folder goes
}

TEST_F(DataFileTest, VersionAndLocaleAreCheckedBeforeTheDescriptors) {
    Build();
    PatchHeader([](TDataHeader& h) { h.SetVersion(4); });
    PatchField(0, [](TFieldDescriptor& f) { f.Name = "1d"; });  // must not be the one reported
    EXPECT_EQ(OpenAndCheck(), PIRIN_OLDVERSION);

    for (std::uint16_t language : {std::uint16_t{0x7FFF}, std::uint16_t{0x042D}}) {
        PatchHeader([&](TDataHeader& h) {
            h.SetVersion(5);
            h.SetLanguage(language);
        });
        EXPECT_EQ(OpenAndCheck(), PIRIN_CANNOTLOADLDDRV) << std::hex << language;
    }
    PatchHeader([](TDataHeader& h) { h.SetLanguage(0); });  // default ordering
    EXPECT_EQ(OpenAndCheck(), PIRIN_HEADERCORRUPT);         // now the bad name
}

struct TFaultCase {
    const char* Name;
    std::function<void(DataFileTest&)> Damage;
    int Expected;
};

class DataFileFaultTest : public DataFileTest, public ::testing::WithParamInterface<int> {
  public:
    void Damage(const TFaultCase& c) { c.Damage(*this); }
};

// Each damage leaves an otherwise sound table with three records.
const std::vector<TFaultCase>& FaultCases() {
    static const std::vector<TFaultCase> cases = {
        {"name starting with a digit",
         [](DataFileTest& t) { t.PatchField(1, [](auto& f) { f.Name = "9Word"; }); },
         PIRIN_HEADERCORRUPT},
        {"name starting with a Cyrillic letter",
         [](DataFileTest& t) { t.PatchField(1, [](auto& f) { f.Name = "\xC4\xF3\xEC\xE0"; }); }, 0},
        {"empty name", [](DataFileTest& t) { t.PatchField(1, [](auto& f) { f.Name = ""; }); },
         PIRIN_HEADERCORRUPT},
        {"duplicate name ignoring case and blanks",
         [](DataFileTest& t) { t.PatchField(2, [](auto& f) { f.Name = "WORD "; }); },
         PIRIN_HEADERCORRUPT},
        {"type 0", [](DataFileTest& t) { t.PatchField(0, [](auto& f) { f.Type = 0; }); },
         PIRIN_HEADERCORRUPT},
        {"declared size on an integer",
         [](DataFileTest& t) { t.PatchField(0, [](auto& f) { f.DeclaredSize = 4; }); },
         PIRIN_HEADERCORRUPT},
        {"stored size not the type's",
         [](DataFileTest& t) { t.PatchField(1, [](auto& f) { f.StoredSize = 200; }); },
         PIRIN_HEADERCORRUPT},
        {"wrong offset", [](DataFileTest& t) { t.PatchField(2, [](auto& f) { f.Offset = 37; }); },
         PIRIN_HEADERCORRUPT},
        {"autoincrement not at 5",
         [](DataFileTest& t) { t.PatchField(5, [](auto& f) { f.Offset = 51; }); },
         PIRIN_HEADERCORRUPT},
        {"wrong record size",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetRecordSize(52); }); },
         PIRIN_HEADERCORRUPT},
        {"word default 65536",
         [](DataFileTest& t) { t.PatchField(2, [](auto& f) { f.DefaultText = "65536"; }); },
         PIRIN_HEADERCORRUPT},
        {"word default 65535",
         [](DataFileTest& t) { t.PatchField(2, [](auto& f) { f.DefaultText = "65535"; }); }, 0},
        {"small-int minimum -32769",
         [](DataFileTest& t) { t.PatchField(3, [](auto& f) { f.MinText = "-32769"; }); },
         PIRIN_HEADERCORRUPT},
        {"small-int minimum -32768",
         [](DataFileTest& t) { t.PatchField(3, [](auto& f) { f.MinText = "-32768"; }); }, 0},
        {"integer maximum not a number",
         [](DataFileTest& t) { t.PatchField(0, [](auto& f) { f.MaxText = "ten"; }); },
         PIRIN_HEADERCORRUPT},
        {"scale on a non-BCD field",
         [](DataFileTest& t) { t.PatchField(0, [](auto& f) { f.Scale = 2; }); },
         PIRIN_HEADERCORRUPT},
        {"field number not its position",
         [](DataFileTest& t) { t.PatchField(5, [](auto& f) { f.Number = 9; }); },
         PIRIN_HEADERCORRUPT},
        {"next record number disagreeing with the length",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetNextRecordNumber(3); }); },
         PIRIN_HEADERCORRUPT},
        {"first free beyond the slots",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetFirstFree(4); }); },
         PIRIN_HEADERCORRUPT},
        {"first free on the last slot",
         [](DataFileTest& t) { t.PatchHeader([](auto& h) { h.SetFirstFree(3); }); }, 0},
    };
    return cases;
}

TEST_P(DataFileFaultTest, OneStructuralFaultGivesItsCode) {
    const TFaultCase& c = FaultCases()[static_cast<std::size_t>(GetParam())];
    Build();
    Append(3);
    Damage(c);
    EXPECT_EQ(OpenAndCheck(), c.Expected) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(Cases, DataFileFaultTest,
                         ::testing::Range(0, static_cast<int>(FaultCases().size())),
                         [](const ::testing::TestParamInfo<int>& info) {
                             std::string name = FaultCases()[info.param].Name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

struct TTextCase {
    std::uint8_t Type;
    const char* Text;
    bool Valid;
};

TEST(FieldValueText, DefaultsMinimaAndMaximaReadAsValuesOfTheirType) {
    const TTextCase cases[] = {
        {kFieldString, "anything at all", true},
        {kFieldBytes, "\x01\x02", true},
        {kFieldDate, "2004-03-07", true},
        {kFieldDate, "current_date", true},
        {kFieldDate, "07.03.2004", false},
        {kFieldDate, "CURRENT_TIME", false},
        {kFieldTime, "13:05:09", true},
        {kFieldTime, "CURRENT_TIME", true},
        {kFieldTime, "CURRENT_DATE", false},
        {kFieldTimeStamp, "CURRENT_TIMESTAMP", true},
        {kFieldTimeStamp, "CURRENT_DATE", true},
        {kFieldTimeStamp, "CURRENT_TIME", true},
        {kFieldTimeStamp, "2004-03-07 13:05", true},
        {kFieldTimeStamp, "2004-03-07", true},
        {kFieldTimeStamp, "1:05 PM", true},
        {kFieldTimeStamp, "yesterday", false},
        {kFieldBoolean, "True", true},
        {kFieldBoolean, "maybe", false},
        {kFieldSmallInt, "32767", true},
        {kFieldSmallInt, "32768", false},
        {kFieldWord, "-1", false},
        {kFieldInteger, "2147483647", true},
        {kFieldInteger, "2147483648", false},
        {kFieldLargeInt, "2147483648", true},
        {kFieldFloat, "1.5E10", true},
        {kFieldFloat, "1,5", false},
        {kFieldBcd, "12.25", true},
        {kFieldBcd, "12.2.5", false},
        {kFieldTenBytes, "whatever", true},
        {kFieldWord, "", true},
    };
    for (const TTextCase& c : cases)
        EXPECT_EQ(IsValidFieldValueText(c.Type, c.Text), c.Valid)
            << int{c.Type} << " '" << c.Text << "'";
}

}  // namespace
}  // namespace pirin::data_test
