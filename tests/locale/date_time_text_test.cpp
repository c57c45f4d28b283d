// Text forms of dates, times and timestamps.
#include "locale/date_time_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "convert_test_support.h"

namespace pirin {
namespace {

using test::ConvertErrorOf;

std::int32_t Day(int year, int month, int day) { return EncodeDayNumber(year, month, day); }
std::int32_t Ms(int hour, int minute, int second = 0, int millisecond = 0) {
    return EncodeTimeMSecs(hour, minute, second, millisecond);
}

// ---- dates -----------------------------------------------------------------

struct DateCase {
    const char* text;
    std::optional<std::int32_t> dayNumber;  // nothing: not a date
};

TEST(DateText, ReadsYearMonthDay) {
    const DateCase cases[] = {
        {"2004-3-7", Day(2004, 3, 7)},
        {"2004-03-07", Day(2004, 3, 7)},
        {"1899-12-30", kDateDelta},
        {"1-1-1", kMinDayNumber},
        {"0001-01-01", kMinDayNumber},
        {"9999-12-31", kMaxDayNumber},
        {"2000-2-29", Day(2000, 2, 29)},
        {"2004-002-0029", Day(2004, 2, 29)},
        // Each part is a whole number in the engine's integer syntax.
        {" 2004-3-7", Day(2004, 3, 7)},
        {"2004-+3-7", Day(2004, 3, 7)},
        {"$7D4-3-7", Day(2004, 3, 7)},
        // Not dates.
        {"2004/03/07", std::nullopt},
        {"07.03.2004", std::nullopt},
        {"07-03-2004", std::nullopt},
        {"1900-2-29", std::nullopt},
        {"2004-2-30", std::nullopt},
        {"2004-4-31", std::nullopt},
        {"2004-13-1", std::nullopt},
        {"2004-0-1", std::nullopt},
        {"2004-1-0", std::nullopt},
        {"0-1-1", std::nullopt},
        {"10000-1-1", std::nullopt},
        {"-2004-3-7", std::nullopt},
        {"2004--3-7", std::nullopt},
        {"2004-3--7", std::nullopt},
        {"2004-3-7-1", std::nullopt},
        {"2004-3", std::nullopt},
        {"2004", std::nullopt},
        {"", std::nullopt},
        {"--", std::nullopt},
        {"2004-3-7 ", std::nullopt},
        {"2004-3-7x", std::nullopt},
        {"2004-3-7.0", std::nullopt},
        {"2004-3-7 13:05", std::nullopt},
        {"2004-III-7", std::nullopt},
        {"99999999999-1-1", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TryStrToDayNumber(c.text), c.dayNumber);
        EXPECT_EQ(IsValidDate(c.text), c.dayNumber.has_value());
        if (c.dayNumber) {
            EXPECT_EQ(StrToDayNumber(c.text), *c.dayNumber);
            EXPECT_EQ(StrToDate(c.text), DayNumberToDayCount(*c.dayNumber));
        } else {
            EXPECT_EQ(ConvertErrorOf([&] { StrToDayNumber(c.text); }),
                      "'" + std::string(c.text) + "' is not a valid date");
            EXPECT_EQ(ConvertErrorOf([&] { StrToDate(c.text); }),
                      "'" + std::string(c.text) + "' is not a valid date");
        }
    }
}

TEST(DateText, DatesAreWholeDaysFromDayZero) {
    EXPECT_EQ(StrToDate("1899-12-30"), 0.0);
    EXPECT_EQ(StrToDate("1899-12-31"), 1.0);
    EXPECT_EQ(StrToDate("1899-12-29"), -1.0);
    EXPECT_EQ(StrToDate("2004-3-7"), 38053.0);
}

TEST(DateText, WritesFourDigitYearAndTwoDigitMonthAndDay) {
    EXPECT_EQ(DayNumberToStr(Day(2004, 3, 7)), "2004-03-07");
    EXPECT_EQ(DayNumberToStr(Day(42, 1, 5)), "0042-01-05");
    EXPECT_EQ(DayNumberToStr(kMinDayNumber), "0001-01-01");
    EXPECT_EQ(DayNumberToStr(kMaxDayNumber), "9999-12-31");
    EXPECT_EQ(DayNumberToStr(kMaxDayNumber + 1), "10000-01-01");
    EXPECT_EQ(DayNumberToStr(0), "0000-12-31");
    EXPECT_EQ(DayNumberToStr(-365), "0000-01-01");
    EXPECT_EQ(DayNumberToStr(-366), "-0001-12-31");
    EXPECT_EQ(DateToStr(38053), "2004-03-07");
    EXPECT_EQ(DateToStr(38053.75), "2004-03-07");
    EXPECT_EQ(DateToStr(-1.25), "1899-12-29");
    EXPECT_EQ(DateToStr(0), "1899-12-30");
}

TEST(DateText, EveryValidDateRoundTrips) {
    for (std::int32_t number = kMinDayNumber; number <= kMaxDayNumber; number += 13) {
        ASSERT_EQ(StrToDayNumber(DayNumberToStr(number)), number) << number;
    }
    EXPECT_EQ(StrToDayNumber(DayNumberToStr(kMaxDayNumber)), kMaxDayNumber);
}

// ---- times -----------------------------------------------------------------

struct TimeCase {
    const char* text;
    std::optional<std::int32_t> msecs;  // nothing: not a time
};

TEST(TimeText, ReadsHoursMinutesSecondsMilliseconds) {
    const TimeCase cases[] = {
        {"13:05", Ms(13, 5)},
        {"13:05:09", Ms(13, 5, 9)},
        {"13:05:09.5", Ms(13, 5, 9, 5)},  // the millisecond count, not a fraction
        {"13:05:09.500", Ms(13, 5, 9, 500)},
        {"13:05:09.05", Ms(13, 5, 9, 5)},
        {"0:0", 0},
        {"00:00:00.000", 0},
        {"23:59:59.999", kMSecsPerDay - 1},
        {"7:08", Ms(7, 8)},
        {"  7:08  ", Ms(7, 8)},
        {"\t7:08\n", Ms(7, 8)},
        // 12-hour forms.
        {"12:00 AM", 0},
        {"12:00 PM", Ms(12, 0)},
        {"1:05 pm", Ms(13, 5)},
        {"1:05 Pm", Ms(13, 5)},
        {"1:05PM", Ms(13, 5)},
        {"11:30am", Ms(11, 30)},
        {"AM 11:30", Ms(11, 30)},
        {"11:30:15.250 PM", Ms(23, 30, 15, 250)},
        {"12:30:00 am", Ms(0, 30)},
        {"0:15 PM", Ms(12, 15)},
        {"13:00 AM", Ms(13, 0)},  // morning changes only 12
        // Not times.
        {"13:00 PM", std::nullopt},
        {"11:30 PM PM", std::nullopt},
        {"11:30 PM AM", std::nullopt},  // only "AM" is removed; "30 PM" is no number
        {"24:00", std::nullopt},
        {"12:60", std::nullopt},
        {"12:00:60", std::nullopt},
        {"12:00:00.1000", std::nullopt},
        {"-1:00", std::nullopt},
        {"12:-1", std::nullopt},
        {"12:00:00.-1", std::nullopt},
        {"12", std::nullopt},
        {"12:", std::nullopt},
        {":30", std::nullopt},
        {"12::30", std::nullopt},
        {"1:05.5", std::nullopt},
        {"12:00:00.", std::nullopt},
        {"12:00:00:00", std::nullopt},
        {"12:00 XM", std::nullopt},
        {"12.00", std::nullopt},
        {"noon", std::nullopt},
        {"", std::nullopt},
        {"AM", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TryStrToTimeMSecs(c.text), c.msecs);
        EXPECT_EQ(IsValidTime(c.text), c.msecs.has_value());
        if (c.msecs) {
            EXPECT_EQ(StrToTimeMSecs(c.text), *c.msecs);
            EXPECT_EQ(StrToTime(c.text), TimeMSecsToDayCount(*c.msecs));
        } else {
            EXPECT_EQ(ConvertErrorOf([&] { StrToTime(c.text); }),
                      "'" + std::string(c.text) + "' is not a valid time");
        }
    }
}

TEST(TimeText, TimesAreFractionsOfADay) {
    EXPECT_EQ(StrToTime("12:00 AM"), 0.0);
    EXPECT_EQ(StrToTime("12:00 PM"), 0.5);
    EXPECT_EQ(StrToTime("6:00"), 0.25);
}

struct TimeWriteCase {
    std::int32_t msecs;
    const char* hours24;
    const char* hours12;
};

TEST(TimeText, Writes) {
    const TimeWriteCase cases[] = {
        {Ms(13, 5), "13:05", "01:05 PM"},
        {0, "00:00", "12:00 AM"},
        {Ms(0, 30), "00:30", "12:30 AM"},
        {Ms(12, 0), "12:00", "12:00 PM"},
        {Ms(11, 59), "11:59", "11:59 AM"},
        {Ms(1, 2, 3), "01:02:03", "01:02:03 AM"},
        {Ms(13, 5, 9, 5), "13:05:09.5", "01:05:09.5 PM"},
        {Ms(13, 5, 9, 500), "13:05:09.500", "01:05:09.500 PM"},
        {Ms(23, 59, 59, 999), "23:59:59.999", "11:59:59.999 PM"},
        // Milliseconds bring the seconds along, so nothing is lost.
        {Ms(13, 5, 0, 250), "13:05:00.250", "01:05:00.250 PM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hours24);
        EXPECT_EQ(TimeMSecsToStr(c.msecs), c.hours24);
        EXPECT_EQ(TimeMSecsToStr(c.msecs, THourClock::Hours24), c.hours24);
        EXPECT_EQ(TimeMSecsToStr(c.msecs, THourClock::Hours12), c.hours12);
        EXPECT_EQ(TimeToStr(TimeMSecsToDayCount(c.msecs)), c.hours24);
        EXPECT_EQ(TimeToStr(TimeMSecsToDayCount(c.msecs), THourClock::Hours12), c.hours12);
    }
    EXPECT_EQ(TimeToStr(38053.5), "12:00");
    EXPECT_EQ(TimeToStr(-1.25), "06:00");
}

TEST(TimeText, WrittenTimesReadBack) {
    // Every second of the day with a few millisecond counts, in both clocks
    // (milliseconds survive only with non-zero seconds, see Writes).
    for (std::int32_t second = 0; second < 86'400; ++second) {
        for (std::int32_t millis : {0, 1, 5, 50, 500, 999}) {
            const std::int32_t msecs = second * 1000 + (second % 60 != 0 ? millis : 0);
            ASSERT_EQ(StrToTimeMSecs(TimeMSecsToStr(msecs)), msecs) << msecs;
            ASSERT_EQ(StrToTimeMSecs(TimeMSecsToStr(msecs, THourClock::Hours12)), msecs) << msecs;
        }
    }
}

// ---- timestamps ------------------------------------------------------------

struct StampCase {
    const char* text;
    std::optional<TTimeStamp> stamp;  // nothing: not a timestamp
};

TEST(TimestampText, ReadsDateBlankTimeOrEitherAlone) {
    const StampCase cases[] = {
        {"2004-03-07 13:05", TTimeStamp{Day(2004, 3, 7), Ms(13, 5)}},
        {"2004-3-7 1:05 PM", TTimeStamp{Day(2004, 3, 7), Ms(13, 5)}},
        {"2004-3-7 13:05:09.5", TTimeStamp{Day(2004, 3, 7), Ms(13, 5, 9, 5)}},
        {"2004-3-7  13:05", TTimeStamp{Day(2004, 3, 7), Ms(13, 5)}},  // the time is trimmed
        {"13:05", TTimeStamp{kDateDelta, Ms(13, 5)}},                 // a time on day 0
        {"1:05PM", TTimeStamp{kDateDelta, Ms(13, 5)}},
        {"2004-03-07", TTimeStamp{Day(2004, 3, 7), 0}},  // a date at midnight
        // Not timestamps.
        {"1:05 PM", std::nullopt},  // the blank makes "1:05" the date part
        {"2004-03-07 ", std::nullopt},
        {"2004-03-07 25:00", std::nullopt},
        {"2004-02-30 13:05", std::nullopt},
        {" 2004-03-07 13:05", std::nullopt},
        {"13:05 2004-03-07", std::nullopt},
        {"2004-03-07T13:05", std::nullopt},
        {"24:00", std::nullopt},
        {"2004/03/07", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TryStrToTimeStamp(c.text), c.stamp);
        EXPECT_EQ(IsValidDateTime(c.text), c.stamp.has_value());
        if (c.stamp) {
            EXPECT_EQ(StrToTimeStamp(c.text), *c.stamp);
            EXPECT_EQ(StrToDateTime(c.text), TimeStampToDayCount(*c.stamp));
        } else {
            EXPECT_EQ(ConvertErrorOf([&] { StrToDateTime(c.text); }),
                      "'" + std::string(c.text) + "' is not a valid date and time");
            EXPECT_EQ(ConvertErrorOf([&] { StrToTimeStamp(c.text); }),
                      "'" + std::string(c.text) + "' is not a valid date and time");
        }
    }
}

TEST(TimestampText, TimestampsAreDatePlusTime) {
    EXPECT_EQ(StrToDateTime("2004-03-07 12:00"), 38053.5);
    EXPECT_EQ(StrToDateTime("2004-03-07"), 38053.0);
    EXPECT_EQ(StrToDateTime("18:00"), 0.75);
    EXPECT_EQ(StrToDateTime("1899-12-29 06:00"), -1.25);
}

TEST(TimestampText, Writes) {
    const TTimeStamp stamp{Day(2004, 3, 7), Ms(13, 5)};
    EXPECT_EQ(TimeStampToStr(stamp), "2004-03-07 13:05");
    EXPECT_EQ(TimeStampToStr(stamp, THourClock::Hours12), "2004-03-07 01:05 PM");
    EXPECT_EQ(TimeStampToStr({Day(2004, 3, 7), 0}), "2004-03-07 00:00");
    EXPECT_EQ(DateTimeToStr(38053.5), "2004-03-07 12:00");
    EXPECT_EQ(DateTimeToStr(38053.5, THourClock::Hours12), "2004-03-07 12:00 PM");
    EXPECT_EQ(DateTimeToStr(-1.25), "1899-12-29 06:00");
    EXPECT_EQ(StrToTimeStamp(TimeStampToStr({kMaxDayNumber, kMSecsPerDay - 1})),
              (TTimeStamp{kMaxDayNumber, kMSecsPerDay - 1}));
}

TEST(TimestampText, WritingAPointOutsideTheValidDatesRaises) {
    EXPECT_EQ(ConvertErrorOf([] { DateToStr(1e10); }),
              "'10000000000' is not a valid date and time");
    EXPECT_EQ(ConvertErrorOf([] { TimeToStr(std::numeric_limits<double>::quiet_NaN()); }),
              "'nan' is not a valid date and time");
    EXPECT_EQ(ConvertErrorOf([] { DateTimeToStr(-693594); }),
              "'-693594' is not a valid date and time");
}

}  // namespace
}  // namespace pirin
