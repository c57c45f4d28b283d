// Day numbers, milliseconds, TTimeStamp and the day-count scale.
#include "locale/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "convert_test_support.h"

namespace pirin {
namespace {

using test::ConvertErrorOf;

constexpr std::int32_t kHour = 3'600'000;

TEST(DateTime, DayNumbersAreDaysSinceYearOnePlusOne) {
    EXPECT_EQ(EncodeDayNumber(1, 1, 1), 1);
    EXPECT_EQ(EncodeDayNumber(1899, 12, 30), kDateDelta);
    EXPECT_EQ(EncodeDayNumber(1970, 1, 1), kDateDelta + 25569);
    EXPECT_EQ(EncodeDayNumber(2004, 3, 7), kDateDelta + 38053);
    EXPECT_EQ(EncodeDayNumber(9999, 12, 31), kMaxDayNumber);
    EXPECT_EQ(DecodeDayNumber(kDateDelta), (TDateParts{1899, 12, 30}));
    EXPECT_EQ(DecodeDayNumber(1), (TDateParts{1, 1, 1}));
    EXPECT_EQ(DecodeDayNumber(kMaxDayNumber), (TDateParts{9999, 12, 31}));
    // Outside the valid range the proleptic calendar goes on.
    EXPECT_EQ(DecodeDayNumber(0), (TDateParts{0, 12, 31}));
    EXPECT_EQ(DecodeDayNumber(kMaxDayNumber + 1), (TDateParts{10000, 1, 1}));
}

TEST(DateTime, EveryValidDayNumberDecodesToTheNextCalendarDay) {
    TDateParts expected{1, 1, 1};
    for (std::int32_t number = kMinDayNumber; number <= kMaxDayNumber; ++number) {
        const TDateParts date = DecodeDayNumber(number);
        ASSERT_EQ(date, expected) << "day number " << number;
        ASSERT_EQ(EncodeDayNumber(date.Year, date.Month, date.Day), number);
        if (++expected.Day > DaysInMonth(expected.Year, expected.Month)) {
            expected.Day = 1;
            if (++expected.Month > 12) {
                expected.Month = 1;
                ++expected.Year;
            }
        }
    }
}

TEST(DateTime, CalendarRules) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_TRUE(IsLeapYear(2004));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(2003));
    EXPECT_EQ(DaysInMonth(2004, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2004, 4), 30);
    EXPECT_EQ(DaysInMonth(2004, 12), 31);
    EXPECT_EQ(DaysInMonth(2004, 13), 0);
    EXPECT_EQ(DaysInMonth(2004, 0), 0);
    EXPECT_TRUE(IsValidDateParts(2000, 2, 29));
    EXPECT_FALSE(IsValidDateParts(1900, 2, 29));
    EXPECT_FALSE(IsValidDateParts(0, 1, 1));
    EXPECT_FALSE(IsValidDateParts(10000, 1, 1));
    EXPECT_FALSE(IsValidDateParts(2004, 1, 0));
    EXPECT_FALSE(IsValidDateParts(2004, 1, 32));
}

TEST(DateTime, EncodingBadPartsRaises) {
    EXPECT_FALSE(TryEncodeDayNumber(2004, 2, 30));
    EXPECT_EQ(ConvertErrorOf([] { EncodeDayNumber(2004, 2, 30); }),
              "Invalid argument to date encode: 2004, 2, 30");
    EXPECT_FALSE(TryEncodeTimeMSecs(24, 0, 0, 0));
    EXPECT_FALSE(TryEncodeTimeMSecs(0, 60, 0, 0));
    EXPECT_FALSE(TryEncodeTimeMSecs(0, 0, 60, 0));
    EXPECT_FALSE(TryEncodeTimeMSecs(0, 0, 0, 1000));
    EXPECT_FALSE(TryEncodeTimeMSecs(0, 0, 0, -1));
    EXPECT_EQ(ConvertErrorOf([] { EncodeTimeMSecs(24, 0, 0, 0); }),
              "Invalid argument to time encode: 24, 0, 0, 0");
}

