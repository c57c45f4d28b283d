#include "tools/table_info.h"

#include "tools/table_schema.h"
#include "tools/table_text.h"

namespace pirin::tools {

using nlohmann::ordered_json;

nlohmann::ordered_json TableInfo(TToolTable& table) {
    TDataFile& data = table.Table().DataFile();
    TIndexFile& index = table.Table().IndexFile();
    const auto text = [&](std::string_view bytes) {
        return DecodeTableText(table.CodePage(), bytes);
    };
    ordered_json info;
    info["version"] = data.Header().Version();
    info["encrypted"] = data.Encrypted();
    info["description"] = text(data.Description());
    info["language"] = data.Language();
    info["sort"] = data.Sort();
    info["record_size"] = data.RecordSize();
    info["records"] = index.ActiveRecordCount();
    info["slots"] = data.RecordCount();
    info["blob_block_size"] = data.BlobBlockSize();
    ordered_json fields = ordered_json::array();
    for (const TFieldDescriptor& field : data.Fields()) {
        fields.push_back({{"name", text(field.Name)},
                          {"type", FieldTypeName(field)},
                          {"subtype", field.Subtype},
                          {"size", field.DeclaredSize},
                          {"scale", field.Scale},
                          {"required", field.Required},
                          {"case", field.CharCase},
                          {"min", text(field.MinText)},
                          {"max", text(field.MaxText)},
                          {"default", text(field.DefaultText)},
                          {"offset", field.Offset}});
    }
    info["fields"] = std::move(fields);
    ordered_json indexes = ordered_json::array();
    for (int i = index.NoPrimaryIndex() ? 1 : 0; i <= index.SecondaryIndexCount(); ++i) {
        const TIndexDescriptor& d = index.GetIndexDescriptor(i);
        ordered_json keyFields = ordered_json::array();
        ordered_json fieldDescending = ordered_json::array();
        for (int f = 0; f < d.FieldCount && f < kMaxKeyFields; ++f) {
            const auto field = data.FindField(d.FieldNumbers[f]);
            keyFields.push_back(field ? ordered_json(text(field->Field.Name))
                                      : ordered_json(d.FieldNumbers[f]));
            fieldDescending.push_back(d.FieldDescending[f]);
        }
        indexes.push_back({{"number", i},
                           {"name", text(d.Name)},
                           {"fields", std::move(keyFields)},
                           {"unique", d.Unique},
                           {"descending", d.Descending},
                           {"field_descending", std::move(fieldDescending)},
                           {"case_insensitive", d.CaseInsensitive},
                           {"compression", d.Compression},
                           {"key_length", d.KeyLength}});
    }
    info["indexes"] = std::move(indexes);
    return info;
}

}  // namespace pirin::tools
