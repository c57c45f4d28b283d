#include "locale/date_time.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <string>

#include "locale/convert_error.h"
#include "locale/number_text.h"

namespace pirin {
namespace {

// Day number of 1970-01-01, the origin of the civil-day algorithms below.
constexpr std::int64_t kUnixDayNumber = 719'163;

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's
// days_from_civil), for any year.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

TDateParts CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = yoe + era * 400 + (month <= 2);
    return {static_cast<int>(year), month, day};
}

std::string PartsText(int a, int b, int c, int d = -1) {
    std::string text = std::to_string(a) + ", " + std::to_string(b) + ", " + std::to_string(c);
    if (d >= 0) text += ", " + std::to_string(d);
    return text;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDateParts(int year, int month, int day) {
    return year >= 1 && year <= 9999 && day >= 1 && day <= DaysInMonth(year, month);
}

bool IsValidTimeParts(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           millisecond >= 0 && millisecond < 1000;
}

bool IsValidTimeStamp(TTimeStamp stamp) {
    return stamp.Date >= kMinDayNumber && stamp.Date <= kMaxDayNumber && stamp.Time >= 0 &&
           stamp.Time < kMSecsPerDay;
}

std::optional<std::int32_t> TryEncodeDayNumber(int year, int month, int day) {
    if (!IsValidDateParts(year, month, day)) return std::nullopt;
    return static_cast<std::int32_t>(DaysFromCivil(year, month, day) + kUnixDayNumber);
}

std::int32_t EncodeDayNumber(int year, int month, int day) {
    if (auto number = TryEncodeDayNumber(year, month, day)) return *number;
    ConvertError(messages::kInvalidDateEncode, PartsText(year, month, day));
}

TDateParts DecodeDayNumber(std::int32_t dayNumber) {
    return CivilFromDays(static_cast<std::int64_t>(dayNumber) - kUnixDayNumber);
}

std::optional<std::int32_t> TryEncodeTimeMSecs(int hour, int minute, int second, int millisecond) {
    if (!IsValidTimeParts(hour, minute, second, millisecond)) return std::nullopt;
    return ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
}

std::int32_t EncodeTimeMSecs(int hour, int minute, int second, int millisecond) {
    if (auto msecs = TryEncodeTimeMSecs(hour, minute, second, millisecond)) return *msecs;
    ConvertError(messages::kInvalidTimeEncode, PartsText(hour, minute, second, millisecond));
}

TTimeParts DecodeTimeMSecs(std::int32_t msecs) {
    msecs %= kMSecsPerDay;
    if (msecs < 0) msecs += kMSecsPerDay;
    return {msecs / 3'600'000, msecs / 60'000 % 60, msecs / 1000 % 60, msecs % 1000};
}

std::int64_t TimeStampToMSecs(TTimeStamp stamp) {
    return static_cast<std::int64_t>(stamp.Date) * kMSecsPerDay + stamp.Time;
}

TTimeStamp MSecsToTimeStamp(std::int64_t msecs) {
    std::int64_t days = msecs / kMSecsPerDay;
    std::int64_t rest = msecs % kMSecsPerDay;
    if (rest < 0) {
        rest += kMSecsPerDay;
        --days;
    }
    return {static_cast<std::int32_t>(days), static_cast<std::int32_t>(rest)};
}

double DayNumberToDayCount(std::int32_t dayNumber) {
    return static_cast<double>(dayNumber) - kDateDelta;
}

double TimeMSecsToDayCount(std::int32_t msecs) { return static_cast<double>(msecs) / kMSecsPerDay; }

double TimeStampToDayCount(TTimeStamp stamp) {
    const double day = DayNumberToDayCount(stamp.Date);
    const double time = TimeMSecsToDayCount(stamp.Time);
    return day >= 0 ? day + time : day - time;
}

std::optional<TTimeStamp> TryDayCountToTimeStamp(double dayCount) {
    // Bounds a little wider than the valid dates, so that the conversions
    // below are defined; the exact range is checked at the end.
    constexpr double kLowest = -static_cast<double>(kDateDelta) - 1;
    constexpr double kHighest = static_cast<double>(kMaxDayNumber - kDateDelta) + 2;
    if (!std::isfinite(dayCount) || dayCount < kLowest || dayCount > kHighest) return std::nullopt;
    const double whole = std::trunc(dayCount);
    std::int64_t day = static_cast<std::int64_t>(whole) + kDateDelta;
    std::int64_t msecs = std::llround(std::fabs(dayCount - whole) * kMSecsPerDay);
    if (msecs >= kMSecsPerDay) {
        msecs -= kMSecsPerDay;
        ++day;
    }
    if (day < kMinDayNumber || day > kMaxDayNumber) return std::nullopt;
    return TTimeStamp{static_cast<std::int32_t>(day), static_cast<std::int32_t>(msecs)};
}

TTimeStamp DayCountToTimeStamp(double dayCount) {
    if (auto stamp = TryDayCountToTimeStamp(dayCount)) return *stamp;
    ConvertError(messages::kInvalidDateTime, FloatToStr(dayCount));
}

TTimeStamp NowTimeStamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const int ms = static_cast<int>(millis < 0 ? millis + 1000 : millis);
    // A leap second (tm_sec 60) is held as the last millisecond-exact second.
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return {EncodeDayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
            EncodeTimeMSecs(local.tm_hour, local.tm_min, second, ms)};
}

}  // namespace pirin
