// The conversions ignore the machine's regional settings: under a C locale
// whose decimal separator is a comma, "1.5" still reads as one and a half and
// one and a half still writes as "1.5".
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "convert_test_support.h"
#include "locale/value_conversions.h"

namespace pirin {
namespace {

// Sets the global C locale for one test and puts the old one back.
class TGlobalLocale {
  public:
    TGlobalLocale() : FSaved(std::setlocale(LC_ALL, nullptr)) {}
    ~TGlobalLocale() { std::setlocale(LC_ALL, FSaved.c_str()); }
    TGlobalLocale(const TGlobalLocale&) = delete;
    TGlobalLocale& operator=(const TGlobalLocale&) = delete;

    // The first of the usual comma locales that the machine has; empty when
    // none is installed.
    std::string SelectCommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "bg_BG.UTF-8", "bg_BG.utf8",
                                 "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8", "ru_RU.utf8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr &&
                std::string(std::localeconv()->decimal_point) == ",") {
                return name;
            }
        }
        std::setlocale(LC_ALL, FSaved.c_str());
        return {};
    }

  private:
    std::string FSaved;
};

TEST(RegionalSettings, CommaLocaleChangesNothing) {
    TGlobalLocale locale;
    const std::string name = locale.SelectCommaLocale();
    if (name.empty()) {
        GTEST_SKIP() << "no locale with a comma decimal separator is installed; to run this "
                        "test without installing one: localedef -i de_DE -f UTF-8 "
                        "/tmp/loc/de_DE.UTF-8 && LOCPATH=/tmp/loc locale_tests";
    }
    // The locale is really in force for the C library.
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.1f", 1.5);
    ASSERT_STREQ(printed, "1,5") << name;

    EXPECT_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(StrToFloat(FloatToStr(1.5)), 1.5);
    EXPECT_FALSE(IsValidFloat("1,5"));
    EXPECT_EQ(FloatToStr(1234567.25), "1234567.25");
    EXPECT_EQ(FloatToStr(1e20), "1e+20");
    EXPECT_EQ(StrToDecimal("1.5"), 15'000);
    EXPECT_EQ(DecimalToStr(15'000), "1.5");
    EXPECT_FALSE(IsValidDecimal("1,5"));
    EXPECT_EQ(StrToLargeInt("1234567"), 1'234'567);
    EXPECT_EQ(StrToDate("2004-3-7"), 38053.0);
    EXPECT_EQ(DateToStr(38053), "2004-03-07");
    EXPECT_EQ(StrToTime("13:05:09.5"), TimeMSecsToDayCount(EncodeTimeMSecs(13, 5, 9, 5)));
    EXPECT_EQ(TimeToStr(StrToTime("1:05 pm"), THourClock::Hours12), "01:05 PM");
    EXPECT_EQ(test::ConvertErrorOf([] { DateToStr(1e10 + 0.5); }),
              "'10000000000.5' is not a valid date and time");
}

TEST(RegionalSettings, DefaultLocaleRoundTrip) {
    EXPECT_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_EQ(FloatToStr(1.5), "1.5");
}

}  // namespace
}  // namespace pirin
