// TIndexFile: the index file of a table (".IDX"): a 4096-byte header holding
// the 33 index descriptors, then 4096-byte pages numbered from 1 that make up
// one B+-tree per index (index_tree.h). The file owns the header, one page
// cache per index number, and the allocation of pages: each index keeps its
// own last-in, first-out chain of free pages, headed by its descriptor.
//
// Setup: the table gives the encrypted flag before opening or creating; it
// takes effect at the next open or create. The header and every page are
// then scrambled as one 4096-byte run each.
//
// State: closed; open after OpenFile or CreateNewFile; closed after
// CloseFile. While open the header in memory may be ahead of the disk
// (HeaderIsChanged()) until WriteIndexHeader. IndexHeaderChanged() is how the
// owner learns that another process wrote the file; the cached pages are then
// dropped.
//
// Ownership: the file owns its cached pages; callers hold them only through
// pins (TPagePin), which must all be released before the file closes or goes.
// The table file context outlives the file.
// Threads: one thread at a time, like the table's cursors.
//
// Failures raise EPirinEngineError with the table's name: 12035 for a version
// other than 5; 8961 for an inconsistent header; 8965 for a page that is not
// where the cache expects it or a damaged free chain; 9479 for a new page
// past page 2,000,000,000 or offset 4,000,000,000; the definition errors
// 9487, 9993, 10010, 10022, 10023, 10027 and 12292; 8708 when another
// process changed the table under an allocation or a write-time fetch; 9217
// and 9218 for failed reads and writes.
//
// Temporary indexes (IsTemporary) keep their descriptors in memory only and
// their pages in a page file of their own (index_file_temporary.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/field_descriptor.h"
#include "storage/file_handler.h"
#include "storage/index_descriptor.h"
#include "storage/index_file_header.h"
#include "storage/index_page.h"
#include "storage/table_file_context.h"
#include "storage/table_unit_owner.h"
#include "storage/unit_cache.h"

namespace pirin {

using TPagePin = TUnitPin<TPage>;
using TPageCache = TUnitCache<TPage>;

class TIndexFile : public TFileHandler {
  public:
    explicit TIndexFile(TTableFileContext& context, std::string fileName = {},
                        bool encrypted = false);
    ~TIndexFile() override;

    void SetEncrypted(bool encrypted) noexcept { FRequestedEncrypted = encrypted; }
    bool Encrypted() const noexcept { return FEncrypted; }

    // Opens the file and reads the header; a header counting more than 32
    // secondary indexes raises 8961. A failure leaves the file closed.
    // Nothing when already open.
    void OpenFile() override;
    // OpenFile in two steps, for a caller that locks the file between them:
    // the handle alone (raising as OpenFile; nothing when already open), then
    // the header (a failure closes the file).
    void OpenFileOnly();
    void LoadHeader();
    // Drops every cached page without writing (write back first) and closes.
    void CloseFile() override;
    // Creates an empty file; nothing is written yet. The header in memory is
    // new (version 5, next page 1, no secondary index, the internal indexes
    // 31 and 32) and marked changed.
    void CreateNewFile() override;

    // Reads the header from disk; the header is then not changed.
    void ReadIndexHeader();
    // Rereads the header; when its change counter differs from the one in
    // memory another process wrote the file: the header read replaces the one
    // in memory, the cached pages are dropped, and the result is true.
    [[nodiscard]] bool IndexHeaderChanged();
    // Writes the header when forced or changed: the change counter advances
    // first. Descriptors of temporary indexes are left out of the bytes
    // written. Returns whether it wrote.
    bool WriteIndexHeader(bool force = false);
    // Advances the change counter and marks the header changed without
    // writing; the table counts as written since open.
    void TouchIndexHeader();

    // 12035 unless the version is 5.
    void CheckIndexVersion() const;
    // The whole header against the table's fields (in field-number order):
    // version (12035), then descriptor names, key fields, key sizes and page
    // numbers (8961).
    void CheckIndexHeader(std::span<const TFieldDescriptor> fields) const;

