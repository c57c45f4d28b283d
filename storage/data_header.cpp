#include "storage/data_header.h"

#include <algorithm>

#include "storage/little_endian.h"
#include "storage/scramble.h"

namespace pirin {

using namespace le;

std::int32_t TDataHeader::ChangeCounter() const { return GetI32(FBytes, 0); }
void TDataHeader::SetChangeCounter(std::int32_t value) { PutI32(FBytes, 0, value); }
std::uint32_t TDataHeader::BlobBlockSizeField() const { return GetU32(FBytes, 4); }
void TDataHeader::SetBlobBlockSizeField(std::uint32_t value) { PutU32(FBytes, 4, value); }
std::uint16_t TDataHeader::BlobBlockSize() const {
    const auto size = static_cast<std::uint16_t>(BlobBlockSizeField() & 0xFFFF);
    return size == 0 ? kDefaultBlobBlockSize : size;
}
std::int32_t TDataHeader::FirstFree() const { return GetI32(FBytes, 9); }
void TDataHeader::SetFirstFree(std::int32_t value) { PutI32(FBytes, 9, value); }
std::int32_t TDataHeader::NextRecordNumber() const { return GetI32(FBytes, 13); }
void TDataHeader::SetNextRecordNumber(std::int32_t value) { PutI32(FBytes, 13, value); }
std::int32_t TDataHeader::LastAutoIncrement() const { return GetI32(FBytes, 17); }
void TDataHeader::SetLastAutoIncrement(std::int32_t value) { PutI32(FBytes, 17, value); }
std::uint16_t TDataHeader::RecordSize() const { return GetU16(FBytes, 21); }
void TDataHeader::SetRecordSize(std::uint16_t value) { PutU16(FBytes, 21, value); }
std::uint16_t TDataHeader::FieldCount() const { return GetU16(FBytes, 23); }
void TDataHeader::SetFieldCount(std::uint16_t value) { PutU16(FBytes, 23, value); }
std::uint16_t TDataHeader::BlobFieldCount() const { return GetU16(FBytes, 25); }
void TDataHeader::SetBlobFieldCount(std::uint16_t value) { PutU16(FBytes, 25, value); }
double TDataHeader::WriteTime() const { return GetF64(FBytes, 27); }
void TDataHeader::SetWriteTime(double value) { PutF64(FBytes, 27, value); }
std::uint16_t TDataHeader::Language() const { return GetU16(FBytes, 103); }
void TDataHeader::SetLanguage(std::uint16_t value) { PutU16(FBytes, 103, value); }
std::uint16_t TDataHeader::Sort() const { return GetU16(FBytes, 105); }
void TDataHeader::SetSort(std::uint16_t value) { PutU16(FBytes, 105, value); }
std::uint16_t TDataHeader::UserMajor() const { return GetU16(FBytes, 107); }
void TDataHeader::SetUserMajor(std::uint16_t value) { PutU16(FBytes, 107, value); }
std::uint16_t TDataHeader::UserMinor() const { return GetU16(FBytes, 109); }
void TDataHeader::SetUserMinor(std::uint16_t value) { PutU16(FBytes, 109, value); }
std::int32_t TDataHeader::LastBlobStamp() const { return GetI32(FBytes, 112); }
void TDataHeader::SetLastBlobStamp(std::int32_t value) { PutI32(FBytes, 112, value); }
std::uint32_t TDataHeader::Build() const { return GetU32(FBytes, 116); }
void TDataHeader::SetBuild(std::uint32_t value) { PutU32(FBytes, 116, value); }
std::uint32_t TDataHeader::Field120() const { return GetU32(FBytes, 120); }
void TDataHeader::SetField120(std::uint32_t value) { PutU32(FBytes, 120, value); }

std::string TDataHeader::Description() const {
    return StoredText(kDescriptionAt, kTableDescriptionLength);
}
std::string TDataHeader::Password() const { return StoredText(kPasswordAt, kPasswordLength); }
void TDataHeader::SetDescription(std::string_view text) {
    StoreText(kDescriptionAt, kTableDescriptionLength, text);
}
void TDataHeader::SetPassword(std::string_view text) {
    StoreText(kPasswordAt, kPasswordLength, text);
}

std::string TDataHeader::StoredText(std::size_t at, std::size_t room) const {
    std::string text = le::GetShortString(FBytes, at, room);
    if (Encrypted()) ScrambleBytes(text.data(), text.size(), kStringSeeds);
    return text;
}

void TDataHeader::StoreText(std::size_t at, std::size_t room, std::string_view text) {
    std::string stored(text.substr(0, room));
    if (Encrypted()) ScrambleBytes(stored.data(), stored.size(), kStringSeeds);
    le::PutShortString(FBytes, at, room, stored);
}

}  // namespace pirin
