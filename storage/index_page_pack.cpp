// Packing and unpacking of index pages, and the d and t of compressed leaf
// entries. Layout of the 13-byte header and the entries: see
// doc/index-file-format.md.
#include <algorithm>
#include <cstring>

#include "errors/engine_error.h"
#include "storage/index_page.h"
#include "storage/little_endian.h"

namespace pirin {

using namespace le;

namespace {

constexpr std::size_t kTypeAt = 0;
constexpr std::size_t kCountAt = 1;
constexpr std::size_t kPreviousAt = 3;
constexpr std::size_t kNextAt = 7;
constexpr std::size_t kUsedAt = 11;
constexpr std::size_t kSuffix = kRowSuffixSize;

bool HasPrefix(TIndexCompression c) {
    return c == TIndexCompression::Duplicate || c == TIndexCompression::Full;
}
bool HasTrailing(TIndexCompression c) {
    return c == TIndexCompression::Trailing || c == TIndexCompression::Full;
}
// Bytes before the key part of a packed leaf entry: d and/or t.
std::size_t CountBytes(TIndexCompression c) {
    return (HasPrefix(c) ? 1u : 0u) + (HasTrailing(c) ? 1u : 0u);
}

// Which key bytes a leaf entry stores: `HeadLength` bytes from `HeadFrom`,
// then, when `Tail`, the 4-byte row suffix. Everything else is the previous
// key's first d bytes or zeros.
struct TStoredRuns {
    std::size_t HeadFrom = 0;
    std::size_t HeadLength = 0;
    bool Tail = false;
    std::size_t Length() const { return HeadLength + (Tail ? kSuffix : 0); }
};

// True when the row suffix of a non-unique key is written apart from the
// rest: the dropped zeros then lie before it.
bool SplitSuffix(TIndexCompression c, bool unique, std::size_t k, std::size_t d) {
    if (unique) return false;
    if (c == TIndexCompression::Trailing) return true;
    return c == TIndexCompression::Full && k - d >= kSuffix + 1;
}

// Largest t for an entry with this d: trailing zeros are only dropped from
// the bytes after the shared prefix and, in a non-unique index, before the
// row suffix. A non-unique key whose shared prefix reaches into the row
// suffix drops none, so the suffix is always written whole.
std::size_t TrailingLimit(TIndexCompression c, bool unique, std::size_t k, std::size_t d) {
    if (!HasTrailing(c)) return 0;
    if (SplitSuffix(c, unique, k, d)) return k - kSuffix - d;
    if (!unique) return 0;
    return k - d;
}

TStoredRuns StoredRuns(TIndexCompression c, bool unique, std::size_t k, std::size_t d,
                       std::size_t t) {
    if (SplitSuffix(c, unique, k, d)) return {d, k - kSuffix - t - d, true};
    return {d, k - d - t, false};
}

// Key runs of compressed leaves are copied in steps of this many bytes.
constexpr std::size_t kCopyStep = 16;

constexpr std::size_t RoundedToSteps(std::size_t count) {
    return (count + kCopyStep - 1) / kCopyStep * kCopyStep;
}

// Copies `count` bytes in whole steps: reads and writes up to a step less
// one byte past the run. Each step goes through a local copy, so `from` may
// overlap `to` (a key shorter than a step reading the key before it).
inline void CopySteps(std::uint8_t* to, const std::uint8_t* from, std::size_t count) {
    for (std::size_t done = 0; done < count; done += kCopyStep) {
        std::uint8_t step[kCopyStep];
        std::memcpy(step, from + done, kCopyStep);
        std::memcpy(to + done, step, kCopyStep);
    }
}

// Zeros `count` bytes in whole steps (writing up to a step less one byte
// past them).
inline void ZeroSteps(std::uint8_t* to, std::size_t count) {
    for (std::size_t done = 0; done < count; done += kCopyStep) std::memset(to + done, 0, kCopyStep);
}

}  // namespace

std::size_t TPage::EntrySize(std::size_t index) const noexcept {
    if (!CompressedLeaf()) return FixedEntrySize();
    const std::size_t k = KeyLength();
    return CountBytes(FConfig.Compression) + (k - FPrefix[index] - FTrailing[index]) + 4;
}

void TPage::Repack(std::size_t index) const noexcept {
    if (!CompressedLeaf()) {
        FPrefix[index] = FTrailing[index] = 0;
        return;
    }
    FPackedSize -= EntrySize(index);
    const TIndexCompression c = FConfig.Compression;
    const std::size_t k = KeyLength();
    const std::uint8_t* key = KeyAt(index);
    std::size_t d = 0;
    if (HasPrefix(c) && index > 0) {
        const std::uint8_t* previous = KeyAt(index - 1);
        const std::size_t cap = std::min<std::size_t>(k, kMaxPackedRun);
        while (d < cap && key[d] == previous[d]) ++d;
    }
    std::size_t t = 0;
    const std::size_t limit =
        std::min<std::size_t>(TrailingLimit(c, FConfig.Unique, k, d), kMaxPackedRun);
    // Zeros are counted back from the row suffix when it is written apart.
    const std::size_t end = SplitSuffix(c, FConfig.Unique, k, d) ? k - kSuffix : k;
    while (t < limit && key[end - 1 - t] == 0) ++t;
    FPrefix[index] = static_cast<std::uint8_t>(d);
    FTrailing[index] = static_cast<std::uint8_t>(t);
    FPackedSize += EntrySize(index);
}

void TPage::RepackAll() noexcept {
    FPackingPending = false;
    FPackedSize = 0;
    for (std::size_t i = 0; i < FRefs.size(); ++i) {
        FPrefix[i] = FTrailing[i] = 0;
        FPackedSize += EntrySize(i);
    }
    for (std::size_t i = 0; i < FRefs.size(); ++i) Repack(i);
}

bool TPage::StoredPackingIsOwn(std::size_t index) const noexcept {
    const TIndexCompression c = FConfig.Compression;
    const std::size_t k = KeyLength();
    const std::uint8_t* key = KeyAt(index);
    const std::size_t d = FPrefix[index];
    const std::size_t t = FTrailing[index];
    // The first d bytes equal the previous key's and the t dropped bytes are
    // zeros by the way they were read: only the bytes next to them decide.
    if (HasPrefix(c) && index > 0) {
        const std::size_t cap = std::min<std::size_t>(k, kMaxPackedRun);
        if (d < cap && key[d] == KeyAt(index - 1)[d]) return false;
    } else if (d != 0) {
        return false;
    }
    const std::size_t limit =
        std::min<std::size_t>(TrailingLimit(c, FConfig.Unique, k, d), kMaxPackedRun);
    const std::size_t end = SplitSuffix(c, FConfig.Unique, k, d) ? k - kSuffix : k;
    if (t > limit) return false;
    return t == limit || key[end - 1 - t] != 0;
}

void TPage::EnsurePacking() const noexcept {
    if (!FPackingPending) return;
    FPackingPending = false;
    // Pages this engine wrote store the d and t Repack computes; only other
    // entries (a writer that shared or dropped fewer bytes) are computed.
    FPackedSize = 0;
    for (std::size_t i = 0; i < FRefs.size(); ++i) {
        FPackedSize += EntrySize(i);
        if (!StoredPackingIsOwn(i)) Repack(i);
    }
}

void TPage::Pack(std::span<std::uint8_t> out) const {
    if (out.size() < kPageSize) RaiseCorrupt();
    EnsurePacking();
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    out[kTypeAt] = static_cast<std::uint8_t>(FType);
    PutI32(out, kPreviousAt, FPrevious);
    PutI32(out, kNextAt, FNext);
    if (IsParameterPage()) {
        std::copy(FParameter.begin(), FParameter.end(), out.begin() + kHeaderSize);
        return;
    }
    if (FFree) return;  // a free page is written with no entries
    // Uncompressed pages above their maximum are caught here as well:
    // MaxEntries + 1 fixed-size entries never fit in 4083 bytes.
    if (FPackedSize > kDataSize) RaiseCorrupt();
    PutU16(out, kCountAt, static_cast<std::uint16_t>(NumberOfEntries()));
    PutU16(out, kUsedAt, static_cast<std::uint16_t>(FPackedSize));
    if (FRaw) {
        // Entries as read are their own packing.
        // (an empty page has no entry bytes to copy, and maybe no buffer)
        if (FRawCount != 0)
            std::memcpy(out.data() + kHeaderSize, FRawEntries.data(), FRawCount * FRawStride);
        return;
    }

    const std::size_t k = KeyLength();
    const TIndexCompression c = IsLeaf() ? FConfig.Compression : TIndexCompression::None;
    const bool counted = !IsLeaf() && FConfig.HasCounts();
    std::size_t at = kHeaderSize;
    for (std::size_t i = 0; i < FRefs.size(); ++i) {
        const std::uint8_t* key = KeyAt(i);
        const std::size_t d = FPrefix[i];
        const std::size_t t = FTrailing[i];
        if (HasPrefix(c)) out[at++] = static_cast<std::uint8_t>(d);
        if (HasTrailing(c)) out[at++] = static_cast<std::uint8_t>(t);
        const TStoredRuns runs = StoredRuns(c, FConfig.Unique, k, d, t);
        std::memcpy(out.data() + at, key + runs.HeadFrom, runs.HeadLength);
        at += runs.HeadLength;
        if (runs.Tail) {
            std::memcpy(out.data() + at, key + k - kSuffix, kSuffix);
            at += kSuffix;
        }
        PutI32(out, at, FRefs[i]);
        at += 4;
        if (counted) {
            PutI32(out, at, FCounts[i]);
            at += 4;
        }
    }
}

void TPage::Unpack(std::span<const std::uint8_t> bytes, const TPageConfig& config) {
    const auto corrupt = [&config]() {
        RaiseEngineError(PIRIN_INDEXCORRUPT,
                         {.table = config.TableName, .index = config.IndexName});
    };
    if (bytes.size() < kPageSize) corrupt();
    const std::uint8_t typeByte = bytes[kTypeAt];
    if (typeByte > static_cast<std::uint8_t>(TPageType::Parameter)) corrupt();
    const auto type = static_cast<TPageType>(typeByte);
    const std::size_t n = GetU16(bytes, kCountAt);
    const bool leaf = type == TPageType::Leaf || type == TPageType::RootLeaf;
    if (type == TPageType::Parameter) {
        // Nothing can fail from here on.
        ClearEntries();
        FParameter.assign(bytes.begin() + kHeaderSize, bytes.begin() + kPageSize);
    } else if (!leaf || config.Compression == TIndexCompression::None) {
        LoadFixed(bytes, config, type, n);
    } else {
        UnpackCompressed(bytes, config, n);
    }
    FConfig = config;
    FType = type;
    FPrevious = GetI32(bytes, kPreviousAt);
    FNext = GetI32(bytes, kNextAt);
    FFree = false;
}

std::size_t TPage::StoredExtent(std::span<const std::uint8_t> header,
                                const TPageConfig& config) noexcept {
    if (header.size() < kHeaderSize) return kPageSize;
    const std::uint8_t type = header[kTypeAt];
    const bool leaf = type == static_cast<std::uint8_t>(TPageType::Leaf) ||
                      type == static_cast<std::uint8_t>(TPageType::RootLeaf);
    if (type >= static_cast<std::uint8_t>(TPageType::Parameter) ||
        (leaf && config.Compression != TIndexCompression::None))
        return kPageSize;
    // The entries LoadFixed reads.
    const bool counted = !leaf && config.HasCounts();
    const std::size_t entrySize = config.KeyLength + 4u + (counted ? 4u : 0u);
    const std::size_t n = GetU16(header, kCountAt);
    return n * entrySize > kDataSize ? kPageSize : kHeaderSize + n * entrySize;
}

// Fixed-size entries: checked first, then kept as read (see Unraw), in a
// buffer that keeps its size from the page's last use.
void TPage::LoadFixed(std::span<const std::uint8_t> bytes, const TPageConfig& config,
                      TPageType type, std::size_t n) {
    const bool leaf = type == TPageType::Leaf || type == TPageType::RootLeaf;
    const bool counted = !leaf && config.HasCounts();
    const std::size_t k = config.KeyLength;
    const std::size_t entrySize = k + 4 + (counted ? 4 : 0);
    if (n * entrySize > kDataSize) {
        RaiseEngineError(PIRIN_INDEXCORRUPT,
                         {.table = config.TableName, .index = config.IndexName});
    }
    const std::uint8_t* entries = bytes.data() + kHeaderSize;
    if (!leaf) {
        // A child must be a page; a subtree cannot hold fewer than 0 keys.
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* entry = entries + i * entrySize;
            if (LoadI32(entry + k) <= 0 || (counted && LoadI32(entry + k + 4) < 0))
                RaiseEngineError(PIRIN_INDEXCORRUPT,
                                 {.table = config.TableName, .index = config.IndexName});
        }
    }
    // Nothing can fail from here on (but the allocation).
    FRawEntries.assign(entries, entries + n * entrySize);
    ClearEntries();
    FParameter.clear();
    FRaw = true;
    FRawCount = n;
    FRawStride = entrySize;
    FPackedSize = n * entrySize;
    FPackingPending = false;
}

