// TIndexFile: key descriptions, the page caches, page allocation and the
// per-index free chains, and write-back. Free links come from disk and are
// untrusted: every one is checked against the page count, and a page taken
// from a free chain must be empty and held by nobody else, so a damaged chain
// ends in 8965 instead of handing out a page that is still in a tree.
#include <algorithm>
#include <array>
#include <cerrno>

#include "errors/engine_error.h"
#include "storage/index_file.h"
#include "storage/scramble.h"

namespace pirin {

void TIndexFile::SetKeyLayout(std::span<const TFieldDescriptor> fields, std::uint16_t language,
                              std::uint16_t sort) {
    // The key descriptions change in place; pages keep pointing at them. A
    // closed file builds them when it opens (the header read brings the
    // descriptors they come from), so a layout set before opening costs
    // nothing here.
    FFields.assign(fields.begin(), fields.end());
    FLanguage = language;
    FSort = sort;
    if (IsOpen()) RebuildKeyDescriptions();
}

std::string_view TIndexFile::StableName(const std::string& name) {
    // Most of the 33 descriptors are unused and nameless.
    if (name.empty()) return {};
    if (FNames.empty() || FNames.back() != name) {
        for (const std::string& kept : FNames)
            if (kept == name) return kept;
        FNames.push_back(name);
    }
    return FNames.back();
}

void TIndexFile::RebuildKeyDescriptions() {
    for (int i = 0; i < kIndexCount; ++i) {
        const TIndexDescriptor& d = FHeader.Descriptor(i);
        FIndexNames[static_cast<std::size_t>(i)] = StableName(d.Name);
        TKeyDescription& keys = FKeys[static_cast<std::size_t>(i)];
        keys.IndexNumber = i;
        keys.Descending = d.Descending;
        keys.Language = FLanguage;
        keys.Sort = FSort;
        keys.Fields.clear();
        for (int f = 0; f < d.FieldCount && f < kMaxKeyFields; ++f) {
            const std::uint16_t number = d.FieldNumbers[static_cast<std::size_t>(f)];
            // A field the table lacks compares as bytes of no length; the
            // header check refuses such descriptors before the tree is used.
            if (number == 0 || number > FFields.size()) continue;
            const TFieldDescriptor& field = FFields[number - 1u];
            keys.Fields.push_back(
                {field.Type, field.KeySize(), d.FieldDescending[static_cast<std::size_t>(f)]});
        }
    }
}

const TKeyDescription& TIndexFile::KeyDescription(int index) const {
    if (index < 0 || index >= kIndexCount) Fail(PIRIN_INDEXCORRUPT);
    return FKeys[static_cast<std::size_t>(index)];
}

TPageConfig TIndexFile::PageConfig(int index) const {
    TPageConfig config = TPageConfig::FromDescriptor(index, GetIndexDescriptor(index),
                                                     &KeyDescription(index), FTableName);
    // Cached pages keep these views: they point into FNames, which never
    // changes what it holds.
    config.IndexName = FIndexNames[static_cast<std::size_t>(index)];
    return config;
}

void TIndexFile::SizeCaches() {
    FTableName = StableName(TableName());
    FPageBudget = PageCacheBudget(FContext.CacheBudgets());
    for (auto& cache : FCaches) {
        if (!cache) continue;
        cache->ResetStats();
        cache->SetBudget(FPageBudget);
    }
    FTemporaryFile.SetTableName(std::string(FTableName));
}

// Most tables use a few of their 33 indexes: a cache is made on first use,
// with the budget the last sizing gave them all. Temporary indexes have
// theirs made when they are bound (BindCache).
TPageCache& TIndexFile::CacheOf(int index) {
    if (index < 0 || index >= kIndexCount) Fail(PIRIN_INDEXCORRUPT);
    auto& cache = FCaches[static_cast<std::size_t>(index)];
    return cache ? *cache : MakeCache(cache);
}

TPageCache& TIndexFile::MakeCache(std::unique_ptr<TPageCache>& cache) {
    cache = std::make_unique<TPageCache>(FOwner, FStack, kPageCacheParams, FPageBudget);
    return *cache;
}

// Making a missing cache changes nothing anyone sees: an empty cache with the
// budget of all the others is what the file would have held.
const TPageCache& TIndexFile::Cache(int index) const {
    return const_cast<TIndexFile&>(*this).CacheOf(index);
}

void TIndexFile::TrimPages() {
    for (auto& cache : FCaches)
        if (cache) cache->Trim();
}

void TIndexFile::DiscardPages() {
    for (auto& cache : FCaches)
        if (cache) cache->DiscardAll();
}

void TIndexFile::DiscardPages(int index) {
    if (index < 0 || index >= kIndexCount) Fail(PIRIN_INDEXCORRUPT);
    if (auto& cache = FCaches[static_cast<std::size_t>(index)]) cache->DiscardAll();
}

void TIndexFile::RetirePages(int index) {
    TPageCache& cache = CacheOf(index);
    if (cache.Size() == 0) return;
    if (IsOpen()) (void)cache.WriteBack();
    cache.DiscardAll();
}

TPagePin TIndexFile::FetchPage(TChangeCheck* cursor, int index, std::int32_t page, bool isNew) {
    return Fetch(cursor, PageConfig(index), page, isNew);
}

TPagePin TIndexFile::FetchPage(TChangeCheck* cursor, const TPageConfig& config, std::int32_t page) {
    return Fetch(cursor, config, page, false);
}

TPagePin TIndexFile::Fetch(TChangeCheck* cursor, const TPageConfig& config, std::int32_t page,
                           bool isNew) {
    if (!IsOpen()) {
        errno = EBADF;
        Raise(PIRIN_READERR);
    }
    TPageCache& cache = CacheOf(config.IndexNumber);
    TTableUnitOwner::TAskingScope asking(FOwner, cursor);
    // A page read from disk is unpacked straight from the read buffer.
    struct TLoadingScope {
        const TPageConfig*& Loading;
        const TPageConfig* Previous;
        ~TLoadingScope() { Loading = Previous; }
    } loading{FLoadingConfig, FLoadingConfig};
    FLoadingConfig = &config;
    TPagePin pin = cache.Fetch(page);
    if (!pin) return pin;
    if (isNew)
        pin->Format(config, TPageType::Leaf);
    else
        pin->Attach(config);
    return pin;
}

TPagePin TIndexFile::FetchPageForWrite(TChangeCheck* cursor, int index, std::int32_t page) {
    TPagePin pin = FetchPage(cursor, index, page);
    // The caches were emptied under a change that cannot start over: what
    // it changed so far is gone, so the caller must read again.
    if (!pin) Fail(PIRIN_KEYORRECDELETED);
    return pin;
}

TPagePin TIndexFile::AllocatePage(TChangeCheck* cursor, int index, TPageType type) {
    TIndexDescriptor& d = FHeader.Descriptor(index);
    const TPageConfig config = PageConfig(index);
    const std::int32_t firstFree = d.FirstFreePage;
    if (firstFree == 0) {
        TPagePin pin = FetchPageForWrite(cursor, index, LastPageNumber(index) + 1);
        pin->Format(config, type);
        return pin;
    }
    if (firstFree < 0 || firstFree > LastPageNumber(index)) Fail(PIRIN_INDEXCORRUPT, d.Name);
    TPagePin pin = FetchPageForWrite(cursor, index, firstFree);
    const std::int32_t nextFree = pin->Next();
    // A free page holds no entries and nobody else holds it; otherwise the
    // chain runs into a page in use and must not hand it out.
    if (pin->PinCount() > 1 || pin->NumberOfEntries() != 0 || nextFree == firstFree ||
        nextFree < 0 || nextFree > LastPageNumber(index))
        Fail(PIRIN_INDEXCORRUPT, d.Name);
    d.FirstFreePage = nextFree;
    MarkChanged();
    pin->Format(config, type);
    return pin;
}

void TIndexFile::FreePage(TChangeCheck*, int index, TPage& page) {
    TIndexDescriptor& d = FHeader.Descriptor(index);
    const std::int32_t n = page.UnitNumber();
    if (n < 1 || n > LastPageNumber(index) || n == d.FirstFreePage)
        Fail(PIRIN_INDEXCORRUPT, d.Name);
    page.MarkFree(d.FirstFreePage);
    page.MarkDirty();
    d.FirstFreePage = n;
    MarkChanged();
}

std::size_t TIndexFile::WritePages(bool temporary) {
    FWritable.clear();
    for (int i = 0; i < kIndexCount; ++i) {
        const auto& cache = FCaches[static_cast<std::size_t>(i)];
        if (cache && FTemporaryBound[static_cast<std::size_t>(i)] == temporary)
            cache->CollectWritable(FWritable);
    }
    const std::uint64_t before = FWrites;
    TUnitCacheOwner& owner = temporary ? static_cast<TUnitCacheOwner&>(FTemporaryOwner) : FOwner;
    TPageCache::WriteRuns(owner, FWritable, TWriteOrder::ByUnitNumber, FWriteBuffer, FWrites);
    FWritable.clear();
    return static_cast<std::size_t>(FWrites - before);
}

// ---------------------------------------------------------------------------
// What the page caches ask.

void TIndexFile::LoadPage(TCacheUnit& unit, std::span<const std::uint8_t> bytes) {
    auto& page = static_cast<TPage&>(unit);
    if (FLoadingConfig != nullptr)
        page.LoadAttached(bytes, *FLoadingConfig);
    else
        page.LoadBytes(bytes);
}

void TIndexFile::TTemporaryOwner::UnscrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) {
    if (FIndex.FEncrypted) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
}

