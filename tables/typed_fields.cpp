#include "tables/typed_fields.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "errors/database_error.h"
#include "locale/value_conversions.h"
#include "storage/little_endian.h"
#include "tables/bcd_text.h"

namespace pirin {

using namespace le;

namespace {

constexpr std::string_view kMalformedBcd = "Field %s holds a malformed BCD value";

const std::int64_t kFirstStamp = TimeStampToMSecs({kMinDayNumber, 0});
const std::int64_t kLastStamp = TimeStampToMSecs({kMaxDayNumber, kMSecsPerDay - 1});

// Dates and times store a 32-bit number.
std::optional<std::int32_t> ReadI32(const TField& field) {
    std::vector<std::uint8_t> bytes(4);
    if (!field.GetData(bytes)) return std::nullopt;
    return GetI32(bytes, 0);
}

void StoreI32(TField& field, std::int32_t value) {
    std::vector<std::uint8_t> bytes(4);
    PutI32(bytes, 0, value);
    field.SetData(std::span<const std::uint8_t>(bytes));
}

std::span<const std::uint8_t> AsSpan(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

// ---- dates ----

std::optional<std::int32_t> TDateField::DayNumber() const { return ReadI32(*this); }

void TDateField::SetDayNumber(std::int32_t dayNumber) { StoreI32(*this, dayNumber); }

std::string TDateField::AsString() const {
    const auto day = DayNumber();
    return day ? DayNumberToStr(*day) : std::string();
}

void TDateField::SetAsString(std::string_view value) {
    if (value.empty()) return Clear();
    SetDayNumber(StrToDayNumber(value));
}

double TDateField::AsDateTime() const {
    const auto day = DayNumber();
    return day ? DayNumberToDayCount(*day) : 0.0;
}

void TDateField::SetAsDateTime(double value) { SetDayNumber(DayCountToTimeStamp(value).Date); }

// ---- times ----

std::optional<std::int32_t> TTimeField::MSecs() const { return ReadI32(*this); }

void TTimeField::SetMSecs(std::int32_t msecs) { StoreI32(*this, msecs); }

std::string TTimeField::AsString() const {
    const auto msecs = MSecs();
    return msecs ? TimeMSecsToStr(*msecs) : std::string();
}

void TTimeField::SetAsString(std::string_view value) {
    if (value.empty()) return Clear();
    SetMSecs(StrToTimeMSecs(value));
}

double TTimeField::AsDateTime() const {
    const auto msecs = MSecs();
    return msecs ? TimeMSecsToDayCount(*msecs) : 0.0;
}

void TTimeField::SetAsDateTime(double value) { SetMSecs(DayCountToTimeStamp(value).Time); }

// ---- timestamps ----

std::optional<double> TDateTimeField::Stored() const {
    const auto bytes = Value();
    if (!bytes) return std::nullopt;
    return GetF64(*bytes, 0);
}

void TDateTimeField::SetStored(double value) {
    std::vector<std::uint8_t> bytes(sizeof(double));
    PutF64(bytes, 0, value);
    SetData(std::span<const std::uint8_t>(bytes));
}

std::optional<TTimeStamp> TDateTimeField::AsTimeStamp() const {
    const auto stored = Stored();
    if (!stored || !(*stored >= static_cast<double>(kFirstStamp) && *stored <= static_cast<double>(kLastStamp)) ||
        *stored != std::floor(*stored))
        return std::nullopt;
    return MSecsToTimeStamp(static_cast<std::int64_t>(*stored));
}

void TDateTimeField::SetAsTimeStamp(TTimeStamp stamp) { SetStored(static_cast<double>(TimeStampToMSecs(stamp))); }

std::string TDateTimeField::AsString() const {
    if (const auto stamp = AsTimeStamp()) return TimeStampToStr(*stamp);
    const auto stored = Stored();
    return stored ? FloatToStr(*stored) : std::string();
}

void TDateTimeField::SetAsString(std::string_view value) {
    if (value.empty()) return Clear();
    SetAsTimeStamp(StrToTimeStamp(value));
}

double TDateTimeField::AsDateTime() const {
    if (const auto stamp = AsTimeStamp()) return TimeStampToDayCount(*stamp);
    const auto stored = Stored();
    if (!stored) return 0.0;
    ConvertError(messages::kInvalidDateTime, FloatToStr(*stored));
}

void TDateTimeField::SetAsDateTime(double value) { SetAsTimeStamp(DayCountToTimeStamp(value)); }

// ---- BCD ----

std::string TBCDField::AsString() const {
    const auto bytes = Value();
    if (!bytes) return {};
    const auto text = BcdToText(std::span<const std::uint8_t, kBcdStoredSize>(bytes->data(), kBcdStoredSize));
    if (!text) DatabaseErrorFmt(kMalformedBcd, DisplayName());
    return *text;
}

void TBCDField::SetAsString(std::string_view value) {
    if (value.empty()) return Clear();
    std::array<std::uint8_t, kBcdStoredSize> bcd{};
    try {
        bcd = TextToBcd(value, Scale());
    } catch (const std::invalid_argument& error) {
        throw EConvertError("'" + std::string(value) + "': " + error.what());
    }
    SetData(std::span<const std::uint8_t>(bcd));
}

double TBCDField::AsFloat() const {
    if (IsNull()) return 0.0;
    return StrToFloat(AsString());
}

void TBCDField::SetAsFloat(double value) {
    if (!std::isfinite(value)) ConvertError(messages::kInvalidDecimal, FloatToStr(value));
    char text[512];
    const auto result = std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed);
    SetAsString(std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
}

// ---- bytes ----

void TBytesField::SetAsString(std::string_view value) { SetAsBytes(AsSpan(value)); }

}  // namespace pirin