    // Defines index 0. A descriptor with no key fields marks the table as
    // having no primary index instead. 9993 when index 0 is already defined.
    void DefinePrimaryIndex(const TIndexDescriptor& descriptor,
                            std::span<const TFieldDescriptor> fields);
    // Adds a secondary index under the next number and returns that number.
    int AddIndex(const TIndexDescriptor& descriptor, std::span<const TFieldDescriptor> fields);
    // Replaces descriptor i (0..32) as given, unchecked (the text index, a
    // rebuild); the header is marked changed.
    void SetIndexDescriptor(int index, const TIndexDescriptor& descriptor);
    // Descriptor i (0..32); 8965 for another number.
    const TIndexDescriptor& GetIndexDescriptor(int index) const;
    // Changes whenever a descriptor may have changed (see TIndexFileHeader).
    std::uint64_t DescriptorStamp() const noexcept { return FHeader.DescriptorStamp(); }
    int SecondaryIndexCount() const noexcept { return FHeader.SecondaryCount(); }

    std::int32_t RootPage(int index) const { return GetIndexDescriptor(index).RootPage; }
    void SetRootPage(int index, std::int32_t page);
    std::int32_t ParameterPage(int index) const { return GetIndexDescriptor(index).ParameterPage; }
    std::int32_t FirstFreePage(int index) const { return GetIndexDescriptor(index).FirstFreePage; }

    void IncrementRecordCount();
    void DecrementRecordCount();
    std::int32_t ActiveRecordCount() const noexcept { return FHeader.RecordCount(); }
    bool NoPrimaryIndex() const noexcept { return FHeader.NoPrimaryIndex(); }
    void SetNoPrimaryIndex(bool value);

    // What the pages' searches compare by: the table's fields (in field
    // number order) and locale. Until set, keys compare as bytes (the
    // ordering of a table of language 0). The key descriptions change in
    // place, so cached pages stay; on a closed file they are built when it
    // opens or is created.
    void SetKeyLayout(std::span<const TFieldDescriptor> fields, std::uint16_t language,
                      std::uint16_t sort);
    const TKeyDescription& KeyDescription(int index) const;
    // The settings pages of index i are attached with.
    TPageConfig PageConfig(int index) const;

    // Page n of index i, pinned and attached to the index's settings (the
    // unit-cache fetch; n equal to the next page number makes a new page at
    // the end). With `isNew` the page is cleared to an empty leaf. An empty
    // pin means another process changed the table: start over.
    TPagePin FetchPage(TChangeCheck* cursor, int index, std::int32_t page, bool isNew = false);
    // FetchPage(cursor, config.IndexNumber, page) for a walk that fetches
    // several pages of one index: `config` is PageConfig of the index, taken
    // when the walk began (an empty fetch, after which the settings may have
    // changed, starts the walk over).
    TPagePin FetchPage(TChangeCheck* cursor, const TPageConfig& config, std::int32_t page);
    // As FetchPage, for operations that cannot start over half-way: an empty
    // fetch raises 8708.
    TPagePin FetchPageForWrite(TChangeCheck* cursor, int index, std::int32_t page);
    void ReleasePage(TPagePin& pin) noexcept { pin.Release(); }
    // A new, empty, dirty page of `type` for index i: the first page of the
    // index's free chain, or a new page at the end. A free chain that runs
    // into a page in use raises 8965.
    TPagePin AllocatePage(TChangeCheck* cursor, int index, TPageType type = TPageType::Leaf);
    // Puts a page of index i on the index's free chain.
    void FreePage(TChangeCheck* cursor, int index, TPage& page);

    // Writes back the dirty, unpinned pages of the temporary indexes (true)
    // or of all other indexes (false), sorted by page number, in runs of
    // consecutive pages; returns the writes made.
    std::size_t WritePages(bool temporary = false);
    // Brings every cache back to its budget (clean, unpinned pages go, least
    // recently used first): after operations that may have grown them.
    void TrimPages();
    // Drops every cached page (of one index) without writing.
    void DiscardPages();
    void DiscardPages(int index);
    const TPageCache& Cache(int index) const;

