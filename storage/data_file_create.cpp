// Creating a new data file: header and descriptors built in memory, then
// the file created; the write operations put them on disk.
#include <cerrno>

#include "storage/data_file.h"

namespace pirin {

void TDataFile::CreateTableFile(std::uint16_t language, std::uint16_t sort,
                                std::span<const TFieldDescriptor> descriptors, int fieldCount,
                                std::uint32_t blobBlockSize, std::string_view description,
                                std::string_view password, bool encrypted, std::uint16_t userMinor,
                                std::uint16_t userMajor) {
    if (fieldCount < 0 || static_cast<std::size_t>(fieldCount) > descriptors.size())
        RaiseCode(PIRIN_FLDLIMIT);
    CreateTableFile(descriptors.first(static_cast<std::size_t>(fieldCount)),
                    TNewTableOptions{.Language = language,
                                     .Sort = sort,
                                     .BlobBlockSize = blobBlockSize,
                                     .Description = std::string(description),
                                     .Password = std::string(password),
                                     .Encrypted = encrypted,
                                     .UserMinor = userMinor,
                                     .UserMajor = userMajor});
}

void TDataFile::CreateTableFile(std::span<const TFieldDescriptor> descriptors,
                                const TNewTableOptions& options) {
    if (descriptors.size() > kMaxFieldCount) RaiseCode(PIRIN_FLDLIMIT);
    std::vector<TFieldDescriptor> fields(descriptors.begin(), descriptors.end());
    std::size_t blobFields = 0;
    std::uint32_t recordSize = kFirstFieldOffset;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        TFieldDescriptor& field = fields[i];
        field.Number = static_cast<std::uint16_t>(i + 1);
        field.WellFormed = true;
        if (field.Description.size() > kFieldTextLength) field.Description.resize(kFieldTextLength);
        switch (FieldDescriptorFault(field)) {
            case TFieldFault::None:
                break;
            case TFieldFault::Name:
                RaiseCode(PIRIN_INVALIDFIELDNAME, field.Name);
            case TFieldFault::Definition:
                RaiseCode(PIRIN_INVALIDFLDTYPE, field.Name);
            case TFieldFault::ValueText:
                RaiseCode(PIRIN_INVALIDVCHKSTRUCT, field.Name);
        }
        for (std::size_t j = 0; j < i; ++j)
            if (SameFieldName(fields[j].Name, field.Name))
                RaiseCode(PIRIN_INVALIDFIELDNAME, field.Name);
        field.StoredSize = static_cast<std::uint8_t>(field.ExpectedStoredSize());
        field.ScaleCopy = field.Scale;
        if (field.IsBlob()) ++blobFields;
        if (field.IsAutoInc()) {
            field.Offset = kAutoIncOffset;
        } else {
            // Offsets past 65535 are never stored: the size check below fails first.
            field.Offset = static_cast<std::uint16_t>(recordSize);
            recordSize += field.StoredSize + 1u;
        }
    }
    if (blobFields > kMaxBlobFieldCount) RaiseCode(PIRIN_BLOBLIMIT);
    if (recordSize > 0xFFFF) RaiseCode(PIRIN_RECTOOBIG);

    TDataHeader header;
    header.SetLanguage(options.Language);
    header.SetSort(options.Sort);
    header.SetUserMajor(options.UserMajor);
    header.SetUserMinor(options.UserMinor);
    header.SetEncrypted(options.Encrypted);
    // Scrambled by the setters when encrypted; an open table keeps no password.
    if (options.Encrypted) header.SetPassword(options.Password);
    header.SetDescription(options.Description);
    header.SetFieldCount(static_cast<std::uint16_t>(fields.size()));
    header.SetBlobFieldCount(static_cast<std::uint16_t>(blobFields));
    header.SetBlobBlockSizeField(options.BlobBlockSize);
    header.SetVersion(kDataFileVersion);
    header.SetFirstFree(0);
    header.SetNextRecordNumber(1);
    header.SetLastAutoIncrement(0);
    header.SetChangeCounter(0);
    header.SetRecordSize(static_cast<std::uint16_t>(recordSize));

    CloseFile();
    CreateNewFile();
    FHeader = header;
    FFields = std::move(fields);
    FLayoutFixed = true;
    FHeaderModified = true;
    FDescriptorsModified = true;
    SizeRecordCache();
}

}  // namespace pirin
