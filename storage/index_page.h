// TPage: one 4096-byte page of an index B+-tree, held unpacked in memory,
// with the in-page searches and edits the tree walk is built from. It is the
// unit of the index file's page caches (TUnitCache<TPage>).
//
// On disk a page is a 13-byte header (type, entry count, previous, next,
// packed bytes used) and 4083 bytes of entries; interior entries are a key,
// a child page and, unless the index has no counts, the number of keys below
// the child; leaf entries are a key and a record number, the key stored with
// the index's compression (doc/index-file-format.md). In memory every entry
// is the whole key, its reference, its count, and the d and t bytes the
// compression would store for it; the packed size is kept up to date with
// every edit, so Overflows() answers without packing.
//
// Configuration. A page only means something with its index's settings (key
// length, compression, unique, counts) and the key description its searches
// compare by. The page cache constructs pages from the unit size alone and
// shares one free stack among all indexes, so a page learns its settings
// from Attach (after every fetch) or Format (a page made new):
//   - LoadAttached unpacks bytes with the settings of the index they were
//     read for (the index file's fetches load pages this way, straight from
//     the read buffer).
//   - LoadBytes of a page without settings keeps the clear bytes and defers
//     unpacking to Attach; LoadBytes of an attached page (the cache
//     refreshing a clean page of the same index) unpacks at once.
//   - Attach unpacks pending bytes, checks that an attached page has the same
//     format, and takes the settings' pointers.
//   - Reset (the cache reusing the object) forgets the settings.
//   - SaveBytes packs; a page never attached writes back the bytes it holds.
// The objects TPageConfig points to (key description, table and index
// names) belong to the index file and must outlive the page's attachment:
// the index file discards an index's cache before it changes them, and every
// Attach after a fetch renews the pointers.
//
// Positions are 1-based, as in the tree's descent paths. Every edit marks
// the page dirty.
//
// Pages searched as read. An uncompressed page read from disk keeps its
// entries as they are stored (key, reference, count, at a fixed stride) and
// is searched and read in place; the first edit unpacks them (Unraw). Most
// pages are only searched, and a look-up that reads a leaf then costs one
// copy of its bytes.
//
// Packing of compressed leaves. The d and t of every entry, and so the packed
// size, follow from the keys alone (d: bytes shared with the previous key,
// t: trailing zeros, each up to 254). A page read from disk keeps the d and t
// it was stored with and works them out only when something needs them (an
// edit, the packed size, SaveBytes): most pages are only searched. Another
// writer may have shared or dropped fewer bytes; the page then packs as if
// this engine had built it from its keys.
//
// Threads: as the cache that holds the page (one thread at a time).
// Failures: bytes from disk are untrusted; a page that cannot be unpacked,
// settings that cannot describe an index, a search of an empty page, a
// position outside the page, a compressed page that cannot be packed into
// 4083 bytes, or pages of different formats given to a move raise 8965
// (index corrupt) with the table's name. A search or new key shorter than
// the length asked for raises 10026. Searches may raise what CompareKeys
// raises (15878).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "locale/key_description.h"
#include "storage/index_descriptor.h"
#include "storage/unit_cache_params.h"
#include "storage/uninit_allocator.h"
#include "storage/unit_cache_unit.h"

namespace pirin {

class TKeySearch;

// Byte 0 of a page.
enum class TPageType : std::uint8_t {
    Root = 0,       // the root, an interior page
    Interior = 1,   // interior, not the root
    Leaf = 2,       // a leaf, not the root
    RootLeaf = 3,   // the root of an index whose tree is one leaf
    Parameter = 4,  // opaque parameter data (text-index settings)
};

// The settings of the index a page belongs to, copied from its descriptor.
// The pointers and views are the index file's (see above).
struct TPageConfig {
    int IndexNumber = 0;
    std::uint16_t KeyLength = 0;
    bool Descending = false;
    bool Unique = false;
    // Interior entries carry no key counts (always so for the text index).
    bool NoCounts = false;
    TIndexCompression Compression = TIndexCompression::None;
    // What searches compare by (required).
    const TKeyDescription* Keys = nullptr;
    // For error messages.
    std::string_view TableName = {};
    std::string_view IndexName = {};

