#include "storage/record.h"

#include <algorithm>

#include "errors/engine_error.h"
#include "storage/data_file.h"
#include "storage/little_endian.h"
#include "storage/scramble.h"

namespace pirin {

using namespace le;

TRecord::TRecord(std::size_t recordSize) : TCacheUnit(recordSize) {}

TRecord::TRecord(std::size_t recordSize, TInlineBytes storage) : TCacheUnit(recordSize, storage) {}

TRecord::~TRecord() = default;

std::span<std::uint8_t> TRecord::Header() {
    if (Size() < kRecordHeaderSize) {
        const std::string table = FDataFile != nullptr ? std::string(FDataFile->TableName()) : "";
        RaiseEngineError(PIRIN_FILECORRUPT, {.table = table});
    }
    return Bytes();
}

std::span<const std::uint8_t> TRecord::Header() const {
    return const_cast<TRecord*>(this)->Header();
}

void TRecord::Changed() noexcept {
    FModified = true;
    if (UnitNumber() != 0) MarkDirty();
}

void TRecord::SetModified(bool value) noexcept {
    if (value)
        Changed();
    else
        FModified = false;
}

void TRecord::PutOwnNumberIfActive() {
    const auto image = Header();
    if (image[0] == kRecordActive) PutI32(image, 1, RecordNumber());
}

void TRecord::Blank(bool newValue) {
    const auto image = Header();
    std::int32_t value = 0;
    if (newValue) {
        if (FDataFile == nullptr) RaiseEngineError(PIRIN_FILECORRUPT);
        value = FDataFile->NextAutoIncrement();
    }
    std::fill(image.begin(), image.end(), std::uint8_t{0});
    PutI32(image, 1, RecordNumber());
    PutI32(image, 5, value);
    FModified = false;
    if (UnitNumber() != 0) MarkDirty();  // the slot on disk still holds the old bytes
}

void TRecord::LoadImage(std::span<const std::uint8_t> fileBytes, bool encrypted) {
    const auto image = Header();
    const std::size_t count = std::min(fileBytes.size(), image.size());
    std::copy_n(fileBytes.begin(), count, image.begin());
    // A slot is one scrambled run of the record size.
    if (encrypted) ScrambleBytes(image.data(), count, kDataSeeds);
    PutOwnNumberIfActive();
    FModified = false;
}

void TRecord::StoreImage(std::span<std::uint8_t> fileBytes, bool encrypted) {
    const std::size_t count = std::min(fileBytes.size(), Size());
    std::copy_n(Bytes().begin(), count, fileBytes.begin());
    if (encrypted) ScrambleBytes(fileBytes.data(), count, kDataSeeds);
    FModified = false;
}

std::uint8_t TRecord::Status() const { return Header()[0]; }

void TRecord::SetStatus(std::uint8_t status) {
    Header()[0] = status;
    Changed();
}

std::int32_t TRecord::NextDeleted() const { return GetI32(Header(), 1); }

void TRecord::SetNextDeleted(std::int32_t slot) {
    PutI32(Header(), 1, slot);
    Changed();
}

std::int32_t TRecord::AutoIncValue() const { return GetI32(Header(), 5); }

void TRecord::SetAutoIncValue(std::int32_t value) {
    PutI32(Header(), 5, value);
    Changed();
}

std::int32_t TRecord::RecordNumber() const noexcept {
    return UnitNumber() != 0 ? UnitNumber() : FRecordNumber;
}

void TRecord::CopyFrom(const TRecord& other) {
    FDataFile = other.FDataFile;
    FRecordNumber = other.RecordNumber();
    const std::size_t count = std::min(Size(), other.Size());
    std::copy_n(other.Bytes().begin(), count, Bytes().begin());
    if (UnitNumber() != 0) MarkDirty();
    FModified = other.FModified;
}

bool TRecord::EqualsImage(std::span<const std::uint8_t> buffer) const {
    return buffer.size() >= Size() && std::equal(Bytes().begin(), Bytes().end(), buffer.begin());
}

void TRecord::CopyFields(std::span<const std::uint8_t> buffer) {
    const auto image = Header();
    if (buffer.size() > kRecordHeaderSize) {
        const std::size_t count = std::min(buffer.size(), image.size()) - kRecordHeaderSize;
        std::copy_n(buffer.begin() + kRecordHeaderSize, count, image.begin() + kRecordHeaderSize);
    }
    Changed();
}

std::span<std::uint8_t> TRecord::SecondImage() {
    const std::size_t size = Size();
    if (!FSecondImage) FSecondImage = std::make_unique<std::vector<std::uint8_t>>();
    if (FSecondImage->capacity() < size) {
        const std::size_t steps = (size + kRecordImageStep - 1) / kRecordImageStep;
        FSecondImage->reserve(steps * kRecordImageStep);
    }
    // Growing fills zeros; shrinking keeps the allocation.
    FSecondImage->resize(size, 0);
    return *FSecondImage;
}

void TRecord::Reset() {
    TCacheUnit::Reset();
    FRecordNumber = 0;
    FModified = false;
    if (FSecondImage) std::fill(FSecondImage->begin(), FSecondImage->end(), std::uint8_t{0});
}

void TRecord::ResetForLoad() {
    FRecordNumber = 0;
    FModified = false;
    if (FSecondImage) std::fill(FSecondImage->begin(), FSecondImage->end(), std::uint8_t{0});
}

void TRecord::LoadBytes(std::span<const std::uint8_t> bytes) {
    TCacheUnit::LoadBytes(bytes);
    FRecordNumber = UnitNumber();
    PutOwnNumberIfActive();
    FModified = false;
}

std::unique_ptr<TRecord> TRecordStack::Take(std::size_t recordSize) {
    std::unique_ptr<TRecord> record = Pop(recordSize);
    record->AttachTo(FDataFile);
    record->Blank(false);
    return record;
}

}  // namespace pirin
