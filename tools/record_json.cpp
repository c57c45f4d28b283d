#include "tools/record_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "locale/field_types.h"
#include "locale/value_conversions.h"
#include "storage/field_descriptor.h"
#include "tools/base64.h"
#include "tools/bcd_text.h"
#include "tools/table_text.h"

namespace pirin::tools {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

constexpr std::string_view kNaN = "NaN";
constexpr std::string_view kInfinity = "Infinity";
constexpr std::string_view kMinusInfinity = "-Infinity";

template <typename T>
T ValueAs(const std::vector<std::uint8_t>& bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), sizeof(T));  // the engine runs little-endian
    return value;
}

template <typename T>
std::vector<std::uint8_t> BytesOf(T value, std::size_t size) {
    std::vector<std::uint8_t> bytes(std::max(size, sizeof(T)), 0);
    std::memcpy(bytes.data(), &value, sizeof(T));
    bytes.resize(size);
    return bytes;
}

bool IsMemo(const TFieldDescriptor& field) {
    return field.IsBlob() &&
           (field.Subtype == kSubtypeMemo || field.Subtype == kSubtypeFormattedMemo);
}

std::string TimeText(std::int32_t msecs) {
    const TTimeParts parts = DecodeTimeMSecs(msecs);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", parts.Hour, parts.Minute, parts.Second,
                  parts.Millisecond);
    return text;
}

ordered_json FloatJson(double value) {
    if (std::isnan(value)) return kNaN;
    if (std::isinf(value)) return value > 0 ? kInfinity : kMinusInfinity;
    return value;
}

// Money: the shortest decimal that reads back as the same double, without
// an exponent.
ordered_json MoneyJson(double value) {
    if (!std::isfinite(value)) return FloatJson(value);
    if (value == 0) return "0";
    char text[512];
    const auto result =
        std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed);
    return std::string(text, result.ptr);
}

std::optional<double> SpecialFloat(std::string_view text) {
    if (text == kNaN) return std::numeric_limits<double>::quiet_NaN();
    if (text == kInfinity) return std::numeric_limits<double>::infinity();
    if (text == kMinusInfinity) return -std::numeric_limits<double>::infinity();
    return std::nullopt;
}

const std::int64_t kFirstStamp = TimeStampToMSecs({kMinDayNumber, 0});
const std::int64_t kLastStamp = TimeStampToMSecs({kMaxDayNumber, kMSecsPerDay - 1});

}  // namespace

TRecordJson::TRecordJson(TDataCursor& cursor, const TCodePage& codePage)
    : FCursor(cursor), FCodePage(codePage) {
    for (int n = 1; n <= FCursor.FieldCount(); ++n)
        FNames.push_back(DecodeTableText(FCodePage, FCursor.GetFieldDesc(n).Field.Name));
}

void TRecordJson::Fail(int fieldNo, const std::string& reason) const {
    throw ERecordValueError("field " + FieldName(fieldNo) + ": " + reason);
}

const std::string& TRecordJson::FieldName(int fieldNo) const {
    return FNames.at(static_cast<std::size_t>(fieldNo - 1));
}

int TRecordJson::FieldNumber(std::string_view utf8Name) const {
    for (int n = 1; n <= FCursor.FieldCount(); ++n)
        if (SameFieldName(FieldName(n), utf8Name)) return n;
    return 0;
}

ordered_json TRecordJson::ToJson(std::int32_t record, std::span<std::uint8_t> image) {
    ordered_json object;
    object["_recno"] = record;
    for (int n = 1; n <= FCursor.FieldCount(); ++n) object[FieldName(n)] = FieldJson(n, image);
    return object;
}