TEST(DateTime, TimesAreMillisecondsSinceMidnight) {
    EXPECT_EQ(EncodeTimeMSecs(0, 0, 0, 0), 0);
    EXPECT_EQ(EncodeTimeMSecs(13, 5, 9, 5), 13 * kHour + 5 * 60'000 + 9'000 + 5);
    EXPECT_EQ(EncodeTimeMSecs(23, 59, 59, 999), kMSecsPerDay - 1);
    EXPECT_EQ(DecodeTimeMSecs(kMSecsPerDay - 1), (TTimeParts{23, 59, 59, 999}));
    EXPECT_EQ(DecodeTimeMSecs(13 * kHour + 5 * 60'000 + 9'005), (TTimeParts{13, 5, 9, 5}));
    // Reduced to one day.
    EXPECT_EQ(DecodeTimeMSecs(kMSecsPerDay + 1), (TTimeParts{0, 0, 0, 1}));
    EXPECT_EQ(DecodeTimeMSecs(-1), (TTimeParts{23, 59, 59, 999}));
}

TEST(DateTime, StoredTimestampIsDayNumberTimesADayPlusMilliseconds) {
    const TTimeStamp stamp{EncodeDayNumber(2004, 3, 7), EncodeTimeMSecs(13, 5, 0, 0)};
    const std::int64_t msecs = TimeStampToMSecs(stamp);
    EXPECT_EQ(msecs, std::int64_t{kDateDelta + 38053} * kMSecsPerDay + 13 * kHour + 5 * 60'000);
    EXPECT_EQ(MSecsToTimeStamp(msecs), stamp);
    // Exact in the stored 64-bit float.
    const TTimeStamp last{kMaxDayNumber, kMSecsPerDay - 1};
    const double stored = static_cast<double>(TimeStampToMSecs(last));
    EXPECT_EQ(MSecsToTimeStamp(static_cast<std::int64_t>(stored)), last);
    // Rounded down below zero.
    EXPECT_EQ(MSecsToTimeStamp(-1), (TTimeStamp{-1, kMSecsPerDay - 1}));
    EXPECT_EQ(MSecsToTimeStamp(0), (TTimeStamp{0, 0}));
}

TEST(DateTime, DayCountScale) {
    EXPECT_EQ(DayNumberToDayCount(kDateDelta), 0.0);
    EXPECT_EQ(DayNumberToDayCount(EncodeDayNumber(2004, 3, 7)), 38053.0);
    EXPECT_EQ(TimeMSecsToDayCount(12 * kHour), 0.5);
    EXPECT_EQ(TimeMSecsToDayCount(6 * kHour), 0.25);
    EXPECT_EQ(TimeStampToDayCount({kDateDelta + 38053, 12 * kHour}), 38053.5);
    EXPECT_EQ(TimeStampToDayCount({kDateDelta, 6 * kHour}), 0.25);
    // Before day 0 the time is taken away from zero: -1.25 is 29 Dec 1899 06:00.
    EXPECT_EQ(TimeStampToDayCount({kDateDelta - 1, 6 * kHour}), -1.25);
    EXPECT_EQ(DayCountToTimeStamp(-1.25), (TTimeStamp{kDateDelta - 1, 6 * kHour}));
    EXPECT_EQ(DayCountToTimeStamp(38053.5), (TTimeStamp{kDateDelta + 38053, 12 * kHour}));
    EXPECT_EQ(DayCountToTimeStamp(0), (TTimeStamp{kDateDelta, 0}));
}

TEST(DateTime, DayCountRoundsToTheMillisecond) {
    const double ms = 1.0 / kMSecsPerDay;
    EXPECT_EQ(DayCountToTimeStamp(0.5 + 0.4 * ms), (TTimeStamp{kDateDelta, 12 * kHour}));
    EXPECT_EQ(DayCountToTimeStamp(0.5 + 0.6 * ms), (TTimeStamp{kDateDelta, 12 * kHour + 1}));
    // A time that rounds to 24:00 is midnight of the next day, on both sides of day 0.
    EXPECT_EQ(DayCountToTimeStamp(1 - 0.1 * ms), (TTimeStamp{kDateDelta + 1, 0}));
    // -1.9999999... is day -1 at 23:59:59.9999..., so 00:00 of day 0.
    EXPECT_EQ(DayCountToTimeStamp(-2 + 0.1 * ms), (TTimeStamp{kDateDelta, 0}));
    EXPECT_EQ(DayCountToTimeStamp(-3 + 0.1 * ms), (TTimeStamp{kDateDelta - 1, 0}));
}

TEST(DateTime, DayCountOutsideTheValidDatesDoesNotConvert) {
    const double firstDay = DayNumberToDayCount(kMinDayNumber);  // 0001-01-01
    const double lastDay = DayNumberToDayCount(kMaxDayNumber);   // 9999-12-31
    EXPECT_EQ(DayCountToTimeStamp(firstDay), (TTimeStamp{kMinDayNumber, 0}));
    EXPECT_EQ(DayCountToTimeStamp(lastDay + 0.5), (TTimeStamp{kMaxDayNumber, 12 * kHour}));
    EXPECT_FALSE(TryDayCountToTimeStamp(firstDay - 1));
    EXPECT_FALSE(TryDayCountToTimeStamp(lastDay + 1));
    EXPECT_FALSE(TryDayCountToTimeStamp(lastDay + 0.9999999999999));  // rounds to the next day
    EXPECT_FALSE(TryDayCountToTimeStamp(1e300));
    EXPECT_FALSE(TryDayCountToTimeStamp(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(TryDayCountToTimeStamp(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(ConvertErrorOf([] { DayCountToTimeStamp(1e10); }),
              "'10000000000' is not a valid date and time");
}

TEST(DateTime, IntegerToDayCountAndBackNeverDrifts) {
    std::mt19937_64 random(20040307);
    std::uniform_int_distribution<std::int32_t> days(kMinDayNumber, kMaxDayNumber);
    std::uniform_int_distribution<std::int32_t> times(0, kMSecsPerDay - 1);
    for (int i = 0; i < 1'000'000; ++i) {
        const TTimeStamp stamp{days(random), times(random)};
        ASSERT_EQ(DayCountToTimeStamp(TimeStampToDayCount(stamp)), stamp)
            << stamp.Date << " " << stamp.Time;
    }
    // The first and last minute, millisecond by millisecond, and the rest of
    // the day in steps, of the first and last days and the days around day 0.
    for (std::int32_t day : {kMinDayNumber, kDateDelta - 1, kDateDelta, kMaxDayNumber}) {
        for (std::int32_t time = 0; time < kMSecsPerDay;
             time += time < 60'000 || time >= kMSecsPerDay - 60'000 ? 1 : 997) {
            const TTimeStamp stamp{day, time};
            ASSERT_EQ(DayCountToTimeStamp(TimeStampToDayCount(stamp)), stamp) << day << " " << time;
        }
    }
}

TEST(DateTime, NowIsAValidStamp) {
    const TTimeStamp now = NowTimeStamp();
    EXPECT_TRUE(IsValidTimeStamp(now));
    EXPECT_GE(DecodeDayNumber(now.Date).Year, 2024);
}

TEST(DateTime, ValidStamps) {
    EXPECT_TRUE(IsValidTimeStamp({kMinDayNumber, 0}));
    EXPECT_TRUE(IsValidTimeStamp({kMaxDayNumber, kMSecsPerDay - 1}));
    EXPECT_FALSE(IsValidTimeStamp({0, 0}));
    EXPECT_FALSE(IsValidTimeStamp({kMaxDayNumber + 1, 0}));
    EXPECT_FALSE(IsValidTimeStamp({kDateDelta, kMSecsPerDay}));
    EXPECT_FALSE(IsValidTimeStamp({kDateDelta, -1}));
}

}  // namespace
}  // namespace pirin
