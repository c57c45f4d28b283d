// TCursorNavigation: attachment, the operation bracket, the choice of the
// active index, and the record-fetching operations built on the walks.
#include "engine/cursor_navigation.h"

#include <algorithm>
#include <cstring>

#include "errors/engine_error_codes.h"
#include "storage/field_descriptor.h"

namespace pirin {

// ---- the leaf copy -----------------------------------------------------------

TLeafCopy& TLeafCopy::operator=(TLeafCopy&& other) noexcept {
    if (this == &other) return *this;
    Swap(other);
    other.Clear();
    return *this;
}

void TLeafCopy::Swap(TLeafCopy& other) noexcept {
    std::swap(Page, other.Page);
    std::swap(Previous, other.Previous);
    std::swap(Next, other.Next);
    std::swap(KeyLength, other.KeyLength);
    std::swap(FCount, other.FCount);
    FKeys.swap(other.FKeys);
    std::swap(FKeyStride, other.FKeyStride);
    FOwnRefs.swap(other.FOwnRefs);
    std::swap(FRefsInKeys, other.FRefsInKeys);
    std::swap(FSource, other.FSource);
    std::swap(FSourceStamp, other.FSourceStamp);
    std::swap(FKeptSlot, other.FKeptSlot);
    std::swap(FKeptReference, other.FKeptReference);
    FKeptKey.swap(other.FKeptKey);
}

void TLeafCopy::CopyHeader(const TPage& page, std::int32_t number) noexcept {
    KeyLength = page.Config().KeyLength;
    Page = number;
    Previous = page.Previous();
    Next = page.Next();
    FCount = static_cast<std::size_t>(page.NumberOfEntries());
}

void TLeafCopy::Take(const TPage& page, std::int32_t number) {
    CopyHeader(page, number);
    FSource = &page;
    FSourceStamp = TPageCache::UnitChanges();
    FKeptSlot = 0;
}

void TLeafCopy::TakeWhole(const TPage& page, std::int32_t number) {
    CopyHeader(page, number);
    // The buffers keep their capacity: after the first leaves nothing
    // allocates. A leaf as read brings its references along with the keys.
    FRefsInKeys = page.CopyEntriesWithReferences(FKeys, FKeyStride, FOwnRefs);
    FSource = nullptr;
    FKeptSlot = 0;
}

void TLeafCopy::KeepEntry(int slot) {
    const std::span<const std::uint8_t> key = SourceKey(slot);
    FKeptKey.assign(key.begin(), key.end());
    FKeptReference = SourceReference(slot);
    FKeptSlot = slot;
}

bool TLeafCopy::CopyFromSource() {
    if (FSource == nullptr) return true;
    if (!SourceIntact()) return false;
    TakeWhole(*FSource, Page);
    return true;
}

std::span<const std::uint8_t> TLeafCopy::SourceKey(int slot) const noexcept {
    return FSource->EntryKey(slot);
}

std::int32_t TLeafCopy::SourceReference(int slot) const noexcept {
    return FSource->EntryReference(slot);
}

void TLeafCopy::Clear() noexcept {
    Page = Previous = Next = 0;
    FCount = 0;
    FKeys.clear();
    FKeyStride = KeyLength;
    FOwnRefs.clear();
    FRefsInKeys = false;
    FSource = nullptr;
    FKeptSlot = 0;
}

// ---- construction and attachment ----------------------------------------------

TCursorNavigation::TCursorNavigation() = default;
TCursorNavigation::~TCursorNavigation() = default;

void TCursorNavigation::AttachTable(TDataFile& data, TIndexFile& index, TBlobFile* blob,
                                    TRecord& current) {
    FData = &data;
    FIndex = &index;
    FBlob = blob;
    FCurrent = &current;
    FChangeSnapshot = TableChangeCounters();
    InitPosition();
}

void TCursorNavigation::DetachTable() noexcept {
    FLeaf.Clear();
    FScratch.Clear();
    FSlot = 1;
    FLogicalPos = 0;
    FPhysRecNo = 0;
    FBof = FEof = false;
    FRangeActive = false;
    FRangeStart = FRangeEnd = 0;
    FFilters.clear();
    FFilterActive = false;
    ShrinkViewBitmaps();
    FLayout.reset();
    FBuilder.reset();
    FKeyFields.clear();
    FIndexNo = kPrimaryIndex;
    FIndexName.clear();
    FKeyLength = 0;
    FKeyFieldCount = 0;
    FData = nullptr;
    FIndex = nullptr;
    FBlob = nullptr;
    FCurrent = nullptr;
}

void TCursorNavigation::InitPosition() {
    FLeaf.Clear();
    FSlot = 1;
    FLogicalPos = 1;
    FPhysRecNo = 0;
    FBof = FEof = false;
    DropRange();
    FFilterActive = false;
    ShrinkViewBitmaps();
}

void TCursorNavigation::DropRange() noexcept {
    FRangeActive = false;
    FRangeStartKey.fill(0x00);
    FRangeEndKey.fill(0xFF);
    FRangeStart = 1;
    FRangeEnd = FIndex != nullptr ? FIndex->ActiveRecordCount() : 0;
}

// ---- the operation bracket -----------------------------------------------------

TCursorNavigation::TOperation::TOperation(TCursorNavigation& cursor, bool checkAlways)
    : FCursor(cursor) {
    FFoundChange = FCursor.BeginOperation(checkAlways);
}

TCursorNavigation::TOperation::~TOperation() { FCursor.EndOperation(); }

bool TCursorNavigation::BeginOperation(bool checkAlways) {
    if (FOperationDepth++ > 0) return false;
    try {
        if (checkAlways || StrictChangeDetection()) return CheckAndResync();
        return QuickResync();
    } catch (...) {
        EndOperation();
        throw;
    }
}

void TCursorNavigation::EndOperation() noexcept {
    if (--FOperationDepth > 0) return;
    FOperationDepth = 0;
    if (TakesNoLocks()) return;
    // A failing release has nowhere to go from a destructor; the table
    // keeps its mark and the next release tries again.
    try {
        EndTableRead();
    } catch (...) {
    }
}

// ---- the active index ------------------------------------------------------------

bool TCursorNavigation::WithoutIndex() const noexcept {
    return FIndexNo == kNoIndex ||
           (FIndexNo == kPrimaryIndex && FIndex != nullptr && FIndex->NoPrimaryIndex());
}

int TCursorNavigation::IndexCount() const { return FIndex->SecondaryIndexCount(); }

void TCursorNavigation::GetIndexDesc(int indexNo,
                                     std::span<std::uint8_t, kIndexDescriptorSize> out) const {
    if (indexNo == kNoIndex) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return;
    }
    if (indexNo < 0 || indexNo >= kIndexCount) RaiseCursorError(PIRIN_INVALIDINDEXNAME);
    FIndex->GetIndexDescriptor(indexNo).Pack(out);
}