std::string TRecordJson::BlobBytes(int fieldNo, std::span<std::uint8_t> image) {
    std::uint32_t length = 0;
    FCursor.CheckError(FCursor.OpenBlob(fieldNo, image, TBlobOpenMode::Read, length));
    std::string bytes(length, '\0');
    std::uint32_t count = 0;
    const std::uint16_t read = FCursor.GetBlob(
        fieldNo, image, 0,
        std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()),
        count);
    const std::uint16_t freed = FCursor.FreeBlob(fieldNo, image);
    FCursor.CheckError(read);
    FCursor.CheckError(freed);
    return bytes;
}

ordered_json TRecordJson::FieldJson(int fieldNo, std::span<std::uint8_t> image) {
    const TFieldDescriptor& field = FCursor.GetFieldDesc(fieldNo).Field;
    std::vector<std::uint8_t> value(FieldValueSize(field));
    const bool blank = FCursor.GetField(fieldNo, image, value);
    if (field.IsAutoInc()) return ValueAs<std::int32_t>(value);
    if (blank) return nullptr;
    switch (field.Type) {
        case kFieldString: {
            const auto* chars = reinterpret_cast<const char*>(value.data());
            return DecodeTableText(FCodePage,
                                   std::string_view(chars, strnlen(chars, value.size())));
        }
        case kFieldBlob: {
            const std::string bytes = BlobBytes(fieldNo, image);
            if (IsMemo(field)) return DecodeTableText(FCodePage, bytes);
            return EncodeBase64(
                {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        }
        case kFieldDate: {
            const auto day = ValueAs<std::int32_t>(value);
            if (day < kMinDayNumber || day > kMaxDayNumber) return day;
            return DayNumberToStr(day);
        }
        case kFieldTime: {
            const auto msecs = ValueAs<std::int32_t>(value);
            if (msecs < 0 || msecs >= kMSecsPerDay) return msecs;
            return TimeText(msecs);
        }
        case kFieldTimeStamp: {
            const auto stored = ValueAs<double>(value);
            if (!(stored >= static_cast<double>(kFirstStamp) &&
                  stored <= static_cast<double>(kLastStamp)) ||
                stored != std::floor(stored))
                return FloatJson(stored);
            const TTimeStamp stamp = MSecsToTimeStamp(static_cast<std::int64_t>(stored));
            return DayNumberToStr(stamp.Date) + " " + TimeText(stamp.Time);
        }
        case kFieldBoolean:
            return ValueAs<std::uint16_t>(value) != 0;
        case kFieldSmallInt:
            return ValueAs<std::int16_t>(value);
        case kFieldWord:
            return ValueAs<std::uint16_t>(value);
        case kFieldInteger:
            return ValueAs<std::int32_t>(value);
        case kFieldFourBytes:
            return ValueAs<std::uint32_t>(value);
        case kFieldLargeInt:
            return ValueAs<std::int64_t>(value);
        case kFieldFloat: {
            const auto number = ValueAs<double>(value);
            return field.Subtype == kSubtypeMoney ? MoneyJson(number) : FloatJson(number);
        }
        case kFieldBcd: {
            const auto text = BcdToText(
                std::span<const std::uint8_t, kBcdStoredSize>(value.data(), kBcdStoredSize));
            if (!text) Fail(fieldNo, "the stored BCD value is malformed");
            return *text;
        }
        default:
            return EncodeBase64(value);
    }
}

void TRecordJson::StoreAll(const json& object, std::span<std::uint8_t> image) {
    if (!object.is_object()) throw ERecordValueError("a JSON object is needed");
    FCursor.InitRecord(image);
    for (const auto& [name, value] : object.items()) {
        if (name == "_recno") continue;
        const int fieldNo = FieldNumber(name);
        if (fieldNo == 0) throw ERecordValueError("the table has no field " + name);
        Store(fieldNo, value, image);
    }
}

void TRecordJson::ReleaseBlob(int fieldNo, std::span<std::uint8_t> image) {
    // Every use of an open handle is given back; a stored value is left.
    while (FCursor.FreeBlob(fieldNo, image) == 0) {
    }
}

void TRecordJson::ReleaseBlobs(std::span<std::uint8_t> image) {
    for (int n = 1; n <= FCursor.FieldCount(); ++n)
        if (FCursor.GetFieldDesc(n).Field.IsBlob()) ReleaseBlob(n, image);
}

void TRecordJson::StoreBlob(int fieldNo, const json& value, std::span<std::uint8_t> image) {
    const TFieldDescriptor& field = FCursor.GetFieldDesc(fieldNo).Field;
    if (!value.is_string()) Fail(fieldNo, IsMemo(field) ? "text is needed" : "base64 is needed");
    std::string bytes;
    if (IsMemo(field)) {
        try {
            bytes = EncodeTableText(FCodePage, value.get<std::string>());
        } catch (const ETableTextError& error) {
            Fail(fieldNo, error.what());
        }
    } else {
        const auto decoded = DecodeBase64(value.get<std::string>());
        if (!decoded) Fail(fieldNo, "not base64");
        bytes.assign(decoded->begin(), decoded->end());
    }
    ReleaseBlob(fieldNo, image);  // a value given twice replaces the first
    FCursor.SetField(fieldNo, image, std::nullopt);
    if (bytes.empty()) return;
    if (bytes.size() > std::numeric_limits<std::int32_t>::max()) Fail(fieldNo, "too long");
    std::uint32_t length = 0;
    FCursor.CheckError(FCursor.OpenBlob(fieldNo, image, TBlobOpenMode::ReadWrite, length));
    FCursor.CheckError(
        FCursor.PutBlob(fieldNo, image, 0,
                        std::span<const std::uint8_t>(
                            reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
}

void TRecordJson::Store(int fieldNo, const json& value, std::span<std::uint8_t> image) {
    const TFieldDescriptor& field = FCursor.GetFieldDesc(fieldNo).Field;
    if (field.IsAutoInc()) return;
    if (value.is_null()) {
        if (field.IsBlob()) ReleaseBlob(fieldNo, image);
        FCursor.SetField(fieldNo, image, std::nullopt);
        return;
    }
    if (field.IsBlob()) {
        StoreBlob(fieldNo, value, image);
        return;
    }
    const std::size_t size = FieldValueSize(field);
    const std::string text = value.is_string() ? value.get<std::string>() : std::string();
    const std::string shown = value.is_string() ? "'" + text + "'" : value.dump();
    // A whole number from a JSON integer, or from the engine's text form.
    const auto whole = [&](std::int64_t least, std::int64_t most) -> std::int64_t {
        std::optional<std::int64_t> number;
        if (value.is_number_integer() && !value.is_number_unsigned())
            number = value.get<std::int64_t>();
        else if (value.is_number_unsigned() &&
                 value.get<std::uint64_t>() <=
                     static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            number = static_cast<std::int64_t>(value.get<std::uint64_t>());
        else if (value.is_string() && !(number = TryStrToLargeInt(text)))
            Fail(fieldNo, shown + " is not a whole number");
        else if (!value.is_string() && !value.is_number_unsigned())
            Fail(fieldNo, "a whole number is needed, not " + value.dump());
        if (!number || *number < least || *number > most) Fail(fieldNo, shown + " is out of range");
        return *number;
    };
    std::vector<std::uint8_t> bytes;
    switch (field.Type) {
        case kFieldString: {
            if (!value.is_string()) Fail(fieldNo, "text is needed");
            std::string encoded;
            try {
                encoded = EncodeTableText(FCodePage, text);
            } catch (const ETableTextError& error) {
                Fail(fieldNo, error.what());
            }
            if (encoded.find('\0') != std::string::npos) Fail(fieldNo, "text holds U+0000");
            if (encoded.size() > field.DeclaredSize)
                Fail(fieldNo,
                     "text longer than " + std::to_string(field.DeclaredSize) + " characters");
            bytes.assign(encoded.begin(), encoded.end());
            break;
        }
        case kFieldDate:
        case kFieldTime: {
            // The text form, or the stored 32-bit number itself.
            const bool date = field.Type == kFieldDate;
            std::optional<std::int32_t> stored;
            if (value.is_string())
                stored = date ? TryStrToDayNumber(text) : TryStrToTimeMSecs(text);
            else
                stored = static_cast<std::int32_t>(whole(std::numeric_limits<std::int32_t>::min(),
                                                         std::numeric_limits<std::int32_t>::max()));
            if (!stored)
                Fail(fieldNo, shown + (date ? " is not a valid date" : " is not a valid time"));
            bytes = BytesOf(*stored, size);
            break;
        }
        case kFieldTimeStamp: {
            double stored = 0;
            if (value.is_number()) {
                stored = value.get<double>();
            } else if (const auto special = SpecialFloat(text)) {
                stored = *special;
            } else {
                const auto stamp = TryStrToTimeStamp(text);
                if (!stamp) Fail(fieldNo, shown + " is not a valid date and time");
                stored = static_cast<double>(TimeStampToMSecs(*stamp));
            }
            bytes = BytesOf(stored, size);
            break;
        }
        case kFieldBoolean: {
            std::optional<bool> flag;
            if (value.is_boolean()) flag = value.get<bool>();
            if (value.is_string()) flag = TryStrToBool(text);
            if (!flag) Fail(fieldNo, "true or false is needed, not " + value.dump());
            bytes = BytesOf(static_cast<std::uint16_t>(*flag ? 1 : 0), size);
            break;
        }
        case kFieldSmallInt:
            bytes = BytesOf(static_cast<std::int16_t>(whole(-32768, 32767)), size);
            break;
        case kFieldWord:
            bytes = BytesOf(static_cast<std::uint16_t>(whole(0, 65535)), size);
            break;
        case kFieldInteger:
            bytes =
                BytesOf(static_cast<std::int32_t>(whole(std::numeric_limits<std::int32_t>::min(),
                                                        std::numeric_limits<std::int32_t>::max())),
                        size);
            break;
        case kFieldFourBytes:
            bytes = BytesOf(static_cast<std::uint32_t>(whole(0, 0xFFFFFFFFLL)), size);
            break;
        case kFieldLargeInt:
            bytes = BytesOf(whole(std::numeric_limits<std::int64_t>::min(),
                                  std::numeric_limits<std::int64_t>::max()),
                            size);
            break;
        case kFieldFloat: {
            std::optional<double> number;
            if (value.is_number()) number = value.get<double>();
            if (value.is_string()) {
                number = SpecialFloat(text);
                if (!number) number = TryStrToFloat(text);
            }
            if (!number) Fail(fieldNo, shown + " is not a number");
            bytes = BytesOf(*number, size);
            break;
        }
        case kFieldBcd: {
            if (!value.is_string() && !value.is_number()) Fail(fieldNo, "a decimal is needed");
            const std::string decimal = value.is_string() ? text : value.dump();
            try {
                const auto bcd = TextToBcd(decimal, field.Scale);
                bytes.assign(bcd.begin(), bcd.end());
            } catch (const std::invalid_argument& error) {
                Fail(fieldNo, "'" + decimal + "': " + error.what());
            }
            break;
        }
        default: {
            if (!value.is_string()) Fail(fieldNo, "base64 is needed");
            const auto decoded = DecodeBase64(text);
            if (!decoded) Fail(fieldNo, "not base64");
            if (decoded->size() > size)
                Fail(fieldNo, "more than " + std::to_string(size) + " bytes");
            bytes = *decoded;
            bytes.resize(size, 0);
            break;
        }
    }
    // SetField reads the stored size whatever the type; strings end at the
    // first zero.
    if (field.Type == kFieldString) bytes.resize(std::max(bytes.size() + 1, size), 0);
    FCursor.SetField(fieldNo, image, std::span<const std::uint8_t>(bytes));
}

}  // namespace pirin::tools
