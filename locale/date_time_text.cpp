#include "locale/date_time_text.h"

#include "locale/convert_error.h"
#include "locale/number_text.h"

namespace pirin {
namespace {

std::string_view TrimControls(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// Zeros on the left up to `width` digits; a "-" before them for negatives.
std::string Padded(long long value, std::size_t width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return value < 0 ? "-" + digits : digits;
}

}  // namespace

// ---- reading ---------------------------------------------------------------

std::optional<std::int32_t> TryStrToDayNumber(std::string_view text) {
    const std::size_t first = text.find('-');
    if (first == std::string_view::npos) return std::nullopt;
    const std::string_view rest = text.substr(first + 1);
    const std::size_t second = rest.find('-');
    if (second == std::string_view::npos) return std::nullopt;
    const auto year = TryStrToInteger(text.substr(0, first));
    const auto month = TryStrToInteger(rest.substr(0, second));
    const auto day = TryStrToInteger(rest.substr(second + 1));
    if (!year || !month || !day) return std::nullopt;
    return TryEncodeDayNumber(*year, *month, *day);
}

std::optional<std::int32_t> TryStrToTimeMSecs(std::string_view text) {
    enum { kHours24, kMorning, kAfternoon } form = kHours24;
    std::string work(text);
    const std::string upper = AsciiUpper(text);
    if (const auto at = upper.find("AM"); at != std::string::npos) {
        form = kMorning;
        work.erase(at, 2);
    } else if (const auto pm = upper.find("PM"); pm != std::string::npos) {
        form = kAfternoon;
        work.erase(pm, 2);
    }
    const std::string_view trimmed = TrimControls(work);

    const std::size_t colon = trimmed.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view hoursText = trimmed.substr(0, colon);
    const std::string_view rest = trimmed.substr(colon + 1);
    std::string_view minutesText = rest;
    std::string_view secondsText = "0";
    std::string_view millisText = "0";
    if (const std::size_t second = rest.find(':'); second != std::string_view::npos) {
        minutesText = rest.substr(0, second);
        const std::string_view after = rest.substr(second + 1);
        secondsText = after;
        if (const std::size_t dot = after.find('.'); dot != std::string_view::npos) {
            secondsText = after.substr(0, dot);
            millisText = after.substr(dot + 1);
        }
    }
    const auto hours = TryStrToInteger(hoursText);
    const auto minutes = TryStrToInteger(minutesText);
    const auto seconds = TryStrToInteger(secondsText);
    const auto millis = TryStrToInteger(millisText);
    if (!hours || !minutes || !seconds || !millis) return std::nullopt;

    std::int64_t hour = *hours;
    if (form == kMorning && hour == 12) hour = 0;
    if (form == kAfternoon && hour != 12) hour += 12;
    if (hour < 0 || hour >= 24) return std::nullopt;
    return TryEncodeTimeMSecs(static_cast<int>(hour), *minutes, *seconds, *millis);
}

std::optional<TTimeStamp> TryStrToTimeStamp(std::string_view text) {
    if (const std::size_t blank = text.find(' '); blank != std::string_view::npos) {
        const auto date = TryStrToDayNumber(text.substr(0, blank));
        const auto time = TryStrToTimeMSecs(text.substr(blank + 1));
        if (!date || !time) return std::nullopt;
        return TTimeStamp{*date, *time};
    }
    if (text.find(':') != std::string_view::npos) {
        const auto time = TryStrToTimeMSecs(text);
        if (!time) return std::nullopt;
        return TTimeStamp{kDateDelta, *time};
    }
    const auto date = TryStrToDayNumber(text);
    if (!date) return std::nullopt;
    return TTimeStamp{*date, 0};
}

std::int32_t StrToDayNumber(std::string_view text) {
    if (auto date = TryStrToDayNumber(text)) return *date;
    ConvertError(messages::kInvalidDate, text);
}

std::int32_t StrToTimeMSecs(std::string_view text) {
    if (auto time = TryStrToTimeMSecs(text)) return *time;
    ConvertError(messages::kInvalidTime, text);
}

TTimeStamp StrToTimeStamp(std::string_view text) {
    if (auto stamp = TryStrToTimeStamp(text)) return *stamp;
    ConvertError(messages::kInvalidDateTime, text);
}

double StrToDate(std::string_view text) { return DayNumberToDayCount(StrToDayNumber(text)); }
double StrToTime(std::string_view text) { return TimeMSecsToDayCount(StrToTimeMSecs(text)); }
double StrToDateTime(std::string_view text) { return TimeStampToDayCount(StrToTimeStamp(text)); }

bool IsValidDate(std::string_view text) { return TryStrToDayNumber(text).has_value(); }
bool IsValidTime(std::string_view text) { return TryStrToTimeMSecs(text).has_value(); }
bool IsValidDateTime(std::string_view text) { return TryStrToTimeStamp(text).has_value(); }

// ---- writing ---------------------------------------------------------------

std::string DayNumberToStr(std::int32_t dayNumber) {
    const TDateParts date = DecodeDayNumber(dayNumber);
    return Padded(date.Year, 4) + '-' + Padded(date.Month, 2) + '-' + Padded(date.Day, 2);
}

std::string TimeMSecsToStr(std::int32_t msecs, THourClock clock) {
    const TTimeParts time = DecodeTimeMSecs(msecs);
    int shownHour = time.Hour;
    if (clock == THourClock::Hours12) shownHour = time.Hour % 12 == 0 ? 12 : time.Hour % 12;
    std::string text = Padded(shownHour, 2) + ':' + Padded(time.Minute, 2);
    // Seconds also show when only the milliseconds are set, so that writing
    // and reading a time gives the same time back.
    if (time.Second != 0 || time.Millisecond != 0) {
        text += ':' + Padded(time.Second, 2);
        if (time.Millisecond != 0) text += '.' + std::to_string(time.Millisecond);
    }
    if (clock == THourClock::Hours12) text += time.Hour < 12 ? " AM" : " PM";
    return text;
}

std::string TimeStampToStr(TTimeStamp stamp, THourClock clock) {
    return DayNumberToStr(stamp.Date) + ' ' + TimeMSecsToStr(stamp.Time, clock);
}

std::string DateToStr(double dayCount) {
    return DayNumberToStr(DayCountToTimeStamp(dayCount).Date);
}

std::string TimeToStr(double dayCount, THourClock clock) {
    return TimeMSecsToStr(DayCountToTimeStamp(dayCount).Time, clock);
}

std::string DateTimeToStr(double dayCount, THourClock clock) {
    return TimeStampToStr(DayCountToTimeStamp(dayCount), clock);
}

}  // namespace pirin
