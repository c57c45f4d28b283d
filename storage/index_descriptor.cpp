#include "storage/index_descriptor.h"

#include <algorithm>

#include "storage/little_endian.h"

namespace pirin {

namespace {

constexpr std::size_t kNameAt = 0;
constexpr std::size_t kKeyLengthAt = 31;
constexpr std::size_t kDescendingAt = 33;
constexpr std::size_t kCaseInsensitiveAt = 34;
constexpr std::size_t kUniqueAt = 35;
constexpr std::size_t kCompressionAt = 36;
constexpr std::size_t kFieldCountAt = 37;
constexpr std::size_t kFieldDescendingAt = 38;
constexpr std::size_t kFieldNumbersAt = 54;
constexpr std::size_t kRootPageAt = 86;
constexpr std::size_t kFirstFreePageAt = 90;
constexpr std::size_t kParameterPageAt = 96;
constexpr std::size_t kNoCountsAt = 100;
constexpr std::size_t kTemporaryAt = 101;

}  // namespace

TIndexDescriptor TIndexDescriptor::Unpack(
    std::span<const std::uint8_t, kIndexDescriptorSize> bytes) {
    TIndexDescriptor d;
    bool overlong = false;
    d.Name = le::GetShortString(bytes, kNameAt, kIndexNameLength, &overlong);
    if (overlong) d.WellFormed = false;
    d.KeyLength = le::GetU16(bytes, kKeyLengthAt);
    // Flags are booleans on disk; any nonzero byte counts as set.
    d.Descending = bytes[kDescendingAt] != 0;
    d.CaseInsensitive = bytes[kCaseInsensitiveAt] != 0;
    d.Unique = bytes[kUniqueAt] != 0;
    d.Compression = bytes[kCompressionAt];
    d.FieldCount = bytes[kFieldCountAt];
    if (d.FieldCount > kMaxKeyFields) d.WellFormed = false;
    for (int i = 0; i < kMaxKeyFields; ++i) {
        d.FieldDescending[i] = bytes[kFieldDescendingAt + i] != 0;
        d.FieldNumbers[i] = le::GetU16(bytes, kFieldNumbersAt + 2 * i);
    }
    d.RootPage = le::GetI32(bytes, kRootPageAt);
    d.FirstFreePage = le::GetI32(bytes, kFirstFreePageAt);
    d.ParameterPage = le::GetI32(bytes, kParameterPageAt);
    d.NoCounts = bytes[kNoCountsAt] != 0;
    d.Temporary = bytes[kTemporaryAt] != 0;
    return d;
}

void TIndexDescriptor::Pack(std::span<std::uint8_t, kIndexDescriptorSize> out) const {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    le::PutShortString(out, kNameAt, kIndexNameLength, Name);
    le::PutU16(out, kKeyLengthAt, KeyLength);
    out[kDescendingAt] = Descending ? 1 : 0;
    out[kCaseInsensitiveAt] = CaseInsensitive ? 1 : 0;
    out[kUniqueAt] = Unique ? 1 : 0;
    out[kCompressionAt] = Compression;
    out[kFieldCountAt] = std::min<std::uint8_t>(FieldCount, kMaxKeyFields);
    for (int i = 0; i < kMaxKeyFields; ++i) {
        out[kFieldDescendingAt + i] = FieldDescending[i] ? 1 : 0;
        le::PutU16(out, kFieldNumbersAt + 2 * i, FieldNumbers[i]);
    }
    le::PutI32(out, kRootPageAt, RootPage);
    le::PutI32(out, kFirstFreePageAt, FirstFreePage);
    le::PutI32(out, kParameterPageAt, ParameterPage);
    out[kNoCountsAt] = NoCounts ? 1 : 0;
    out[kTemporaryAt] = Temporary ? 1 : 0;
}

TIndexDescriptor DeletedIndexDescriptor() {
    TIndexDescriptor d;
    d.Name = kDeletedIndexName;
    d.KeyLength = kDeletedIndexKeyLength;
    d.Compression = static_cast<std::uint8_t>(TIndexCompression::None);
    return d;
}

TIndexDescriptor TextIndexDescriptor() {
    TIndexDescriptor d;
    d.Name = kTextIndexName;
    d.KeyLength = kTextIndexKeyLength;
    d.Compression = static_cast<std::uint8_t>(TIndexCompression::Full);
    return d;
}

}  // namespace pirin
