// The field classes of dates, times, timestamps, BCD decimals and byte
// fields. Each reads and writes the engine's stored form through its
// dataset, like every field (fields.h), and adds the typed accessors of its
// kind:
//
// - TDateField: a day number (days since 0001-01-01 plus 1, 32 bits);
// - TTimeField: milliseconds since midnight (32 bits);
// - TDateTimeField: day number x 86400000 + milliseconds in a double;
// - TBCDField: the 34-byte packed decimal, its scale in Size();
// - TBytesField, TVarBytesField: the declared size of bytes, as stored.
//
// Text forms are the engine's own (locale/value_conversions.h, BCD text in
// bcd_text.h) and never depend on regional settings. The exact accessors
// (DayNumber, MSecs, Stored, AsTimeStamp) give stored values as they are,
// even those outside the calendar, so nothing read is lost; AsDateTime
// gives the day-count scale.
//
// Ownership: the dataset owns its fields. Threads: the dataset's thread.
// Failures: EConvertError for text that is not a value of the type (and a
// BCD value with more decimals than the scale, or more whole digits than
// the precision leaves); EDatabaseError for a stored BCD value that breaks
// its rules, and the dataset's state errors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "locale/date_time.h"
#include "tables/fields.h"

namespace pirin {

class TDateField : public TField {
  public:
    using TField::TField;
    // The stored day number; nothing when null.
    std::optional<std::int32_t> DayNumber() const;
    void SetDayNumber(std::int32_t dayNumber);
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    double AsFloat() const override { return AsDateTime(); }
    double AsDateTime() const override;
    void SetAsDateTime(double value) override;
};

class TTimeField : public TField {
  public:
    using TField::TField;
    // The stored milliseconds since midnight; nothing when null.
    std::optional<std::int32_t> MSecs() const;
    void SetMSecs(std::int32_t msecs);
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    double AsFloat() const override { return AsDateTime(); }
    double AsDateTime() const override;
    // Keeps the time of day of the value.
    void SetAsDateTime(double value) override;
};

class TDateTimeField : public TField {
  public:
    using TField::TField;
    // The stored double as it is; nothing when null.
    std::optional<double> Stored() const;
    void SetStored(double value);
    // The point in time; nothing when null or when the stored value is not
    // a whole millisecond count from 0001-01-01 to 9999-12-31.
    std::optional<TTimeStamp> AsTimeStamp() const;
    void SetAsTimeStamp(TTimeStamp stamp);
    // The timestamp text; a stored value outside the calendar as its number.
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    double AsFloat() const override { return AsDateTime(); }
    // EConvertError for a stored value outside the calendar.
    double AsDateTime() const override;
    void SetAsDateTime(double value) override;
};

class TBCDField : public TField {
  public:
    using TField::TField;
    // Decimal places of the field.
    int Scale() const noexcept { return Size(); }
    // Every stored digit: no exponent, no trailing zeros after the point,
    // "0" for zero.
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    std::int64_t AsInteger() const override { return static_cast<std::int64_t>(AsFloat()); }
    void SetAsInteger(std::int64_t value) override { SetAsString(std::to_string(value)); }
    double AsFloat() const override;
    // The shortest decimal of the double; EConvertError when it needs more
    // places than the scale.
    void SetAsFloat(double value) override;
};

// Bytes fields: the value is the declared size of bytes; text is taken as
// bytes (shorter input zero-filled).
class TBytesField : public TField {
  public:
    using TField::TField;
    void SetAsString(std::string_view value) override;
};
class TVarBytesField : public TBytesField {
  public:
    using TBytesField::TBytesField;
};

}  // namespace pirin