bool TCursorNavigation::Selectable(int indexNo) const {
    return indexNo == kNoIndex || indexNo == kDeletedIndex ||
           (indexNo >= 0 && indexNo <= IndexCount());
}

void TCursorNavigation::LoadIndexState(int indexNo) {
    FIndexNo = indexNo;
    FLayout.reset();
    FBuilder.reset();
    FKeyFields.clear();
    if (indexNo == kNoIndex) {
        FIndexName.clear();
        FKeyLength = 0;
        FDescending = FCaseInsensitive = FUnique = false;
        FKeyFieldCount = 0;
        FFieldDescending.fill(false);
    } else {
        const TIndexDescriptor& d = FIndex->GetIndexDescriptor(indexNo);
        FIndexName = d.Name;
        FKeyLength = d.KeyLength;
        FDescending = d.Descending;
        FCaseInsensitive = d.CaseInsensitive;
        FUnique = d.Unique;
        FKeyFieldCount = std::min<int>(d.FieldCount, kMaxKeyFields);
        FFieldDescending = d.FieldDescending;
        for (int i = 0; i < FKeyFieldCount; ++i)
            if (auto match = FData->FindField(d.FieldNumbers[static_cast<std::size_t>(i)]))
                FKeyFields.push_back(std::move(match->Field));
        if (indexNo < kDeletedIndex && FKeyFieldCount > 0) {
            FLayout = TIndexKeyLayout::Make(d, indexNo, FData->Fields(), FData->Language(),
                                             FData->Sort(), FIndex->TableName());
            FBuilder = std::make_unique<TIndexKeyBuilder>(*FLayout);
        }
    }
    FLeaf.KeyLength = FScratch.KeyLength = WithoutIndex() ? 0 : FKeyLength;
    // Without an index the view bitmap is the order; with one, the active
    // filters make it.
    RecomputeFilterActive();
}

