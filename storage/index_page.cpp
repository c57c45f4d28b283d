#include "storage/index_page.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "errors/engine_error.h"

namespace pirin {

namespace {

// The sum of count(0) .. count(n - 1), four sums at a time: a descent, and
// every insertion that reports its position, adds up half an interior page
// per level.
template <class TCount>
std::int64_t SumOfFirst(std::size_t n, TCount count) {
    std::int64_t first = 0;
    std::int64_t second = 0;
    std::int64_t third = 0;
    std::int64_t fourth = 0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        first += count(i);
        second += count(i + 1);
        third += count(i + 2);
        fourth += count(i + 3);
    }
    for (; i < n; ++i) first += count(i);
    return first + second + third + fourth;
}

}  // namespace

TPageConfig TPageConfig::FromDescriptor(int indexNumber, const TIndexDescriptor& descriptor,
                                        const TKeyDescription* keys, std::string_view tableName) {
    TPageConfig config;
    config.IndexNumber = indexNumber;
    config.KeyLength = descriptor.KeyLength;
    config.Descending = descriptor.Descending;
    config.Unique = descriptor.Unique;
    config.NoCounts = descriptor.NoCounts || indexNumber == kTextIndex;
    config.Compression = descriptor.CompressionKind();
    config.Keys = keys;
    config.TableName = tableName;
    config.IndexName = descriptor.Name;
    return config;
}

bool TPageConfig::Valid() const noexcept {
    const int minimum = Unique ? 1 : kRowSuffixSize;
    return KeyLength >= minimum && KeyLength <= kMaxKeyLength && IndexNumber >= 0 &&
           IndexNumber < kIndexCount && static_cast<std::uint8_t>(Compression) <= 3 &&
           Keys != nullptr;
}

bool TPageConfig::SameFormat(const TPageConfig& other) const noexcept {
    return IndexNumber == other.IndexNumber && KeyLength == other.KeyLength &&
           Unique == other.Unique && HasCounts() == other.HasCounts() &&
           Compression == other.Compression;
}

TPage::TPage(std::size_t unitSize) : TCacheUnit(unitSize, false) {}

TPage::~TPage() = default;

void TPage::RaiseCorrupt() const {
    RaiseEngineError(PIRIN_INDEXCORRUPT, {.table = FConfig.TableName, .index = FConfig.IndexName});
}

void TPage::RaiseKeySize() const {
    RaiseEngineError(PIRIN_INVALIDKEY, {.table = FConfig.TableName, .index = FConfig.IndexName});
}

void TPage::CheckPosition(int position, int last) const {
    if (!FAttached || position < 1 || position > last) RaiseCorrupt();
}

void TPage::CheckSameFormat(const TPage& other) const {
    if (&other == this || !FAttached || !other.FAttached || !FConfig.SameFormat(other.FConfig) ||
        IsLeaf() != other.IsLeaf() || IsParameterPage() || other.IsParameterPage())
        RaiseCorrupt();
}

// --- settings ---------------------------------------------------------------

void TPage::AttachAnew(const TPageConfig& config) {
    // Settings an attached page holds were valid when it took them (Attach
    // skips those).
    if (!config.Valid()) {
        // Report with the names the caller gave, whatever else is wrong.
        RaiseEngineError(PIRIN_INDEXCORRUPT,
                         {.table = config.TableName, .index = config.IndexName});
    }
    if (FAttached) {
        if (!FConfig.SameFormat(config)) RaiseCorrupt();
        FConfig = config;
        return;
    }
    if (FPending) {
        Unpack(FPendingBytes, config);
        FPending = false;
        FPendingBytes.clear();
    } else {
        ClearEntries();
        FType = TPageType::Leaf;
        FPrevious = FNext = 0;
        FFree = false;
    }
    FConfig = config;
    FAttached = true;
}

void TPage::Format(const TPageConfig& config, TPageType type) {
    if (!config.Valid() || static_cast<std::uint8_t>(type) > 4)
        RaiseEngineError(PIRIN_INDEXCORRUPT,
                         {.table = config.TableName, .index = config.IndexName});
    FConfig = config;
    FAttached = true;
    FPending = false;
    FPendingBytes.clear();
    FType = type;
    FPrevious = FNext = 0;
    FFree = false;
    ClearEntries();
    FParameter.assign(type == TPageType::Parameter ? kDataSize : 0, 0);
    MarkDirty();
}

// --- header -----------------------------------------------------------------

