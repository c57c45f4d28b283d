// TRecordIndexes: keeps a table's indexes in step with its records: the
// primary index (when the table has one), every secondary index in number
// order, index 31 (slots by status and autoincrement value) and the index
// header's record count. The engine's write path and the file-level test
// fixture both add, change and remove records through it, so a table is
// kept the same way whoever writes it.
//
// Keys are built from record images with each index's key layout. Unique
// checks (CheckUnique) come before any change; the changing steps assume
// they passed. A table keeps one object for its writes (the layouts are
// resolved once, and insertion hints let keys that arrive in ascending
// order skip the binary searches); Describes tells whether the index
// header still has the indexes the object was made for.
//
// Also here: DropRecordBlobs, which frees the BLOB chains of a record being
// deleted and blanks its BLOB fields.
//
// Ownership: refers to the table's files, which outlive it; owns the key
// layouts. Threads: the thread that writes the table.
// Failures (EPirinEngineError naming the table): 9729 from CheckUnique
// naming the index; 8965 when a key to delete or replace is missing; and
// what the index and BLOB files raise. A failure half-way leaves the caches
// partly changed: the caller discards them (TDataTable::DiscardWrite).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "storage/blob_file.h"
#include "storage/data_file.h"
#include "storage/index_file.h"
#include "storage/index_key_builder.h"
#include "storage/index_key_layout.h"
#include "storage/index_tree.h"
#include "storage/table_file_context.h"

namespace pirin {

class TRecordIndexes {
  public:
    using TBytes = std::vector<std::uint8_t>;

    TRecordIndexes(TDataFile& data, TIndexFile& index, std::string tableName,
                   std::string databaseName = {}, TChangeCheck* cursor = nullptr);
    // The key builders refer to the object's own layouts.
    TRecordIndexes(const TRecordIndexes&) = delete;
    TRecordIndexes& operator=(const TRecordIndexes&) = delete;

    // The keyed indexes' layouts (primary first when present).
    const std::vector<TIndexKeyLayout>& Layouts() const noexcept { return FLayouts; }
    const std::string& TableName() const noexcept { return FTableName; }
    // The files still define the indexes, fields and language the layouts
    // were resolved from, and index 31 as its page settings were taken.
    bool Describes(const TDataFile& data, const TIndexFile& index) const;

    // 9729 naming the index when a unique index holds `image`'s key already;
    // with `current`, indexes whose key does not change are skipped.
    void CheckUnique(std::span<const std::uint8_t> image,
                     std::optional<std::span<const std::uint8_t>> current = std::nullopt);

    // An insert's unique checks, where the first index is the only unique
    // one, made by that index's insertion's own descent: then
    // CheckUniqueForInsert returns true having checked nothing, and
    // AddFirstKey inserts the record's key into the first index or returns
    // false having changed nothing when the index holds the key (the caller
    // raises RaiseKeyViolation(0)); AddRecord with `firstAdded` then adds
    // the rest. Otherwise CheckUniqueForInsert is CheckUnique (9729) and
    // returns false. `placeIndex`/`placed` as for AddRecord.
    [[nodiscard]] bool CheckUniqueForInsert(std::span<const std::uint8_t> image);
    [[nodiscard]] bool AddFirstKey(std::span<const std::uint8_t> image, std::int32_t n,
                                   int placeIndex = -1, TInsertPlace* placed = nullptr);
    // 9729 naming the index of layout `layout`.
    [[noreturn]] void RaiseKeyViolation(std::size_t layout) const;

    // Inserts the keys of a new record in slot n, and its index-31 entry:
    // for a reused slot the deleted entry (status 1, `reusedAutoInc`) is
    // replaced. The record count grows by one. `placed`, when given,
    // receives where the entry of index `placeIndex` went (see
    // TIndexTree::Insert; page 0 when unknown).
    void AddRecord(std::span<const std::uint8_t> image, std::int32_t n,
                   std::optional<std::int32_t> reusedAutoInc, int placeIndex = -1,
                   TInsertPlace* placed = nullptr, bool firstAdded = false);
    // Replaces the keys that differ between `current` and `image`; true when
    // any did.
    bool ChangeRecord(std::span<const std::uint8_t> current, std::span<const std::uint8_t> image,
                      std::int32_t n);
    // Deletes the record's keys and marks it deleted in index 31; the record
    // count drops by one.
    void RemoveRecord(std::span<const std::uint8_t> image, std::int32_t n);

  private:
    void DeleteKey(int index, std::span<const std::uint8_t> key, std::int32_t n);
    bool InsertKey(std::size_t layout, std::span<const std::uint8_t> key, std::int32_t n,
                   TInsertPlace* placed = nullptr, bool refuseEqual = false);
    // The tree of layout i (FLayouts.size(): index 31).
    TIndexTree Tree(std::size_t layout) { return TIndexTree(FIndex, FPageSettings[layout], FCursor); }
    // The key of `image` for layout i, in that layout's builder (valid until
    // the builder builds again).
    std::span<const std::uint8_t> KeyOf(std::size_t i, std::span<const std::uint8_t> image);
    [[noreturn]] void Raise(std::uint16_t code, const std::string& indexName = {}) const;

    TIndexFile& FIndex;
    std::string FTableName;
    std::string FDatabaseName;
    TChangeCheck* FCursor;
    std::vector<TIndexKeyLayout> FLayouts;
    // What the layouts were resolved from (see Describes).
    std::vector<TIndexDescriptor> FDescriptors;
    std::uint16_t FLanguage = 0;
    std::uint16_t FSort = 0;
    std::size_t FFieldCount = 0;
    // The index header's descriptor stamp when they last compared equal:
    // while it holds, the descriptors need no comparing again.
    mutable std::uint64_t FDescriptorStamp = 0;
    // One per layout, then index 31's: the page settings are taken once,
    // since they follow from the descriptors Describes compares.
    std::vector<TInsertHint> FHints;
    std::vector<TPageConfig> FPageSettings;
    // One per layout (they refer to FLayouts, which never changes after
    // construction): keys are built without an allocation.
    std::vector<TIndexKeyBuilder> FBuilders;
};

// Frees the chain of every BLOB field of a record being deleted (n) and
// blanks the fields in `image`.
void DropRecordBlobs(TBlobFile& blob, std::span<const TFieldDescriptor> fields,
                     std::span<std::uint8_t> image, std::int32_t n, TChangeCheck* cursor = nullptr);

}  // namespace pirin
