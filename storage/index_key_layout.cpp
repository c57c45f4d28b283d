#include "storage/index_key_layout.h"

#include <string>

#include "errors/engine_error.h"
#include "storage/index_key_form.h"

namespace pirin {

namespace {

[[noreturn]] void RaiseDefinition(std::uint16_t code, std::string_view table,
                                  std::string_view index, std::string_view field = {}) {
    RaiseEngineError(code, {.table = table, .field = field, .index = index});
}

// The key parts and the fields' byte count, without the descriptor's own
// key length or index number taken into account.
std::vector<TIndexKeyPart> ResolveParts(const TIndexDescriptor& descriptor,
                                        std::span<const TFieldDescriptor> fields,
                                        bool invertDescending, std::string_view table,
                                        int& fieldBytes) {
    if (descriptor.FieldCount > kMaxKeyFields)
        RaiseDefinition(PIRIN_INDEXLIMIT, table, descriptor.Name);
    std::vector<TIndexKeyPart> parts;
    parts.reserve(descriptor.FieldCount);
    int offset = 0;
    for (int i = 0; i < descriptor.FieldCount; ++i) {
        const std::uint16_t number = descriptor.FieldNumbers[i];
        if (number == 0 || number > fields.size())
            RaiseDefinition(PIRIN_INVALIDIDXDESC, table, descriptor.Name, std::to_string(number));
        const TFieldDescriptor& field = fields[number - 1];
        if (field.IsBlob())
            RaiseDefinition(PIRIN_SEARCHCOLREQD, table, descriptor.Name, field.Name);
        TIndexKeyPart part;
        part.FieldName = field.Name;
        part.FieldNumber = number;
        part.Type = field.Type;
        part.AutoInc = field.IsAutoInc();
        part.StoredSize = part.AutoInc ? 4 : field.StoredSize;
        part.RecordOffset = part.AutoInc ? kAutoIncOffset : field.Offset;
        // Fixed-size types are read at their full width: a definition that
        // claims another size would make the key read past the value.
        const bool sized = field.Type == kFieldString || field.Type == kFieldBytes ||
                           field.Type == kFieldVarBytes || FieldStoredSize(field.Type, 0) == 0;
        if (!part.AutoInc && !sized && part.StoredSize != FieldStoredSize(field.Type, 0))
            RaiseDefinition(PIRIN_INVALIDFLDTYPE, table, descriptor.Name, field.Name);
        part.KeySize = FieldKeySize(field.Type, part.StoredSize);
        // A string needs its terminating zero: a stored size of 0 names no
        // valid definition and would give an empty key form.
        if (part.KeySize <= 0 || (part.Type == kFieldString && part.StoredSize < 1))
            RaiseDefinition(PIRIN_INVALIDKEY, table, descriptor.Name);
        part.KeyOffset = offset;
        part.Descending = descriptor.FieldDescending[i];
        part.Inverted = invertDescending && part.Descending;
        offset += part.KeySize + 1;
        if (offset > kMaxKeyFieldBytes) RaiseDefinition(PIRIN_INVALIDKEY, table, descriptor.Name);
        parts.push_back(std::move(part));
    }
    fieldBytes = offset;
    return parts;
}

}  // namespace

TIndexKeyLayout TIndexKeyLayout::Make(const TIndexDescriptor& descriptor, int indexNumber,
                                      std::span<const TFieldDescriptor> fields,
                                      std::uint16_t language, std::uint16_t sort,
                                      std::string_view tableName) {
    // Keys of the two internal indexes are not made from key fields.
    if (indexNumber < 0 || indexNumber > kMaxSecondaryIndexes)
        RaiseDefinition(PIRIN_INVALIDKEY, tableName, descriptor.Name);
    TIndexKeyLayout layout;
    layout.TableName = std::string(tableName);
    layout.IndexName = descriptor.Name;
    layout.IndexNumber = indexNumber;
    layout.Unique = descriptor.Unique;
    layout.Descending = descriptor.Descending;
    layout.CaseInsensitive = descriptor.CaseInsensitive;
    layout.Language = language;
    layout.Sort = sort;
    layout.Parts = ResolveParts(descriptor, fields, language == 0 && !descriptor.Descending,
                                tableName, layout.FieldBytes);
    layout.KeyLength = layout.FieldBytes + (layout.Unique ? 0 : kRowSuffixSize);
    if (descriptor.KeyLength != 0 && descriptor.KeyLength != layout.KeyLength)
        RaiseDefinition(PIRIN_INVALIDKEY, tableName, descriptor.Name);
    return layout;
}

TKeyDescription TIndexKeyLayout::Description() const {
    TKeyDescription description;
    description.IndexNumber = IndexNumber;
    description.Descending = Descending;
    description.Language = Language;
    description.Sort = Sort;
    description.Fields.reserve(Parts.size());
    for (const TIndexKeyPart& part : Parts)
        description.Fields.push_back({part.Type, part.KeySize, part.Descending});
    return description;
}

int IndexKeyLength(const TIndexDescriptor& descriptor, std::span<const TFieldDescriptor> fields,
                   std::string_view tableName) {
    int fieldBytes = 0;
    ResolveParts(descriptor, fields, false, tableName, fieldBytes);
    return fieldBytes + (descriptor.Unique ? 0 : kRowSuffixSize);
}

TKeyDescription KeyDescriptionOf(const TIndexDescriptor& descriptor, int indexNumber,
                                 std::span<const TFieldDescriptor> fields, std::uint16_t language,
                                 std::uint16_t sort, std::string_view tableName) {
    if (indexNumber == kDeletedIndex || indexNumber == kTextIndex) {
        TKeyDescription description;
        description.IndexNumber = indexNumber;
        description.Descending = descriptor.Descending;
        description.Language = language;
        description.Sort = sort;
        return description;
    }
    TIndexDescriptor unchecked = descriptor;
    unchecked.KeyLength = 0;  // comparing needs the fields, not the stored length
    return TIndexKeyLayout::Make(unchecked, indexNumber, fields, language, sort, tableName)
        .Description();
}

}  // namespace pirin
