#include "tools/table_schema.h"

#include <set>

#include "locale/code_page.h"
#include "locale/field_types.h"
#include "tools/table_text.h"

namespace pirin::tools {

namespace {

using nlohmann::json;

// Reads one part of the schema, naming its place in every error.
class TSchemaReader {
  public:
    TSchemaReader(const json& value, std::string place) : FValue(value), FPlace(std::move(place)) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw ESchemaError("schema: " + (FPlace.empty() ? std::string("top level") : FPlace) +
                           ": " + what);
    }
    // An object holding no key outside `allowed`.
    void ExpectObject(const std::set<std::string>& allowed) const {
        if (!FValue.is_object()) Fail("an object is needed");
        for (const auto& [key, unused] : FValue.items())
            if (!allowed.contains(key)) Fail("unknown key \"" + key + "\"");
    }
    bool Has(const std::string& key) const {
        return FValue.contains(key) && !FValue.at(key).is_null();
    }
    TSchemaReader At(const std::string& key) const {
        return {FValue.at(key), FPlace.empty() ? key : FPlace + "." + key};
    }
    TSchemaReader At(std::size_t i) const {
        return {FValue.at(i), FPlace + "[" + std::to_string(i) + "]"};
    }
    std::size_t Size() const {
        if (!FValue.is_array()) Fail("an array is needed");
        return FValue.size();
    }
    std::uint64_t Whole(std::uint64_t most) const {
        if (!FValue.is_number_unsigned() || FValue.get<std::uint64_t>() > most)
            Fail("a whole number from 0 to " + std::to_string(most) + " is needed");
        return FValue.get<std::uint64_t>();
    }
    bool Boolean() const {
        if (!FValue.is_boolean()) Fail("true or false is needed");
        return FValue.get<bool>();
    }
    std::string Utf8() const {
        if (!FValue.is_string()) Fail("a string is needed");
        return FValue.get<std::string>();
    }
    // A text stored in the table: a string, or a number taken as its text.
    std::string Text(const TCodePage& codePage) const {
        if (FValue.is_number()) return FValue.dump();
        try {
            return EncodeTableText(codePage, Utf8());
        } catch (const ETableTextError& error) {
            Fail(error.what());
        }
    }
    const json& Value() const { return FValue; }

  private:
    const json& FValue;
    std::string FPlace;
};

void ReadFieldType(const TSchemaReader& type, TFieldDefinition& field) {
    if (type.Value().is_number()) {
        field.Type = static_cast<std::uint8_t>(type.Whole(255));
        return;
    }
    std::string keyword = type.Utf8();
    const std::size_t open = keyword.find('(');
    const bool hasArguments = open != std::string::npos;
    if (hasArguments) keyword.erase(open);
    while (!keyword.empty() && keyword.back() == ' ') keyword.pop_back();
    const auto sql = SqlFieldType(keyword, hasArguments);
    if (!sql) type.Fail("unknown field type \"" + type.Utf8() + "\"");
    field.Type = sql->Type;
    field.Subtype = sql->Subtype;
}

TFieldDefinition ReadField(const TSchemaReader& in, const TCodePage& codePage) {
    in.ExpectObject({"name", "type", "size", "subtype", "scale", "required", "case", "min", "max",
                     "default", "description"});
    if (!in.Has("name") || !in.Has("type")) in.Fail("a field needs \"name\" and \"type\"");
    TFieldDefinition field;
    field.Name = in.At("name").Text(codePage);
    ReadFieldType(in.At("type"), field);
    if (in.Has("subtype")) field.Subtype = static_cast<std::uint8_t>(in.At("subtype").Whole(255));
    if (in.Has("size")) field.Size = static_cast<std::uint8_t>(in.At("size").Whole(255));
    if (in.Has("scale")) field.Decimals = static_cast<std::uint8_t>(in.At("scale").Whole(255));
    if (in.Has("required")) field.Required = in.At("required").Boolean();
    if (in.Has("case")) field.CharCase = static_cast<std::uint8_t>(in.At("case").Whole(2));
    if (in.Has("min")) field.Min = in.At("min").Text(codePage);
    if (in.Has("max")) field.Max = in.At("max").Text(codePage);
    if (in.Has("default")) field.Default = in.At("default").Text(codePage);
    if (in.Has("description")) field.Description = in.At("description").Text(codePage);
    return field;
}

TIndexDefinition ReadIndex(const TSchemaReader& in, const TCodePage& codePage, bool primary) {
    std::set<std::string> keys = {"fields", "case_insensitive", "descending", "field_descending",
                                  "compression"};
    if (!primary) keys.insert({"name", "unique"});
    in.ExpectObject(keys);
    TIndexDefinition index;
    if (!primary) {
        if (!in.Has("name")) in.Fail("an index needs \"name\"");
        index.Name = in.At("name").Text(codePage);
        if (in.Has("unique")) index.Unique = in.At("unique").Boolean();
    }
    if (!in.Has("fields")) in.Fail("an index needs \"fields\"");
    const TSchemaReader fields = in.At("fields");
    for (std::size_t i = 0; i < fields.Size(); ++i)
        index.Fields.push_back(fields.At(i).Text(codePage));
    if (in.Has("case_insensitive")) index.CaseInsensitive = in.At("case_insensitive").Boolean();
    if (in.Has("descending")) index.Descending = in.At("descending").Boolean();
    if (in.Has("field_descending")) {
        const TSchemaReader flags = in.At("field_descending");
        for (std::size_t i = 0; i < flags.Size(); ++i)
            index.FieldDescending.push_back(flags.At(i).Boolean());
    }
    if (in.Has("compression"))
        index.Compression = static_cast<std::uint8_t>(in.At("compression").Whole(3));
    return index;
}

}  // namespace

