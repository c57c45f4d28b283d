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

std::vector<std::uint8_t> StatusKey(std::uint8_t status, std::int32_t autoInc) {
    const auto key = DeletedIndexKey(status, autoInc);
    return {key.begin(), key.end()};
}

}  // namespace

TRecordIndexes::TRecordIndexes(TDataFile& data, TIndexFile& index, std::string tableName,
                               std::string databaseName, TChangeCheck* cursor)
    : FIndex(index),
      FTableName(std::move(tableName)),
      FDatabaseName(std::move(databaseName)),
      FCursor(cursor) {
    for (int i = index.NoPrimaryIndex() ? 1 : 0; i <= index.SecondaryIndexCount(); ++i)
        FLayouts.push_back(TIndexKeyLayout::Make(index.GetIndexDescriptor(i), i, data.Fields(),
                                                 data.Language(), data.Sort(), FTableName));
}

void TRecordIndexes::Raise(std::uint16_t code, const std::string& indexName) const {
    RaiseEngineError(code, {.database = FDatabaseName, .table = FTableName, .index = indexName});
}

void TRecordIndexes::CheckUnique(std::span<const std::uint8_t> image,
                                 std::optional<std::span<const std::uint8_t>> current) {
    for (const TIndexKeyLayout& layout : FLayouts) {
        if (!layout.Unique) continue;
        const TBytes key = RecordKey(layout, image);
        if (current && RecordKey(layout, *current) == key) continue;
        TIndexTree tree(FIndex, layout.IndexNumber, FCursor);
        TTreePath path;
        bool found = false;
        if (tree.Find(key, key.size(), false, path, found) == TTreeStatus::Restart)
            Raise(PIRIN_KEYORRECDELETED);
        if (!found) continue;
        // A key that equals the record's own (a change of letter case in a
        // case-insensitive index) is no violation.
        if (current) {
            TTreeEntry entry;
            if (tree.Read(path, entry) == TTreeStatus::Ok &&
                entry.Record == le::GetI32(*current, 1) && le::GetI32(*current, 1) != 0)
                continue;
        }
        Raise(PIRIN_KEYVIOL, layout.IndexName);
    }
}

void TRecordIndexes::DeleteKey(int index, std::span<const std::uint8_t> key, std::int32_t n) {
    if (!TIndexTree(FIndex, index, FCursor).Delete(key, n)) Raise(PIRIN_INDEXCORRUPT);
}

void TRecordIndexes::AddRecord(std::span<const std::uint8_t> image, std::int32_t n,
                               std::optional<std::int32_t> reusedAutoInc) {
    for (const TIndexKeyLayout& layout : FLayouts)
        TIndexTree(FIndex, layout.IndexNumber, FCursor).Insert(RecordKey(layout, image), n);
    if (reusedAutoInc) DeleteKey(kDeletedIndex, StatusKey(kRecordDeleted, *reusedAutoInc), n);
    TIndexTree(FIndex, kDeletedIndex, FCursor)
        .Insert(StatusKey(kRecordActive, le::GetI32(image, 5)), n);
    FIndex.IncrementRecordCount();
}

bool TRecordIndexes::ChangeRecord(std::span<const std::uint8_t> current,
                                  std::span<const std::uint8_t> image, std::int32_t n) {
    bool changed = false;
    for (const TIndexKeyLayout& layout : FLayouts) {
        const TBytes oldKey = RecordKey(layout, current);
        const TBytes newKey = RecordKey(layout, image);
        if (oldKey == newKey) continue;
        DeleteKey(layout.IndexNumber, oldKey, n);
        TIndexTree(FIndex, layout.IndexNumber, FCursor).Insert(newKey, n);
        changed = true;
    }
    return changed;
}

void TRecordIndexes::RemoveRecord(std::span<const std::uint8_t> image, std::int32_t n) {
    for (const TIndexKeyLayout& layout : FLayouts)
        DeleteKey(layout.IndexNumber, RecordKey(layout, image), n);
    const std::int32_t autoInc = le::GetI32(image, 5);
    DeleteKey(kDeletedIndex, StatusKey(kRecordActive, autoInc), n);
    TIndexTree(FIndex, kDeletedIndex, FCursor).Insert(StatusKey(kRecordDeleted, autoInc), n);
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
