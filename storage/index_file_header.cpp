#include "storage/index_file_header.h"

#include <algorithm>

#include "storage/little_endian.h"
#include "storage/scramble.h"

namespace pirin {

TIndexFileHeader TIndexFileHeader::New() {
    TIndexFileHeader header;
    header.SetVersion(kVersion);
    header.SetNextPage(1);
    header.Descriptor(kDeletedIndex) = DeletedIndexDescriptor();
    header.Descriptor(kTextIndexNumber) = TextIndexDescriptor();
    return header;
}

std::int32_t TIndexFileHeader::ChangeCounter() const noexcept { return le::GetI32(FBytes, 0); }
void TIndexFileHeader::SetChangeCounter(std::int32_t value) noexcept {
    le::PutI32(FBytes, 0, value);
}
std::int32_t TIndexFileHeader::NextPage() const noexcept { return le::GetI32(FBytes, 9); }
void TIndexFileHeader::SetNextPage(std::int32_t value) noexcept { le::PutI32(FBytes, 9, value); }
std::int32_t TIndexFileHeader::RecordCount() const noexcept {
    return le::GetI32(FBytes, kRecordCountAt);
}
void TIndexFileHeader::SetRecordCount(std::int32_t value) noexcept {
    le::PutI32(FBytes, kRecordCountAt, value);
}

std::array<std::uint8_t, TIndexFileHeader::kSize> TIndexFileHeader::ToDisk(bool encrypted,
                                                                           bool changedMark) const {
    std::array<std::uint8_t, kSize> bytes = FBytes;
    int temporary = 0;
    for (int i = 0; i < kIndexCount; ++i) {
        const std::span<std::uint8_t, kIndexDescriptorSize> place(
            bytes.data() + kDescriptorsAt + static_cast<std::size_t>(i) * kIndexDescriptorSize,
            kIndexDescriptorSize);
        const TIndexDescriptor& descriptor = Descriptor(i);
        if (descriptor.Temporary) {
            // Temporary indexes belong to this process: other processes and
            // later opens never see them.
            std::fill(place.begin(), place.end(), std::uint8_t{0});
            if (i >= 1 && i <= SecondaryCount()) ++temporary;
        } else {
            descriptor.Pack(place);
        }
    }
    bytes[13] = static_cast<std::uint8_t>(SecondaryCount() - temporary);
    bytes[kChangedMarkAt] = changedMark ? 1 : 0;
    if (encrypted) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    return bytes;
}

TIndexFileHeader TIndexFileHeader::FromDisk(std::span<const std::uint8_t, kSize> bytes,
                                            bool encrypted) {
    TIndexFileHeader header;
    std::copy(bytes.begin(), bytes.end(), header.FBytes.begin());
    if (encrypted) ScrambleBytes(header.FBytes.data(), header.FBytes.size(), kDataSeeds);
    for (int i = 0; i < kIndexCount; ++i) {
        const std::span<const std::uint8_t, kIndexDescriptorSize> place(
            header.FBytes.data() + kDescriptorsAt +
                static_cast<std::size_t>(i) * kIndexDescriptorSize,
            kIndexDescriptorSize);
        header.FDescriptors[static_cast<std::size_t>(i)] = TIndexDescriptor::Unpack(place);
    }
    return header;
}

}  // namespace pirin
