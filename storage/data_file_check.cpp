// The structure check a table passes when its first cursor opens it.
#include <cerrno>
#include <cstdint>

#include "locale/locale_check.h"
#include "storage/data_file.h"

namespace pirin {

void TDataFile::CheckVersion() const {
    if (FHeader.Version() != kDataFileVersion) RaiseCode(PIRIN_OLDVERSION);
}

void TDataFile::CheckDescriptors() const {
    std::uint32_t running = kFirstFieldOffset;
    for (std::size_t i = 0; i < FFields.size(); ++i) {
        const TFieldDescriptor& field = FFields[i];
        bool sound = FieldDescriptorFault(field) == TFieldFault::None && field.Number == i + 1 &&
                     // Sizes come from the type; a different stored size would
                     // let field access run past the record.
                     field.StoredSize == field.ExpectedStoredSize();
        for (std::size_t j = 0; sound && j < i; ++j)
            sound =
                !SameFieldName(FFields[j].Name, field.Name) && FFields[j].Number != field.Number;
        if (sound && field.IsAutoInc()) {
            sound = field.Offset == kAutoIncOffset;
        } else if (sound) {
            sound = field.Offset == running;
            running += field.StoredSize + 1u;
        }
        if (!sound) RaiseCode(PIRIN_HEADERCORRUPT, field.Name);
    }
    if (running != FHeader.RecordSize()) RaiseCode(PIRIN_HEADERCORRUPT);
}

void TDataFile::CheckStructure() {
    CheckVersion();
    CheckLocale(FHeader.Language(), FHeader.Sort(), TFileHandler::TableName());
    CheckDescriptors();
    const auto headerEnd = static_cast<std::int64_t>(DataOffset());
    const std::int64_t recordSize = FHeader.RecordSize();  // at least 9 (ValidateHeader)
    // The file holds the header, the descriptors and exactly the slots the
    // header counts.
    const auto fits = [&](std::int64_t length) {
        if (length < headerEnd || (length - headerEnd) % recordSize != 0) return false;
        const std::int64_t slots = (length - headerEnd) / recordSize;
        return FHeader.NextRecordNumber() == slots + 1 && FHeader.FirstFree() >= 0 &&
               FHeader.FirstFree() <= slots;
    };
    // The length the open saw spares asking again when it fits; a file that
    // changed since is judged by its length now.
    if (!LengthPasses(fits)) RaiseCode(PIRIN_HEADERCORRUPT);
}

}  // namespace pirin