void TCursorNavigation::SelectIndex(int indexNo) {
    if (!Selectable(indexNo)) RaiseCursorError(PIRIN_INVALIDINDEXNAME);
    LoadIndexState(indexNo);
    FLeaf.Clear();
    TOperation operation(*this);
    Reset();
}

void TCursorNavigation::SetToIndex(std::string_view name) {
    if (SameFieldName(name, FIndexName) && FIndexNo != kNoIndex) return;
    TOperation operation(*this, true);
    int found = -1;
    for (int i = 0; i <= IndexCount() && found < 0; ++i)
        if (SameFieldName(FIndex->GetIndexDescriptor(i).Name, name)) found = i;
    if (found < 0) RaiseCursorError(PIRIN_INVALIDINDEXNAME, name);

    const std::int32_t record = (FBof && FEof) ? 0 : CurrentRecordNumber();
    DropRange();
    LoadIndexState(found);
    Reset();
    PlaceNear(record, FCurrent->Image(), true);
}

// ---- fetching records ---------------------------------------------------------------

void TCursorNavigation::First() {
    TOperation operation(*this);
    GoFirstEntry();
    MoveBy(-1);
    LoadCurrent(TReadDirection::Forward);
}

void TCursorNavigation::Last() {
    TOperation operation(*this);
    GoLastEntry();
    MoveBy(+1);
    LoadCurrent(TReadDirection::Backward);
}

std::uint16_t TCursorNavigation::GetNextRecord(std::span<std::uint8_t> buffer) {
    TOperation operation(*this);
    if (FBof)
        GoFirstEntry();
    else
        MoveBy(+1);
    if (FEof) {
        BlankBuffer(buffer);
        return PIRIN_EOF;
    }
    LoadCurrent(TReadDirection::Forward);
    CopyCurrentTo(buffer);
    return 0;
}

std::uint16_t TCursorNavigation::GetPriorRecord(std::span<std::uint8_t> buffer) {
    TOperation operation(*this);
    if (FEof)
        GoLastEntry();
    else
        MoveBy(-1);
    if (FBof) {
        BlankBuffer(buffer);
        return PIRIN_BOF;
    }
    LoadCurrent(TReadDirection::Backward);
    CopyCurrentTo(buffer);
    return 0;
}

std::uint16_t TCursorNavigation::GetCurrentRecord(std::span<std::uint8_t> buffer, bool lock) {
    TOperation operation(*this);
    if (lock) LockCurrentForEdit(buffer);
    std::uint16_t code = 0;
    if (FBof && FEof)
        code = PIRIN_NOCURRREC;
    else if (FBof)
        code = PIRIN_BOF;
    else if (FEof)
        code = PIRIN_EOF;
    if (code != 0) {
        BlankBuffer(buffer);
        return code;
    }
    LoadCurrent();
    CopyCurrentTo(buffer);
    return 0;
}

void TCursorNavigation::CheckError(std::uint16_t code) const {
    if (code != 0) RaiseCursorError(code);
}

std::int32_t TCursorNavigation::CurrentRecordNumber() const noexcept {
    if (FData == nullptr) return 0;
    if (WithoutIndex()) return FPhysRecNo;
    if (FSlot < 1 || FSlot > FLeaf.Entries()) return 0;
    return FLeaf.Refs[static_cast<std::size_t>(FSlot - 1)];
}

