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
    const std::int64_t length = FileLength();
    const auto headerEnd = static_cast<std::int64_t>(DataOffset());
    const std::int64_t recordSize = FHeader.RecordSize();  // at least 9 (ValidateHeader)
    if (length < headerEnd) RaiseCode(PIRIN_HEADERCORRUPT);
    const std::int64_t slotBytes = length - headerEnd;
    if (slotBytes % recordSize != 0) RaiseCode(PIRIN_HEADERCORRUPT);
    const std::int64_t slots = slotBytes / recordSize;
    if (FHeader.NextRecordNumber() != slots + 1) RaiseCode(PIRIN_HEADERCORRUPT);
    if (FHeader.FirstFree() < 0 || FHeader.FirstFree() > slots) RaiseCode(PIRIN_HEADERCORRUPT);
}

}  // namespace pirin