    // The next page number - 1 (0 for a damaged, non-positive next page).
    std::int32_t LastPageNumber() const noexcept {
        const std::int32_t next = FHeader.NextPage();
        return next > 0 ? next - 1 : 0;
    }
    // The last page of the file that holds index i's pages: the page file of
    // the temporary indexes for a temporary index, else this file.
    std::int32_t LastPageNumber(int index) const {
        return IsTemporary(index) ? FTemporaryNextPage - 1 : LastPageNumber();
    }

    // Temporary indexes: added with the descriptor's temporary flag, known
    // to this process only. Their pages live in a page file of their own in
    // the private folder, named from the thread id's first five digits, the
    // first free number from 0 and ".IDX"; it is created with the first
    // temporary index and deleted when they are dropped.
    void SetPrivateDirectory(std::string folder) { FPrivateDirectory = std::move(folder); }
    bool IsTemporary(int index) const;
    // Drops every temporary index with its pages and page file; later
    // secondary indexes move down to close the gaps. Also done on close.
    void DropTemporaryIndexes();
    // Empty while there is no page file.
    std::string TemporaryFileName() const;
    const TIndexFileHeader& Header() const noexcept { return FHeader; }
    bool HeaderIsChanged() const noexcept { return FHeaderChanged; }
    static std::uint64_t PageOffset(std::int32_t n) noexcept {
        return static_cast<std::uint64_t>(n) * kIndexPageSize;
    }

  private:
    // What the page caches ask of this file: page geometry and the one
    // scrambled run of a page; the rest comes from TTableUnitOwner.
    class TOwner final : public TTableUnitOwner {
      public:
        explicit TOwner(TIndexFile& file)
            : TTableUnitOwner(file, file.FContext, PIRIN_INDEXCORRUPT), FIndex(file) {}
        std::size_t UnitSize() const override { return kIndexPageSize; }
        std::uint64_t UnitOffset(std::int32_t n) const override { return PageOffset(n); }
        std::int32_t NextUnitNumber() const override { return FIndex.FHeader.NextPage(); }
        void AdvanceNextUnitNumber() override;
        std::int32_t UnitNumberLimit() const override { return kPageNumberLimit; }
        void UnscrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) override;
        void ScrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) override;
        void LoadUnit(TCacheUnit& unit, std::span<const std::uint8_t> bytes) override {
            FIndex.LoadPage(unit, bytes);
        }

