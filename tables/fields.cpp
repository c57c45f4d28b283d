#include "tables/fields.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "errors/database_error.h"
#include "locale/value_conversions.h"
#include "storage/little_endian.h"
#include "tables/blob_stream.h"
#include "tables/dataset.h"

namespace pirin {

using namespace le;

namespace {

constexpr std::string_view kNotInteger = "'%s' is not a valid integer value";
constexpr std::string_view kNoAccess = "Cannot access field '%s' as ";
constexpr std::string_view kTooManyBytes = "Field %s cannot hold more than ";

}  // namespace

bool IsBlobType(TFieldType type) noexcept {
    switch (type) {
        case TFieldType::Memo:
        case TFieldType::FmtMemo:
        case TFieldType::Graphic:
        case TFieldType::TypedBinary:
        case TFieldType::Blob:
            return true;
        default:
            return false;
    }
}

TField::TField(TDataSet& dataSet, const TFieldDef& def)
    : FDataSet(dataSet),
      FFieldName(def.Name),
      FFieldNo(def.FieldNo),
      FDataType(def.DataType),
      FSize(def.Size),
      FRequired(def.Required),
      FDataSize(def.DataSize) {}

const std::string& TField::DisplayName() const noexcept {
    return DisplayLabel.empty() ? FFieldName : DisplayLabel;
}

bool TField::GetData(std::span<std::uint8_t> value) const {
    return FDataSet.GetFieldData(*this, value);
}

void TField::SetData(std::optional<std::span<const std::uint8_t>> value) {
    FDataSet.SetFieldData(*this, value);
}

std::optional<std::vector<std::uint8_t>> TField::Value() const {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(FDataSize));
    if (!GetData(bytes)) return std::nullopt;
    return bytes;
}

bool TField::IsNull() const { return !FDataSet.GetFieldData(*this, {}); }

std::vector<std::uint8_t> TField::AsBytes() const { return Value().value_or(std::vector<std::uint8_t>()); }

std::string TField::AsString() const {
    const auto bytes = AsBytes();
    return std::string(bytes.begin(), bytes.end());
}

void TField::SetAsString(std::string_view value) {
    SetAsBytes(std::span(reinterpret_cast<const std::uint8_t*>(value.data()), value.size()));
}

std::int64_t TField::AsInteger() const { return 0; }
void TField::SetAsInteger(std::int64_t value) { SetAsString(std::to_string(value)); }
double TField::AsFloat() const { return static_cast<double>(AsInteger()); }
void TField::SetAsFloat(double) { AccessError("a float"); }
bool TField::AsBoolean() const { return AsInteger() != 0; }
double TField::AsDateTime() const { AccessError("a date and time"); }
void TField::SetAsDateTime(double) { AccessError("a date and time"); }

void TField::AccessError(std::string_view typeName) const {
    DatabaseErrorFmt(std::string(kNoAccess) + std::string(typeName), DisplayName());
}

void TField::SetAsBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > static_cast<std::size_t>(FDataSize))
        DatabaseErrorFmt(std::string(kTooManyBytes) + std::to_string(FDataSize) + " bytes", DisplayName());
    std::vector<std::uint8_t> value(bytes.begin(), bytes.end());
    value.resize(static_cast<std::size_t>(FDataSize), 0);
    SetData(std::span<const std::uint8_t>(value));
}

// ---- strings ----

std::string TStringField::AsString() const {
    // A stored string is at most 251 bytes with its zero: no heap copy.
    std::array<std::uint8_t, 256> buffer;
    const auto size = static_cast<std::size_t>(DataSize());
    if (size > buffer.size()) {
        const auto bytes = Value();
        if (!bytes) return {};
        std::string text(bytes->begin(), bytes->end());
        return text.substr(0, text.find('\0'));
    }
    const std::span<std::uint8_t> bytes(buffer.data(), size);
    if (!GetData(bytes)) return {};
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return std::string(bytes.begin(), end);
}

