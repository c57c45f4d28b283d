// Records of the data file: the record cache's owner side, slot reuse
// through the free chain, and the header's counters.
#include <cstdint>
#include <limits>

#include "storage/data_file.h"
#include "storage/scramble.h"

namespace pirin {

std::uint64_t TDataFile::UnitOffset(std::int32_t n) const {
    return DataOffset() + std::uint64_t(n - 1) * FHeader.RecordSize();
}

void TDataFile::TOwner::AdvanceNextUnitNumber() {
    FData.FHeader.SetNextRecordNumber(FData.FHeader.NextRecordNumber() + 1);
    FData.MarkHeaderModified();
}

// Each slot is a run of its own. The slot number a live record carries is
// put in by TRecord::LoadBytes, after this.
void TDataFile::TOwner::UnscrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) {
    if (FData.FHeader.Encrypted()) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
}

void TDataFile::TOwner::ScrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) {
    if (FData.FHeader.Encrypted()) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
}

TRecordPin TDataFile::FetchRecord(TChangeCheck* cursor, std::int32_t n, TReadAhead readAhead) {
    if (!IsOpen() || !FLayoutFixed) RaiseCode(PIRIN_FILECORRUPT);
    TTableUnitOwner::TAskingScope scope(FOwner, cursor);
    TRecordPin pin = FRecords.Fetch(n, readAhead);
    if (pin) pin->AttachTo(this);
    return pin;
}

bool TDataFile::PrefetchRecords(std::span<const std::int32_t> numbers) {
    if (!IsOpen() || !FLayoutFixed) RaiseCode(PIRIN_FILECORRUPT);
    TTableUnitOwner::TAskingScope scope(FOwner, nullptr);
    return FRecords.Prefetch(numbers);
}

TRecordPin TDataFile::NewRecordSlot(TChangeCheck* cursor) {
    const std::int32_t firstFree = FHeader.FirstFree();
    const bool reuse = firstFree != 0 && FContext.HasPrimaryIndex();
    TRecordPin pin = FetchRecord(cursor, reuse ? firstFree : FHeader.NextRecordNumber());
    if (!pin) return pin;
    std::int32_t link = 0;
    if (reuse) {
        // A free slot that is not deleted, or whose link leaves the slots,
        // is a broken chain: reusing it would overwrite a live record.
        link = pin->NextDeleted();
        if (!pin->Deleted() || link < 0 || link >= FHeader.NextRecordNumber())
            RaiseCode(PIRIN_FILECORRUPT);
    }
    if (FHeader.FirstFree() != link) {
        FHeader.SetFirstFree(link);
        MarkHeaderModified();
    }
    return pin;
}

void TDataFile::FreeRecordSlot(TRecord& record) {
    // Only a record held in the cache reaches the disk.
    const std::int32_t n = record.UnitNumber();
    if (n <= 0 || n >= FHeader.NextRecordNumber()) RaiseCode(PIRIN_FILECORRUPT);
    // Deleting twice would link the slot to itself.
    if (record.Deleted()) RaiseCode(PIRIN_KEYORRECDELETED);
    record.SetStatus(kRecordDeleted);
    record.SetNextDeleted(FContext.HasPrimaryIndex() ? FHeader.FirstFree() : 0);
    FHeader.SetFirstFree(n);
    MarkHeaderModified();
}

std::size_t TDataFile::WriteBack() { return FRecords.WriteBack(); }

void TDataFile::DiscardRecords() { FRecords.DiscardAll(); }

void TDataFile::TrimRecords() { FRecords.Trim(); }

namespace {

// The next value of a counter; after the largest value the sequence starts
// again at 1.
std::int32_t Following(std::int32_t last) {
    return (last == std::numeric_limits<std::int32_t>::max() ? 0 : last) + 1;
}

}  // namespace

std::int32_t TDataFile::NextAutoIncrement() {
    const std::int32_t value = Following(FHeader.LastAutoIncrement());
    FHeader.SetLastAutoIncrement(value);
    MarkHeaderModified();
    return value;
}

void TDataFile::SetLastAutoIncrement(std::int32_t explicitValue) {
    if (explicitValue <= FHeader.LastAutoIncrement()) return;
    FHeader.SetLastAutoIncrement(explicitValue);
    MarkHeaderModified();
}

std::int32_t TDataFile::NextBlobStamp() {
    const std::int32_t value = Following(FHeader.LastBlobStamp());
    FHeader.SetLastBlobStamp(value);
    MarkHeaderModified();
    return value;
}

void TDataFile::SetLastBlobStamp(std::int32_t explicitValue) {
    if (explicitValue <= FHeader.LastBlobStamp()) return;
    FHeader.SetLastBlobStamp(explicitValue);
    MarkHeaderModified();
}

}  // namespace pirin
