// The BCD stored form and its four-place decimal: digit alignment, rounding
// at the fifth place, saturation beyond the int64 range, malformed forms,
// and the encoder and decoder agreeing on random values.
#include "storage/index_key_bcd.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace pirin {
namespace {

using TBcd = std::array<std::uint8_t, kBcdStoredSize>;

// A stored form from its digits as text ("12345" with precision 5).
TBcd Bcd(const std::string& digits, int places, bool negative = false) {
    TBcd bcd{};
    bcd[0] = static_cast<std::uint8_t>(digits.size());
    bcd[1] = static_cast<std::uint8_t>(places | (negative ? 0x80 : 0));
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const auto d = static_cast<std::uint8_t>(digits[i] - '0');
        bcd[2 + i / 2] |= (i % 2 == 0) ? static_cast<std::uint8_t>(d << 4) : d;
    }
    return bcd;
}

TEST(IndexKeyBcdTest, DecodesDigitsAlignedToThePrecision) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    struct {
        std::string digits;
        int places;
        bool negative;
        std::int64_t scaled;
    } const cases[] = {
        {"", 0, false, 0},             // precision 0: zero
        {"000", 0, true, 0},           // negative zero is zero
        {"12345", 2, false, 1234500},  // 123.45
        {"12345", 2, true, -1234500},  // -123.45
        {"0012", 0, false, 120000},    // leading zeros
        {"123456", 6, false, 1235},    // 0.123456 rounds up at the fifth place
        {"123449", 6, false, 1234},    // 0.123449 rounds down
        {"000005", 6, true, 0},        // -0.000005: below the fifth place, zero
        {"00005", 5, true, -1},        // -0.00005 rounds away from zero
        {"99999", 5, false, 10000},    // 0.99999 carries into the whole part
        {"922337203685477", 0, false, 9223372036854770000},
        {"9223372036854775807", 4, false, kMax},
        {"9223372036854775808", 4, true, kMin},
        {"99999999999999999999999999999999", 0, false, kMax},  // saturates
        {"99999999999999999999999999999999", 0, true, kMin},
        {"922337203685477580799", 6, false, kMax},  // rounding would pass the top
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.digits + " places " + std::to_string(c.places));
        EXPECT_EQ(BcdToDecimal(Bcd(c.digits, c.places, c.negative)), c.scaled);
    }
}

TEST(IndexKeyBcdTest, MalformedFormsAreReported) {
    TBcd bcd = Bcd("12", 0);
    bcd[2] = 0x1F;  // second digit 15
    EXPECT_FALSE(BcdToDecimal(bcd));
    bcd = Bcd("12", 3);  // more places than digits
    EXPECT_FALSE(BcdToDecimal(bcd));
    bcd = Bcd("1", 0);
    bcd[0] = 65;  // beyond 64 digits
    EXPECT_FALSE(BcdToDecimal(bcd));
    // Nibbles after the last digit do not count.
    bcd = Bcd("1", 0);
    bcd[2] |= 0x0F;
    bcd[33] = 0xFF;
    EXPECT_EQ(BcdToDecimal(bcd), 10000);
}

TEST(IndexKeyBcdTest, EncoderAndDecoderAgree) {
    std::mt19937_64 rng(4711);
    for (int i = 0; i < 2000; ++i) {
        const auto scaled = static_cast<std::int64_t>(rng()) >> (rng() % 63);
        for (int places : {4, 6, 10}) {
            const auto bcd = DecimalToBcd(scaled, places);
            ASSERT_TRUE(bcd) << scaled << " places " << places;
            EXPECT_EQ((*bcd)[0], kBcdPrecision);
            EXPECT_EQ(BcdToDecimal(*bcd), scaled) << scaled << " places " << places;
        }
    }
    // Fewer places round half away from zero.
    EXPECT_EQ(BcdToDecimal(*DecimalToBcd(15000, 0)), 20000);
    EXPECT_EQ(BcdToDecimal(*DecimalToBcd(-14999, 0)), -10000);
    EXPECT_EQ(BcdToDecimal(*DecimalToBcd(-995, 2)), -1000);
    EXPECT_EQ(*DecimalToBcd(-1, 2), Bcd(std::string(32, '0'), 2));  // -0.0001 -> 0.00, no sign
    EXPECT_FALSE(DecimalToBcd(1, 33));
    EXPECT_FALSE(DecimalToBcd(std::numeric_limits<std::int64_t>::max(), 20));
}

}  // namespace
}  // namespace pirin