void TPage::SetType(TPageType type) {
    if (static_cast<std::uint8_t>(type) > 4) RaiseCorrupt();
    const bool leaf = type == TPageType::Leaf || type == TPageType::RootLeaf;
    const bool parameter = type == TPageType::Parameter;
    if ((leaf != IsLeaf() || parameter != IsParameterPage()) && NumberOfEntries() != 0) RaiseCorrupt();
    Unraw();
    // Entries stay only where the kind stays (root to non-root and back), and
    // with it the packing: only a kind change, of an empty page, repacks.
    const bool sameKind = leaf == IsLeaf() && parameter == IsParameterPage();
    FType = type;
    if (parameter && FParameter.size() != kDataSize) FParameter.assign(kDataSize, 0);
    if (!sameKind) RepackAll();
    MarkDirty();
}

void TPage::SetPrevious(std::int32_t page) noexcept {
    FPrevious = page;
    MarkDirty();
}

void TPage::SetNext(std::int32_t page) noexcept {
    FNext = page;
    MarkDirty();
}

void TPage::MarkFree(std::int32_t nextFree) noexcept {
    ClearEntries();
    FParameter.clear();
    FNext = nextFree;
    FFree = true;
    MarkDirty();
}

std::span<std::uint8_t> TPage::ParameterData() noexcept {
    if (FParameter.size() != kDataSize) FParameter.assign(kDataSize, 0);
    MarkDirty();
    return FParameter;
}

std::span<const std::uint8_t> TPage::ParameterData() const noexcept { return FParameter; }

// --- entries ----------------------------------------------------------------

void TPage::Unraw() {
    if (!FRaw) return;
    const std::size_t n = FRawCount;
    const std::size_t k = KeyLength();
    const bool counted = FRawStride > k + 4;
    FKeys.resize(n * k);
    FRefs.resize(n);
    FCounts.resize(n);
    FPrefix.assign(n, 0);
    FTrailing.assign(n, 0);
    std::uint8_t* keys = FKeys.data();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* entry = FRawEntries.data() + i * FRawStride;
        std::memcpy(keys + i * k, entry, k);
        FRefs[i] = LoadI32(entry + k);
        FCounts[i] = counted ? LoadI32(entry + k + 4) : 0;
    }
    // The bytes read stay as they were: a key taken from them before the
    // edit is still there to be copied.
    FRaw = false;
}

void TPage::ReserveEntries(std::size_t extra) {
    const std::size_t wanted = FRefs.size() + extra;
    if (wanted <= FRefs.capacity()) return;
    const std::size_t room =
        std::max({wanted, 2 * FRefs.size(), static_cast<std::size_t>(MaxEntries()) + 1});
    FKeys.reserve(room * KeyLength());
    FRefs.reserve(room);
    FCounts.reserve(room);
    FPrefix.reserve(room);
    FTrailing.reserve(room);
}

void TPage::CopyEntries(std::vector<std::uint8_t>& keys, std::size_t& stride,
                        std::vector<std::int32_t>& refs) const {
    const std::size_t n = static_cast<std::size_t>(NumberOfEntries());
    if (!FRaw) {
        keys.assign(FKeys.begin(), FKeys.begin() + static_cast<std::ptrdiff_t>(n * KeyLength()));
        stride = KeyLength();
        refs.assign(FRefs.begin(), FRefs.end());
        return;
    }
    keys.assign(FRawEntries.begin(), FRawEntries.begin() + static_cast<std::ptrdiff_t>(n * FRawStride));
    stride = FRawStride;
    refs.resize(n);
    // The references follow the keys in the entries as read.
    const std::uint8_t* at = FRawEntries.data() + KeyLength();
    for (std::size_t i = 0; i < n; ++i, at += FRawStride) refs[i] = LoadI32(at);
}

bool TPage::CopyEntriesWithReferences(std::vector<std::uint8_t>& keys, std::size_t& stride,
                                      std::vector<std::int32_t>& refs) const {
    if (!FRaw) {
        CopyEntries(keys, stride, refs);
        return false;
    }
    const std::size_t n = static_cast<std::size_t>(NumberOfEntries());
    keys.assign(FRawEntries.begin(), FRawEntries.begin() + static_cast<std::ptrdiff_t>(n * FRawStride));
    stride = FRawStride;
    refs.clear();
    return true;
}

std::span<const std::uint8_t> TPage::EntryKey(int position) const {
    CheckPosition(position, NumberOfEntries());
    return {KeyAt(static_cast<std::size_t>(position - 1)), KeyLength()};
}

std::int32_t TPage::EntryReference(int position) const {
    CheckPosition(position, NumberOfEntries());
    return RefAt(static_cast<std::size_t>(position - 1));
}