// Compressed leaves: each entry is checked as it is decoded, into scratch
// buffers of the thread that are swapped with the page's own at the end (so
// a damaged page leaves the page as it was, and both keep their
// allocations). The d and t read are kept; EnsurePacking checks them when
// the packing is first needed.
void TPage::UnpackCompressed(std::span<const std::uint8_t> bytes, const TPageConfig& config,
                             std::size_t n) {
    const auto corrupt = [&config]() {
        RaiseEngineError(PIRIN_INDEXCORRUPT,
                         {.table = config.TableName, .index = config.IndexName});
    };
    const TIndexCompression c = config.Compression;
    const std::size_t k = config.KeyLength;
    const bool hasPrefix = HasPrefix(c);
    const bool hasTrailing = HasTrailing(c);
    const std::size_t countBytes = CountBytes(c);
    // Every entry takes its count bytes and a reference at least: a count
    // beyond that cannot be decoded (and must not size the buffers).
    if (GetU16(bytes, kUsedAt) > kDataSize || n * (countBytes + 4) > kDataSize) corrupt();
    thread_local TUninitBytes keys;
    thread_local TEntryInts refs;
    thread_local TUninitBytes storedPrefix;
    thread_local TUninitBytes storedTrailing;
    // Every key byte is written below: resizing leaves the new bytes as
    // they are instead of clearing them first. The keys are copied in
    // whole steps that may run up to a step past the last key, into room
    // given back at the end.
    keys.resize(n * k + kCopyStep);
    refs.resize(n);
    storedPrefix.resize(n);
    storedTrailing.resize(n);
    const std::uint8_t* const in = bytes.data();
    std::uint8_t* key = keys.data();
    std::int32_t* const ref = refs.data();
    std::uint8_t* const prefix = storedPrefix.data();
    std::uint8_t* const trailing = storedTrailing.data();
    std::size_t at = kHeaderSize;
    for (std::size_t i = 0; i < n; ++i, key += k) {
        if (kPageSize - at < countBytes) corrupt();
        const std::size_t d = hasPrefix ? in[at++] : 0;
        const std::size_t t = hasTrailing ? in[at++] : 0;
        // The first key has no previous key to share bytes with.
        if (d > kMaxPackedRun || t > kMaxPackedRun || d > k || (i == 0 && d != 0)) corrupt();
        // The key is d shared bytes, the bytes stored up to `headEnd`, t
        // zeros up to `body`, then, when written apart, the row suffix.
        // The largest t read is every byte between the prefix and the
        // suffix: the writer never drops zeros from a non-unique key whose
        // shared prefix reaches into the row suffix, but the layout itself
        // is read as it stands. (Without trailing compression t is 0.)
        const bool split = SplitSuffix(c, config.Unique, k, d);
        const std::size_t body = split ? k - kSuffix : k;
        if (t > body - d) corrupt();
        const std::size_t headEnd = body - t;
        const std::size_t head = headEnd - d;
        if (kPageSize - at < head + (split ? kSuffix : 0) + 4) corrupt();
        prefix[i] = static_cast<std::uint8_t>(d);
        trailing[i] = static_cast<std::uint8_t>(t);
        // Each run is written in whole steps, in key order: what a step
        // writes past the end of its run is overwritten by the next run (or
        // the next key) before anyone reads it.
        CopySteps(key, key - k, d);
        if (bytes.size() - at >= RoundedToSteps(head))
            CopySteps(key + d, in + at, head);
        else
            std::memcpy(key + d, in + at, head);
        at += head;
        ZeroSteps(key + headEnd, t);
        if (split) {
            std::memcpy(key + body, in + at, kSuffix);
            at += kSuffix;
        }
        ref[i] = LoadI32(in + at);
        at += 4;
    }
    keys.resize(n * k);

    FCounts.assign(n, 0);
    // Nothing can fail from here on.
    FRaw = false;
    FRawCount = 0;
    FKeys.swap(keys);
    FRefs.swap(refs);
    FPrefix.swap(storedPrefix);
    FTrailing.swap(storedTrailing);
    FParameter.clear();
    FPackingPending = true;
}

}  // namespace pirin
