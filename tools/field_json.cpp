#include "tools/field_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "engine/field_access.h"
#include "errors/database_error.h"
#include "locale/field_types.h"
#include "locale/value_conversions.h"
#include "storage/field_descriptor.h"
#include "tables/typed_fields.h"
#include "tools/base64.h"
#include "tools/table_text.h"

namespace pirin::tools {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

constexpr std::string_view kNaN = "NaN";
constexpr std::string_view kInfinity = "Infinity";
constexpr std::string_view kMinusInfinity = "-Infinity";

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
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

bool IsTextType(TFieldType type) {
    return type == TFieldType::String || type == TFieldType::FixedChar ||
           type == TFieldType::Memo || type == TFieldType::FmtMemo;
}

}  // namespace

TFieldJson::TFieldJson(TPirinDataSet& dataSet)
    : FDataSet(dataSet), FCodePage(TCodePage::OfLanguage(dataSet.Cursor()->Language())) {
    TDataCursor& cursor = *dataSet.Cursor();
    for (int n = 1; n <= cursor.FieldCount(); ++n) {
        TField* field = dataSet.FieldByNumber(n);
        const std::string& name =
            field != nullptr ? field->FieldName() : cursor.GetFieldDesc(n).Field.Name;
        FColumns.push_back({n, field, DecodeTableText(FCodePage, name)});
    }
}

void TFieldJson::Fail(const TColumn& column, const std::string& reason) const {
    throw ERecordValueError("field " + column.Name + ": " + reason);
}

const TFieldJson::TColumn* TFieldJson::Find(std::string_view utf8Name) const {
    for (const TColumn& column : FColumns)
        if (SameFieldName(column.Name, utf8Name)) return &column;
    return nullptr;
}

const TFieldJson::TColumn& TFieldJson::Get(std::string_view utf8Name) const {
    const TColumn* column = Find(utf8Name);
    if (column == nullptr) throw ERecordValueError("Field '" + std::string(utf8Name) + "' not found");
    return *column;
}

const TFieldJson::TColumn& TFieldJson::Column(int fieldNo) const {
    return FColumns.at(static_cast<std::size_t>(fieldNo - 1));
}

ordered_json TFieldJson::ToJson() const {
    ordered_json object;
    // The cursor stands on the active record after every move of the dataset.
    object["_recno"] = FDataSet.Cursor()->CurrentRecordNumber();
    for (const TColumn& column : FColumns) object[column.Name] = FieldJson(column);
    return object;
}

ordered_json TFieldJson::FieldJson(const TColumn& column) const {
    if (column.Field == nullptr) {
        TDataCursor& cursor = *FDataSet.Cursor();
        std::vector<std::uint8_t> value(FieldValueSize(cursor.GetFieldDesc(column.FieldNo).Field));
        if (cursor.GetField(column.FieldNo, FDataSet.RecordImage(), value)) return nullptr;
        return EncodeBase64(value);
    }
    const TField& field = *column.Field;
    if (field.IsNull()) return nullptr;
    switch (field.DataType()) {
        case TFieldType::String:
        case TFieldType::FixedChar:
        case TFieldType::Memo:
        case TFieldType::FmtMemo:
            return DecodeTableText(FCodePage, field.AsString());
        case TFieldType::Graphic:
        case TFieldType::TypedBinary:
        case TFieldType::Blob:
            return EncodeBase64(Bytes(field.AsString()));
        case TFieldType::Date: {
            const std::int32_t day = *static_cast<const TDateField&>(field).DayNumber();
            if (day < kMinDayNumber || day > kMaxDayNumber) return day;
            return DayNumberToStr(day);
        }
        case TFieldType::Time: {
            const std::int32_t msecs = *static_cast<const TTimeField&>(field).MSecs();
            if (msecs < 0 || msecs >= kMSecsPerDay) return msecs;
            return TimeText(msecs);
        }
        case TFieldType::DateTime: {
            const auto& stamp = static_cast<const TDateTimeField&>(field);
            if (const auto point = stamp.AsTimeStamp())
                return DayNumberToStr(point->Date) + " " + TimeText(point->Time);
            return FloatJson(*stamp.Stored());
        }
        case TFieldType::Boolean:
            return field.AsBoolean();
        case TFieldType::Integer:
            // Type 13 maps to an integer field but holds its 4 bytes unsigned.
            if (FDataSet.Cursor()->GetFieldDesc(column.FieldNo).Field.Type == kFieldFourBytes)
                return static_cast<std::uint32_t>(field.AsInteger());
            return field.AsInteger();
        case TFieldType::SmallInt:
        case TFieldType::Word:
        case TFieldType::AutoInc:
        case TFieldType::LargeInt:
            return field.AsInteger();
        case TFieldType::Float:
            return FloatJson(field.AsFloat());
        case TFieldType::Currency:
            return MoneyJson(field.AsFloat());
        case TFieldType::Bcd: {
            std::string decimal;
            try {
                decimal = field.AsString();
            } catch (const EDatabaseError&) {
                Fail(column, "the stored BCD value is malformed");
            }
            return decimal;
        }
        default:
            return EncodeBase64(field.AsBytes());
    }
}

