#include "storage/index_file_header.h"

#include <algorithm>
#include <cstring>

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
    const auto place = [&](int i) {
        return std::span<std::uint8_t, kIndexDescriptorSize>(
            bytes.data() + kDescriptorsAt + static_cast<std::size_t>(i) * kIndexDescriptorSize,
            kIndexDescriptorSize);
    };
    const auto write = [&](int at, const TIndexDescriptor& descriptor) {
        const auto out = place(at);
        // Temporary indexes belong to this process: other processes and
        // later opens never see them.
        if (descriptor.Temporary)
            std::fill(out.begin(), out.end(), std::uint8_t{0});
        else
            descriptor.Pack(out);
    };
    write(kPrimaryIndex, Descriptor(kPrimaryIndex));
    write(kDeletedIndex, Descriptor(kDeletedIndex));
    write(kTextIndexNumber, Descriptor(kTextIndexNumber));
    // The secondary indexes that are not temporary, closed up: one added
    // after a temporary index must not land beyond the count written.
    int written = 0;
    for (int i = 1; i <= kMaxSecondaryIndexes; ++i) {
        if (i <= SecondaryCount() && !Descriptor(i).Temporary) write(++written, Descriptor(i));
    }
    for (int i = written + 1; i <= kMaxSecondaryIndexes; ++i) {
        const auto out = place(i);
        std::fill(out.begin(), out.end(), std::uint8_t{0});
    }
    bytes[13] = static_cast<std::uint8_t>(written);
    bytes[kChangedMarkAt] = changedMark ? 1 : 0;
    if (encrypted) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    return bytes;
}

void TIndexFileHeader::FromDisk(std::span<const std::uint8_t, kSize> bytes, bool encrypted) {
    std::copy(bytes.begin(), bytes.end(), FBytes.begin());
    if (encrypted) ScrambleBytes(FBytes.data(), FBytes.size(), kDataSeeds);
    // Most of the 33 places are empty (all zeros), which is what a default
    // descriptor unpacks from: only the others need unpacking.
    static constexpr std::array<std::uint8_t, kIndexDescriptorSize> kEmpty{};
    std::uint64_t set = 0;
    for (int i = 0; i < kIndexCount; ++i) {
        const std::span<const std::uint8_t, kIndexDescriptorSize> place(
            FBytes.data() + kDescriptorsAt + static_cast<std::size_t>(i) * kIndexDescriptorSize,
            kIndexDescriptorSize);
        TIndexDescriptor& descriptor = FDescriptors[static_cast<std::size_t>(i)];
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (std::memcmp(place.data(), kEmpty.data(), kEmpty.size()) != 0) {
            descriptor = TIndexDescriptor::Unpack(place);
            set |= bit;
        } else if ((FMaybeSet & bit) != 0) {
            descriptor = TIndexDescriptor{};
        }
    }
    FMaybeSet = set;
    FDescriptorStamp = NewDescriptorStamp();
}

TIndexFileHeader::TLeadingFields TIndexFileHeader::LeadingFieldsOnDisk(
    std::span<const std::uint8_t, kSize> bytes, bool encrypted) {
    std::array<std::uint8_t, 16> lead{};
    std::copy_n(bytes.begin(), lead.size(), lead.begin());
    if (encrypted) ScrambleBytes(lead.data(), lead.size(), kDataSeeds);
    return {le::GetI32(lead, 9), lead[13]};
}

}  // namespace pirin
