// Reading ahead after the current record came from disk. The read happened
// inside an operation whose change check allowed it, and the table's read
// lock (when the cursor takes locks) stays held until that operation ends:
// further reads in the same operation see the same state of the files, so
// they go to the caches without asking again. A walk then takes the records
// of the next entries along (on into the following leaves, which come into
// the page cache with them), and whoever has been reading BLOB fields (a
// walk reading every memo, a look-up showing each entry's article) gets the
// first blocks of those values with them, and the rest of the current
// record's values that fill several blocks; each later step or memo then
// finds its units cached instead of locking and checking once more. A
// step whose record the cache served reads nothing ahead; when the memo of
// such a record then comes from disk, the first blocks of the next cached
// records' memos come along with it in the same way.
//
// Nothing here changes what is read or returned: units are only cached.
// Numbers that lead outside the files are skipped, and a read that fails
// ends the read-ahead quietly; the access that needs the unit meets the
// failure itself.
#include <algorithm>
#include <array>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_table.h"
#include "errors/engine_error.h"
#include "storage/index_file.h"
#include "storage/little_endian.h"

namespace pirin {

namespace {

constexpr std::size_t kMaxReadAheadRecords = 256;

// Block numbers gathered for one prefetch: a walk's batch or a look-up's
// few fit the array on the stack; only more than that allocates.
class TBlockList {
  public:
    void Add(std::int32_t n) {
        if (FCount < FFew.size()) {
            FFew[FCount] = n;
        } else {
            if (FMany.empty()) FMany.assign(FFew.begin(), FFew.end());
            FMany.push_back(n);
        }
        ++FCount;
    }
    std::span<const std::int32_t> Numbers() const {
        return FCount <= FFew.size() ? std::span<const std::int32_t>(FFew).first(FCount)
                                     : std::span<const std::int32_t>(FMany);
    }

