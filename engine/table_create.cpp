// CreateTable: definitions turned into descriptors, the files made and
// written, and everything removed again when any step fails.
#include "engine/table_create.h"

#include <memory>
#include <vector>

#include "errors/engine_error.h"
#include "locale/locale_check.h"
#include "storage/blob_block.h"
#include "storage/blob_file.h"
#include "storage/data_file.h"
#include "storage/index_file.h"
#include "storage/index_key_bcd.h"
#include "storage/table_file_context.h"

namespace pirin {

namespace {

// Raises a definition error with the table's place.
[[noreturn]] void Refuse(std::uint16_t code, const TTableLocation& location,
                         std::string_view field = {}, std::string_view index = {}) {
    RaiseEngineError(
        code,
        {.database = location.Directory, .table = location.Name, .field = field, .index = index});
}

// The descriptor of an index definition over the created fields. The key
// length is what the fields make; the index file checks the rest (field
// count, name, BLOB fields, key size) in its own order.
TIndexDescriptor IndexDescriptor(const TIndexDefinition& definition,
                                 std::span<const TFieldDescriptor> fields,
                                 const TTableLocation& location, bool primary) {
    TIndexDescriptor d;
    d.Name = primary ? std::string() : definition.Name;
    d.Unique = primary || definition.Unique;
    d.CaseInsensitive = definition.CaseInsensitive;
    d.Descending = definition.Descending;
    d.Compression = definition.Compression;
    if (definition.Compression > 3) Refuse(PIRIN_INVALIDIDXDESC, location, {}, d.Name);
    if (!definition.FieldDescending.empty() &&
        definition.FieldDescending.size() != definition.Fields.size())
        Refuse(PIRIN_INVALIDIDXDESC, location, {}, d.Name);
    // More than 16 key fields are left to the index file (9487).
    d.FieldCount = static_cast<std::uint8_t>(
        std::min<std::size_t>(definition.Fields.size(), kMaxKeyFields + 1));
    int fieldsPart = 0;
    for (std::size_t i = 0; i < definition.Fields.size(); ++i) {
        const std::string& name = definition.Fields[i];
        const TFieldDescriptor* found = nullptr;
        for (const TFieldDescriptor& field : fields)
            if (SameFieldName(field.Name, name)) found = &field;
        if (found == nullptr) Refuse(PIRIN_INVALIDIDXDESC, location, name, d.Name);
        fieldsPart += found->KeySize() + 1;
        if (i >= kMaxKeyFields) continue;
        d.FieldNumbers[i] = found->Number;
        d.FieldDescending[i] = !definition.FieldDescending.empty() && definition.FieldDescending[i];
    }
    const int length = fieldsPart + (d.Unique ? 0 : kRowSuffixSize);
    d.KeyLength = static_cast<std::uint16_t>(std::min(length, 0xFFFF));
    return d;
}

// The files made so far; removed again unless the creation completes.
class TCreatedFiles {
  public:
    ~TCreatedFiles() {
        if (FDone) return;
        for (TFileHandler* file : FFiles) {
            file->CloseFile();
            try {
                file->RemoveFile();
            } catch (const EPirinEngineError&) {
                // Removing is best effort: the creation's own error is the one reported.
            }
        }
    }
    void Add(TFileHandler& file) { FFiles.push_back(&file); }
    void Done() { FDone = true; }