TTableDefinition ParseTableSchema(const json& schema) {
    const TSchemaReader in(schema, "");
    in.ExpectObject({"language", "sort", "password", "description", "blob_block_size", "fields",
                     "primary", "indexes"});
    TTableDefinition definition;
    if (in.Has("language"))
        definition.Language = static_cast<std::uint16_t>(in.At("language").Whole(0xFFFF));
    if (in.Has("sort")) definition.Sort = static_cast<std::uint16_t>(in.At("sort").Whole(0xFFFF));
    const TCodePage& codePage = TCodePage::OfLanguage(definition.Language);
    if (in.Has("password")) definition.Password = in.At("password").Text(codePage);
    if (in.Has("description")) definition.Description = in.At("description").Text(codePage);
    if (in.Has("blob_block_size"))
        definition.BlobBlockSize =
            static_cast<std::uint32_t>(in.At("blob_block_size").Whole(0xFFFFFFFFu));
    if (!in.Has("fields")) in.Fail("\"fields\" is needed");
    const TSchemaReader fields = in.At("fields");
    for (std::size_t i = 0; i < fields.Size(); ++i)
        definition.Fields.push_back(ReadField(fields.At(i), codePage));
    if (in.Has("primary")) definition.Primary = ReadIndex(in.At("primary"), codePage, true);
    if (in.Has("indexes")) {
        const TSchemaReader indexes = in.At("indexes");
        for (std::size_t i = 0; i < indexes.Size(); ++i)
            definition.Indexes.push_back(ReadIndex(indexes.At(i), codePage, false));
    }
    return definition;
}

json FieldTypeName(const TFieldDescriptor& field) {
    switch (field.Type) {
        case kFieldString:
            return "VARCHAR";
        case kFieldDate:
            return "DATE";
        case kFieldBlob:
            return field.Subtype == kSubtypeMemo      ? "MEMO"
                   : field.Subtype == kSubtypeGraphic ? "GRAPHIC"
                                                      : "BLOB";
        case kFieldBoolean:
            return "BOOLEAN";
        case kFieldSmallInt:
            return "SMALLINT";
        case kFieldInteger:
            return field.IsAutoInc() ? "AUTOINC" : "INTEGER";
        case kFieldFloat:
            return field.Subtype == kSubtypeMoney ? "MONEY" : "FLOAT";
        case kFieldBcd:
            return "DECIMAL";
        case kFieldBytes:
            return "BYTES";
        case kFieldTime:
            return "TIME";
        case kFieldTimeStamp:
            return "TIMESTAMP";
        case kFieldWord:
            return "WORD";
        case kFieldLargeInt:
            return "LARGEINT";
        default:
            return field.Type;
    }
}

}  // namespace pirin::tools