std::int32_t TCursorNavigation::ReadAheadCount(TReadDirection direction) const {
    const std::int32_t limit = FData->RecordsPerRun();
    const std::int32_t record = CurrentRecordNumber();
    const int step = direction == TReadDirection::Forward ? 1 : -1;
    std::int32_t count = 1;
    if (WithoutIndex()) {
        // Consecutive record numbers present in the view.
        while (count < limit && FViewBitmap->Test(record + step * count)) ++count;
        return count;
    }
    // Consecutive entries of the leaf whose record numbers continue the run
    // (none to tell when the page of a lazy leaf is gone: reading ahead is
    // only a guess).
    if (!FLeaf.Whole() && !FLeaf.SourceIntact()) return count;
    for (int slot = FSlot + step; count < limit && slot >= 1 && slot <= FLeaf.Entries();
         slot += step, ++count)
        if (FLeaf.Refs[static_cast<std::size_t>(slot - 1)] != record + step * count) break;
    return count;
}

std::size_t TCursorNavigation::UpcomingRecords(TReadDirection direction,
                                               std::span<std::int32_t> out) const {
    const int step = direction == TReadDirection::Forward ? 1 : -1;
    std::size_t count = 0;
    if (WithoutIndex()) {
        const std::int32_t last = FData->RecordCount();
        for (std::int32_t record = FPhysRecNo + step; count < out.size() && record >= 1 && record <= last;
             record += step)
            if (FViewBitmap->Test(record)) out[count++] = record;
        return count;
    }
    if (!FLeaf.Whole() && !FLeaf.SourceIntact()) return count;
    for (int slot = FSlot + step; count < out.size() && slot >= 1 && slot <= FLeaf.Entries(); slot += step)
        out[count++] = FLeaf.Refs[static_cast<std::size_t>(slot - 1)];
    return count;
}

void TCursorNavigation::LoadCurrent(std::optional<TReadDirection> walk) {
    FLastWalk.reset();
    // A fetch abandoned for a change by another process is tried once more:
    // the resync has put the cursor back on its record meanwhile.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::int32_t record = CurrentRecordNumber();
        if (record == 0) {
            FCurrent->SetRecordNumber(0);
            std::fill(FCurrent->Image().begin(), FCurrent->Image().end(), std::uint8_t{0});
            return;
        }
        // A walk's record was mostly read ahead, and the read-ahead left the
        // batch in the cache's chain in walk order: its bytes are copied
        // without pinning it or moving it in the chain once more.
        if (walk) {
            if (const TRecord* cached = FData->RecordCache().Find(record)) {
                FCurrent->CopyFrom(*cached);
                FCurrent->AttachTo(FData);
                FLastWalk = walk;
                return;
            }
        }
        // Only a walk reads the run ahead: a search lands on one record, and
        // reading (and unscrambling) its neighbours would be wasted.
        const TReadAhead run = walk ? TReadAhead{ReadAheadCount(*walk), *walk} : TReadAhead{};
        const std::uint64_t misses = FData->RecordCache().Stats().Misses;
        TRecordPin pin = FData->FetchRecord(this, record, run);
        if (pin) {
            FCurrent->CopyFrom(*pin);
            pin.Release();
            FLastWalk = walk;
            if (FData->RecordCache().Stats().Misses != misses) AfterRecordRead(walk);
            return;
        }
    }
    RaiseCursorError(PIRIN_KEYORRECDELETED);
}

void TCursorNavigation::CheckRecordBuffer(std::span<const std::uint8_t> buffer) const {
    if (!buffer.empty() && buffer.size() < static_cast<std::size_t>(FData->RecordSize()))
        RaiseCursorError(PIRIN_INVALIDKEY);
}

void TCursorNavigation::CopyCurrentTo(std::span<std::uint8_t> buffer) const {
    CheckRecordBuffer(buffer);
    if (buffer.empty()) return;
    const auto image = FCurrent->Image();
    std::copy_n(image.begin(), std::min(image.size(), buffer.size()), buffer.begin());
}

void TCursorNavigation::BlankBuffer(std::span<std::uint8_t> buffer) const {
    CheckRecordBuffer(buffer);
    if (buffer.empty()) return;
    std::fill_n(buffer.begin(), FData->RecordSize(), std::uint8_t{0});
}

}  // namespace pirin