  private:
    std::vector<TFileHandler*> FFiles;
    bool FDone = false;
};

// Checks the data file does not make itself: a type code no field type has
// (the stored file would hold a field no one can read or write), more
// decimals than a BCD value holds, or a character case other than 0..2.
void CheckFieldDefinitions(const TTableDefinition& definition, const TTableLocation& location) {
    for (const TFieldDefinition& field : definition.Fields) {
        const bool knownType = (field.Type >= kFieldString && field.Type <= kFieldVarBytes) ||
                               field.Type == kFieldLargeInt;
        if (!knownType || field.Decimals > kBcdPrecision || field.CharCase > kCaseUpper)
            Refuse(PIRIN_INVALIDFLDTYPE, location, field.Name);
    }
}

}  // namespace

bool HasDataFileExtension(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view tail = name.substr(name.size() - 4);
    return tail[0] == '.' && (tail[1] | 0x20) == 'd' && (tail[2] | 0x20) == 'a' &&
           (tail[3] | 0x20) == 't';
}

TTableFileNames TableFileNames(std::string_view directory, std::string_view tableName) {
    std::string base;
    base.reserve(directory.size() + tableName.size() + 4);
    base += directory;
    base += HasDataFileExtension(tableName) ? tableName.substr(0, tableName.size() - 4) : tableName;
    std::string data = base + ".DAT", index = base + ".IDX";
    base += ".BLB";
    return {std::move(data), std::move(index), std::move(base)};
}

std::vector<TFieldDescriptor> FieldDescriptors(const TTableDefinition& definition) {
    std::vector<TFieldDescriptor> descriptors;
    descriptors.reserve(definition.Fields.size());
    for (const TFieldDefinition& field : definition.Fields) {
        TFieldDescriptor d;
        d.Number = static_cast<std::uint16_t>(descriptors.size() + 1);
        d.Name = field.Name;
        d.Description = field.Description;
        d.Type = field.Type;
        d.Subtype = field.Subtype;
        d.DeclaredSize = field.Size;
        d.Scale = field.Decimals;
        d.Required = field.Required;
        d.CharCase = field.CharCase;
        d.MinText = field.Min;
        d.MaxText = field.Max;
        d.DefaultText = field.Default;
        descriptors.push_back(std::move(d));
    }
    return descriptors;
}

void CreateTable(const TTableLocation& location, const TTableDefinition& definition) {
    const TTableFileNames names = TableFileNames(location.Directory, location.Name);
    // A blank name (or a bare ".DAT") would make files with no name before
    // the extension, which no table name can open again.
    const std::string_view stem =
        std::string_view(names.Data)
            .substr(location.Directory.size(), names.Data.size() - location.Directory.size() - 4);
    if (stem.find_first_not_of(' ') == std::string_view::npos || stem.back() == '/')
        Refuse(PIRIN_OSENOENT, location);
    // Only the low 16 bits of the block size are stored as used; a size that
    // leaves a block no data part would make every chain endless.
    if (definition.BlobBlockSize > 0xFFFF ||
        (definition.BlobBlockSize != 0 && definition.BlobBlockSize <= TBlock::kHeaderSize))
        Refuse(PIRIN_INVALIDBLOBLEN, location);
    CheckFieldDefinitions(definition, location);
    // A table whose ordering this system cannot collate could never be opened.
    CheckLocale(definition.Language, definition.Sort, location.Name);

    TPlainTableContext context;
    context.PrimaryIndex = definition.Primary.has_value();
    const bool encrypted = definition.Password.has_value();
    const auto prepare = [&](TFileHandler& file) {
        file.SetInMemory(location.InMemory);
        file.SetTableName(location.Name);
    };
    TDataFile data(context, names.Data);
    prepare(data);
    if (data.FileExists()) Refuse(PIRIN_TABLEEXISTS, location);
    TIndexFile index(context, names.Index, encrypted);
    prepare(index);
    std::unique_ptr<TBlobFile> blob;

    TCreatedFiles created;
    data.CreateTableFile(FieldDescriptors(definition),
                         TNewTableOptions{.Language = definition.Language,
                                          .Sort = definition.Sort,
                                          .BlobBlockSize = definition.BlobBlockSize,
                                          .Description = definition.Description,
                                          .Password = definition.Password.value_or(""),
                                          .Encrypted = encrypted});
    created.Add(data);
    index.CreateNewFile();
    created.Add(index);
    const std::span<const TFieldDescriptor> fields = data.Fields();
    if (definition.Primary)
        index.DefinePrimaryIndex(IndexDescriptor(*definition.Primary, fields, location, true),
                                 fields);
    else
        index.DefinePrimaryIndex(TIndexDescriptor{}, fields);
    for (const TIndexDefinition& secondary : definition.Indexes)
        index.AddIndex(IndexDescriptor(secondary, fields, location, false), fields);
    if (data.BlobFieldCount() > 0) {
        blob =
            std::make_unique<TBlobFile>(context, names.Blob, definition.BlobBlockSize, encrypted);
        prepare(*blob);
        blob->CreateNewFile();
        created.Add(*blob);
        blob->WriteBlobHeader(true);
    }
    index.WriteIndexHeader(true);
    data.WriteFieldDescriptors();
    data.WriteHeader(true);
    if (blob) blob->CloseFile();
    index.CloseFile();
    data.CloseFile();
    created.Done();
}

}  // namespace pirin
