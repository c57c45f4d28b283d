// BLOB handles of the cursor. Opening a BLOB reads its whole chain into a
// buffer once; reads, sizes and writes are then served from memory, and the
// field of the caller's record image holds the buffer's negative handle
// until the last user frees it. The operations return codes: 0, 10753 not
// a BLOB field, 10030 no open handle, 9998 a stale handle, 9494 too many
// open BLOBs, 8711 read past the end. ReadBlob hands a whole value over
// without a handle: a reader of one memo after another (a walk, a look-up)
// then neither writes handles into its image nor registers buffers.
#include <algorithm>
#include <limits>

#include "engine/data_cursor.h"
#include "engine/data_table.h"
#include "errors/engine_error.h"
#include "storage/little_endian.h"

namespace pirin {

namespace {

constexpr std::size_t kStampAfterValue = 5;  // the stamp follows presence and first block
constexpr std::size_t kSpareBlobBytes = 64 * 1024;

void AssignBytes(std::string& text, std::span<const std::uint8_t> bytes) {
    text.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

void TDataCursor::WriteBlobValue(int fieldNo, std::span<std::uint8_t> image, std::int32_t value,
                                 bool handleBlank) const {
    std::array<std::uint8_t, 4> bytes{};
    le::PutI32(bytes, 0, value);
    SetField(fieldNo, image, std::span<const std::uint8_t>(bytes), handleBlank);
}

std::int32_t TDataCursor::BlobValue(const TFieldDescriptor& field,
                                    std::span<const std::uint8_t> image) const {
    CheckImage(image);
    // The first four bytes after the presence byte: a first block, or the
    // handle of an open buffer.
    return le::GetI32(image, field.Offset + 1u);
}

std::uint16_t TDataCursor::FindBlob(int fieldNo, std::span<const std::uint8_t> image,
                                    TBlobBuffer*& buffer, std::int32_t& handle) const {
    const TFieldDescriptor& field = GetFieldDesc(fieldNo).Field;
    if (!field.IsBlob()) return PIRIN_NOTABLOB;
    handle = BlobValue(field, image);
    buffer = FBlobs.Find(handle);
    return buffer == nullptr ? PIRIN_INVALIDBLOBHANDLE : 0;
}

std::uint16_t TDataCursor::OpenBlob(int fieldNo, std::span<std::uint8_t> image, TBlobOpenMode mode,
                                    std::uint32_t& length) {
    length = 0;
    const TFieldDescriptor& field = GetFieldDesc(fieldNo).Field;
    if (!field.IsBlob()) return PIRIN_NOTABLOB;
    TOperation operation(*this);
    const std::int32_t number = BlobValue(field, image);
    if (number < 0) {
        TBlobBuffer* open = FBlobs.Find(number);
        if (open == nullptr) return PIRIN_INVALIDBLOBOFFSET;
        open->AddUse();
        length = static_cast<std::uint32_t>(open->Length());
        return 0;
    }
    if (FBlobs.Full()) return PIRIN_OPENBLOBLIMIT;
    std::unique_ptr<TBlobBuffer> buffer = LoadStoredBlob(fieldNo, field, image, number);
    if (!buffer) return PIRIN_NOTABLOB;
    buffer->AddUse();
    length = static_cast<std::uint32_t>(buffer->Length());
    const bool empty = buffer->Length() == 0;
    const std::int32_t handle = FBlobs.Add(std::move(buffer), mode);
    WriteBlobValue(fieldNo, image, handle, empty);
    return 0;
}

std::unique_ptr<TBlobBuffer> TDataCursor::LoadStoredBlob(int fieldNo, const TFieldDescriptor& field,
                                                         std::span<const std::uint8_t> image,
                                                         std::int32_t firstBlock) {
    TBlobFile* blobFile = FTable->BlobFile();
    if (blobFile == nullptr) return nullptr;
    const std::int32_t stamp = le::GetI32(image, field.Offset + kStampAfterValue);
    const std::int32_t record = le::GetI32(image, 1);
    std::unique_ptr<TBlobBuffer> buffer = std::move(FSpareBlob);
    if (buffer && &buffer->File() == blobFile)
        buffer->Reuse(static_cast<std::uint16_t>(fieldNo), record, firstBlock, stamp);
    else
        buffer = std::make_unique<TBlobBuffer>(*blobFile, this, static_cast<std::uint16_t>(fieldNo),
                                               record, firstBlock, stamp);
    if (firstBlock != 0) {
        const std::uint64_t misses = blobFile->Cache().Stats().Misses;
        buffer->LoadBlob();
        NoteWantedBlob(fieldNo, buffer->Length(), *blobFile);
        if (LastWalk() && blobFile->Cache().Stats().Misses != misses) AfterBlobRead(*blobFile);
    }
    return buffer;
}

void TDataCursor::NoteWantedBlob(int fieldNo, std::size_t length, const TBlobFile& blobFile) {
    if (std::find(FWantedBlobs.begin(), FWantedBlobs.end(), fieldNo) == FWantedBlobs.end())
        FWantedBlobs.push_back(fieldNo);
    if (length > blobFile.DataBytesPerBlock()) FWantedLongBlobs = true;
}

void TDataCursor::KeepSpareBlob(std::unique_ptr<TBlobBuffer> buffer) noexcept {
    // A reader opens and frees one memo after another; a large buffer gives
    // its memory back.
    if (buffer->Capacity() <= kSpareBlobBytes) FSpareBlob = std::move(buffer);
}

std::uint16_t TDataCursor::ReadBlob(int fieldNo, std::span<const std::uint8_t> image,
                                    std::string& value) {
    value.clear();
    const TFieldDescriptor& field = GetFieldDesc(fieldNo).Field;
    if (!field.IsBlob()) return PIRIN_NOTABLOB;
    TOperation operation(*this);
    const std::int32_t number = BlobValue(field, image);
    if (number < 0) {
        const TBlobBuffer* open = FBlobs.Find(number);
        if (open == nullptr) return PIRIN_INVALIDBLOBOFFSET;
        AssignBytes(value, open->Data());
        return 0;
    }
    // The same refusals as an open, though nothing stays open.
    if (FBlobs.Full()) return PIRIN_OPENBLOBLIMIT;
    TBlobFile* blobFile = FTable->BlobFile();
    if (blobFile == nullptr) return PIRIN_NOTABLOB;
    if (number == 0) return 0;
    // The bytes go from the cached blocks into `value` once, with no buffer
    // in between.
    const std::uint64_t misses = blobFile->Cache().Stats().Misses;
    TBlobBuffer::LoadText(*blobFile, this, number,
                          le::GetI32(image, field.Offset + kStampAfterValue), value);
    // A reader of one memo after another finds it noted already.
    const bool noted = !FWantedBlobs.empty() && FWantedBlobs.front() == fieldNo &&
                       (FWantedLongBlobs || value.size() <= blobFile->DataBytesPerBlock());
    if (!noted) NoteWantedBlob(fieldNo, value.size(), *blobFile);
    // Nearly always the memo was cached: no call then.
    if (LastWalk() && blobFile->Cache().Stats().Misses != misses) AfterBlobRead(*blobFile);
    return 0;
}

std::uint16_t TDataCursor::GetBlob(int fieldNo, std::span<const std::uint8_t> image,
                                   std::uint32_t offset, std::span<std::uint8_t> destination,
                                   std::uint32_t& count) {
    count = 0;
    TBlobBuffer* buffer = nullptr;
    std::int32_t handle = 0;
    if (const auto code = FindBlob(fieldNo, image, buffer, handle); code != 0) return code;
    const std::size_t length = buffer->Length();
    const std::size_t asked = destination.size();
    std::uint16_t result = 0;
    std::size_t delivered = asked;
    if (offset > length || asked > length - offset) {
        delivered = offset < length ? length - offset : 0;
        result = PIRIN_ENDOFBLOB;
    }
    std::copy_n(
        buffer->Data().begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(offset, length)),
        delivered, destination.begin());
    count = static_cast<std::uint32_t>(delivered);
    return result;
}

std::uint16_t TDataCursor::FreeBlob(int fieldNo, std::span<std::uint8_t> image) {
    TBlobBuffer* buffer = nullptr;
    std::int32_t handle = 0;
    if (const auto code = FindBlob(fieldNo, image, buffer, handle); code != 0) return code;
    if (buffer->DropUse() > 0) {
        WriteBlobValue(fieldNo, image, handle, buffer->Length() == 0);
        return 0;
    }
    const std::int32_t firstBlock = buffer->FirstBlock();
    KeepSpareBlob(FBlobs.Remove(handle));
    WriteBlobValue(fieldNo, image, firstBlock, false);
    return 0;
}

std::uint16_t TDataCursor::GetBlobSize(int fieldNo, std::span<const std::uint8_t> image,
                                       std::uint32_t& length) {
    length = 0;
    TBlobBuffer* buffer = nullptr;
    std::int32_t handle = 0;
    if (const auto code = FindBlob(fieldNo, image, buffer, handle); code != 0) return code;
    length = static_cast<std::uint32_t>(buffer->Length());
    return 0;
}

std::uint16_t TDataCursor::PutBlob(int fieldNo, std::span<std::uint8_t> image, std::uint32_t offset,
                                   std::span<const std::uint8_t> source) {
    TBlobBuffer* buffer = nullptr;
    std::int32_t handle = 0;
    if (const auto code = FindBlob(fieldNo, image, buffer, handle); code != 0) return code;
    const std::uint64_t end = std::uint64_t{offset} + source.size();
    if (end > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        RaiseCursorError(PIRIN_INVALIDBLOBLEN, GetFieldDesc(fieldNo).Field.Name);
    if (buffer->Length() < end) buffer->SetBlobLength(static_cast<std::size_t>(end));
    if (!source.empty()) buffer->WriteBytes(offset, source);
    WriteBlobValue(fieldNo, image, handle, buffer->Length() == 0);
    return 0;
}

std::uint16_t TDataCursor::TruncateBlob(int fieldNo, std::span<std::uint8_t> image,
                                        std::uint32_t length) {
    TBlobBuffer* buffer = nullptr;
    std::int32_t handle = 0;
    if (const auto code = FindBlob(fieldNo, image, buffer, handle); code != 0) return code;
    if (length > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        RaiseCursorError(PIRIN_INVALIDBLOBLEN, GetFieldDesc(fieldNo).Field.Name);
    buffer->SetBlobLength(length);
    WriteBlobValue(fieldNo, image, handle, buffer->Length() == 0);
    return 0;
}

}  // namespace pirin
