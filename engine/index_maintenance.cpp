// Keeping every index, index 31 and the record count in step with records.
#include "engine/index_maintenance.h"

#include <algorithm>

#include "errors/engine_error.h"
#include "storage/blob_buffer.h"
#include "storage/index_key_builder.h"
#include "storage/index_tree.h"
#include "storage/little_endian.h"

namespace pirin {

namespace {

// What a key layout is made from: the descriptor without its page numbers,
// which change with every split.
bool SameLayoutPart(const TIndexDescriptor& a, const TIndexDescriptor& b) {
    return a.KeyLength == b.KeyLength && a.Descending == b.Descending &&
           a.CaseInsensitive == b.CaseInsensitive && a.Unique == b.Unique &&
           a.Compression == b.Compression && a.FieldCount == b.FieldCount &&
           a.FieldDescending == b.FieldDescending && a.FieldNumbers == b.FieldNumbers &&
           a.NoCounts == b.NoCounts && a.Temporary == b.Temporary && a.WellFormed == b.WellFormed &&
           a.Name == b.Name;
}

// Index 31 has no layout: its page settings are what is compared for it.
bool SamePageSettings(const TPageConfig& settings, const TIndexDescriptor& d) {
    return settings.KeyLength == d.KeyLength && settings.Descending == d.Descending &&
           settings.Unique == d.Unique && settings.NoCounts == d.NoCounts &&
           settings.Compression == d.CompressionKind();
}

}  // namespace

TRecordIndexes::TRecordIndexes(TDataFile& data, TIndexFile& index, std::string tableName,
                               std::string databaseName, TChangeCheck* cursor)
    : FIndex(index),
      FTableName(std::move(tableName)),
      FDatabaseName(std::move(databaseName)),
      FCursor(cursor),
      FLanguage(data.Language()),
      FSort(data.Sort()),
      FFieldCount(data.Fields().size()),
      FDescriptorStamp(index.DescriptorStamp()) {
    for (int i = index.NoPrimaryIndex() ? 1 : 0; i <= index.SecondaryIndexCount(); ++i) {
        FLayouts.push_back(TIndexKeyLayout::Make(index.GetIndexDescriptor(i), i, data.Fields(),
                                                 data.Language(), data.Sort(), FTableName));
        FDescriptors.push_back(index.GetIndexDescriptor(i));
    }
    FHints.resize(FLayouts.size() + 1);
    for (const TIndexKeyLayout& layout : FLayouts)
        FPageSettings.push_back(index.PageConfig(layout.IndexNumber));
    FPageSettings.push_back(index.PageConfig(kDeletedIndex));
    FBuilders.reserve(FLayouts.size());
    for (const TIndexKeyLayout& layout : FLayouts) FBuilders.emplace_back(layout);
}

std::span<const std::uint8_t> TRecordIndexes::KeyOf(std::size_t i,
                                                    std::span<const std::uint8_t> image) {
    FBuilders[i].BuildFromRecord(image);
    return FBuilders[i].Key();
}

bool TRecordIndexes::Describes(const TDataFile& data, const TIndexFile& index) const {
    if (&index != &FIndex || data.Language() != FLanguage || data.Sort() != FSort ||
        data.Fields().size() != FFieldCount)
        return false;
    const int first = index.NoPrimaryIndex() ? 1 : 0;
    if (index.SecondaryIndexCount() + 1 - first != static_cast<int>(FDescriptors.size()))
        return false;
    // Every write asks: the descriptors are compared only after one of them
    // may have changed (a page split moves a root, a header was reread).
    if (index.DescriptorStamp() == FDescriptorStamp) return true;
    for (std::size_t i = 0; i < FDescriptors.size(); ++i)
        if (!SameLayoutPart(index.GetIndexDescriptor(first + static_cast<int>(i)), FDescriptors[i]))
            return false;
    if (!SamePageSettings(FPageSettings.back(), index.GetIndexDescriptor(kDeletedIndex)))
        return false;
    FDescriptorStamp = index.DescriptorStamp();
    return true;
}

void TRecordIndexes::Raise(std::uint16_t code, const std::string& indexName) const {
    RaiseEngineError(code, {.database = FDatabaseName, .table = FTableName, .index = indexName});
}

void TRecordIndexes::RaiseKeyViolation(std::size_t layout) const {
    Raise(PIRIN_KEYVIOL, FLayouts[layout].IndexName);
}

bool TRecordIndexes::CheckUniqueForInsert(std::span<const std::uint8_t> image) {
    const bool firstAlone =
        !FLayouts.empty() && FLayouts[0].Unique &&
        std::none_of(FLayouts.begin() + 1, FLayouts.end(),
                     [](const TIndexKeyLayout& layout) { return layout.Unique; });
    if (firstAlone) return true;
    for (std::size_t i = 0; i < FLayouts.size(); ++i)
        if (FLayouts[i].Unique && Tree(i).Contains(KeyOf(i, image), &FHints[i]))
            RaiseKeyViolation(i);
    return false;
}

bool TRecordIndexes::AddFirstKey(std::span<const std::uint8_t> image, std::int32_t n,
                                 int placeIndex, TInsertPlace* placed) {
    if (placed != nullptr) *placed = {};
    if (FLayouts.empty()) return true;
    return InsertKey(0, KeyOf(0, image), n, FLayouts[0].IndexNumber == placeIndex ? placed : nullptr,
                     FLayouts[0].Unique);
}

void TRecordIndexes::CheckUnique(std::span<const std::uint8_t> image,
                                 std::optional<std::span<const std::uint8_t>> current) {
    if (!current) {
        if (CheckUniqueForInsert(image) && Tree(0).Contains(KeyOf(0, image), &FHints[0]))
            RaiseKeyViolation(0);
        return;
    }
    for (std::size_t i = 0; i < FLayouts.size(); ++i) {
        const TIndexKeyLayout& layout = FLayouts[i];
        if (!layout.Unique) continue;
        const TBytes key = RecordKey(layout, image);
        if (RecordKey(layout, *current) == key) continue;
        TIndexTree tree = Tree(i);
        TTreePath path;
        bool found = false;
        if (tree.Find(key, key.size(), false, path, found) == TTreeStatus::Restart)
            Raise(PIRIN_KEYORRECDELETED);
        if (!found) continue;
        // A key that equals the record's own (a change of letter case in a
        // case-insensitive index) is no violation.
        TTreeEntry entry;
        if (tree.Read(path, entry) == TTreeStatus::Ok &&
            entry.Record == le::GetI32(*current, 1) && le::GetI32(*current, 1) != 0)
            continue;
        Raise(PIRIN_KEYVIOL, layout.IndexName);
    }
}

void TRecordIndexes::DeleteKey(int index, std::span<const std::uint8_t> key, std::int32_t n) {
    if (!TIndexTree(FIndex, index, FCursor).Delete(key, n)) Raise(PIRIN_INDEXCORRUPT);
}

bool TRecordIndexes::InsertKey(std::size_t layout, std::span<const std::uint8_t> key,
                               std::int32_t n, TInsertPlace* placed, bool refuseEqual) {
    return Tree(layout).Insert(key, n, &FHints[layout], placed, refuseEqual);
}

void TRecordIndexes::AddRecord(std::span<const std::uint8_t> image, std::int32_t n,
                               std::optional<std::int32_t> reusedAutoInc, int placeIndex,
                               TInsertPlace* placed, bool firstAdded) {
    if (placed != nullptr && !firstAdded) *placed = {};
    const auto placeOf = [&](int index) { return index == placeIndex ? placed : nullptr; };
    for (std::size_t i = firstAdded ? 1 : 0; i < FLayouts.size(); ++i)
        InsertKey(i, KeyOf(i, image), n, placeOf(FLayouts[i].IndexNumber));
    if (reusedAutoInc)
        DeleteKey(kDeletedIndex, DeletedIndexKey(kRecordDeleted, *reusedAutoInc), n);
    InsertKey(FLayouts.size(), DeletedIndexKey(kRecordActive, le::GetI32(image, 5)), n,
              placeOf(kDeletedIndex));
    FIndex.IncrementRecordCount();
}

bool TRecordIndexes::ChangeRecord(std::span<const std::uint8_t> current,
                                  std::span<const std::uint8_t> image, std::int32_t n) {
    bool changed = false;
    for (std::size_t i = 0; i < FLayouts.size(); ++i) {
        const TBytes oldKey = RecordKey(FLayouts[i], current);
        const TBytes newKey = RecordKey(FLayouts[i], image);
        if (oldKey == newKey) continue;
        DeleteKey(FLayouts[i].IndexNumber, oldKey, n);
        InsertKey(i, newKey, n);
        changed = true;
    }
    return changed;
}

void TRecordIndexes::RemoveRecord(std::span<const std::uint8_t> image, std::int32_t n) {
    for (const TIndexKeyLayout& layout : FLayouts)
        DeleteKey(layout.IndexNumber, RecordKey(layout, image), n);
    const std::int32_t autoInc = le::GetI32(image, 5);
    DeleteKey(kDeletedIndex, DeletedIndexKey(kRecordActive, autoInc), n);
    InsertKey(FLayouts.size(), DeletedIndexKey(kRecordDeleted, autoInc), n);
    FIndex.DecrementRecordCount();
}

void DropRecordBlobs(TBlobFile& blob, std::span<const TFieldDescriptor> fields,
                     std::span<std::uint8_t> image, std::int32_t n, TChangeCheck* cursor) {
    for (const TFieldDescriptor& field : fields) {
        if (!field.IsBlob()) continue;
        const std::int32_t first = le::GetI32(image, field.Offset + 1u);
        if (first > 0) {
            TBlobBuffer buffer(blob, cursor, field.Number, n, first,
                               le::GetI32(image, field.Offset + 5u));
            buffer.DropBlob();
        }
        image[field.Offset] = 0;
        le::PutI32(image, field.Offset + 1u, 0);
        le::PutI32(image, field.Offset + 5u, 0);
    }
}

}  // namespace pirin
