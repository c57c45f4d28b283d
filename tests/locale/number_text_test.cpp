// Text forms of whole numbers, Booleans, floats and four-place decimals.
#include "locale/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "convert_test_support.h"

namespace pirin {
namespace {

using test::ConvertErrorOf;

constexpr auto kNo = std::nullopt;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

std::string Quoted(const char* text, const char* rest) {
    return "'" + std::string(text) + "'" + rest;
}

// ---- whole numbers ---------------------------------------------------------

struct WholeCase {
    const char* text;
    std::optional<std::int16_t> smallInt;
    std::optional<std::uint16_t> word;
    std::optional<std::int32_t> integer;
    std::optional<std::int64_t> largeInt;
};

TEST(WholeNumberText, RangesOfTheFourTypes) {
    const WholeCase cases[] = {
        {"0", 0, 0, 0, 0},
        {"12", 12, 12, 12, 12},
        {"+12", 12, 12, 12, 12},
        {"-12", -12, kNo, -12, -12},
        {"   12", 12, 12, 12, 12},
        {"-0", 0, 0, 0, 0},
        {"007", 7, 7, 7, 7},
        {"32767", 32767, 32767, 32767, 32767},
        {"32768", kNo, 32768, 32768, 32768},
        {"-32768", -32768, kNo, -32768, -32768},
        {"-32769", kNo, kNo, -32769, -32769},
        {"65535", kNo, 65535, 65535, 65535},
        {"65536", kNo, kNo, 65536, 65536},
        {"2147483647", kNo, kNo, 2147483647, 2147483647},
        {"2147483648", kNo, kNo, kNo, 2147483648},
        {"-2147483648", kNo, kNo, -2147483647 - 1, -2147483648LL},
        {"-2147483649", kNo, kNo, kNo, -2147483649LL},
        {"9223372036854775807", kNo, kNo, kNo, kInt64Max},
        {"9223372036854775808", kNo, kNo, kNo, kNo},
        {"-9223372036854775808", kNo, kNo, kNo, kInt64Min},
        {"-9223372036854775809", kNo, kNo, kNo, kNo},
        {"18446744073709551616", kNo, kNo, kNo, kNo},
        {"99999999999999999999999", kNo, kNo, kNo, kNo},
        // Hexadecimal with "$": a magnitude, like a decimal number.
        {"$FF", 255, 255, 255, 255},
        {"$ff", 255, 255, 255, 255},
        {" -$10", -16, kNo, -16, -16},
        {"$7FFF", 32767, 32767, 32767, 32767},
        {"$8000", kNo, 32768, 32768, 32768},
        {"-$8000", -32768, kNo, -32768, -32768},
        {"$FFFF", kNo, 65535, 65535, 65535},
        {"$FFFFFFFF", kNo, kNo, kNo, 4294967295LL},
        {"$7FFFFFFFFFFFFFFF", kNo, kNo, kNo, kInt64Max},
        {"-$8000000000000000", kNo, kNo, kNo, kInt64Min},
        {"$FFFFFFFFFFFFFFFF", kNo, kNo, kNo, kNo},
        {"$10000000000000000", kNo, kNo, kNo, kNo},
        // Not whole numbers.
        {"", kNo, kNo, kNo, kNo},
        {" ", kNo, kNo, kNo, kNo},
        {"+", kNo, kNo, kNo, kNo},
        {"-", kNo, kNo, kNo, kNo},
        {"$", kNo, kNo, kNo, kNo},
        {"-$", kNo, kNo, kNo, kNo},
        {"12 ", kNo, kNo, kNo, kNo},
        {"\t12", kNo, kNo, kNo, kNo},
        {"1 2", kNo, kNo, kNo, kNo},
        {"1.0", kNo, kNo, kNo, kNo},
        {"1e3", kNo, kNo, kNo, kNo},
        {"0x10", kNo, kNo, kNo, kNo},
        {"$G", kNo, kNo, kNo, kNo},
        {"$-1", kNo, kNo, kNo, kNo},
        {"--1", kNo, kNo, kNo, kNo},
        {"+-1", kNo, kNo, kNo, kNo},
        {"12a", kNo, kNo, kNo, kNo},
        {"1,000", kNo, kNo, kNo, kNo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        EXPECT_EQ(TryStrToSmallInt(c.text), c.smallInt);
        EXPECT_EQ(TryStrToWord(c.text), c.word);
        EXPECT_EQ(TryStrToInteger(c.text), c.integer);
        EXPECT_EQ(TryStrToLargeInt(c.text), c.largeInt);
        EXPECT_EQ(IsValidSmallInt(c.text), c.smallInt.has_value());
        EXPECT_EQ(IsValidWord(c.text), c.word.has_value());
        EXPECT_EQ(IsValidInteger(c.text), c.integer.has_value());
        EXPECT_EQ(IsValidLargeInt(c.text), c.largeInt.has_value());
        const std::string error = Quoted(c.text, " is not a valid integer value");
        if (c.smallInt)
            EXPECT_EQ(StrToSmallInt(c.text), *c.smallInt);
        else
            EXPECT_EQ(ConvertErrorOf([&] { StrToSmallInt(c.text); }), error);
        if (c.word)
            EXPECT_EQ(StrToWord(c.text), *c.word);
        else
            EXPECT_EQ(ConvertErrorOf([&] { StrToWord(c.text); }), error);
        if (c.integer)
            EXPECT_EQ(StrToInteger(c.text), *c.integer);
        else
            EXPECT_EQ(ConvertErrorOf([&] { StrToInteger(c.text); }), error);
        if (c.largeInt)
            EXPECT_EQ(StrToLargeInt(c.text), *c.largeInt);
        else
            EXPECT_EQ(ConvertErrorOf([&] { StrToLargeInt(c.text); }), error);
    }
}

TEST(WholeNumberText, ValidityChecksAtTheTypeLimits) {
    EXPECT_TRUE(IsValidWord("65535"));
    EXPECT_FALSE(IsValidWord("65536"));
    EXPECT_TRUE(IsValidSmallInt("-32768"));
    EXPECT_FALSE(IsValidSmallInt("-32769"));
}

// ---- Booleans --------------------------------------------------------------

TEST(BooleanText, ReadsTrueAndFalseInAnyCase) {
    for (const char* text : {"TRUE", "True", "true", "tRuE"}) {
        EXPECT_EQ(TryStrToBool(text), true) << text;
        EXPECT_TRUE(StrToBool(text)) << text;
        EXPECT_TRUE(IsValidBoolean(text)) << text;
    }
    for (const char* text : {"FALSE", "False", "false", "fAlSe"}) {
        EXPECT_EQ(TryStrToBool(text), false) << text;
        EXPECT_FALSE(StrToBool(text)) << text;
        EXPECT_TRUE(IsValidBoolean(text)) << text;
    }
    for (const char* text :
         {"", "yes", "no", "T", "F", "1", "0", " true", "true ", "truee", "ИСТИНА"}) {
        EXPECT_EQ(TryStrToBool(text), std::nullopt) << text;
        EXPECT_FALSE(IsValidBoolean(text)) << text;
        EXPECT_EQ(ConvertErrorOf([&] { StrToBool(text); }),
                  Quoted(text, " is not a valid boolean"));
    }
}

TEST(BooleanText, Writes) {
    EXPECT_EQ(BoolToStr(true), "True");
    EXPECT_EQ(BoolToStr(false), "False");
    EXPECT_TRUE(StrToBool(BoolToStr(true)));
    EXPECT_FALSE(StrToBool(BoolToStr(false)));
}

// ---- floats ----------------------------------------------------------------

struct FloatCase {
    const char* text;
    std::optional<double> value;
};

TEST(FloatText, Reads) {
    const FloatCase cases[] = {
        {"1.5", 1.5},
        {"-1.5", -1.5},
        {"+1.5", 1.5},
        {"1.", 1.0},
        {".5", 0.5},
        {"-.5", -0.5},
        {"0", 0.0},
        {"42", 42.0},
        {"1e3", 1000.0},
        {"1E+3", 1000.0},
        {"1.5e-3", 0.0015},
        {"2.5E2", 250.0},
        {"  2.25  ", 2.25},
        {"0.1", 0.1},
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
        {"1e-400", 0.0},  // too small is zero
        {"1e-99999999999999999999999", 0.0},
        // Not floats.
        {"", kNo},
        {" ", kNo},
        {".", kNo},
        {"-", kNo},
        {"1,5", kNo},
        {"1e", kNo},
        {"1e+", kNo},
        {"e3", kNo},
        {".e3", kNo},
        {"1.5.2", kNo},
        {"1 5", kNo},
        {"--1", kNo},
        {"+-1", kNo},
        {"- 1", kNo},
        {"1e400", kNo},  // too large
        {"-1e400", kNo},
        {"1e99999999999999999999999", kNo},
        {"inf", kNo},
        {"-infinity", kNo},
        {"nan", kNo},
        {"0x10", kNo},
        {"$10", kNo},
        {"1.5f", kNo},
        {"1.5d", kNo},
        {"\t1.5", kNo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        EXPECT_EQ(TryStrToFloat(c.text), c.value);
        EXPECT_EQ(IsValidFloat(c.text), c.value.has_value());
        if (c.value) {
            EXPECT_EQ(StrToFloat(c.text), *c.value);
        } else {
            EXPECT_EQ(ConvertErrorOf([&] { StrToFloat(c.text); }),
                      Quoted(c.text, " is not a valid floating point value"));
        }
    }
}

TEST(FloatText, SignOfZeroIsKept) {
    EXPECT_TRUE(std::signbit(StrToFloat("-0")));
    EXPECT_TRUE(std::signbit(StrToFloat("-1e-400")));
    EXPECT_FALSE(std::signbit(StrToFloat("1e-400")));
}

struct FloatWriteCase {
    double value;
    const char* text;
};

TEST(FloatText, WritesGeneralFormatWithFifteenDigits) {
    const FloatWriteCase cases[] = {
        {1.5, "1.5"},
        {-2.5, "-2.5"},
        {0.0, "0"},
        {-0.0, "-0"},
        {0.1, "0.1"},
        {100.0, "100"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346e+15"},
        {1e15, "1e+15"},
        {1e20, "1e+20"},
        {0.0001, "0.0001"},
        {0.000015, "1.5e-05"},
        {1e-300, "1e-300"},
        {std::numeric_limits<double>::max(), "1.79769313486232e+308"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FloatToStr(c.value), c.text);
    }
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(FloatText, WrittenFloatsReadBackToFifteenDigits) {
    std::mt19937_64 random(15);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int i = 0; i < 100'000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, exponent(random));
        const double back = StrToFloat(FloatToStr(value));
        ASSERT_NEAR(back, value, std::fabs(value) * 1e-14) << FloatToStr(value);
        // And the text is stable from then on.
        ASSERT_EQ(FloatToStr(back), FloatToStr(value));
    }
}

// ---- four-place decimals ---------------------------------------------------

struct DecimalCase {
    const char* text;
    std::optional<std::int64_t> scaled;
};

TEST(DecimalText, ReadsWithFourPlacesRoundingHalfAwayFromZero) {
    const DecimalCase cases[] = {
        {"1.5", 15'000},
        {"-1.5", -15'000},
        {"+1.5", 15'000},
        {"0", 0},
        {"-0", 0},
        {"0.0001", 1},
        {"0.00005", 1},
        {"-0.00005", -1},
        {"0.000049999", 0},
        {"-0.000049999", 0},
        {"0.00001", 0},
        {"1.23455", 12'346},
        {"-1.23455", -12'346},
        {"1.23454999", 12'345},
        {"1.99995", 20'000},
        {"2.5e-4", 3},
        {"1e3", 10'000'000},
        {"1.5E2", 1'500'000},
        {"12345.6789", 123'456'789},
        {"000123", 1'230'000},
        {".5", 5'000},
        {"7.", 70'000},
        {"  12.34  ", 123'400},
        {"1e14", 1'000'000'000'000'000'000},
        {"0.1e-3", 1},
        {"123456789e-12", 1},
        {"123456789e-13", 0},
        {"1e-99999999999999999999999", 0},
        {"922337203685477.5807", kInt64Max},
        {"922337203685477.58074", kInt64Max},
        {"-922337203685477.5808", kInt64Min},
        {"-922337203685477.58084", kInt64Min},
        {"92233720368547.75807e1", kInt64Max},
        // Not decimals.
        {"922337203685477.5808", kNo},
        {"922337203685477.58075", kNo},  // rounds past the largest value
        {"-922337203685477.5809", kNo},
        {"1e15", kNo},
        {"99999999999999999999", kNo},
        {"1e99999999999999999999999", kNo},
        {"", kNo},
        {".", kNo},
        {"1,5", kNo},
        {"1e", kNo},
        {"abc", kNo},
        {"inf", kNo},
        {"$10", kNo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        EXPECT_EQ(TryStrToDecimal(c.text), c.scaled);
        EXPECT_EQ(IsValidDecimal(c.text), c.scaled.has_value());
        if (c.scaled) {
            EXPECT_EQ(StrToDecimal(c.text), *c.scaled);
        } else {
            EXPECT_EQ(ConvertErrorOf([&] { StrToDecimal(c.text); }),
                      Quoted(c.text, " is not a valid decimal value"));
        }
    }
}

struct DecimalWriteCase {
    std::int64_t scaled;
    const char* text;
};

TEST(DecimalText, WritesWithoutExponentOrTrailingZeros) {
    const DecimalWriteCase cases[] = {
        {0, "0"},
        {15'000, "1.5"},
        {10'000, "1"},
        {-10'000'000, "-1000"},
        {1'000, "0.1"},
        {1, "0.0001"},
        {-5, "-0.0005"},
        {123'400, "12.34"},
        {123'456'789, "12345.6789"},
        {kInt64Max, "922337203685477.5807"},
        {kInt64Min, "-922337203685477.5808"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecimalToStr(c.scaled), c.text);
    }
}

TEST(DecimalText, WrittenDecimalsReadBack) {
    std::mt19937_64 random(4);
    for (int i = 0; i < 100'000; ++i) {
        const auto scaled = static_cast<std::int64_t>(random()) >> (random() % 64);
        ASSERT_EQ(StrToDecimal(DecimalToStr(scaled)), scaled) << scaled;
    }
    for (std::int64_t scaled = -20'000; scaled <= 20'000; ++scaled) {
        ASSERT_EQ(StrToDecimal(DecimalToStr(scaled)), scaled) << scaled;
    }
}

}  // namespace
}  // namespace pirin
