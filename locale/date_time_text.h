// Text forms of dates, times and timestamps, the same on every
// machine.
//
// Reading:
// - date: year "-" month "-" day ("2004-3-7"); "2004/03/07" and
//   "07.03.2004" are not dates. Each part is a whole number in the syntax of
//   number_text.h (so a leading blank or a "$" hexadecimal part is accepted);
//   the parts must form a date from 0001-01-01 to 9999-12-31.
// - time: hours ":" minutes [":" seconds ["." milliseconds]], with "AM" or
//   "PM" anywhere in it in any letter case (the first "AM" is removed, or
//   else the first "PM"; a text holding both is therefore never a time);
//   blanks and control characters around the rest are trimmed. The text after
//   "." is the millisecond count as a whole number: "13:05:09.5" is 13:05:09
//   and 5 milliseconds. "12:00 AM" is midnight, "12:00 PM" noon, "1:05 pm"
//   13:05.
// - timestamp: date, one blank, time ("2004-03-07 13:05"); without a blank a
//   text containing ":" is a time on day 0 and any other text a date at
//   midnight. (So "1:05 PM", which has a blank, is not a timestamp.)
// Errors (EConvertError): "'%s' is not a valid date", "'%s' is not a valid
// time", "'%s' is not a valid date and time".
//
// Writing:
// - date: "YYYY-MM-DD", the year with at least four digits ("0042-01-05").
// - time: "HH:MM"; when the seconds are not 0 ":SS", and then, when the
//   milliseconds are not 0, "." and the milliseconds without leading zeros
//   (5 ms is ".5", 500 ms ".500"). Milliseconds bring the seconds with them,
//   so no part of the time is lost: 13:05:00.250 writes as "13:05:00.250". In the
//   12-hour form hours 0 and 12 show as 12 and 13 to 23 as 1 to 11, followed
//   by " AM" (hours 0 to 11) or " PM": 13:05 is "01:05 PM".
// - timestamp: date, a blank, time (the time is always written).
//
// Every conversion has an exact form on the integer values of date_time.h
// (day numbers, milliseconds, TTimeStamp), which the table files store, and
// a form on the day-count scale (double).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "locale/date_time.h"

namespace pirin {

enum class THourClock { Hours24, Hours12 };

// ---- reading, integer forms ----
std::optional<std::int32_t> TryStrToDayNumber(std::string_view text);
std::optional<std::int32_t> TryStrToTimeMSecs(std::string_view text);
std::optional<TTimeStamp> TryStrToTimeStamp(std::string_view text);
std::int32_t StrToDayNumber(std::string_view text);
std::int32_t StrToTimeMSecs(std::string_view text);
TTimeStamp StrToTimeStamp(std::string_view text);

// ---- reading, day-count scale ----
double StrToDate(std::string_view text);      // a whole number of days
double StrToTime(std::string_view text);      // a fraction of a day
double StrToDateTime(std::string_view text);  // date + time

// ---- validity tests (never raise) ----
bool IsValidDate(std::string_view text);
bool IsValidTime(std::string_view text);
bool IsValidDateTime(std::string_view text);

// ---- writing, integer forms ----
// Any day number writes (a year below 1 with a "-"); valid ones are 1 to
// kMaxDayNumber. Milliseconds are taken modulo a day.
std::string DayNumberToStr(std::int32_t dayNumber);
std::string TimeMSecsToStr(std::int32_t msecs, THourClock clock = THourClock::Hours24);
std::string TimeStampToStr(TTimeStamp stamp, THourClock clock = THourClock::Hours24);

// ---- writing, day-count scale ----
// The value is rounded to the millisecond first (DayCountToTimeStamp), so
// DateToStr shows the date part and TimeToStr the time of day of any point;
// values outside the valid dates raise "'%s' is not a valid date and time".
std::string DateToStr(double dayCount);
std::string TimeToStr(double dayCount, THourClock clock = THourClock::Hours24);
std::string DateTimeToStr(double dayCount, THourClock clock = THourClock::Hours24);

}  // namespace pirin
