#include "storage/table_unit_owner.h"

namespace pirin {

std::size_t TTableUnitOwner::ReadUnits(std::uint64_t offset, std::span<std::uint8_t> buffer,
                                       bool allowShort) {
    return FFile.ReadAt(offset, buffer.data(), buffer.size(), allowShort);
}

void TTableUnitOwner::ReadUnitsBatch(std::span<TReadRequest> requests, bool allowShort) {
    FFile.ReadBatch(requests, allowShort);
}

void TTableUnitOwner::WriteUnits(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    FFile.WriteAt(offset, bytes.data(), bytes.size());
}

bool TTableUnitOwner::ShortReadsAllowed() const {
    return (FFile.Exclusive() || FContext.InTransaction()) && FContext.WrittenSinceOpen();
}

bool TTableUnitOwner::CheckAndResync() { return FAsking != nullptr && FAsking->CheckAndResync(); }

std::string_view TTableUnitOwner::TableName() const {
    FName = FFile.TableName();
    return FName;
}

}  // namespace pirin