void TFieldJson::StoreAll(const json& object) {
    if (!object.is_object()) throw ERecordValueError("a JSON object is needed");
    for (const auto& [name, value] : object.items()) {
        if (name == "_recno") continue;
        const TColumn* column = Find(name);
        if (column == nullptr) throw ERecordValueError("the table has no field " + name);
        if (column->Field != nullptr && column->Field->DataType() == TFieldType::AutoInc) continue;
        Store(*column, value);
    }
}

void TFieldJson::StoreRaw(const TColumn& column, const json& value) {
    TDataCursor& cursor = *FDataSet.Cursor();
    const std::size_t size = FieldValueSize(cursor.GetFieldDesc(column.FieldNo).Field);
    const auto image = FDataSet.RecordImage();
    if (value.is_null()) return cursor.SetField(column.FieldNo, image, std::nullopt);
    if (!value.is_string()) Fail(column, "base64 is needed");
    auto decoded = DecodeBase64(value.get<std::string>());
    if (!decoded) Fail(column, "not base64");
    if (decoded->size() > size) Fail(column, "more than " + std::to_string(size) + " bytes");
    decoded->resize(size, 0);
    cursor.SetField(column.FieldNo, image, std::span<const std::uint8_t>(*decoded));
}

void TFieldJson::StoreBlob(TField& field, const json& value) {
    const TColumn& column = Column(field.FieldNo());
    const bool text = IsTextType(field.DataType());
    if (!value.is_string()) Fail(column, text ? "text is needed" : "base64 is needed");
    std::string bytes;
    if (text) {
        try {
            bytes = EncodeTableText(FCodePage, value.get<std::string>());
        } catch (const ETableTextError& error) {
            Fail(column, error.what());
        }
    } else {
        const auto decoded = DecodeBase64(value.get<std::string>());
        if (!decoded) Fail(column, "not base64");
        bytes.assign(decoded->begin(), decoded->end());
    }
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        Fail(column, "too long");
    // No bytes is no value, not an empty BLOB.
    if (bytes.empty())
        field.Clear();
    else
        field.SetAsString(bytes);
}