    bool HasCounts() const noexcept { return !NoCounts && IndexNumber != kTextIndex; }
    // The settings of index `indexNumber` as `descriptor` describes it.
    static TPageConfig FromDescriptor(int indexNumber, const TIndexDescriptor& descriptor,
                                      const TKeyDescription* keys, std::string_view tableName);
    // Key length 1..526 (at least the 4-byte row suffix when not unique),
    // index number 0..32, a key description.
    bool Valid() const noexcept;
    // Same page format: pages of one format can exchange entries.
    bool SameFormat(const TPageConfig& other) const noexcept;
    // The very same settings (the same views and pointers).
    bool SameSettings(const TPageConfig& other) const noexcept {
        return Keys == other.Keys && IndexNumber == other.IndexNumber &&
               KeyLength == other.KeyLength && Descending == other.Descending &&
               Unique == other.Unique && NoCounts == other.NoCounts &&
               Compression == other.Compression && TableName.data() == other.TableName.data() &&
               TableName.size() == other.TableName.size() &&
               IndexName.data() == other.IndexName.data() &&
               IndexName.size() == other.IndexName.size();
    }
};

// Answer of FindEntry.
struct TPageFind {
    bool Found = false;
    int Position = 0;
    // Keys of the index before Position within this page: the sum of the
    // counts of the entries before it (interior) or Position - 1 (leaf).
    std::int64_t KeysBefore = 0;
    // A leaf searched for the nearest entry: the key is above every entry
    // (Position is then the last one).
    bool Above = false;
};

// Which side of a page its neighbour on the same level is.
enum class TPageSide : std::uint8_t { Left, Right };

class TPage : public TCacheUnit {
  public:
    static constexpr std::size_t kPageSize = 4096;
    static constexpr std::size_t kHeaderSize = 13;
    static constexpr std::size_t kDataSize = kPageSize - kHeaderSize;  // 4083
    // Largest d and t a compressed entry stores.
    static constexpr int kMaxPackedRun = 254;

    explicit TPage(std::size_t unitSize = kPageSize);
    ~TPage() override;

    // --- settings -----------------------------------------------------------

    // Gives the page its index's settings; unpacks bytes loaded before.
    // 8965 when the settings cannot describe an index, the bytes cannot be a
    // page of it, or the page is already attached with another format (the
    // page is then left as it was).
    void Attach(const TPageConfig& config) {
        // Every fetch of a cached page attaches it again with the settings
        // it has: that check stays inline.
        if (!FAttached || !FConfig.SameSettings(config)) AttachAnew(config);
    }
    // Makes the page a new, empty page of `type` for the index: no entries,
    // no links, not free. Whatever it held is dropped.
    void Format(const TPageConfig& config, TPageType type);
    bool Attached() const noexcept { return FAttached; }
    const TPageConfig& Config() const noexcept { return FConfig; }

    // --- header -------------------------------------------------------------

    TPageType Type() const noexcept { return FType; }
    // Between the kinds (interior, leaf) only on an empty page.
    void SetType(TPageType type);
    bool IsLeaf() const noexcept {
        return FType == TPageType::Leaf || FType == TPageType::RootLeaf;
    }
    bool IsRoot() const noexcept {
        return FType == TPageType::Root || FType == TPageType::RootLeaf;
    }
    bool IsParameterPage() const noexcept { return FType == TPageType::Parameter; }
    std::int32_t Previous() const noexcept { return FPrevious; }
    void SetPrevious(std::int32_t page) noexcept;
    std::int32_t Next() const noexcept { return FNext; }
    void SetNext(std::int32_t page) noexcept;
    // A freed page: no entries, Next is the next free page of the index.
    bool Free() const noexcept { return FFree; }
    void MarkFree(std::int32_t nextFree) noexcept;

    // The 4083 opaque bytes of a parameter page (all zero when new); the
    // writable view marks the page dirty.
    std::span<std::uint8_t> ParameterData() noexcept;
    std::span<const std::uint8_t> ParameterData() const noexcept;

