// Field descriptors: the 768-byte layout, stored and key sizes, the SQL type
// keywords, and what creating a table computes and refuses.
#include <gtest/gtest.h>

#include "tests/storage/data_file_test_support.h"

namespace pirin::data_test {
namespace {

using namespace le;

TEST(FieldDescriptor, PacksToItsFixedOffsetsAndBack) {
    TFieldDescriptor field = Field("Word", kFieldString, kSubtypeFixedString, 50);
    field.Number = 2;
    field.Description = "Headword";
    field.StoredSize = 51;
    field.Offset = 14;
    field.Required = true;
    field.CharCase = kCaseUpper;
    field.MinText = "A";
    field.MaxText = "Z";
    field.DefaultText = "M";
    std::array<std::uint8_t, kFieldDescriptorSize> bytes;
    bytes.fill(0xAA);
    PackFieldDescriptor(field, bytes);

    EXPECT_EQ(GetU16(bytes, 0), 2);
    EXPECT_EQ(bytes[2], 4);
    EXPECT_EQ(std::string(bytes.begin() + 3, bytes.begin() + 7), "Word");
    EXPECT_EQ(bytes[7], 0);  // the rest of the name's place is zero
    EXPECT_EQ(bytes[33], 8);
    EXPECT_EQ(bytes[84], kFieldString);
    EXPECT_EQ(bytes[85], kSubtypeFixedString);
    EXPECT_EQ(bytes[86], 50);
    EXPECT_EQ(bytes[88], 51);
    EXPECT_EQ(GetU16(bytes, 90), 14);
    EXPECT_EQ(bytes[92], 1);
    EXPECT_EQ(bytes[93], kCaseUpper);
    EXPECT_EQ(bytes[94], 1);
    EXPECT_EQ(bytes[95], 'A');
    EXPECT_EQ(bytes[146], 'Z');
    EXPECT_EQ(bytes[197], 'M');
    EXPECT_TRUE(std::all_of(bytes.begin() + 247, bytes.end(), [](auto b) { return b == 0; }));

    const TFieldDescriptor back = UnpackFieldDescriptor(bytes);
    EXPECT_EQ(back.Name, "Word");
    EXPECT_EQ(back.Description, "Headword");
    EXPECT_EQ(back.Offset, 14);
    EXPECT_TRUE(back.Required);
    EXPECT_EQ(back.DefaultText, "M");
    EXPECT_TRUE(back.WellFormed);
}

TEST(FieldDescriptor, StoredAndKeySizesFollowTheType) {
    const struct {
        std::uint8_t Type;
        std::uint8_t Declared;
        int Stored;
        int Key;
    } cases[] = {
        {kFieldString, 20, 21, 21},
        {kFieldDate, 0, 4, 4},
        {kFieldBlob, 0, 8, 8},
        {kFieldBoolean, 0, 2, 2},
        {kFieldSmallInt, 0, 2, 2},
        {kFieldInteger, 0, 4, 4},
        {kFieldFloat, 0, 8, 8},
        {kFieldBcd, 0, 34, 8},
        {kFieldBytes, 16, 16, 16},
        {kFieldTime, 0, 4, 4},
        {kFieldTimeStamp, 0, 8, 8},
        {kFieldWord, 0, 2, 2},
        {kFieldFourBytes, 0, 4, 4},
        {kFieldTenBytes, 0, 10, 10},
        {kFieldVarBytes, 7, 7, 7},
        {kFieldLargeInt, 0, 8, 8},
        {17, 3, 3, 3},
    };
    for (const auto& c : cases) {
        TFieldDescriptor field = Field("F", c.Type, 0, c.Declared);
        field.StoredSize = static_cast<std::uint8_t>(field.ExpectedStoredSize());
        EXPECT_EQ(field.StoredSize, c.Stored) << int{c.Type};
        EXPECT_EQ(field.KeySize(), c.Key) << int{c.Type};
    }
}

TEST(FieldDescriptor, SqlKeywordsNameTypesAndSubtypes) {
    const struct {
        const char* Keyword;
        bool Arguments;
        TSqlFieldType Expected;
    } cases[] = {
        {"SMALLINT", false, {5, 0}},     {"word", false, {12, 0}},
        {"Int", false, {6, 0}},          {"INTEGER", false, {6, 0}},
        {"LARGEINT", false, {18, 0}},    {"AUTOINC", false, {6, 29}},
        {"DECIMAL", false, {8, 0}},      {"NUMERIC", false, {8, 0}},
        {"FLOAT", false, {7, 0}},        {"MONEY", false, {7, 21}},
        {"CHARACTER", false, {1, 0}},    {"CHAR", false, {1, 0}},
        {"VARCHAR", false, {1, 0}},      {"BYTES", false, {9, 0}},
        {"VARBYTES", false, {9, 0}},     {"BINARY", false, {9, 0}},
        {"VARBINARY", false, {9, 0}},    {"DATE", false, {2, 0}},
        {"TIME", false, {10, 0}},        {"TIMESTAMP", false, {11, 0}},
        {"BOOLEAN", false, {4, 0}},      {"BOOL", false, {4, 0}},
        {"BIT", false, {4, 0}},          {"BLOB", false, {3, 23}},
        {"BLOB", true, {3, 0}},          {"LONGVARBINARY", false, {3, 23}},
        {"LONGVARCHAR", false, {3, 22}}, {"MEMO", false, {3, 22}},
        {"GRAPHIC", false, {3, 26}},
    };
    for (const auto& c : cases) {
        const auto type = SqlFieldType(c.Keyword, c.Arguments);
        ASSERT_TRUE(type) << c.Keyword;
        EXPECT_EQ(*type, c.Expected) << c.Keyword;
    }
    EXPECT_FALSE(SqlFieldType("TEXT"));
    EXPECT_FALSE(SqlFieldType(""));
}

TEST_F(DataFileTest, CreatingComputesNumbersStoredSizesAndOffsets) {
    Build();
    const int offsets[] = {9, 14, 36, 39, 42, 5};
    const int stored[] = {4, 21, 2, 2, 8, 4};
    TDataFile& again = Reopen();
    ASSERT_EQ(again.Fields().size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(again.Fields()[i].Number, i + 1);
        EXPECT_EQ(again.Fields()[i].Offset, offsets[i]) << i;
        EXPECT_EQ(again.Fields()[i].StoredSize, stored[i]) << i;
    }
    EXPECT_EQ(again.RecordSize(), kSampleRecordSize);
    const auto byName = again.FindField(" notes");
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->Position, 5);
    EXPECT_EQ(byName->Field.Subtype, kSubtypeMemo);
    EXPECT_EQ(again.FindField(6)->Field.Name, "Serial");
    EXPECT_FALSE(again.FindField(0));
    EXPECT_FALSE(again.FindField(7));
    EXPECT_FALSE(again.FindField("Missing"));
}

TEST_F(DataFileTest, CreatingRefusesWhatNoTableMayHold) {
    const auto blobs = [](int count) {
        std::vector<TFieldDescriptor> fields;
        for (int i = 0; i < count; ++i)
            fields.push_back(Field("B" + std::to_string(i), kFieldBlob));
        return fields;
    };
    const auto strings = [](int count) {
        std::vector<TFieldDescriptor> fields;
        for (int i = 0; i < count; ++i)
            fields.push_back(Field("S" + std::to_string(i), kFieldString, 0, 250));
        return fields;
    };
    const auto with = [](std::function<void(TFieldDescriptor&)> change) {
        auto fields = SampleFields();
        change(fields[2]);
        return fields;
    };
    const struct {
        const char* Name;
        std::vector<TFieldDescriptor> Fields;
        int Expected;
    } cases[] = {
        {"128 BLOB fields", blobs(128), 0},
        {"129 BLOB fields", blobs(129), PIRIN_BLOBLIMIT},
        {"record of 65535 bytes would fit", strings(259), 0},  // 9 + 259 x 252 = 65277
        {"record above 65535 bytes", strings(261), PIRIN_RECTOOBIG},
        {"1025 fields", blobs(1025), PIRIN_FLDLIMIT},
        {"duplicate name", with([](auto& f) { f.Name = "word"; }), PIRIN_INVALIDFIELDNAME},
        {"name of 31 characters", with([](auto& f) { f.Name = std::string(31, 'n'); }),
         PIRIN_INVALIDFIELDNAME},
        {"type 0", with([](auto& f) { f.Type = 0; }), PIRIN_INVALIDFLDTYPE},
        {"string of 251", with([](auto& f) { f = Field("Count", kFieldString, 0, 251); }),
         PIRIN_INVALIDFLDTYPE},
        {"bad default", with([](auto& f) { f.DefaultText = "65536"; }), PIRIN_INVALIDVCHKSTRUCT},
        {"default of 51 characters", with([](auto& f) {
             f = Field("Count", kFieldString, 0, 60);
             f.DefaultText = std::string(51, 'x');
         }),
         PIRIN_INVALIDVCHKSTRUCT},
    };
    for (const auto& c : cases) {
        EPirinEngineError error(0);
        const int code = CodeOf([&] { Build(c.Fields); }, &error);
        EXPECT_EQ(code, c.Expected) << c.Name;
        if (code == 0) {
            EXPECT_EQ(OpenAndCheck(), 0) << c.Name;
        }
        if (code == PIRIN_INVALIDFIELDNAME || code == PIRIN_INVALIDVCHKSTRUCT) {
            EXPECT_FALSE(error.ErrorFieldName.empty()) << c.Name;
        }
    }
}

TEST_F(DataFileTest, TheArgumentByArgumentFormCreatesTheSameTable) {
    File = std::make_unique<TDataFile>(Context, Name);
    File->SetInMemory(true);
    const auto fields = SampleFields();
    File->CreateTableFile(kBulgarian, 0, fields, 4, 1024, "Four fields", "secret", true, 0, 1);
    EXPECT_EQ(File->FieldCount(), 4);
    EXPECT_EQ(File->RecordSize(), 42);
    EXPECT_EQ(File->BlobBlockSize(), 1024);
    EXPECT_EQ(File->GetPassword(), "secret");
    EXPECT_EQ(CodeOf([&] { File->CreateTableFile(0, 0, fields, 7, 0, "", "", false, 0, 1); }),
              PIRIN_FLDLIMIT);
}

}  // namespace
}  // namespace pirin::data_test