std::int32_t TPage::EntryCount(int position) const {
    CheckPosition(position, NumberOfEntries());
    return CountAt(static_cast<std::size_t>(position - 1));
}

// Entries as read are never compressed: no d and t.
int TPage::EntryPrefix(int position) const {
    CheckPosition(position, NumberOfEntries());
    if (FRaw) return 0;
    EnsurePacking();
    return FPrefix[static_cast<std::size_t>(position - 1)];
}

int TPage::EntryTrailing(int position) const {
    CheckPosition(position, NumberOfEntries());
    if (FRaw) return 0;
    EnsurePacking();
    return FTrailing[static_cast<std::size_t>(position - 1)];
}

void TPage::SetEntryKey(int position, std::span<const std::uint8_t> key) {
    CheckPosition(position, NumberOfEntries());
    if (key.size() < KeyLength()) RaiseKeySize();
    Unraw();
    EnsurePacking();
    const auto index = static_cast<std::size_t>(position - 1);
    std::copy_n(key.begin(), KeyLength(),
                FKeys.begin() + static_cast<std::ptrdiff_t>(index * KeyLength()));
    Repack(index);
    if (index + 1 < FRefs.size()) Repack(index + 1);
    MarkDirty();
}

void TPage::SetEntryReference(int position, std::int32_t reference) {
    CheckPosition(position, NumberOfEntries());
    Unraw();
    FRefs[static_cast<std::size_t>(position - 1)] = reference;
    MarkDirty();
}

void TPage::SetEntryCount(int position, std::int32_t count) {
    CheckPosition(position, NumberOfEntries());
    if (IsLeaf() || !FConfig.HasCounts()) return;
    Unraw();
    FCounts[static_cast<std::size_t>(position - 1)] = count;
    MarkDirty();
}

void TPage::AdjustEntryCount(int position, std::int32_t delta) {
    CheckPosition(position, NumberOfEntries());
    if (IsLeaf() || !FConfig.HasCounts()) return;
    Unraw();
    auto& count = FCounts[static_cast<std::size_t>(position - 1)];
    const std::int64_t adjusted = std::int64_t{count} + delta;
    // A count below zero or past 32 bits means the counts on the path are
    // already wrong.
    if (adjusted < 0 || adjusted > INT32_MAX) RaiseCorrupt();
    count = static_cast<std::int32_t>(adjusted);
    MarkDirty();
}

std::int64_t TPage::PageTotal() const noexcept {
    if (IsLeaf()) return NumberOfEntries();
    return SumOfFirst(static_cast<std::size_t>(NumberOfEntries()),
                      [&](std::size_t i) { return CountAt(i); });
}

std::int64_t TPage::KeysBefore(int position) const {
    CheckPosition(position, NumberOfEntries() + 1);
    if (IsLeaf()) return position - 1;
    const auto count = static_cast<std::size_t>(position - 1);
    if (!FRaw) return SumOfFirst(count, [&](std::size_t i) { return FCounts[i]; });
    // Entries as read carry a count where the stride has room for one.
    if (FRawStride <= KeyLength() + 4) return 0;
    const std::size_t stride = FRawStride;
    const std::uint8_t* counts = FRawEntries.data() + KeyLength() + 4;
    return SumOfFirst(count, [&](std::size_t i) { return LoadI32(counts + i * stride); });
}

// --- edits ------------------------------------------------------------------

void TPage::InsertEntry(int position, std::span<const std::uint8_t> key, std::int32_t reference,
                        std::int32_t count) {
    CheckPosition(position, NumberOfEntries() + 1);
    if (IsParameterPage()) RaiseCorrupt();
    if (key.size() < KeyLength()) RaiseKeySize();
    Unraw();
    EnsurePacking();
    const auto index = static_cast<std::size_t>(position - 1);
    const auto k = static_cast<std::ptrdiff_t>(KeyLength());
    // A key of this very page (a caller copying an entry) would move while
    // the keys grow: insert from a copy.
    const std::uint8_t* keys = FKeys.data();
    const std::less<const std::uint8_t*> before;
    if (!before(key.data(), keys) && before(key.data(), keys + FKeys.size())) {
        const std::vector<std::uint8_t> copy(key.begin(), key.begin() + k);
        InsertEntry(position, copy, reference, count);
        return;
    }
    ReserveEntries(1);
    FKeys.insert(FKeys.begin() + static_cast<std::ptrdiff_t>(index) * k, key.begin(),
                 key.begin() + k);
    FRefs.insert(FRefs.begin() + static_cast<std::ptrdiff_t>(index), reference);
    const bool counted = !IsLeaf() && FConfig.HasCounts();
    FCounts.insert(FCounts.begin() + static_cast<std::ptrdiff_t>(index), counted ? count : 0);
    FPrefix.insert(FPrefix.begin() + static_cast<std::ptrdiff_t>(index), 0);
    FTrailing.insert(FTrailing.begin() + static_cast<std::ptrdiff_t>(index), 0);
    if (CompressedLeaf()) {
        FPackedSize += EntrySize(index);
        Repack(index);
        if (index + 1 < FRefs.size()) Repack(index + 1);
    } else {
        // Fixed-size entries: no d and t to work out.
        FPackedSize += FixedEntrySize();
    }
    FFree = false;
    MarkDirty();
}

