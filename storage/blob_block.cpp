#include "storage/blob_block.h"

#include <algorithm>

#include "errors/engine_error_codes.h"
#include "storage/little_endian.h"

namespace pirin {

using namespace le;

std::int32_t TBlock::Previous() const noexcept { return GetI32(Bytes(), kPreviousAt); }
void TBlock::SetPrevious(std::int32_t value) noexcept {
    PutI32(Bytes(), kPreviousAt, value);
    MarkDirty();
}
std::int32_t TBlock::Next() const noexcept { return GetI32(Bytes(), kNextAt); }
void TBlock::SetNext(std::int32_t value) noexcept {
    PutI32(Bytes(), kNextAt, value);
    MarkDirty();
}
std::uint16_t TBlock::BytesUsed() const noexcept { return GetU16(Bytes(), kBytesUsedAt); }
void TBlock::SetBytesUsed(std::uint16_t value) noexcept {
    PutU16(Bytes(), kBytesUsedAt, value);
    MarkDirty();
}
std::int32_t TBlock::OwnerStamp() const noexcept { return GetI32(Bytes(), kOwnerAt); }
void TBlock::SetOwnerStamp(std::int32_t value) noexcept {
    PutI32(Bytes(), kOwnerAt, value);
    MarkDirty();
}
std::int32_t TBlock::TotalLength() const noexcept { return GetI32(Bytes(), kTotalLengthAt); }
void TBlock::SetTotalLength(std::int32_t value) noexcept {
    PutI32(Bytes(), kTotalLengthAt, value);
    MarkDirty();
}

std::uint16_t TBlock::ReadData(std::span<std::uint8_t> out, std::size_t& copied) const noexcept {
    copied = 0;
    if (out.size() > DataSize()) return PIRIN_INVALIDBLOBLEN;
    const std::size_t used = BytesUsed();
    if (used > DataSize()) return PIRIN_MEMOCORRUPT;
    copied = std::min(out.size(), used);
    std::copy_n(Data().begin(), copied, out.begin());
    return 0;
}

std::uint16_t TBlock::WriteData(std::size_t offset, std::span<const std::uint8_t> bytes) noexcept {
    if (offset > DataSize() || bytes.size() > DataSize() - offset) return PIRIN_INVALIDBLOBLEN;
    std::copy(bytes.begin(), bytes.end(), Data().begin() + static_cast<std::ptrdiff_t>(offset));
    // The data part of a block never exceeds 65535 - 18 bytes, so this fits.
    SetBytesUsed(static_cast<std::uint16_t>(offset + bytes.size()));
    return 0;
}

void TBlock::Clear() noexcept {
    std::fill(Bytes().begin(), Bytes().end(), std::uint8_t{0});
    MarkDirty();
}

}  // namespace pirin
