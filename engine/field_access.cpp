#include "engine/field_access.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "locale/case_mapping.h"
#include "locale/value_conversions.h"
#include "storage/index_key_bcd.h"
#include "storage/little_endian.h"

namespace pirin {

namespace {

constexpr std::size_t kBlobValueSize = 4;

bool SameKeyword(std::string_view text, std::string_view keyword) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return false;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    return text.size() == keyword.size() &&
           std::equal(text.begin(), text.end(), keyword.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b;
           });
}

void WriteString(const TFieldDescriptor& field, std::span<std::uint8_t> image,
                 std::span<const std::uint8_t> value, const TFieldLocale& locale) {
    const std::size_t stored = field.StoredSize;
    // The text: up to its first zero, at most the stored size, without
    // trailing blanks.
    const std::size_t limit = std::min(value.size(), stored);
    std::size_t length = static_cast<std::size_t>(
        std::find(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(limit), 0) -
        value.begin());
    while (length > 0 && value[length - 1] == ' ') --length;
    // Cut to the field (the case mapping keeps every byte where it is, so
    // cutting first maps the same bytes).
    if (stored > 0 && length > stored - 1) length = stored - 1;
    auto bytes = image.subspan(field.Offset + 1, stored);
    std::fill(bytes.begin(), bytes.end(), 0);
    std::copy_n(value.begin(), length, bytes.begin());
    // Mapped in place: the byte after the text is zero (a field of no bytes
    // maps an empty text, which still needs the locale's tables).
    char none = 0;
    char* text = stored > 0 ? reinterpret_cast<char*>(bytes.data()) : &none;
    if (field.CharCase == kCaseLower) LowerCaseLocale(locale.Language, locale.Sort, text);
    if (field.CharCase == kCaseUpper) UpperCaseLocale(locale.Language, locale.Sort, text);
    // A cut that ends in blanks loses them too.
    while (length > 0 && bytes[length - 1] == ' ') bytes[--length] = 0;
    image[field.Offset] = length == 0 ? 0 : 1;
}

template <typename T>
std::vector<std::uint8_t> BytesOf(T value) {
    std::vector<std::uint8_t> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));  // the engine runs little-endian
    return bytes;
}

// The default text of a field in its stored value form; nothing for types
// without a text form.
std::optional<std::vector<std::uint8_t>> DefaultValue(const TFieldDescriptor& field) {
    const std::string& text = field.DefaultText;
    switch (field.Type) {
        case kFieldString:
            return std::vector<std::uint8_t>(text.begin(), text.end());
        case kFieldSmallInt:
            return BytesOf(StrToSmallInt(text));
        case kFieldWord:
            return BytesOf(StrToWord(text));
        case kFieldInteger:
            return BytesOf(StrToInteger(text));
        case kFieldLargeInt:
            return BytesOf(StrToLargeInt(text));
        case kFieldFloat:
            return BytesOf(StrToFloat(text));
        case kFieldBoolean:
            return BytesOf(static_cast<std::uint16_t>(StrToBool(text) ? 1 : 0));
        case kFieldBcd: {
            const auto bcd = DecimalToBcd(StrToDecimal(text), field.Scale);
            if (!bcd) return std::nullopt;
            return std::vector<std::uint8_t>(bcd->begin(), bcd->end());
        }
        case kFieldDate:
            if (SameKeyword(text, "CURRENT_DATE")) return BytesOf(NowTimeStamp().Date);
            return BytesOf(StrToDayNumber(text));
        case kFieldTime:
            if (SameKeyword(text, "CURRENT_TIME")) return BytesOf(NowTimeStamp().Time);
            return BytesOf(StrToTimeMSecs(text));
        case kFieldTimeStamp: {
            TTimeStamp stamp = NowTimeStamp();
            if (SameKeyword(text, "CURRENT_DATE")) {
                stamp.Time = 0;
            } else if (SameKeyword(text, "CURRENT_TIME")) {
                stamp.Date = kDateDelta;
            } else if (!SameKeyword(text, "CURRENT_TIMESTAMP")) {
                stamp = StrToTimeStamp(text);
            }
            return BytesOf(static_cast<double>(TimeStampToMSecs(stamp)));
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

std::size_t FieldValueSize(const TFieldDescriptor& field) {
    return field.IsBlob() ? kBlobValueSize : field.StoredSize;
}

std::size_t FieldImageSpan(const TFieldDescriptor& field) {
    return field.IsAutoInc() ? field.StoredSize : 1u + field.StoredSize;
}

bool ReadFieldValue(const TFieldDescriptor& field, std::span<const std::uint8_t> image,
                    std::span<std::uint8_t> value) {
    const bool blank = !field.IsAutoInc() && image[field.Offset] == 0;
    if (value.empty()) return blank;
    const std::size_t size = FieldValueSize(field);
    const std::size_t from = field.IsAutoInc() ? field.Offset : field.Offset + 1u;
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(from), size, value.begin());
    return blank;
}

void WriteFieldValue(const TFieldDescriptor& field, std::span<std::uint8_t> image,
                     std::optional<std::span<const std::uint8_t>> value, bool handleBlank,
                     const TFieldLocale& locale) {
    const std::size_t size = FieldValueSize(field);
    if (field.IsAutoInc()) {
        if (value) std::copy_n(value->begin(), size, image.begin() + field.Offset);
        return;
    }
    auto bytes = image.subspan(field.Offset + 1u, size);
    if (!value) {
        image[field.Offset] = 0;
        std::fill(bytes.begin(), bytes.end(), 0);
        return;
    }
    switch (field.Type) {
        case kFieldString:
            WriteString(field, image, *value, locale);
            return;
        case kFieldBlob: {
            const std::int32_t number = le::GetI32(*value, 0);
            image[field.Offset] = number < 0 ? (handleBlank ? 0 : 1) : (number != 0 ? 1 : 0);
            le::PutI32(bytes, 0, number);  // the stamp after it stays
            return;
        }
        case kFieldBoolean:
            image[field.Offset] = 1;
            le::PutU16(bytes, 0, le::GetU16(*value, 0) != 0 ? 1 : 0);
            return;
        default:
            image[field.Offset] = 1;
            std::copy_n(value->begin(), size, bytes.begin());
            return;
    }
}

void WriteFieldDefault(const TFieldDescriptor& field, std::span<std::uint8_t> image,
                       const TFieldLocale& locale) {
    if (field.DefaultText.empty() || field.IsAutoInc() || field.IsBlob()) return;
    const auto value = DefaultValue(field);
    if (!value) return;
    std::vector<std::uint8_t> padded = *value;
    if (field.Type != kFieldString && padded.size() < FieldValueSize(field))
        padded.resize(FieldValueSize(field), 0);
    WriteFieldValue(field, image, std::span<const std::uint8_t>(padded), false, locale);
}

}  // namespace pirin
