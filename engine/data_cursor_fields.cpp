// Field access of the cursor: descriptors, single values, blank and
// initialised records.
#include <string>

#include "engine/data_cursor.h"
#include "engine/data_table.h"
#include "errors/engine_error.h"

namespace pirin {

void TDataCursor::CheckOpen() const {
    // A closed cursor has no fields: every number is out of range.
    if (!FOpen) RaiseCursorError(PIRIN_OUTOFRANGE, "0");
}

void TDataCursor::RaiseFieldOutOfRange(int fieldNo) const {
    // Called directly: a virtual call does not carry the promise not to return.
    TDataCursor::RaiseCursorError(PIRIN_OUTOFRANGE, std::to_string(fieldNo));
}

void TDataCursor::CheckImage(std::span<const std::uint8_t> image) const {
    if (image.size() < static_cast<std::size_t>(FRecordSize)) RaiseCursorError(PIRIN_FILECORRUPT);
}

void TDataCursor::CheckValue(const TFieldDescriptor& field, std::size_t size) const {
    if (field.Type != kFieldString && size < FieldValueSize(field))
        RaiseCursorError(PIRIN_FILECORRUPT, field.Name);
}

bool TDataCursor::GetField(int fieldNo, std::span<const std::uint8_t> image,
                           std::span<std::uint8_t> value) const {
    const TFieldDescriptor& field = GetFieldDesc(fieldNo).Field;
    CheckImage(image);
    if (!value.empty()) CheckValue(field, value.size());
    return ReadFieldValue(field, image, value);
}

void TDataCursor::SetField(int fieldNo, std::span<std::uint8_t> image,
                           std::optional<std::span<const std::uint8_t>> value, bool handleBlank,
                           bool force) const {
    const TCursorFieldDesc& desc = GetFieldDesc(fieldNo);
    if (desc.Computed && !force) return;
    CheckImage(image);
    if (value) CheckValue(desc.Field, value->size());
    WriteFieldValue(desc.Field, image, value, handleBlank, FLocale);
}

bool TDataCursor::GetFileField(int fieldNo, std::span<const std::uint8_t> image,
                               std::span<std::uint8_t> value) const {
    CheckOpen();
    const auto match = FTable->DataFile().FindField(fieldNo);
    if (!match) RaiseCursorError(PIRIN_OUTOFRANGE, std::to_string(fieldNo));
    CheckImage(image);
    if (!value.empty()) CheckValue(match->Field, value.size());
    return ReadFieldValue(match->Field, image, value);
}

void TDataCursor::SetFileField(int fieldNo, std::span<std::uint8_t> image,
                               std::optional<std::span<const std::uint8_t>> value,
                               bool handleBlank) const {
    CheckOpen();
    const auto match = FTable->DataFile().FindField(fieldNo);
    if (!match) RaiseCursorError(PIRIN_OUTOFRANGE, std::to_string(fieldNo));
    CheckImage(image);
    if (value) CheckValue(match->Field, value->size());
    WriteFieldValue(match->Field, image, value, handleBlank, FLocale);
}

void TDataCursor::BlankRecord(std::span<std::uint8_t> image) const {
    CheckImage(image);
    std::fill_n(image.begin(), FRecordSize, 0);
}

void TDataCursor::InitRecord(std::span<std::uint8_t> image) const {
    BlankRecord(image);
    if (!FHasDefaults) return;
    for (const TCursorFieldDesc& desc : FFields) WriteFieldDefault(desc.Field, image, FLocale);
}

}  // namespace pirin