void TIndexFile::TTemporaryOwner::ScrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) {
    UnscrambleUnit(n, bytes);
}

void TIndexFile::TOwner::AdvanceNextUnitNumber() {
    FIndex.FHeader.SetNextPage(FIndex.FHeader.NextPage() + 1);
    FIndex.FHeaderChanged = true;
}

// A page is one run, started afresh from the data seeds. A page fetched for
// a known index needs only the bytes its loading reads in clear (the key of a
// byte depends only on its place): the rest of a page of fixed-size entries
// is never looked at.
void TIndexFile::TOwner::UnscrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) {
    if (!FIndex.FEncrypted) return;
    std::size_t clear = bytes.size();
    if (FIndex.FLoadingConfig != nullptr && bytes.size() == kIndexPageSize) {
        std::array<std::uint8_t, TPage::kHeaderSize> header;
        std::copy_n(bytes.begin(), header.size(), header.begin());
        ScrambleBytes(header.data(), header.size(), kDataSeeds);
        clear = TPage::StoredExtent(header, *FIndex.FLoadingConfig);
    }
    ScrambleBytes(bytes.data(), clear, kDataSeeds);
}

void TIndexFile::TOwner::ScrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) {
    UnscrambleUnit(n, bytes);  // the scramble is its own inverse
}

}  // namespace pirin