    // --- entries ------------------------------------------------------------

    int NumberOfEntries() const noexcept {
        return static_cast<int>(FRaw ? FRawCount : FRefs.size());
    }
    std::span<const std::uint8_t> EntryKey(int position) const;
    // Copies every entry's key and reference: `keys` gets the keys in entry
    // order, each `stride` bytes after the one before (other bytes may lie
    // between them), `refs` the references. The buffers keep their capacity.
    void CopyEntries(std::vector<std::uint8_t>& keys, std::size_t& stride,
                     std::vector<std::int32_t>& refs) const;
    // As CopyEntries, but a page as read, whose entries carry each reference
    // after the key, leaves `refs` empty and copies the references along:
    // entry i's reference is then the 4 bytes at i * stride + KeyLength() of
    // `keys`, little-endian. Whether it did so is the result.
    bool CopyEntriesWithReferences(std::vector<std::uint8_t>& keys, std::size_t& stride,
                                   std::vector<std::int32_t>& refs) const;
    std::int32_t EntryReference(int position) const;
    // The entry's count of keys below it (interior pages with counts; 0
    // otherwise).
    std::int32_t EntryCount(int position) const;
    // The d and t the entry packs with (0 where the compression has none).
    int EntryPrefix(int position) const;
    int EntryTrailing(int position) const;

    // `key` must hold the key length.
    void SetEntryKey(int position, std::span<const std::uint8_t> key);
    void SetEntryReference(int position, std::int32_t reference);
    // Counts exist on interior pages with counts only; elsewhere these two
    // check the position and change nothing, so the tree may call them on
    // every index alike.
    void SetEntryCount(int position, std::int32_t count);
    // Adds `delta` to the entry's count (insertions and deletions below it);
    // a count that would fall below 0 is 8965.
    void AdjustEntryCount(int position, std::int32_t delta);

    // Keys below this page: the entry count of a leaf, the sum of the counts
    // of an interior page.
    std::int64_t PageTotal() const noexcept;
    // Keys before `position` (1 .. entries + 1) within this page.
    std::int64_t KeysBefore(int position) const;

    // --- searches (keys compared by the index's key description) ----------

    // Binary search for the first `compareLength` bytes of `key` (at most
    // the key length; `key` holds at least that many). Interior pages give
    // the entry with the greatest key not above the key (entry 1 when the
    // key is below all). Leaves give the equal entry, else without `nearest`
    // the greatest entry below the key (1 when below all), with `nearest`
    // the first entry above it (the last entry when the key is above all).
    // Of several equal entries any may be found. 8965 on an empty page.
    TPageFind FindEntry(std::span<const std::uint8_t> key, std::size_t compareLength,
                        bool nearest) const;
    // The same for the key and length of `search`, a search of this page's
    // key description that several pages share (the levels of a descent).
    TPageFind FindEntry(const TKeySearch& search, bool nearest) const;
    // The number of entries not above `key` (whole key): a new key goes after
    // that position, after all equal keys; 0 = before the first.
    int FindInsertPosition(std::span<const std::uint8_t> key) const;
    // The same for the whole key of `search`, a search of this page's key
    // description that the levels of an insertion share.
    int FindInsertPosition(const TKeySearch& search) const;
    // First entry not below `key` over `compareLength` bytes; entries + 1
    // when none.
    int FindFirst(std::span<const std::uint8_t> key, std::size_t compareLength) const;
    // Last entry not above `key` over `compareLength` bytes; 0 when none.
    int FindLast(std::span<const std::uint8_t> key, std::size_t compareLength) const;
    // How many entries from `position` on, in `direction`, have record
    // numbers that go up (forward) or down (backward) by one each, at most
    // `limit`; 0 for a position outside the page.
    int ConsecutiveRun(int position, TReadDirection direction, int limit) const;
    // The first entry from `position` on, in `direction`, whose reference
    // `accept` takes; 0 when none (a scan that skips records outside a
    // record set).
    int NextAccepted(int position, TReadDirection direction,
                     const std::function<bool(std::int32_t)>& accept) const;

    // --- edits --------------------------------------------------------------

