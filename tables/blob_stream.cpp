#include "tables/blob_stream.h"

#include <algorithm>
#include <exception>

#include "engine/data_directory.h"
#include "errors/database_error.h"
#include "errors/engine_error.h"
#include "tables/pirin_dataset.h"

namespace pirin {

namespace {

// Runs an engine call that returns a code; an exception becomes its code.
template <class TCall>
std::uint16_t CodeOf(TCall&& call) {
    try {
        return call();
    } catch (const std::exception& error) {
        return static_cast<std::uint16_t>(ErrorCodeOf(error));
    }
}

// The error of a BLOB field, naming the field, its table and database.
[[noreturn]] void RaiseForBlobField(const TDataCursor* cursor, const TField& field,
                                    std::uint16_t code) {
    if (cursor == nullptr) RaiseEngineError(code, {.field = field.FieldName()});
    RaiseEngineError(code, {.database = cursor->Directory().ErrorName(),
                            .table = cursor->TableName(),
                            .field = field.FieldName()});
}

}  // namespace

TPirinBlobStream::TPirinBlobStream(TPirinDataSet& dataSet, const TField& field, TBlobStreamMode mode)
    : FDataSet(dataSet), FField(field), FFieldNo(field.FieldNo()) {
    bool retryAllowed = true;
    for (;;) {
        FImage = dataSet.RecordImage();
        TDataCursor* cursor = dataSet.Cursor();
        if (FImage.empty() || cursor == nullptr) return;
        if (dataSet.State() != TDataSetState::OldValue && dataSet.BlobModified(FFieldNo)) break;
        TBlobOpenMode openMode = TBlobOpenMode::Read;
        if (mode != TBlobStreamMode::Read) {
            if (field.ReadOnly) DatabaseErrorFmt(messages::kFieldReadOnly, field.DisplayName());
            if (dataSet.State() != TDataSetState::Edit && dataSet.State() != TDataSetState::Insert)
                DatabaseError(messages::kNotEditing);
            openMode = TBlobOpenMode::ReadWrite;
        }
        std::uint32_t length = 0;
        const std::uint16_t status = CodeOf([&] { return cursor->OpenBlob(FFieldNo, FImage, openMode, length); });
        if (status == PIRIN_KEYORRECDELETED && openMode == TBlobOpenMode::Read && retryAllowed) {
            retryAllowed = false;
            dataSet.RefreshRecord();
            continue;
        }
        if (status != 0) RaiseForField(status);
        break;
    }
    FOpened = true;
    if (mode == TBlobStreamMode::Write) Truncate();
}

TPirinBlobStream::~TPirinBlobStream() {
    if (!FOpened) return;
    if (FModified) FDataSet.SetBlobModified(FFieldNo, true);
    if (FDataSet.State() == TDataSetState::OldValue || !FDataSet.BlobModified(FFieldNo)) {
        TDataCursor* cursor = FDataSet.Cursor();
        if (cursor != nullptr) (void)CodeOf([&] { return cursor->FreeBlob(FFieldNo, FImage); });
    }
}

void TPirinBlobStream::RaiseForField(std::uint16_t code) const {
    RaiseForBlobField(FDataSet.Cursor(), FField, code);
}

std::int32_t TPirinBlobStream::Read(std::span<std::uint8_t> destination) {
    if (!FOpened || FPosition < 0) return 0;
    std::uint32_t count = 0;
    const std::uint16_t status = CodeOf([&] {
        return FDataSet.Cursor()->GetBlob(FFieldNo, FImage, static_cast<std::uint32_t>(FPosition),
                                          destination, count);
    });
    if (status == 0 || status == PIRIN_ENDOFBLOB) {
        FPosition += static_cast<std::int32_t>(count);
        return static_cast<std::int32_t>(count);
    }
    if (status == PIRIN_INVALIDBLOBOFFSET) return static_cast<std::int32_t>(count);
    RaiseEngineErrorCode(status);
}

std::int32_t TPirinBlobStream::Write(std::span<const std::uint8_t> source) {
    if (!FOpened) return 0;
    const std::uint16_t status = CodeOf([&] {
        return FDataSet.Cursor()->PutBlob(FFieldNo, FImage, static_cast<std::uint32_t>(FPosition), source);
    });
    if (status != 0) RaiseForField(status);
    FPosition += static_cast<std::int32_t>(source.size());
    FModified = true;
    return static_cast<std::int32_t>(source.size());
}

std::int32_t TPirinBlobStream::Seek(std::int32_t offset, TSeekOrigin origin) {
    switch (origin) {
        case TSeekOrigin::Beginning:
            FPosition = offset;
            break;
        case TSeekOrigin::Current:
            FPosition += offset;
            break;
        case TSeekOrigin::End:
            FPosition = Size() + offset;
            break;
    }
    return FPosition;
}

std::int32_t TPirinBlobStream::Size() {
    if (!FOpened) return 0;
    std::uint32_t length = 0;
    const std::uint16_t status =
        CodeOf([&] { return FDataSet.Cursor()->GetBlobSize(FFieldNo, FImage, length); });
    if (status != 0) RaiseForField(status);
    return static_cast<std::int32_t>(length);
}

void TPirinBlobStream::Truncate() {
    if (!FOpened) return;
    const std::uint16_t status = CodeOf([&] {
        return FDataSet.Cursor()->TruncateBlob(FFieldNo, FImage,
                                               static_cast<std::uint32_t>(std::max(FPosition, 0)));
    });
    if (status != 0) RaiseForField(status);
    FModified = true;
}

void TPirinDataSet::ReadBlobText(const TField& field, std::string& text) {
    text.clear();
    const int fieldNo = field.FieldNo();
    // A value being edited lives in the handle the stream keeps open.
    if (State() != TDataSetState::OldValue && BlobModified(fieldNo)) {
        TPirinBlobStream stream(*this, field, TBlobStreamMode::Read);
        text.resize(static_cast<std::size_t>(stream.Size()));
        const std::int32_t read =
            stream.Read(std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()));
        text.resize(static_cast<std::size_t>(read));
        return;
    }
    for (bool retryAllowed = true;; retryAllowed = false) {
        const auto image = RecordImage();
        TDataCursor* cursor = Cursor();
        if (image.empty() || cursor == nullptr) return;
        const std::uint16_t status = CodeOf([&] { return cursor->ReadBlob(fieldNo, image, text); });
        if (status == 0) return;
        // Changed by another writer: read the record again, once.
        if (status == PIRIN_KEYORRECDELETED && retryAllowed) {
            RefreshRecord();
            continue;
        }
        RaiseForBlobField(cursor, field, status);
    }
}

std::vector<std::string> SplitLines(std::string text) {
    if (const auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        if (end == text.size()) break;
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

}  // namespace pirin