void TPage::DeleteEntry(int position) {
    CheckPosition(position, NumberOfEntries());
    Unraw();
    EnsurePacking();
    const auto index = static_cast<std::size_t>(position - 1);
    const auto k = static_cast<std::ptrdiff_t>(KeyLength());
    FPackedSize -= EntrySize(index);
    const auto at = static_cast<std::ptrdiff_t>(index);
    FKeys.erase(FKeys.begin() + at * k, FKeys.begin() + (at + 1) * k);
    FRefs.erase(FRefs.begin() + at);
    FCounts.erase(FCounts.begin() + at);
    FPrefix.erase(FPrefix.begin() + at);
    FTrailing.erase(FTrailing.begin() + at);
    if (index < FRefs.size()) Repack(index);
    MarkDirty();
}

// --- capacity ---------------------------------------------------------------

bool TPage::CompressedLeaf() const noexcept {
    return IsLeaf() && FConfig.Compression != TIndexCompression::None;
}

std::size_t TPage::FixedEntrySize() const noexcept {
    const bool counted = !IsLeaf() && FConfig.HasCounts();
    return KeyLength() + 4 + (counted ? 4 : 0);
}

int TPage::MaxEntries() const noexcept {
    if (!FAttached) return 0;
    return static_cast<int>(kDataSize / FixedEntrySize());
}

bool TPage::Overflows() const noexcept {
    if (CompressedLeaf()) return PackedSize() > kDataSize;
    return NumberOfEntries() > MaxEntries();
}

bool TPage::IsUnderfull() const noexcept {
    if (CompressedLeaf() || IsParameterPage()) return false;
    return NumberOfEntries() < MaxEntries() / 2;
}

// --- cache hooks ------------------------------------------------------------

void TPage::ClearEntries() noexcept {
    FRaw = false;
    FRawCount = 0;
    FKeys.clear();
    FRefs.clear();
    FCounts.clear();
    FPrefix.clear();
    FTrailing.clear();
    FPackedSize = 0;
    FPackingPending = false;
}

void TPage::Reset() {
    TCacheUnit::Reset();
    ClearFields();
}

// The entry buffers keep their size: the page read next overwrites them, and
// resizing from a similar size clears next to nothing.
void TPage::ResetForLoad() {
    FConfig = {};
    FAttached = false;
    FPending = false;
    FType = TPageType::Leaf;
    FPrevious = FNext = 0;
    FFree = false;
    FPackingPending = false;
    FParameter.clear();
    FPendingBytes.clear();
}

void TPage::ClearFields() noexcept {
    ResetForLoad();
    ClearEntries();
}

void TPage::LoadBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kPageSize || Size() != kPageSize) RaiseCorrupt();
    if (FAttached) {
        // A refresh of a page of this index: unpack now, so that a damaged
        // page is refused while the cache can still leave it out.
        Unpack(bytes, FConfig);
        FPending = false;
        return;
    }
    FPendingBytes.assign(bytes.begin(), bytes.end());
    ClearEntries();
    FPending = true;
}

void TPage::LoadAttached(std::span<const std::uint8_t> bytes, const TPageConfig& config) {
    if (bytes.size() != kPageSize) RaiseCorrupt();
    if (!config.Valid()) {
        RaiseEngineError(PIRIN_INDEXCORRUPT,
                         {.table = config.TableName, .index = config.IndexName});
    }
    // A refresh of an attached page must keep its format, as in Attach.
    if (FAttached && !FConfig.SameFormat(config)) RaiseCorrupt();
    Unpack(bytes, config);
    FAttached = true;
    FPending = false;
}

void TPage::SaveBytes(std::span<std::uint8_t> out) const {
    if (!FAttached) {
        // Never looked at since it was read: the bytes read are the page
        // (none: a page never given anything is all zeros).
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        std::copy_n(FPendingBytes.begin(), std::min(out.size(), FPendingBytes.size()), out.begin());
        return;
    }
    Pack(out);
}

}  // namespace pirin
