#include "storage/field_descriptor.h"

#include <algorithm>
#include <cctype>

#include "storage/little_endian.h"

namespace pirin {
namespace {

// Offsets inside a descriptor.
constexpr std::size_t kNumberAt = 0;
constexpr std::size_t kNameAt = 2;
constexpr std::size_t kDescriptionAt = 33;
constexpr std::size_t kTypeAt = 84;
constexpr std::size_t kSubtypeAt = 85;
constexpr std::size_t kDeclaredSizeAt = 86;
constexpr std::size_t kScaleAt = 87;
constexpr std::size_t kStoredSizeAt = 88;
constexpr std::size_t kScaleCopyAt = 89;
constexpr std::size_t kOffsetAt = 90;
constexpr std::size_t kRequiredAt = 92;
constexpr std::size_t kCaseAt = 93;
constexpr std::size_t kMinAt = 94;
constexpr std::size_t kMaxAt = 145;
constexpr std::size_t kDefaultAt = 196;

// A length-byte text of the descriptor; an overlong one marks it malformed.
std::string GetText(TConstFieldDescriptorBytes bytes, std::size_t at, std::size_t room,
                    TFieldDescriptor& field) {
    bool overlong = false;
    std::string text = le::GetShortString(bytes, at, room, &overlong);
    if (overlong) field.WellFormed = false;
    return text;
}

}  // namespace

void PackFieldDescriptor(const TFieldDescriptor& field, TFieldDescriptorBytes out) {
    using namespace le;
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    PutU16(out, kNumberAt, field.Number);
    PutShortString(out, kNameAt, kFieldNameLength, field.Name);
    PutShortString(out, kDescriptionAt, kFieldTextLength, field.Description);
    out[kTypeAt] = field.Type;
    out[kSubtypeAt] = field.Subtype;
    out[kDeclaredSizeAt] = field.DeclaredSize;
    out[kScaleAt] = field.Scale;
    out[kStoredSizeAt] = field.StoredSize;
    out[kScaleCopyAt] = field.ScaleCopy;
    PutU16(out, kOffsetAt, field.Offset);
    out[kRequiredAt] = field.Required ? 1 : 0;
    out[kCaseAt] = field.CharCase;
    PutShortString(out, kMinAt, kFieldTextLength, field.MinText);
    PutShortString(out, kMaxAt, kFieldTextLength, field.MaxText);
    PutShortString(out, kDefaultAt, kFieldTextLength, field.DefaultText);
}

TFieldDescriptor UnpackFieldDescriptor(TConstFieldDescriptorBytes bytes) {
    using namespace le;
    TFieldDescriptor field;
    field.Number = GetU16(bytes, kNumberAt);
    field.Name = GetText(bytes, kNameAt, kFieldNameLength, field);
    field.Description = GetText(bytes, kDescriptionAt, kFieldTextLength, field);
    field.Type = bytes[kTypeAt];
    field.Subtype = bytes[kSubtypeAt];
    field.DeclaredSize = bytes[kDeclaredSizeAt];
    field.Scale = bytes[kScaleAt];
    field.StoredSize = bytes[kStoredSizeAt];
    field.ScaleCopy = bytes[kScaleCopyAt];
    field.Offset = GetU16(bytes, kOffsetAt);
    field.Required = bytes[kRequiredAt] != 0;
    field.CharCase = bytes[kCaseAt];
    field.MinText = GetText(bytes, kMinAt, kFieldTextLength, field);
    field.MaxText = GetText(bytes, kMaxAt, kFieldTextLength, field);
    field.DefaultText = GetText(bytes, kDefaultAt, kFieldTextLength, field);
    return field;
}

std::optional<TSqlFieldType> SqlFieldType(std::string_view keyword, bool hasArguments) {
    std::string upper(keyword);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct TEntry {
        std::string_view Keyword;
        TSqlFieldType Type;
    };
    static constexpr TEntry kKeywords[] = {
        {"SMALLINT", {kFieldSmallInt, kSubtypePlain}},
        {"WORD", {kFieldWord, kSubtypePlain}},
        {"INTEGER", {kFieldInteger, kSubtypePlain}},
        {"INT", {kFieldInteger, kSubtypePlain}},
        {"LARGEINT", {kFieldLargeInt, kSubtypePlain}},
        {"AUTOINC", {kFieldInteger, kSubtypeAutoInc}},
        {"DECIMAL", {kFieldBcd, kSubtypePlain}},
        {"NUMERIC", {kFieldBcd, kSubtypePlain}},
        {"FLOAT", {kFieldFloat, kSubtypePlain}},
        {"MONEY", {kFieldFloat, kSubtypeMoney}},
        {"CHARACTER", {kFieldString, kSubtypePlain}},
        {"CHAR", {kFieldString, kSubtypePlain}},
        {"VARCHAR", {kFieldString, kSubtypePlain}},
        {"BYTES", {kFieldBytes, kSubtypePlain}},
        {"VARBYTES", {kFieldBytes, kSubtypePlain}},
        {"BINARY", {kFieldBytes, kSubtypePlain}},
        {"VARBINARY", {kFieldBytes, kSubtypePlain}},
        {"DATE", {kFieldDate, kSubtypePlain}},
        {"TIME", {kFieldTime, kSubtypePlain}},
        {"TIMESTAMP", {kFieldTimeStamp, kSubtypePlain}},
        {"BOOLEAN", {kFieldBoolean, kSubtypePlain}},
        {"BOOL", {kFieldBoolean, kSubtypePlain}},
        {"BIT", {kFieldBoolean, kSubtypePlain}},
        {"BLOB", {kFieldBlob, kSubtypeBinary}},
        {"LONGVARBINARY", {kFieldBlob, kSubtypeBinary}},
        {"LONGVARCHAR", {kFieldBlob, kSubtypeMemo}},
        {"MEMO", {kFieldBlob, kSubtypeMemo}},
        {"GRAPHIC", {kFieldBlob, kSubtypeGraphic}},
    };
    for (const TEntry& entry : kKeywords) {
        if (entry.Keyword != upper) continue;
        if (upper == "BLOB" && hasArguments) return TSqlFieldType{kFieldBlob, kSubtypePlain};
        return entry.Type;
    }
    return std::nullopt;
}

}  // namespace pirin
