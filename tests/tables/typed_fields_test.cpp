// The typed field classes on a real table: each engine type gets its class,
// reads its stored value as text and as its typed value, reads blank as
// null, and takes text and typed values back through insert and post;
// conversions that would lose or invent data are refused.
#include <gmock/gmock.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "locale/convert_error.h"
#include "tables/typed_fields.h"
#include "tests/tables/tables_test_support.h"

namespace pirin::testing {
namespace {

using ::testing::HasSubstr;

TTableDefinition TypedDefinition() {
    TTableDefinition d;
    d.Fields = {Field("Id", "INTEGER"),   Field("Born", "DATE"),        Field("At", "TIME"),
                Field("Stamp", "TIMESTAMP"), Field("Amount", "DECIMAL", 2), Field("Raw", "BYTES", 4),
                TFieldDefinition{.Name = "Var", .Type = kFieldVarBytes, .Size = 3},
                Field("Price", "MONEY"),  Field("Flag", "BOOLEAN"),     Field("Ratio", "FLOAT"),
                Field("Four", "INTEGER")};
    d.Fields.back().Type = kFieldFourBytes;
    d.Primary = TIndexDefinition{.Fields = {"Id"}};
    d.Indexes = {{.Name = "ByBorn", .Fields = {"Born"}}};
    return d;
}

class TypedFieldsTest : public TablesTest {
  protected:
    TypedFieldsTest() : Fixture(TypedDefinition()) {
        Fixture.Append({1, "2004-03-07", "13:05:09.5", "2020-02-29 23:59:59.999", "-1234.5",
                        TValue::Bytes({1, 2, 3}), TValue::Bytes({9}), 12.5, 1, 0.25,
                        TValue::Bytes({0xFF, 0xFF, 0xFF, 0xFF})});
        Fixture.Append({2});
        // A stored timestamp that is not a whole millisecond count.
        Fixture.Append({3, nullptr, nullptr, 1.5});
        PointAt(Table, Fixture);
        Table.Open();
    }
    TField& Field(const char* name) { return Table.FieldByName(name); }