    // Inserts an entry so that it becomes entry `position` (1 .. entries + 1).
    // `count` is kept on interior pages with counts only.
    void InsertEntry(int position, std::span<const std::uint8_t> key, std::int32_t reference,
                     std::int32_t count = 0);
    void DeleteEntry(int position);

    // --- capacity -----------------------------------------------------------

    // Entries an uncompressed page holds: 4083 / (k + 4), or 4083 / (k + 8)
    // for an interior page with counts.
    int MaxEntries() const noexcept;
    // Bytes the entries take when packed (at most 4083 to be written).
    std::size_t PackedSize() const noexcept {
        EnsurePacking();
        return FPackedSize;
    }
    // More entries than the page holds: above MaxEntries(), or above 4083
    // packed bytes for a compressed leaf.
    bool Overflows() const noexcept;
    // An interior page or uncompressed leaf with fewer than MaxEntries() / 2
    // entries; compressed leaves are never merged, so never underfull.
    bool IsUnderfull() const noexcept;
    // Leaves that store their keys compressed.
    bool CompressedLeaf() const noexcept;

    // --- moves between the two pages of a split or merge ------------------
    // Both pages must be attached with the same format (else 8965).

    // Split: the top NumberOfEntries() / 2 entries go to the front of
    // `right`, the new right neighbour.
    void MoveTopHalfTo(TPage& right);
    // After a split of a compressed leaf: moves single entries across the
    // boundary between this page and its right neighbour until both pack
    // into 4083 bytes; 8965 when they cannot.
    void BalanceForPacking(TPage& right);
    // Merge: every entry of this page goes into `neighbour` (after its
    // entries when it is the left neighbour, before them when the right);
    // this page is left empty.
    void MoveAllTo(TPage& neighbour, TPageSide side);
    // Shares the entries of both pages, in order, so that `neighbour` holds
    // half of them rounded up.
    void ShareWith(TPage& neighbour, TPageSide side);

    // --- cache hooks --------------------------------------------------------

    void Reset() override;
    // A page read from disk replaces all its bytes: only the fields clear.
    void ResetForLoad() override;
    void LoadBytes(std::span<const std::uint8_t> bytes) override;
    // Loads and unpacks `bytes` (4096 clear bytes) as a page of the index
    // `config` describes; the page is then attached. 8965 as Attach; the
    // page must then not be used until it is reset.
    void LoadAttached(std::span<const std::uint8_t> bytes, const TPageConfig& config);
    // Packs into the 4096 clear bytes; 8965 when a compressed leaf's entries
    // do not fit in 4083 bytes.
    void SaveBytes(std::span<std::uint8_t> out) const override;
    // How many leading bytes of a stored page LoadAttached reads for
    // `config`, from the page's clear 13-byte header: the header and the
    // fixed-size entries it counts; the whole page for compressed leaves,
    // parameter pages, and headers that loading refuses.
    static std::size_t StoredExtent(std::span<const std::uint8_t> header,
                                    const TPageConfig& config) noexcept;

  private:
    using TEntryInts = std::vector<std::int32_t, TUninitAllocator<std::int32_t>>;

    // Attach for a page not attached, or attached with other settings.
    void AttachAnew(const TPageConfig& config);

    [[noreturn]] void RaiseCorrupt() const;
    [[noreturn]] void RaiseKeySize() const;
    void CheckPosition(int position, int last) const;
    void CheckSameFormat(const TPage& other) const;
    void CheckSearch(std::span<const std::uint8_t> key, std::size_t compareLength) const;