void TStringField::SetAsString(std::string_view value) {
    // Values of the usual sizes (every key a search sets) go through a
    // buffer on the stack; longer ones allocate once.
    if (std::array<std::uint8_t, 256> small; value.size() < small.size()) {
        std::copy(value.begin(), value.end(), small.begin());
        small[value.size()] = 0;
        SetData(std::span<const std::uint8_t>(small.data(), value.size() + 1));
        return;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(value.size() + 1);
    bytes.assign(value.begin(), value.end());
    bytes.push_back(0);
    SetData(std::span<const std::uint8_t>(bytes));
}

// ---- integers ----

std::int64_t TIntegerField::AsInteger() const {
    const auto bytes = Value();
    if (!bytes) return 0;
    switch (DataType()) {
        case TFieldType::SmallInt:
            return static_cast<std::int16_t>(GetU16(*bytes, 0));
        case TFieldType::Word:
            return GetU16(*bytes, 0);
        case TFieldType::LargeInt:
            return static_cast<std::int64_t>(GetU32(*bytes, 0)) |
                   (static_cast<std::int64_t>(GetI32(*bytes, 4)) << 32);
        default:
            return GetI32(*bytes, 0);
    }
}

void TIntegerField::SetAsInteger(std::int64_t value) {
    // Integers are 2, 4 or 8 bytes: no heap buffer.
    std::array<std::uint8_t, 8> buffer{};
    if (static_cast<std::size_t>(DataSize()) > buffer.size()) {
        std::vector<std::uint8_t> wide(static_cast<std::size_t>(DataSize()));
        PutValue(wide, value);
        return;
    }
    PutValue(std::span<std::uint8_t>(buffer.data(), static_cast<std::size_t>(DataSize())), value);
}

void TIntegerField::PutValue(std::span<std::uint8_t> bytes, std::int64_t value) {
    switch (DataType()) {
        case TFieldType::SmallInt:
        case TFieldType::Word:
            PutU16(bytes, 0, static_cast<std::uint16_t>(value));
            break;
        case TFieldType::LargeInt:
            PutU32(bytes, 0, static_cast<std::uint32_t>(value));
            PutU32(bytes, 4, static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32));
            break;
        default:
            PutI32(bytes, 0, static_cast<std::int32_t>(value));
            break;
    }
    SetData(std::span<const std::uint8_t>(bytes));
}

std::string TIntegerField::AsString() const { return IsNull() ? std::string() : std::to_string(AsInteger()); }

void TIntegerField::SetAsString(std::string_view value) {
    if (value.empty()) return Clear();
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size())
        DatabaseErrorFmt(kNotInteger, value);
    SetAsInteger(number);
}

// ---- floats, Booleans ----

double TFloatField::AsFloat() const {
    const auto bytes = Value();
    return bytes ? GetF64(*bytes, 0) : 0.0;
}

std::string TFloatField::AsString() const {
    if (IsNull()) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", AsFloat());
    return text;
}

void TFloatField::SetAsString(std::string_view value) {
    if (value.empty()) return Clear();
    SetAsFloat(StrToFloat(value));
}

void TFloatField::SetAsFloat(double value) {
    std::vector<std::uint8_t> bytes(sizeof(double));
    PutF64(bytes, 0, value);
    SetData(std::span<const std::uint8_t>(bytes));
}

void TBooleanField::SetAsString(std::string_view value) {
    if (value.empty()) return Clear();
    SetAsBoolean(StrToBool(value));
}

void TBooleanField::SetAsBoolean(bool value) {
    std::vector<std::uint8_t> bytes(2);
    PutU16(bytes, 0, value ? 1 : 0);
    SetData(std::span<const std::uint8_t>(bytes));
}

bool TBooleanField::AsBoolean() const {
    const auto bytes = Value();
    return bytes && GetU16(*bytes, 0) != 0;
}

// ---- BLOBs ----

std::string TBlobField::AsString() const { return DataSet().ReadBlobText(*this); }

void TBlobField::ReadText(std::string& text) const { DataSet().ReadBlobText(*this, text); }

void TBlobField::SetAsString(std::string_view value) {
    DataSet().WriteBlobText(*this, std::span(reinterpret_cast<const std::uint8_t*>(value.data()), value.size()));
}

std::vector<std::string> TBlobField::Lines() const {
    return SplitLines(DataSet().ReadBlobText(*this));
}

}  // namespace pirin
