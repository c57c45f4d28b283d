// Date and time values: the day-count scale and the stored forms.
//
// Two scales meet here:
// - The day-count scale: a double whose whole part counts days
//   from day 0, 30 December 1899, and whose fraction is the time of day. For
//   days before day 0 the fraction is taken from the day away from zero, as
//   on the usual (OLE / TDateTime) scale: -1.25 is 29 December 1899, 06:00.
//   From day 0 on this is plainly date + time.
// - The exact integer forms that the table files store: a date is
//   a day number, days since 0001-01-01 plus 1 (so 0001-01-01 is 1 and
//   1899-12-30 is kDateDelta); a time is milliseconds since midnight; a
//   timestamp is day number × 86400000 + milliseconds, a whole number below
//   2^53 and therefore exact in the stored 64-bit float.
// TTimeStamp pairs the two integers. Conversions to the double scale and back
// round to the millisecond, so integer → double → integer never drifts.
//
// The calendar is the proleptic Gregorian one; valid dates run from
// 0001-01-01 to 9999-12-31.
#pragma once

#include <cstdint>
#include <optional>

namespace pirin {

inline constexpr std::int32_t kMSecsPerDay = 86'400'000;
// Day number of 1899-12-30, day 0 of the day-count scale.
inline constexpr std::int32_t kDateDelta = 693'594;
// Day numbers of 0001-01-01 and 9999-12-31.
inline constexpr std::int32_t kMinDayNumber = 1;
inline constexpr std::int32_t kMaxDayNumber = 3'652'059;

struct TDateParts {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    bool operator==(const TDateParts&) const = default;
};

struct TTimeParts {
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
    bool operator==(const TTimeParts&) const = default;
};

// A point in time in the stored integer forms.
struct TTimeStamp {
    std::int32_t Date = kDateDelta;  // day number
    std::int32_t Time = 0;           // milliseconds since midnight
    bool operator==(const TTimeStamp&) const = default;
};

bool IsLeapYear(int year);
// 28 to 31; 0 when the month is not 1 to 12.
int DaysInMonth(int year, int month);
// Year 1 to 9999, month 1 to 12, day within the month.
bool IsValidDateParts(int year, int month, int day);
// Hours below 24, minutes and seconds below 60, milliseconds below 1000.
bool IsValidTimeParts(int hour, int minute, int second, int millisecond);
// Day number 1 to kMaxDayNumber and time 0 to kMSecsPerDay - 1.
bool IsValidTimeStamp(TTimeStamp stamp);

// Day number of a valid date; nothing (Try) or EConvertError otherwise.
std::optional<std::int32_t> TryEncodeDayNumber(int year, int month, int day);
std::int32_t EncodeDayNumber(int year, int month, int day);
// The date of any day number (years outside 1 to 9999 for numbers outside
// the valid range).
TDateParts DecodeDayNumber(std::int32_t dayNumber);

// Milliseconds since midnight of a valid time; nothing or EConvertError.
std::optional<std::int32_t> TryEncodeTimeMSecs(int hour, int minute, int second, int millisecond);
std::int32_t EncodeTimeMSecs(int hour, int minute, int second, int millisecond);
// The time of day of a millisecond count (reduced to one day first).
TTimeParts DecodeTimeMSecs(std::int32_t msecs);

// Stored timestamp value: day number × 86400000 + milliseconds.
std::int64_t TimeStampToMSecs(TTimeStamp stamp);
// Back, with the day number rounded down (the time is 0 to 86399999).
TTimeStamp MSecsToTimeStamp(std::int64_t msecs);

// The day-count scale.
double DayNumberToDayCount(std::int32_t dayNumber);  // dayNumber - kDateDelta
double TimeMSecsToDayCount(std::int32_t msecs);      // msecs / 86400000
double TimeStampToDayCount(TTimeStamp stamp);
// The point of a day count, rounded to the nearest millisecond (a time that
// rounds to 24:00 is 00:00 of the next day). Nothing when the value is not
// finite or the date falls outside 0001-01-01 to 9999-12-31; the raising form
// gives "'%s' is not a valid date and time" with the value as float text.
std::optional<TTimeStamp> TryDayCountToTimeStamp(double dayCount);
TTimeStamp DayCountToTimeStamp(double dayCount);

// The current local date and time, to the millisecond.
TTimeStamp NowTimeStamp();

}  // namespace pirin
