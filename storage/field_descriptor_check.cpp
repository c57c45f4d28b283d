// The rules a single field definition follows, shared by the structure check
// of an opened table and by the creation of a new one.
#include <algorithm>
#include <cctype>

#include "locale/value_conversions.h"
#include "storage/field_descriptor.h"

namespace pirin {
namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

bool HasDeclaredSize(std::uint8_t type) {
    return type == kFieldString || type == kFieldBytes || type == kFieldVarBytes;
}

}  // namespace

bool SameFieldName(std::string_view a, std::string_view b) {
    return SameIgnoringCase(TrimBlanks(a), TrimBlanks(b));
}

bool IsValidFieldValueText(std::uint8_t type, std::string_view text) {
    if (text.empty()) return true;
    const bool currentDate = SameIgnoringCase(text, "CURRENT_DATE");
    const bool currentTime = SameIgnoringCase(text, "CURRENT_TIME");
    const bool currentStamp = SameIgnoringCase(text, "CURRENT_TIMESTAMP");
    switch (type) {
        case kFieldDate:
            return currentDate || IsValidDate(text);
        case kFieldBoolean:
            return IsValidBoolean(text);
        case kFieldSmallInt:
            return IsValidSmallInt(text);
        case kFieldWord:
            return IsValidWord(text);
        case kFieldInteger:
            return IsValidInteger(text);
        case kFieldLargeInt:
            return IsValidLargeInt(text);
        case kFieldFloat:
            return IsValidFloat(text);
        case kFieldBcd:
            return IsValidDecimal(text);
        case kFieldTime:
            return currentTime || IsValidTime(text);
        case kFieldTimeStamp:
            return currentStamp || currentDate || currentTime || IsValidDate(text) ||
                   IsValidDateTime(text) || IsValidTime(text);
        default:  // strings, bytes, varbytes and types without a text form
            return true;
    }
}

TFieldFault FieldDescriptorFault(const TFieldDescriptor& field) {
    if (field.Name.empty() || field.Name.size() > kFieldNameLength ||
        !IsNameStart(static_cast<unsigned char>(field.Name.front())))
        return TFieldFault::Name;
    if (!field.WellFormed) return TFieldFault::Definition;
    if (field.Type == 0) return TFieldFault::Definition;
    if (HasDeclaredSize(field.Type) ? field.DeclaredSize > kMaxDeclaredSize
                                    : field.DeclaredSize != 0)
        return TFieldFault::Definition;
    if (field.Scale != 0 && field.Type != kFieldBcd) return TFieldFault::Definition;
    for (const std::string* text : {&field.DefaultText, &field.MinText, &field.MaxText})
        if (text->size() > kFieldTextLength || !IsValidFieldValueText(field.Type, *text))
            return TFieldFault::ValueText;
    return TFieldFault::None;
}

}  // namespace pirin
