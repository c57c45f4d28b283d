#include "storage/blob_header.h"

#include <algorithm>

#include "storage/little_endian.h"
#include "storage/scramble.h"

namespace pirin {

using namespace le;

TBlobHeader TBlobHeader::New() {
    TBlobHeader header;
    header.SetVersion(kVersion);
    header.SetFirstFreeBlock(0);
    header.SetNextBlockNumber(1);
    return header;
}

std::int32_t TBlobHeader::ChangeCounter() const noexcept {
    return GetI32(FBytes, kChangeCounterAt);
}
void TBlobHeader::SetChangeCounter(std::int32_t value) noexcept {
    PutI32(FBytes, kChangeCounterAt, value);
}
std::int32_t TBlobHeader::FirstFreeBlock() const noexcept { return GetI32(FBytes, kFirstFreeAt); }
void TBlobHeader::SetFirstFreeBlock(std::int32_t value) noexcept {
    PutI32(FBytes, kFirstFreeAt, value);
}
std::int32_t TBlobHeader::NextBlockNumber() const noexcept { return GetI32(FBytes, kNextBlockAt); }
void TBlobHeader::SetNextBlockNumber(std::int32_t value) noexcept {
    PutI32(FBytes, kNextBlockAt, value);
}

std::array<std::uint8_t, TBlobHeader::kSize> TBlobHeader::ToDisk(bool encrypted) const {
    std::array<std::uint8_t, kSize> bytes = FBytes;
    if (encrypted) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    return bytes;
}

void TBlobHeader::FromDisk(std::span<const std::uint8_t, kSize> bytes, bool encrypted) {
    std::copy(bytes.begin(), bytes.end(), FBytes.begin());
    if (encrypted) ScrambleBytes(FBytes.data(), FBytes.size(), kDataSeeds);
}

}  // namespace pirin