      private:
        TIndexFile& FIndex;
    };

    // The page file of the temporary indexes, asked like TOwner; its pages
    // are numbered from 1 at offset 0 and counted in memory only.
    class TTemporaryOwner final : public TTableUnitOwner {
      public:
        explicit TTemporaryOwner(TIndexFile& file)
            : TTableUnitOwner(file.FTemporaryFile, file.FContext, PIRIN_INDEXCORRUPT),
              FIndex(file) {}
        std::size_t UnitSize() const override { return kIndexPageSize; }
        std::uint64_t UnitOffset(std::int32_t n) const override {
            return static_cast<std::uint64_t>(n - 1) * kIndexPageSize;
        }
        std::int32_t NextUnitNumber() const override { return FIndex.FTemporaryNextPage; }
        void AdvanceNextUnitNumber() override { ++FIndex.FTemporaryNextPage; }
        std::int32_t UnitNumberLimit() const override { return kPageNumberLimit; }
        void UnscrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) override;
        void ScrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) override;
        void LoadUnit(TCacheUnit& unit, std::span<const std::uint8_t> bytes) override {
            FIndex.LoadPage(unit, bytes);
        }

      private:
        TIndexFile& FIndex;
    };

    // Unpacks a page read from disk with the settings of the fetch under way
    // (none: the page keeps its bytes until Attach).
    void LoadPage(TCacheUnit& unit, std::span<const std::uint8_t> bytes);
    void SizeCaches();
    // Gives index i a fresh cache on this file or on the temporary page file
    // (its cache must hold no pinned page).
    void BindCache(int index, bool temporary);
    void OpenTemporaryFile();
    // Before the header is replaced: the temporary descriptors, their pages
    // written to their file and every cache emptied. After: the temporary
    // descriptors appended again after the secondary indexes read.
    std::vector<TIndexDescriptor> SetTemporaryAside();
    void PutTemporaryBack(const std::vector<TIndexDescriptor>& temporary);
    // Writes back index i's dirty pages, then drops its cache (its page
    // format is about to change).
    void RetirePages(int index);
    // A view of `name` that stays valid while the file lives.
    std::string_view StableName(const std::string& name);
    void RebuildKeyDescriptions();
    // Index i's cache, made on first use (by MakeCache, out of the way of
    // every fetch).
    TPageCache& CacheOf(int index);
    TPageCache& MakeCache(std::unique_ptr<TPageCache>& cache);
    // The fetch of both FetchPage forms, with the index's settings.
    TPagePin Fetch(TChangeCheck* cursor, const TPageConfig& config, std::int32_t page, bool isNew);
    // Raises `code` for a damaged file or a misuse (no system error behind).
    [[noreturn]] void Fail(std::uint16_t code, std::string_view index = {}) const;
    // Reads the header into FHeaderRead (valid until the next read).
    std::span<const std::uint8_t, TIndexFileHeader::kSize> ReadHeaderBytes();
    // Takes a header read from disk: the page caches are emptied and this
    // process's temporary indexes go after its secondary indexes. 8961 when
    // the values the caches rely on are off (nothing then changes).
    void AdoptHeader(std::span<const std::uint8_t, TIndexFileHeader::kSize> bytes);
    void MarkChanged() noexcept { FHeaderChanged = true; }
    // The definition checks AddIndex and DefinePrimaryIndex share.
    void CheckKeyFields(const TIndexDescriptor& descriptor,
                        std::span<const TFieldDescriptor> fields) const;

    TTableFileContext& FContext;
    bool FRequestedEncrypted;
    bool FEncrypted = false;
    TIndexFileHeader FHeader = TIndexFileHeader::New();
    bool FHeaderChanged = false;
    // The header bytes last read. Not cleared before a read: every change
    // check reads the header, and the read fills all of it or fails.
    std::array<std::uint8_t, TIndexFileHeader::kSize> FHeaderRead;
    // The table's fields and locale, for the key descriptions.
    std::vector<TFieldDescriptor> FFields;
    std::uint16_t FLanguage = 0;
    std::uint16_t FSort = 0;
    // Pages hold pointers to these and views of FTableName: an index's cache
    // is discarded before its entries change.
    std::array<TKeyDescription, kIndexCount> FKeys{};
    // Every table and index name pages were given, never changed or removed
    // (a deque keeps its elements in place), and the current views.
    std::deque<std::string> FNames;
    std::array<std::string_view, kIndexCount> FIndexNames{};
    std::string_view FTableName;
    // The settings of the index whose page FetchPage is fetching.
    const TPageConfig* FLoadingConfig = nullptr;
    TOwner FOwner{*this};
    std::string FPrivateDirectory;
    TFileHandler FTemporaryFile;
    std::int32_t FTemporaryNextPage = 1;
    TTemporaryOwner FTemporaryOwner{*this};
    std::array<bool, kIndexCount> FTemporaryBound{};
    TUnitStack<TPage> FStack{kPageStackLimit};
    // Null until CacheOf makes it; made with FPageBudget (SizeCaches).
    std::array<std::unique_ptr<TPageCache>, kIndexCount> FCaches;
    std::size_t FPageBudget = 0;
    std::vector<TPage*> FWritable;
    TUninitBytes FWriteBuffer;
    std::uint64_t FWrites = 0;
};

}  // namespace pirin