  private:
    std::array<std::int32_t, kMaxReadAheadRecords> FFew;  // the first FCount used
    std::vector<std::int32_t> FMany;
    std::size_t FCount = 0;
};

// Adds the first blocks of the values at `offsets` (of the wanted BLOB
// fields) in one image to `blocks` while the block allowance lasts (false
// when it ran out). Numbers outside the file are skipped.
bool WantedFirstBlocks(std::span<const std::uint8_t> image, std::span<const std::size_t> offsets,
                       std::int32_t last, std::size_t& blocksLeft, TBlockList& blocks) {
    for (const std::size_t offset : offsets) {
        if (offset + 9u > image.size() || image[offset] == 0) continue;
        const std::int32_t first = le::GetI32(image, offset + 1u);
        if (first < 1 || first > last) continue;
        if (blocksLeft == 0) return false;
        blocks.Add(first);
        --blocksLeft;
    }
    return true;
}

}  // namespace

void TDataCursor::AfterRecordRead(std::optional<TReadDirection> walk) {
    // What was wanted since the last read-ahead is forgotten, whatever
    // happens here.
    struct TForget {
        TDataCursor& Cursor;
        ~TForget() {
            Cursor.FWantedBlobs.clear();
            Cursor.FWantedLongBlobs = false;
        }
    } forget{*this};
    if (FTable == nullptr || !(TakesNoLocks() || FTable->ReadLocked())) return;
    TBlobFile* blobFile = FTable->BlobFile();
    if (blobFile == nullptr || !blobFile->IsOpen()) FWantedBlobs.clear();

    TDataFile& data = Data();
    // One run's worth of records with the current one (what the run read
    // ahead covers when the records follow each other), and at most half of
    // each cache, so that what is read ahead does not push itself out
    // before it is used. The half of the block cache kept back is room for
    // the later blocks of longer values; while the values read lately each
    // fit one block, their first blocks may fill all of it.
    std::size_t limit = std::min<std::size_t>(
        {kMaxReadAheadRecords, static_cast<std::size_t>(data.RecordsPerRun()) - 1,
         data.RecordCache().Budget() / 2});
    std::size_t blocksLeft = 0;
    if (!FWantedBlobs.empty()) {
        // The current record's values take their share first: a record read
        // ahead without its memo would cost an operation of its own.
        blocksLeft = BlockAllowance(*blobFile);
        const std::size_t records = blocksLeft / FWantedBlobs.size();
        limit = std::min(limit, records > 0 ? records - 1 : 0);
    }
    // Filled up to `count` before it is read.
    std::array<std::int32_t, kMaxReadAheadRecords> records;
    try {
        const std::size_t count = walk ? RecordsAhead(*walk, std::span(records).first(limit)) : 0;
        // The records come in one batch, then the first blocks of the
        // current record's values and theirs in another.
        if (count > 0 && !data.PrefetchRecords(std::span(records).first(count))) return;
        if (!FWantedBlobs.empty())
            PrefetchWantedBlocks(*blobFile, Current().Image(), std::span(records).first(count),
                                 blocksLeft);
    } catch (const EPirinEngineError&) {
        // Left for the access that needs the unit.
    }
}

void TDataCursor::AfterBlobRead(TBlobFile& blobFile) {
    const std::optional<TReadDirection> walk = LastWalk();
    if (!walk || FWantedBlobs.empty()) return;
    // The read took the table's read lock for this operation (or the cursor
    // takes none): what follows sees the same state of the files.
    if (FTable == nullptr || !(TakesNoLocks() || FTable->ReadLocked())) return;
    const std::size_t blocksLeft = BlockAllowance(blobFile);
    const std::size_t limit =
        std::min<std::size_t>(kMaxReadAheadRecords, blocksLeft / FWantedBlobs.size());
    std::array<std::int32_t, kMaxReadAheadRecords> records;
    try {
        const std::size_t count = RecordsAhead(*walk, std::span(records).first(limit));
        // The current record's values are in the cache already.
        PrefetchWantedBlocks(blobFile, {}, std::span(records).first(count), blocksLeft);
    } catch (const EPirinEngineError&) {
        // Left for the access that needs the unit.
    }
}

// Inlined into both callers: a look-up comes here for every record it
// reads, and the call alone cost it more than the work for its one record.
[[gnu::always_inline]] inline void TDataCursor::PrefetchWantedBlocks(
    TBlobFile& blobFile, std::span<const std::uint8_t> current,
    std::span<const std::int32_t> records, std::size_t blocksLeft) {
    // The fields' places and the file's end are looked up once for the
    // whole batch; the usual few fields' places stay on the stack (a
    // look-up comes here for every record it reads).
    std::array<std::size_t, 8> fewOffsets;
    std::vector<std::size_t> manyOffsets;
    std::span<std::size_t> offsets;
    if (FWantedBlobs.size() <= fewOffsets.size()) {
        offsets = std::span(fewOffsets).first(FWantedBlobs.size());
    } else {
        manyOffsets.resize(FWantedBlobs.size());
        offsets = manyOffsets;
    }
    for (std::size_t i = 0; i < offsets.size(); ++i)
        offsets[i] = GetFieldDesc(FWantedBlobs[i]).Field.Offset;
    const std::int32_t last = blobFile.LastBlockNumber();
    TBlockList blocks;
    bool more = WantedFirstBlocks(current, offsets, last, blocksLeft, blocks);
    const TUnitCache<TRecord>& cache = Data().RecordCache();
    for (std::size_t i = 0; more && i < records.size(); ++i) {
        const TRecord* record = cache.Find(records[i]);
        more = record != nullptr && WantedFirstBlocks(record->Image(), offsets, last, blocksLeft, blocks);
    }
    if (!blocks.Numbers().empty() && !blobFile.PrefetchBlocks(blocks.Numbers())) return;
    // The current record's values longer than one block: their first
    // blocks, cached now (the last one fetched first in sight), give the
    // length and where the chain goes on.
    if (current.empty()) return;
    const TBlockCache& blockCache = blobFile.Cache();
    const auto perBlock = static_cast<std::int64_t>(blobFile.DataBytesPerBlock());
    for (const std::size_t offset : offsets) {
        if (blocksLeft == 0) return;
        if (offset + 9u > current.size() || current[offset] == 0) continue;
        const TBlock* first = blockCache.FindRecent(le::GetI32(current, offset + 1u));
        if (first != nullptr && first->TotalLength() > perBlock &&
            !PrefetchChainRest(blobFile, *first, blocksLeft))
            return;
    }
}

bool TDataCursor::PrefetchChainRest(TBlobFile& blobFile, const TBlock& first, std::size_t& blocksLeft) {
    const std::int32_t next = first.Next();
    const std::int32_t last = blobFile.LastBlockNumber();
    if (next < 1 || next > last || blobFile.Cache().Find(next) != nullptr) return true;
    // The blocks after the first, as many as one read of the chain would
    // take.
    std::array<std::int32_t, 64> run;
    const auto perBlock = static_cast<std::int64_t>(blobFile.DataBytesPerBlock());
    const auto after = static_cast<std::size_t>((first.TotalLength() - 1) / perBlock);
    const std::size_t count =
        std::min({after, blocksLeft, static_cast<std::size_t>(last - next) + 1,
                  static_cast<std::size_t>(blobFile.ReadAheadBlocks()), run.size()});
    for (std::size_t i = 0; i < count; ++i) run[i] = next + static_cast<std::int32_t>(i);
    blocksLeft -= count;
    return blobFile.PrefetchBlocks(std::span(run).first(count));
}

std::size_t TDataCursor::BlockAllowance(const TBlobFile& blobFile) const {
    const std::size_t budget = blobFile.Cache().Budget();
    return FWantedLongBlobs ? budget / 2 : budget;
}

std::size_t TDataCursor::RecordsAhead(TReadDirection direction, std::span<std::int32_t> out) {
    std::size_t count = UpcomingRecords(direction, out);
    // The leaf copy ran out before the allowance: the walk goes on into the
    // neighbouring leaves, whose entries come along too.
    if (count < out.size()) count += LaterLeafRecords(direction, out.subspan(count));
    return count;
}

std::size_t TDataCursor::LaterLeafRecords(TReadDirection direction, std::span<std::int32_t> out) {
    TIndexFile& index = Index();
    const int indexNo = IndexNo();
    const bool forward = direction == TReadDirection::Forward;
    std::size_t count = 0;
    for (std::int32_t page = NeighbourLeaf(direction);
         count < out.size() && page >= 1 && page <= index.LastPageNumber(indexNo);) {
        const TPagePin leaf = index.FetchPage(nullptr, indexNo, page);
        if (!leaf || leaf->Type() != TPageType::Leaf || leaf->Free()) break;
        const int entries = leaf->NumberOfEntries();
        const std::size_t taken = std::min(static_cast<std::size_t>(entries), out.size() - count);
        for (std::size_t i = 0; i < taken; ++i) {
            const int position = forward ? static_cast<int>(i) + 1 : entries - static_cast<int>(i);  // 1-based
            out[count + i] = leaf->EntryReference(position);
        }
        count += taken;
        page = forward ? leaf->Next() : leaf->Previous();
    }
    return count;
}

}  // namespace pirin
