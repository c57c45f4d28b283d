// TBlobFile: fetching blocks, allocating and freeing them, and walking and
// freeing whole chains. Links come from disk and are untrusted: every one is
// checked against the block count before it is followed, and a walk never
// visits a block twice, so a damaged chain ends in 8963 instead of a loop.
#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "errors/engine_error.h"
#include "storage/blob_file.h"

namespace pirin {

namespace {

// Blocks needed for `bytes` bytes at `perBlock` bytes each (at least 1).
std::int64_t BlocksFor(std::int64_t bytes, std::size_t perBlock) {
    const auto per = static_cast<std::int64_t>(perBlock);
    return std::max<std::int64_t>(1, (bytes + per - 1) / per);
}

std::int32_t ClampCount(std::int64_t count) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(count, 1, INT32_MAX));
}

}  // namespace

TBlockPin TBlobFile::FetchBlock(TChangeCheck* cursor, std::int32_t n, std::int32_t readAheadCount,
                                bool readAhead) {
    if (!IsOpen()) {
        errno = EBADF;
        Raise(PIRIN_READERR);
    }
    TReadAhead run;
    if (readAhead) run.Count = std::clamp(readAheadCount, 1, FReadAheadBlocks);
    TTableUnitOwner::TAskingScope asking(FOwner, cursor);
    return FCache.Fetch(n, run);
}

TBlockPin TBlobFile::FetchForWrite(TChangeCheck* cursor, std::int32_t n,
                                   std::int32_t readAheadCount, bool readAhead) {
    TBlockPin pin = FetchBlock(cursor, n, readAheadCount, readAhead);
    // The caches were emptied under a write that cannot start over: what it
    // changed so far is gone, so the record must be read again.
    if (!pin) Fail(PIRIN_KEYORRECDELETED);
    return pin;
}

TBlockPin TBlobFile::AllocateBlock(TChangeCheck* cursor) {
    const std::int32_t firstFree = FHeader.FirstFreeBlock();
    // A block appended at the end comes from the cache zeroed and dirty.
    if (firstFree == 0) return FetchForWrite(cursor, FHeader.NextBlockNumber(), 1, false);
    if (!InChain(firstFree)) Fail(PIRIN_HEADERCORRUPT);
    TBlockPin pin = FetchForWrite(cursor, firstFree, 1, false);
    // A free block somebody holds, or a free link that cannot be followed,
    // means the free chain runs into live blocks: never hand such a block out.
    const std::int32_t nextFree = pin->Next();
    if (pin->PinCount() > 1 || nextFree == firstFree || (nextFree != 0 && !InChain(nextFree)))
        Fail(PIRIN_MEMOCORRUPT);
    FHeader.SetFirstFreeBlock(nextFree);
    FHeaderChanged = true;
    pin->Clear();
    return pin;
}

void TBlobFile::FreeBlock(TBlock& block) {
    if (!InChain(block.UnitNumber())) Fail(PIRIN_MEMOCORRUPT);
    block.SetNext(FHeader.FirstFreeBlock());
    FHeader.SetFirstFreeBlock(block.UnitNumber());
    FHeaderChanged = true;
}

std::vector<std::int32_t> TBlobFile::WalkChain(TChangeCheck* cursor, std::int32_t firstBlock,
                                               std::int32_t stamp, bool anyOwner) {
    if (!InChain(firstBlock)) Fail(PIRIN_MEMOCORRUPT);
    TBlockPin pin = FetchForWrite(cursor, firstBlock, 1, false);
    if (pin->PinCount() > 1 || (!anyOwner && pin->OwnerStamp() != stamp)) Fail(PIRIN_MEMOCORRUPT);
    // Read ahead as far as the stored length says the chain goes; a damaged
    // length only makes the runs shorter or longer, never the walk.
    const std::int64_t expected = BlocksFor(std::max(pin->TotalLength(), 0), DataBytesPerBlock());
    std::vector<std::int32_t> chain{firstBlock};
    std::unordered_set<std::int32_t> seen{firstBlock};
    while (pin->Next() != 0) {
        const std::int32_t next = pin->Next();
        if (!InChain(next) || !seen.insert(next).second) Fail(PIRIN_MEMOCORRUPT);
        const auto left = expected - static_cast<std::int64_t>(chain.size());
        TBlockPin nextPin = FetchForWrite(cursor, next, ClampCount(left), true);
        if (nextPin->PinCount() > 1 || (!anyOwner && nextPin->OwnerStamp() != stamp))
            Fail(PIRIN_MEMOCORRUPT);
        chain.push_back(next);
        pin = std::move(nextPin);
    }
    return chain;
}

void TBlobFile::FreeChain(TChangeCheck* cursor, std::int32_t& firstBlock, std::int32_t stamp,
                          bool repair) {
    if (firstBlock == 0) return;
    const std::vector<std::int32_t> chain = WalkChain(cursor, firstBlock, stamp, repair);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const auto left = static_cast<std::int64_t>(chain.size() - i);
        TBlockPin pin = FetchForWrite(cursor, chain[i], ClampCount(left), true);
        if (repair) pin->SetOwnerStamp(stamp);
        FreeBlock(*pin);
    }
    firstBlock = 0;
}

}  // namespace pirin