    std::size_t KeyLength() const noexcept { return FConfig.KeyLength; }
    std::size_t FixedEntrySize() const noexcept;
    std::size_t EntrySize(std::size_t index) const noexcept;
    const std::uint8_t* KeyAt(std::size_t index) const noexcept {
        return FRaw ? FRawEntries.data() + index * FRawStride : FKeys.data() + index * KeyLength();
    }
    // A 32-bit little-endian value of an entry, read without a bounds check:
    // the callers checked the entries' extent against the page first.
    static std::int32_t LoadI32(const std::uint8_t* at) noexcept {
        return static_cast<std::int32_t>(std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) |
                                         (std::uint32_t{at[2]} << 16) |
                                         (std::uint32_t{at[3]} << 24));
    }
    std::int32_t RefAt(std::size_t index) const noexcept {
        return FRaw ? LoadI32(KeyAt(index) + KeyLength()) : FRefs[index];
    }
    // Entries as read carry a count where the stride has room for one.
    std::int32_t CountAt(std::size_t index) const noexcept {
        if (!FRaw) return FCounts[index];
        return FRawStride > KeyLength() + 4 ? LoadI32(KeyAt(index) + KeyLength() + 4) : 0;
    }
    // Unpacks entries kept as read into the entry buffers; every edit calls
    // it first.
    void Unraw();
    // Makes room in the entry buffers for `extra` more entries at once: a
    // page filled one entry at a time would otherwise move its buffers
    // element by element each time they double. Room for a full page is
    // taken in one step.
    void ReserveEntries(std::size_t extra);
    // Opens a gap of `count` elements at `at` in an entry buffer for a run
    // of entries: the tail moves in one block (a vector's insert constructs
    // the elements it moves past the old end one at a time), and the gap is
    // left for the caller to fill. Returns the gap.
    template <class TBuffer>
    static auto* OpenGap(TBuffer& buffer, std::size_t at, std::size_t count) {
        const std::size_t old = buffer.size();
        buffer.resize(old + count);  // the new elements stay unfilled
        auto* data = buffer.data();
        std::memmove(data + at + count, data + at, (old - at) * sizeof(*data));
        return data + at;
    }

    // Recomputes d and t of entry `index` (0-based) and the packed size.
    void Repack(std::size_t index) const noexcept;
    void RepackAll() noexcept;
    // While FPackingPending (a compressed leaf as read, FPrefix and FTrailing
    // holding the d and t stored): keeps those that Repack would compute,
    // repacks the others and sums the packed size. Every reader of the
    // packing and every edit calls it first.
    void EnsurePacking() const noexcept;
    bool StoredPackingIsOwn(std::size_t index) const noexcept;
    void LoadFixed(std::span<const std::uint8_t> bytes, const TPageConfig& config, TPageType type,
                   std::size_t n);
    void UnpackCompressed(std::span<const std::uint8_t> bytes, const TPageConfig& config,
                          std::size_t n);
    void ClearEntries() noexcept;
    void ClearFields() noexcept;
    // Moves entries [first, first + count) of this page to `to` at 0-based
    // index `at`.
    void MoveEntries(std::size_t first, std::size_t count, TPage& to, std::size_t at);

    void Unpack(std::span<const std::uint8_t> bytes, const TPageConfig& config);
    void Pack(std::span<std::uint8_t> out) const;

    TPageConfig FConfig;
    bool FAttached = false;
    // Bytes loaded before the page had settings, waiting for Attach (the
    // page has no byte buffer of its own: it lives unpacked).
    bool FPending = false;
    std::vector<std::uint8_t> FPendingBytes;
    TPageType FType = TPageType::Leaf;
    std::int32_t FPrevious = 0;
    std::int32_t FNext = 0;
    bool FFree = false;

    // Entries as read: FRawCount entries of FRawStride bytes in
    // FRawEntries (the entry buffers below are then not used).
    bool FRaw = false;
    std::size_t FRawCount = 0;
    std::size_t FRawStride = 0;
    std::vector<std::uint8_t> FRawEntries;
    // Entry i (0-based): key bytes [i * k, (i + 1) * k) of FKeys. The entry
    // buffers are filled entry by entry when a page is unpacked: growing
    // them does not clear the new elements first.
    TUninitBytes FKeys;
    TEntryInts FRefs;
    TEntryInts FCounts;
    // The packing: derived from the keys, so worked out on first need even
    // on a const page (EnsurePacking).
    mutable TUninitBytes FPrefix;    // d
    mutable TUninitBytes FTrailing;  // t
    mutable std::size_t FPackedSize = 0;
    mutable bool FPackingPending = false;
    std::vector<std::uint8_t> FParameter;
};

}  // namespace pirin