    TFixtureTable Fixture;
    TPirinTable Table;
};

TEST_F(TypedFieldsTest, EachTypeReadsItsStoredValueAndBlankAsNull) {
    struct TCase {
        const char* Name;
        std::function<bool(const TField&)> IsClass;
        const char* Text;
        double Number;  // AsFloat (dates and times: the day-count scale)
    };
    const auto is = []<class T>(T*) { return [](const TField& f) { return dynamic_cast<const T*>(&f) != nullptr; }; };
    const TCase cases[] = {
        {"Born", is((TDateField*)nullptr), "2004-03-07", 38053},
        {"At", is((TTimeField*)nullptr), "13:05:09.5", 47109005.0 / kMSecsPerDay},
        {"Stamp", is((TDateTimeField*)nullptr), "2020-02-29 23:59:59.999", 43890 + 86399999.0 / kMSecsPerDay},
        {"Amount", is((TBCDField*)nullptr), "-1234.5", -1234.5},
        {"Raw", is((TBytesField*)nullptr), "\x01\x02\x03", 0},
        {"Var", is((TVarBytesField*)nullptr), "\x09", 0},
        {"Price", is((TCurrencyField*)nullptr), "12.5", 12.5},
        {"Flag", is((TBooleanField*)nullptr), "True", 1},
        {"Ratio", is((TFloatField*)nullptr), "0.25", 0.25},
        {"Four", is((TIntegerField*)nullptr), "-1", -1},
    };
    ASSERT_TRUE(Table.FindKey({std::int64_t{1}}));
    for (const TCase& c : cases) {
        const TField& field = Field(c.Name);
        EXPECT_TRUE(c.IsClass(field)) << c.Name;
        EXPECT_FALSE(field.IsNull()) << c.Name;
        // Bytes fields end in the zeros that fill them up to their size.
        EXPECT_EQ(field.AsString().substr(0, std::strlen(c.Text)), c.Text) << c.Name;
        if (c.Number != 0) {
            EXPECT_NEAR(field.AsFloat(), c.Number, 1e-9) << c.Name;
        }
    }
    EXPECT_EQ(Field("Raw").AsBytes(), (std::vector<std::uint8_t>{1, 2, 3, 0}));
    EXPECT_EQ(Field("Var").AsBytes(), (std::vector<std::uint8_t>{9, 0, 0}));
    EXPECT_EQ(static_cast<TDateField&>(Field("Born")).DayNumber(), EncodeDayNumber(2004, 3, 7));
    EXPECT_EQ(static_cast<TBCDField&>(Field("Amount")).Scale(), 2);

    ASSERT_TRUE(Table.FindKey({std::int64_t{2}}));
    for (const TCase& c : cases) {
        EXPECT_TRUE(Field(c.Name).IsNull()) << c.Name;
        EXPECT_EQ(Field(c.Name).AsString(), "") << c.Name;
    }
    EXPECT_EQ(static_cast<TDateField&>(Field("Born")).DayNumber(), std::nullopt);

    // Outside the calendar: the text is the stored number, the point in
    // time is refused rather than made up.
    ASSERT_TRUE(Table.FindKey({std::int64_t{3}}));
    auto& stamp = static_cast<TDateTimeField&>(Field("Stamp"));
    EXPECT_EQ(stamp.AsTimeStamp(), std::nullopt);
    EXPECT_EQ(stamp.Stored(), 1.5);
    EXPECT_EQ(stamp.AsString(), "1.5");
    EXPECT_THROW((void)stamp.AsDateTime(), EConvertError);
}

TEST_F(TypedFieldsTest, TextAndTypedValuesAreStoredAndReadBack) {
    Table.Insert();
    Field("Id").SetAsInteger(4);
    Field("Born").SetAsString("1999-12-31");
    Field("At").SetAsDateTime(0.75);
    Field("Stamp").SetAsString("2004-03-07 13:05");
    Field("Amount").SetAsString("0.05");
    Field("Raw").SetAsString("ab");
    Field("Price").SetAsFloat(-0.5);
    Field("Flag").SetAsString("false");
    Field("Ratio").SetAsString("1e3");
    Table.Post();

    ASSERT_TRUE(Table.FindKey({std::int64_t{4}}));
    EXPECT_EQ(Field("Born").AsString(), "1999-12-31");
    EXPECT_EQ(Field("At").AsString(), "18:00");
    EXPECT_EQ(Field("Stamp").AsString(), "2004-03-07 13:05");
    EXPECT_NEAR(Field("Stamp").AsDateTime(), 38053 + 13.0 / 24 + 5.0 / 1440, 1e-9);
    EXPECT_EQ(Field("Amount").AsString(), "0.05");
    EXPECT_EQ(Field("Raw").AsBytes(), (std::vector<std::uint8_t>{'a', 'b', 0, 0}));
    EXPECT_EQ(Field("Price").AsFloat(), -0.5);
    EXPECT_EQ(Field("Flag").AsString(), "False");
    EXPECT_EQ(Field("Ratio").AsFloat(), 1000);

    // A typed value as a key: the date index finds the record by its text.
    Table.SetIndexName("ByBorn");
    EXPECT_TRUE(Table.FindKey({std::string("1999-12-31")}));
    EXPECT_EQ(Field("Id").AsInteger(), 4);
    Table.Close();
    EXPECT_THAT(Fixture.Verify(), ::testing::IsEmpty());
}

TEST_F(TypedFieldsTest, ValuesTheFieldCannotHoldAreRefused) {
    Table.Insert();
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { Field("Born").SetAsString("2004-02-30"); }, "'2004-02-30' is not a valid date"},
        {[&] { Field("At").SetAsString("25:00"); }, "'25:00' is not a valid time"},
        {[&] { Field("Amount").SetAsString("1.234"); }, "'1.234': more than 2 decimals"},
        {[&] { Field("Amount").SetAsFloat(0.125); }, "more than 2 decimals"},
        {[&] { Field("Amount").SetAsString("1e5"); }, "not a decimal number"},
        {[&] { Field("Flag").SetAsString("yes"); }, "'yes' is not a valid boolean"},
        {[&] { Field("Ratio").SetAsString("1,5"); }, "'1,5' is not a valid floating point value"},
    };
    for (const auto& [action, message] : cases) {
        try {
            action();
            ADD_FAILURE() << message;
        } catch (const EConvertError& error) {
            EXPECT_THAT(error.Message(), HasSubstr(message));
        }
    }
    EXPECT_EQ(MessageOf([&] { Field("Raw").SetAsString("abcde"); }), "Field Raw cannot hold more than 4 bytes");
    EXPECT_EQ(MessageOf([&] { (void)Field("Flag").AsDateTime(); }),
              "Cannot access field 'Flag' as a date and time");
    // Nothing refused reached the record.
    EXPECT_TRUE(Field("Born").IsNull());
    EXPECT_TRUE(Field("Amount").IsNull());
    Table.Cancel();
}

// Every integer width keeps the whole value, sign and high bits included,
// and a string fills its field to the last byte.
TEST(FieldWidthsTest, IntegersOfEveryWidthAndFullStringsAreStoredWhole) {
    TTableDefinition d;
    d.Fields = {Field("Id", "INTEGER"), Field("Small", "SMALLINT"), Field("Unsigned", "WORD"),
                Field("Wide", "LARGEINT"), Field("Name", "VARCHAR", 250)};
    d.Primary = TIndexDefinition{.Fields = {"Id"}};
    TFixtureTable fixture(d);
    TPirinTable table;
    PointAt(table, fixture);
    table.Open();
    const std::int64_t wide = -(std::int64_t{1} << 40) - 3;
    const std::string name(250, 'n');
    table.Insert();
    table.FieldByName("Id").SetAsInteger(-2147483647 - 1);
    table.FieldByName("Small").SetAsInteger(-32768);
    table.FieldByName("Unsigned").SetAsInteger(65535);
    table.FieldByName("Wide").SetAsInteger(wide);
    table.FieldByName("Name").SetAsString(name);
    table.Post();
    ASSERT_TRUE(table.FindKey({std::int64_t{-2147483647 - 1}}));
    EXPECT_EQ(table.FieldByName("Small").AsInteger(), -32768);
    EXPECT_EQ(table.FieldByName("Unsigned").AsInteger(), 65535);
    EXPECT_EQ(table.FieldByName("Wide").AsInteger(), wide);
    EXPECT_EQ(table.FieldByName("Name").AsString(), name);
    table.Close();
    EXPECT_THAT(fixture.Verify(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace pirin::testing
