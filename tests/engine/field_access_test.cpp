// Field values in record images: the string, Boolean and auto-increment
// rules, defaults, descriptors.
#include <gtest/gtest.h>

#include <cmath>

#include "locale/date_time.h"
#include "storage/index_key_bcd.h"
#include "tests/engine/cursor_test_support.h"

namespace pirin::testing {
namespace {

constexpr std::uint16_t kBulgarian = 1026;

TFieldDefinition WithDefault(TFieldDefinition field, std::string text) {
    field.Default = std::move(text);
    return field;
}

TTableDefinition FieldsDefinition() {
    TFieldDefinition name = Field("Name", "VARCHAR", 8);
    name.CharCase = kCaseUpper;
    return {.Fields = {Field("Id", "INTEGER"), name, WithDefault(Field("Flag", "BOOLEAN"), "true"),
                       Field("Seq", "AUTOINC"), WithDefault(Field("Day", "DATE"), "current_date"),
                       WithDefault(Field("Stamp", "TIMESTAMP"), "CURRENT_TIME"),
                       WithDefault(Field("Amount", "DECIMAL", 2), "12.5"),
                       WithDefault(Field("Count", "SMALLINT"), "-7"),
                       WithDefault(Field("Note", "VARCHAR", 10), "hello")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByName", .Fields = {"Name"}}},
            .Language = kBulgarian};
}

class FieldAccessTest : public ::testing::Test {
  protected:
    FieldAccessTest()
        : Fixture(FieldsDefinition(), TFixtureStorage::Memory, "Fields"),
          Session(Fixture),
          Cursor(Session.OpenCursor()),
          Image(static_cast<std::size_t>(Cursor->RecordSize())) {}

    void SetText(int fieldNo, std::string_view text) {
        Cursor->SetField(fieldNo, Image,
                         std::span<const std::uint8_t>(
                             reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    template <typename T>
    T Read(int fieldNo, bool& blank) {
        std::vector<std::uint8_t> value(FieldValueSize(Cursor->GetFieldDesc(fieldNo).Field));
        blank = Cursor->GetField(fieldNo, Image, value);
        T result{};
        std::memcpy(&result, value.data(), sizeof(T));
        return result;
    }
    template <typename T>
    void Write(int fieldNo, T value) {
        std::array<std::uint8_t, sizeof(T)> bytes{};
        std::memcpy(bytes.data(), &value, sizeof(T));
        Cursor->SetField(fieldNo, Image, std::span<const std::uint8_t>(bytes));
    }

    TFixtureTable Fixture;
    TTableSession Session;
    std::unique_ptr<TDataCursor> Cursor;
    std::vector<std::uint8_t> Image;
};

TEST_F(FieldAccessTest, StringsLoseTrailingBlanksTakeTheirCaseAndFitTheField) {
    const struct {
        std::string Given;
        std::string Read;
    } cases[] = {
        {"abc   ", "ABC"},
        {"", "<null>"},
        {"    ", "<null>"},
        {"abcdefghijk", "ABCDEFGH"},
        {"ab      x", "AB"},
        {std::string("xy \0zw", 6), "XY"},  // the text ends at its first zero
        {"\xe4\xf3\xec\xe0", "\xc4\xd3\xcc\xc0"},  // Cyrillic through the Bulgarian driver
    };
    for (const auto& entry : cases) {
        SetText(2, entry.Given);
        EXPECT_EQ(StringField(*Cursor, 2, Image), entry.Read) << "given '" << entry.Given << "'";
    }
    Cursor->SetField(2, Image, std::nullopt);
    EXPECT_EQ(StringField(*Cursor, 2, Image), "<null>");
}

TEST_F(FieldAccessTest, BooleansAreZeroOrOneAndAutoIncrementIsTheRecordValue) {
    bool blank = true;
    Write<std::uint16_t>(3, 5);
    EXPECT_EQ(Read<std::uint16_t>(3, blank), 1);
    EXPECT_FALSE(blank);

    Cursor->BlankRecord(Image);
    EXPECT_EQ(Read<std::int32_t>(4, blank), 0);
    EXPECT_FALSE(blank);  // never blank
    Write<std::int32_t>(4, 77);
    EXPECT_EQ(Read<std::int32_t>(4, blank), 77);
    EXPECT_EQ(Image[5], 77);                   // the record's autoincrement bytes
    Cursor->SetField(4, Image, std::nullopt);  // has no blank state to take
    EXPECT_EQ(Read<std::int32_t>(4, blank), 77);
}

TEST_F(FieldAccessTest, InitRecordStoresTheDefaults) {
    std::fill(Image.begin(), Image.end(), 0xAB);
    const TTimeStamp before = NowTimeStamp();
    Cursor->InitRecord(Image);
    const TTimeStamp after = NowTimeStamp();
    bool blank = false;

    (void)Read<std::int32_t>(1, blank);
    EXPECT_TRUE(blank);
    EXPECT_EQ(StringField(*Cursor, 2, Image), "<null>");
    EXPECT_EQ(Read<std::uint16_t>(3, blank), 1);
    const auto day = Read<std::int32_t>(5, blank);
    EXPECT_TRUE(day == before.Date || day == after.Date);
    // CURRENT_TIME in a timestamp is the time of day on day 0 of the scale.
    const auto stamp = Read<double>(6, blank);
    EXPECT_EQ(static_cast<std::int64_t>(stamp) / kMSecsPerDay, kDateDelta);
    std::array<std::uint8_t, kBcdStoredSize> bcd{};
    (void)Cursor->GetField(7, Image, bcd);
    EXPECT_EQ(BcdToDecimal(bcd), 125000);
    EXPECT_EQ(Read<std::int16_t>(8, blank), -7);
    EXPECT_EQ(StringField(*Cursor, 9, Image), "hello");
}

TEST_F(FieldAccessTest, DescriptorsNameTheirOriginAndRefuseNumbersOutOfRange) {
    const TCursorFieldDesc& desc = Cursor->GetFieldDesc(2);
    EXPECT_EQ(desc.Field.Name, "Name");
    EXPECT_EQ(desc.Origin, Fixture.Name() + ".Name");
    EXPECT_EQ(desc.SourceNumber, 2);
    EXPECT_TRUE(Cursor->HasAutoIncField());
    EXPECT_TRUE(Cursor->HasDefaults());
    for (const int number : {0, Cursor->FieldCount() + 1}) {
        try {
            (void)Cursor->GetFieldDesc(number);
            ADD_FAILURE() << "field " << number << " accepted";
        } catch (const EPirinEngineError& error) {
            EXPECT_EQ(error.ErrorCode, PIRIN_OUTOFRANGE);
            EXPECT_EQ(error.ErrorFieldName, std::to_string(number));
            EXPECT_EQ(error.ErrorTableName, Fixture.Name());
        }
    }
    // A value buffer too small for the field is refused, not overrun.
    std::array<std::uint8_t, 2> small{};
    EXPECT_EQ(CodeOfCall([&] { (void)Cursor->GetField(1, Image, small); }), PIRIN_FILECORRUPT);
}

TEST(FieldAccessKeyTest, UpperCaseFieldFindsRecordByLowerCaseValue) {
    TFixtureTable fixture(FieldsDefinition(), TFixtureStorage::Memory, "Keys");
    fixture.Append({1, "APPLE"});
    fixture.Append({2, "PEAR"});
    TTableSession session(fixture);
    auto cursor = session.OpenCursor();
    cursor->SetToIndex("ByName");
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
    cursor->BlankRecord(image);
    const std::string word = "pear";
    cursor->SetField(2, image,
                     std::span<const std::uint8_t>(
                         reinterpret_cast<const std::uint8_t*>(word.data()), word.size()));
    std::vector<std::uint8_t> key(cursor->KeyLength());
    cursor->BuildKey(image, key);
    std::vector<std::uint8_t> found(image.size());
    EXPECT_TRUE(cursor->FindKey(true, key, found, 0, false, 1));
    EXPECT_EQ(IntegerField(*cursor, 1, found), 2);
}

}  // namespace
}  // namespace pirin::testing