void TFieldJson::Store(const TColumn& column, const json& value) {
    if (column.Field == nullptr) return StoreRaw(column, value);
    TField& field = *column.Field;
    if (value.is_null()) return field.Clear();
    if (IsBlobType(field.DataType())) return StoreBlob(field, value);
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
            Fail(column, shown + " is not a whole number");
        else if (!value.is_string() && !value.is_number_unsigned())
            Fail(column, "a whole number is needed, not " + value.dump());
        if (!number || *number < least || *number > most) Fail(column, shown + " is out of range");
        return *number;
    };
    constexpr auto kInt32Min = std::numeric_limits<std::int32_t>::min();
    constexpr auto kInt32Max = std::numeric_limits<std::int32_t>::max();
    switch (field.DataType()) {
        case TFieldType::String:
        case TFieldType::FixedChar: {
            if (!value.is_string()) Fail(column, "text is needed");
            std::string encoded;
            try {
                encoded = EncodeTableText(FCodePage, text);
            } catch (const ETableTextError& error) {
                Fail(column, error.what());
            }
            if (encoded.find('\0') != std::string::npos) Fail(column, "text holds U+0000");
            if (encoded.size() > static_cast<std::size_t>(field.Size()))
                Fail(column, "text longer than " + std::to_string(field.Size()) + " characters");
            field.SetAsString(encoded);
            return;
        }
        case TFieldType::Date:
        case TFieldType::Time: {
            // The text form, or the stored 32-bit number itself.
            const bool date = field.DataType() == TFieldType::Date;
            std::optional<std::int32_t> stored;
            if (value.is_string())
                stored = date ? TryStrToDayNumber(text) : TryStrToTimeMSecs(text);
            else
                stored = static_cast<std::int32_t>(whole(kInt32Min, kInt32Max));
            if (!stored) Fail(column, shown + (date ? " is not a valid date" : " is not a valid time"));
            if (date)
                static_cast<TDateField&>(field).SetDayNumber(*stored);
            else
                static_cast<TTimeField&>(field).SetMSecs(*stored);
            return;
        }
        case TFieldType::DateTime: {
            auto& stamp = static_cast<TDateTimeField&>(field);
            if (value.is_number()) return stamp.SetStored(value.get<double>());
            if (const auto special = SpecialFloat(text)) return stamp.SetStored(*special);
            const auto point = TryStrToTimeStamp(text);
            if (!point) Fail(column, shown + " is not a valid date and time");
            return stamp.SetAsTimeStamp(*point);
        }
        case TFieldType::Boolean: {
            std::optional<bool> flag;
            if (value.is_boolean()) flag = value.get<bool>();
            if (value.is_string()) flag = TryStrToBool(text);
            if (!flag) Fail(column, "true or false is needed, not " + value.dump());
            return field.SetAsBoolean(*flag);
        }
        case TFieldType::SmallInt:
            return field.SetAsInteger(whole(-32768, 32767));
        case TFieldType::Word:
            return field.SetAsInteger(whole(0, 65535));
        case TFieldType::Integer:
        case TFieldType::AutoInc:
            if (FDataSet.Cursor()->GetFieldDesc(column.FieldNo).Field.Type == kFieldFourBytes)
                return field.SetAsInteger(whole(0, 0xFFFFFFFFLL));
            return field.SetAsInteger(whole(kInt32Min, kInt32Max));
        case TFieldType::LargeInt:
            return field.SetAsInteger(whole(std::numeric_limits<std::int64_t>::min(),
                                            std::numeric_limits<std::int64_t>::max()));
        case TFieldType::Float:
        case TFieldType::Currency: {
            std::optional<double> number;
            if (value.is_number()) number = value.get<double>();
            if (value.is_string()) {
                number = SpecialFloat(text);
                if (!number) number = TryStrToFloat(text);
            }
            if (!number) Fail(column, shown + " is not a number");
            return field.SetAsFloat(*number);
        }
        case TFieldType::Bcd: {
            if (!value.is_string() && !value.is_number()) Fail(column, "a decimal is needed");
            try {
                field.SetAsString(value.is_string() ? text : value.dump());
            } catch (const EConvertError& error) {
                Fail(column, error.what());
            }
            return;
        }
        default: {
            if (!value.is_string()) Fail(column, "base64 is needed");
            const auto decoded = DecodeBase64(text);
            if (!decoded) Fail(column, "not base64");
            if (decoded->size() > static_cast<std::size_t>(field.DataSize()))
                Fail(column, "more than " + std::to_string(field.DataSize()) + " bytes");
            return field.SetAsBytes(*decoded);
        }
    }
}

TKeyValue TFieldJson::SearchValue(const TColumn& column, const std::string& utf8) const {
    if (utf8.empty()) return nullptr;
    const TFieldType type = column.Field != nullptr ? column.Field->DataType() : TFieldType::Unknown;
    if (IsTextType(type)) {
        try {
            return EncodeTableText(FCodePage, utf8);
        } catch (const ETableTextError& error) {
            Fail(column, error.what());
        }
    }
    switch (type) {
        case TFieldType::Bytes:
        case TFieldType::VarBytes:
        case TFieldType::Graphic:
        case TFieldType::TypedBinary:
        case TFieldType::Blob: {
            const auto decoded = DecodeBase64(utf8);
            if (!decoded) Fail(column, "not base64");
            return std::string(decoded->begin(), decoded->end());
        }
        default:
            return utf8;
    }
}

}  // namespace pirin::tools
