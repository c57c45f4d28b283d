// TUnitCache: the cache of the fixed-size units of one table file: the
// records of a data file, the 4096-byte pages of one index, the blocks of a
// BLOB file. It serves units by number, reads runs ahead, keeps changes until
// they are written back in runs of consecutive units, and recycles unit
// objects through a free stack.
//
// Ownership: the cache owns its cached units; callers hold them only through
// pins (TUnitPin). The owner (TUnitCacheOwner) and the free stack outlive the
// cache, and every pin is released before the cache goes.
// Threads: one thread at a time (the file's users serialise access).
// Failures: a unit that is not where it should be raises the owner's corrupt
// code; a new unit past the limits raises 9479; the owner's reads and writes
// raise 9217 and 9218. Whatever is raised, the cache stays consistent (see
// the design note) and no pin taken inside the failed call stays behind.
//
// ---------------------------------------------------------------------------
// Design note
//
// States of a unit object. Each object is in exactly one state:
//   free       in a TUnitStack, or held outside any cache; number 0.
//   cached     in the map and the chain of exactly one cache, and further
//              clean or dirty, unpinned or pinned (pin count > 0).
//   detached   dropped by DiscardAll while pinned: in neither map nor chain,
//              never found again; it becomes free when its last pin goes.
//   destroyed  pushed onto a full stack, or its cache or stack went away.
//
//   free --Fetch miss / new unit--> cached --MarkDirty--> cached dirty
//   cached dirty --write-back (unpinned)--> cached clean
//   cached clean, unpinned --chosen as victim / Trim / DiscardAll--> free
//   cached dirty, unpinned --DiscardAll--> free (its changes are dropped)
//   cached pinned --DiscardAll--> detached --last Release--> free
//
// Invariants:
//   1. The map (TUnitNumberMap) holds each cached unit under its number,
//      each number once; every number is between 1 and the owner's
//      next-unit number - 1. A unit's number changes only while it is out
//      of the map. An owner whose next-unit number goes down (rollback,
//      header reread) discards the cache first.
//   2. The chain links exactly the units of the map, the most recently
//      fetched at its head. A fetch looks at the head, then in the map
//      (probing further down the chain costs more than the map).
//   3. A pinned unit is never renumbered, refreshed from disk, written back,
//      chosen as a victim or destroyed. Each pin is one TUnitPin.
//   4. A dirty unit leaves the map only through write-back (which makes it
//      clean first) or through DiscardAll. A victim is clean and unpinned.
//   5. A unit created at the end of the file is dirty from birth, so that the
//      header never counts a unit the file does not receive.
//   6. length <= capacity. The capacity grows by GrowStep only when every
//      cached unit is dirty or pinned and write-back may not or could not
//      free one; Trim brings it back to max(length, budget).
//   7. Write-back takes the dirty, unpinned units outside the run being read
//      by increasing number (sorting their numbers, not the units), cuts
//      them into runs of consecutive numbers and writes each run with one
//      write from a scrambled copy in the write buffer. A unit becomes clean
//      only when the write of its run succeeded.
//
// When write-back happens:
//   - when the owner asks (WriteBack): after a change outside a transaction,
//     at commit, before closing;
//   - when a unit object is needed, the cache is full, no unit is clean and
//     unpinned, and the table is not inside a transaction.
// It never happens early inside a transaction (the cache grows instead, so
// that a rollback can drop the changes), never for pinned units, and never
// for units within the run being read at that moment.
//
// Victim count: the cache counts its clean, unpinned units, so that a full
// cache of dirty units (a long transaction) learns that it has no victim
// without walking the chain, which would make every growth step cost the
// whole cache. Insert, Detach, Pin and Release keep the count; a write-back
// (which may mark units of several caches of one file clean) moves a
// counter shared by all caches of the unit type, and a cache that sees it
// moved counts again (its own WriteBack, with a count up to date before,
// adds the units it wrote instead). A unit marked dirty while unpinned (outside the
// contract) only makes the count too high, which costs a walk, never a
// wrong victim.
//
// Reading a run: the unit asked for is loaded and pinned first, then the
// rest of the run in the direction of travel, so that taking objects for the
// rest cannot choose it as a victim. Cached units of the run that are clean
// and unpinned are refreshed from the bytes read; dirty or pinned ones are
// left alone; missing ones are taken, filled and inserted. When a later unit
// of the run fails, the units already inserted stay cached and the pin on the
// unit asked for is given back.
// ---------------------------------------------------------------------------
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "errors/engine_error.h"
#include "storage/unit_cache_map.h"
#include "storage/unit_cache_owner.h"
#include "storage/unit_cache_params.h"
#include "storage/unit_cache_pin.h"
#include "storage/unit_cache_stack.h"
#include "storage/uninit_allocator.h"
#include "storage/unit_cache_unit.h"

namespace pirin {

// How a write-back orders the units it was given before cutting runs.
enum class TWriteOrder : std::uint8_t { AsCollected, ByUnitNumber };

template <class TUnit>
class TUnitCache {
    static_assert(CacheUnit<TUnit>);

  public:
    using TPin = TUnitPin<TUnit>;

    TUnitCache(TUnitCacheOwner& owner, TUnitStack<TUnit>& stack, const TUnitCacheParams& params,
               std::size_t budget = 0)
        : FOwner(owner), FStack(stack), FParams(params), FBudget(budget), FCapacity(budget) {}
    TUnitCache(const TUnitCache&) = delete;
    TUnitCache& operator=(const TUnitCache&) = delete;
    ~TUnitCache() {
        FUnits.ForEach([](std::int32_t, TUnit* unit) { delete unit; });
        FUnitChanges.fetch_add(1, std::memory_order_relaxed);
    }

    // Unit n, pinned. An empty pin means nothing was fetched: another process
    // changed the table, the caches were emptied, and the caller starts its
    // operation over. n equal to the next-unit number creates a new (dirty)
    // unit at the end of the file. On a miss the run described by
    // `readAhead` is read with one read.
    [[nodiscard]] TPin Fetch(std::int32_t n, TReadAhead readAhead = {});

    // Reads ahead: caches the units `numbers` (from the first outside
    // 1..next-1 on, none) without pinning them, and leaves them at the head
    // of the chain in the order given, as fetching each in turn would. The
    // missing ones are read with one read per run of consecutive numbers;
    // cached ones are not read again. Only free places and victims take them: when those run
    // out, the numbers given last are left out (nothing is written back and
    // the cache does not grow for units nobody asked for yet). False when
    // another process changed the table (the caches were emptied); raises as
    // Fetch, and then leaves the cache as it was.
    bool Prefetch(std::span<const std::int32_t> numbers);

    // Gives one pin back (never below 0). Pins call this; a caller holding a
    // unit by other means may too. Inline: every fetch ends here.
    void Release(TUnit& unit) noexcept {
        if (unit.FPinCount > 0) {
            --unit.FPinCount;
            if (IsVictim(unit)) ++FVictims;
        }
        if (unit.FPinCount == 0 && unit.FDetached) FreeDetached(unit);
    }

    // Writes back every dirty, unpinned unit; returns the number of writes.
    std::size_t WriteBack();
    // Appends, by increasing number, the units a write-back would take.
    void CollectWritable(std::vector<TUnit*>& out) const;
    // Writes `units` (dirty units of one file, possibly from several caches
    // of that file) in runs of consecutive numbers, one write per run, and
    // marks each run clean once written. `writes` counts the writes made,
    // also when a later write fails.
    static void WriteRuns(TUnitCacheOwner& owner, std::vector<TUnit*>& units, TWriteOrder order,
                          TUninitBytes& buffer, std::uint64_t& writes);

    // Sets the number of units to keep and trims to it.
    void SetBudget(std::size_t budget);
    // Releases clean, unpinned units (least recently used first, without
    // writing) until the cache holds no more than the budget.
    void Trim();
    // Drops every cached unit without writing: after another process changed
    // the file, on rollback, and on close (after the owner wrote back).
    void DiscardAll();

    std::size_t Size() const noexcept { return FUnits.Size(); }
    std::size_t Capacity() const noexcept { return FCapacity; }
    std::size_t Budget() const noexcept { return FBudget; }
    std::size_t DetachedCount() const noexcept { return FDetached.size(); }
    const TUnitCacheStats& Stats() const noexcept { return FStats; }
    void ResetStats() noexcept { FStats = {}; }

    // Advances whenever a cached unit object of this type, in any cache of
    // the process, may stop holding what it held: it leaves its cache (a
    // victim, Trim, DiscardAll, a failed refresh, the cache's end) or is
    // refreshed from disk. A reader that kept a unit's address without a
    // pin may still read the unit while the count has not moved. (Changes a
    // writer makes to a pinned unit in place do not count: the table's
    // change counters tell those.)
    static std::uint64_t UnitChanges() noexcept {
        return FUnitChanges.load(std::memory_order_relaxed);
    }

    // The cached unit n without pinning it or touching the chain; nullptr
    // when it is not cached.
    const TUnit* Find(std::int32_t n) const { return Search(n); }
    // The same, looking at the unit used last first (one just fetched).
    const TUnit* FindRecent(std::int32_t n) const {
        const TUnit* unit = Probe(n);
        return unit != nullptr ? unit : Search(n);
    }
    // Visits every cached unit by increasing number.
    template <class TVisit>
    void ForEachCached(TVisit&& visit) const {
        std::vector<TUnit*> units;
        FUnits.AppendSorted(units, [](const TUnit&) { return true; });
        for (const TUnit* unit : units) visit(*unit);
    }
    // Unit numbers from the head of the chain to its tail.
    std::vector<std::int32_t> ChainNumbers() const {
        std::vector<std::int32_t> numbers;
        for (const TCacheUnit* unit = FHead; unit != nullptr; unit = unit->FChainNext)
            numbers.push_back(unit->FUnitNumber);
        return numbers;
    }

  private:

    // Marks the run being read, so that a write-back it causes skips it.
    class TReadInProgress {
      public:
        TReadInProgress(TUnitCache& cache, std::int32_t first, std::int32_t last) : FCache(cache) {
            FCache.FReadFirst = first;
            FCache.FReadLast = last;
        }
        ~TReadInProgress() { FCache.FReadFirst = FCache.FReadLast = 0; }
        TReadInProgress(const TReadInProgress&) = delete;
        TReadInProgress& operator=(const TReadInProgress&) = delete;

      private:
        TUnitCache& FCache;
    };

    [[noreturn]] void RaiseCorrupt() const {
        RaiseEngineError(FOwner.CorruptCode(), {.table = FOwner.TableName()});
    }

    TUnit* Search(std::int32_t n) const { return FUnits.Find(n); }
    TUnit* Probe(std::int32_t n) const {
        return FHead != nullptr && FHead->FUnitNumber == n ? static_cast<TUnit*>(FHead) : nullptr;
    }

    // Reads `count` bytes from unit `first` on into the read buffer (grown
    // as needed) and gives the bytes read; a short read raises 9217 unless
    // the owner allows short reads.
    std::span<std::uint8_t> ReadIntoBuffer(std::int32_t first, std::size_t count) {
        GrowBuffer(FReadBuffer, count);
        const bool allowShort = FOwner.ShortReadsAllowed();
        ++FStats.Reads;
        const std::size_t read =
            FOwner.ReadUnits(FOwner.UnitOffset(first), std::span(FReadBuffer.data(), count), allowShort);
        if (read < count && !allowShort) RaiseEngineError(PIRIN_READERR, {.table = FOwner.TableName()});
        return std::span(FReadBuffer.data(), std::min(read, count));
    }
    // Prefetch of one unit (a key search's first memo block): a free place
    // or one victim reused, without the batch's lists.
    bool PrefetchOne(std::int32_t n, std::size_t unitSize);
    // Reads and caches the missing units of a Prefetch (numbers in the order
    // given; one given twice is read once); leaves out what finds no place
    // or is not on disk.
    void LoadMissing(std::vector<std::int32_t>& missing, std::size_t unitSize);
    TPin Hit(TUnit* unit);
    TPin Append(std::int32_t n, std::size_t unitSize);
    TPin ReadRun(std::int32_t n, TReadAhead readAhead, std::size_t unitSize, std::int32_t next);
    TUnit* LoadRunUnit(std::int32_t m, std::span<std::uint8_t> bytes);
    // Fills a unit taken for its number from `bytes` and caches it; when the
    // bytes cannot be a unit, the object goes back to the stack and the
    // error passes on.
    TUnit* LoadAndInsert(std::unique_ptr<TUnit> unit, std::span<const std::uint8_t> bytes);
    // `loading`: the owner's LoadUnit fills the unit next (a reused unit need not be
    // cleared first).
    std::unique_ptr<TUnit> TakeUnit(std::int32_t n, std::size_t unitSize, bool loading = false);
    TUnit* FindVictim();
    // Whether the cache may hold a victim (false: it surely holds none).
    bool MayHaveVictims();
    static bool IsVictim(const TCacheUnit& unit) noexcept {
        return !unit.FDirty && unit.FPinCount == 0 && !unit.FDetached;
    }
    TPin Pin(TUnit* unit);
    // A detached unit whose last pin went: back to the stack.
    void FreeDetached(TUnit& unit) noexcept;

    // List and chain maintenance; none of these throws except Insert
    // (allocation).
    TUnit* Insert(std::unique_ptr<TUnit> unit);
    std::unique_ptr<TUnit> Detach(TUnit* unit) noexcept;
    void PushHead(TCacheUnit* unit) noexcept;
    void Unlink(TCacheUnit* unit) noexcept;
    void MoveToHead(TCacheUnit* unit) noexcept {
        if (unit == FHead) return;
        Unlink(unit);
        PushHead(unit);
    }

    // Buffers grow in 4096-byte steps and are reused.
    template <class TBuffer>
    static void GrowBuffer(TBuffer& buffer, std::size_t bytes) {
        if (buffer.size() < bytes) buffer.resize((bytes + 4095) / 4096 * 4096);
    }

    TUnitCacheOwner& FOwner;
    TUnitStack<TUnit>& FStack;
    TUnitCacheParams FParams;
    std::size_t FBudget;
    std::size_t FCapacity;
    // Number -> unit of every cached unit (the units the cache owns).
    TUnitNumberMap<TUnit> FUnits;
    std::vector<std::unique_ptr<TUnit>> FDetached;
    TCacheUnit* FHead = nullptr;
    TCacheUnit* FTail = nullptr;
    std::int32_t FReadFirst = 0;
    std::int32_t FReadLast = 0;
    // Every byte of a run is read into before it is used: no zero fill.
    TUninitBytes FReadBuffer;
    // Every byte of a run is written by its units before it goes out.
    TUninitBytes FWriteBuffer;
    TUnitCacheStats FStats;
    // Clean, unpinned units in the map (see the design note), as of write
    // generation FCountedCleaning.
    std::size_t FVictims = 0;
    std::uint64_t FCountedCleaning = 0;
    static inline std::atomic<std::uint64_t> FCleanings{0};
    static inline std::atomic<std::uint64_t> FUnitChanges{0};
};

// ---------------------------------------------------------------------------

template <class TUnit>
TUnitPin<TUnit> TUnitCache<TUnit>::Fetch(std::int32_t n, TReadAhead readAhead) {
    const std::size_t unitSize = FOwner.UnitSize();
    const std::int32_t next = FOwner.NextUnitNumber();
    // Unit numbers come from links on disk: anything outside 1..next is a
    // damaged file, not a unit to read.
    if (n <= 0 || n > next || unitSize == 0) RaiseCorrupt();
    if (n == next) return Append(n, unitSize);
    if (TUnit* unit = Probe(n)) return Hit(unit);
    if (TUnit* unit = Search(n)) return Hit(unit);

    ++FStats.Misses;
    if (!FOwner.StrictChangeDetection() && FOwner.CheckAndResync()) return {};
    const std::int32_t nextNow = FOwner.NextUnitNumber();
    if (n >= nextNow) RaiseCorrupt();
    return ReadRun(n, readAhead, unitSize, nextNow);
}

template <class TUnit>
bool TUnitCache<TUnit>::Prefetch(std::span<const std::int32_t> numbers) {
    const std::size_t unitSize = FOwner.UnitSize();
    if (unitSize == 0) RaiseCorrupt();
    const std::int32_t next = FOwner.NextUnitNumber();
    const auto end = std::find_if(numbers.begin(), numbers.end(),
                                  [next](std::int32_t n) { return n < 1 || n >= next; });
    numbers = numbers.first(static_cast<std::size_t>(end - numbers.begin()));
    if (numbers.size() == 1) return PrefetchOne(numbers.front(), unitSize);

    // Cached units are pinned meanwhile, so that none becomes a victim.
    std::vector<TPin> held;
    std::vector<std::int32_t> missing;  // in the order given
    held.reserve(numbers.size());
    missing.reserve(numbers.size());
    for (const std::int32_t n : numbers) {
        if (TUnit* unit = Search(n))
            held.push_back(Pin(unit));
        else
            missing.push_back(n);
    }
    FStats.Hits += held.size();
    if (!missing.empty()) {
        if (!FOwner.StrictChangeDetection() && FOwner.CheckAndResync()) return false;
        LoadMissing(missing, unitSize);
    }
    // The chain as fetching each in turn leaves it.
    for (const std::int32_t n : numbers)
        if (TUnit* unit = Search(n)) MoveToHead(unit);
    return true;
}

template <class TUnit>
bool TUnitCache<TUnit>::PrefetchOne(std::int32_t n, std::size_t unitSize) {
    if (TUnit* unit = Search(n)) {
        ++FStats.Hits;
        MoveToHead(unit);
        return true;
    }
    if (!FOwner.StrictChangeDetection() && FOwner.CheckAndResync()) return false;
    if (n >= FOwner.NextUnitNumber()) return true;
    // No place without growing or writing back: left out, as in a batch.
    if (FUnits.Size() >= FCapacity && FindVictim() == nullptr) return true;
    TReadInProgress reading(*this, n, n);
    const std::span<std::uint8_t> bytes = ReadIntoBuffer(n, unitSize);
    if (bytes.size() < unitSize) return true;
    ++FStats.Misses;
    MoveToHead(LoadRunUnit(n, bytes));
    return true;
}

template <class TUnit>
void TUnitCache<TUnit>::LoadMissing(std::vector<std::int32_t>& missing, std::size_t unitSize) {
    // The reads go by number. Sorted once: a number given twice is read
    // once, and while the places last (the usual case) the sorted list is
    // the one read.
    std::vector<std::int32_t> sorted(missing);
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        std::vector<std::int32_t> once;
        for (const std::int32_t n : missing)
            if (std::find(once.begin(), once.end(), n) == once.end()) once.push_back(n);
        missing.swap(once);
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    }
    // Places: free ones first, then victims from the tail of the chain.
    const std::size_t free = FCapacity > FUnits.Size() ? FCapacity - FUnits.Size() : 0;
    std::vector<TUnit*> victims;
    if (missing.size() > free && MayHaveVictims()) {
        victims.reserve(missing.size() - free);
        for (TCacheUnit* unit = FTail; unit != nullptr && free + victims.size() < missing.size();
             unit = unit->FChainPrev)
            if (IsVictim(*unit)) victims.push_back(static_cast<TUnit*>(unit));
    }
    if (free + victims.size() < missing.size()) {
        // The numbers given last find no place.
        missing.resize(free + victims.size());
        sorted.assign(missing.begin(), missing.end());
        std::sort(sorted.begin(), sorted.end());
    }
    missing.swap(sorted);
    victims.resize(missing.size() - std::min(missing.size(), free));
    const std::int32_t nextNow = FOwner.NextUnitNumber();
    while (!missing.empty() && missing.back() >= nextNow) missing.pop_back();
    if (missing.empty()) return;

    // Every read, in one batch, before anything changes: a failed one
    // leaves the cache as it was. One request per run of consecutive units.
    GrowBuffer(FReadBuffer, missing.size() * unitSize);
    const std::int32_t runUnits = UnitsPerRun(FParams.RunBytes, unitSize);
    std::vector<TReadRequest> requests;
    requests.reserve(missing.size());
    for (std::size_t begin = 0; begin < missing.size();) {
        std::size_t stop = begin + 1;
        while (stop < missing.size() && missing[stop] == missing[stop - 1] + 1 &&
               stop - begin < static_cast<std::size_t>(runUnits))
            ++stop;
        requests.push_back({FOwner.UnitOffset(missing[begin]), FReadBuffer.data() + begin * unitSize,
                            (stop - begin) * unitSize, 0});
        begin = stop;
    }
    const bool allowShort = FOwner.ShortReadsAllowed();
    FStats.Reads += requests.size();
    FOwner.ReadUnitsBatch(requests, allowShort);
    // Units read whole, from the front: the units the file lacks stay out.
    std::size_t covered = 0;
    for (const TReadRequest& request : requests) {
        if (request.Transferred < request.Count && !allowShort)
            RaiseEngineError(PIRIN_READERR, {.table = FOwner.TableName()});
        covered += request.Transferred / unitSize;
        if (request.Transferred < request.Count) break;
    }
    missing.resize(covered);
    victims.resize(std::min(victims.size(), covered - std::min(covered, free)));
    FStats.Misses += missing.size();
    if (missing.empty()) return;

    // The victims leave the map and the chain and hand their objects on;
    // the map gets room for the rest first, so that no insert can fail.
    FUnits.Reserve(FUnits.Size() + missing.size() - victims.size());
    std::vector<std::unique_ptr<TUnit>> spare;
    spare.reserve(victims.size());
    for (TUnit* victim : victims) spare.push_back(Detach(victim));
    const auto keepSpare = [&] {
        for (auto& unit : spare) {
            if (!unit) continue;
            unit->ClearCacheState();
            FStack.Push(std::move(unit));
        }
    };
    try {
        for (std::size_t i = 0; i < missing.size(); ++i) {
            std::unique_ptr<TUnit> unit;
            if (i < spare.size()) {
                unit = std::move(spare[i]);
                TUnitStack<TUnit>::Renew(*unit, unitSize, true);
            } else {
                unit = FStack.Pop(unitSize, true);
            }
            unit->FUnitNumber = missing[i];
            const std::span<std::uint8_t> bytes(FReadBuffer.data() + i * unitSize, unitSize);
            FOwner.UnscrambleUnit(missing[i], bytes);
            LoadAndInsert(std::move(unit), bytes);  // within the room reserved
        }
    } catch (...) {
        keepSpare();
        throw;
    }
}

template <class TUnit>
inline TUnitPin<TUnit> TUnitCache<TUnit>::Hit(TUnit* unit) {
    ++FStats.Hits;
    TPin pin = Pin(unit);
    MoveToHead(unit);
    return pin;
}

template <class TUnit>
TUnitPin<TUnit> TUnitCache<TUnit>::Append(std::int32_t n, std::size_t unitSize) {
    if (n > FOwner.UnitNumberLimit() || FOwner.UnitOffset(n) + unitSize > FOwner.EndOffsetLimit())
        RaiseEngineError(PIRIN_TABLEFULL, {.table = FOwner.TableName()});
    if (Search(n) != nullptr) RaiseCorrupt();
    std::unique_ptr<TUnit> unit = TakeUnit(n, unitSize);
    unit->FDirty = true;
    // Reserve before the header moves on, so that the insert cannot fail
    // after it; by doubling, so that appending stays linear.
    FUnits.Reserve(FUnits.Size() + 1);
    FOwner.AdvanceNextUnitNumber();
    return Pin(Insert(std::move(unit)));
}

template <class TUnit>
TUnitPin<TUnit> TUnitCache<TUnit>::ReadRun(std::int32_t n, TReadAhead readAhead,
                                           std::size_t unitSize, std::int32_t next) {
    const std::int64_t count =
        std::clamp<std::int64_t>(readAhead.Count, 1, UnitsPerRun(FParams.RunBytes, unitSize));
    const bool forward = readAhead.Direction == TReadDirection::Forward;
    const auto first = static_cast<std::int32_t>(
        forward ? n : std::max<std::int64_t>(std::int64_t{n} - count + 1, 1));
    const auto last = static_cast<std::int32_t>(
        forward ? std::min<std::int64_t>(std::int64_t{n} + count - 1, std::int64_t{next} - 1) : n);
    const std::size_t bytes = static_cast<std::size_t>(last - first + 1) * unitSize;
    TReadInProgress reading(*this, first, last);
    const std::size_t whole = ReadIntoBuffer(first, bytes).size() / unitSize;
    const std::span<std::uint8_t> run(FReadBuffer.data(), bytes);
    const auto covered = [&](std::int32_t m) {
        return static_cast<std::size_t>(m - first) < whole;
    };
    const auto bytesOf = [&](std::int32_t m) {
        return run.subspan(static_cast<std::size_t>(m - first) * unitSize, unitSize);
    };

    // A unit the header counts but the file lacks is not where it should be.
    if (!covered(n)) RaiseCorrupt();
    TPin result = Pin(LoadRunUnit(n, bytesOf(n)));
    const std::int32_t step = forward ? 1 : -1;
    for (std::int32_t m = n + step; m >= first && m <= last && covered(m); m += step)
        LoadRunUnit(m, bytesOf(m));
    MoveToHead(result.Get());
    if (result->FUnitNumber != n) RaiseCorrupt();
    return result;
}

template <class TUnit>
TUnit* TUnitCache<TUnit>::LoadRunUnit(std::int32_t m, std::span<std::uint8_t> bytes) {
    if (TUnit* cached = Search(m)) {
        if (cached->FDirty || cached->FPinCount > 0) return cached;
        FUnitChanges.fetch_add(1, std::memory_order_relaxed);
        FOwner.UnscrambleUnit(m, bytes);
        try {
            FOwner.LoadUnit(*cached, bytes);
        } catch (...) {
            // Half refreshed: drop it (it was clean, so nothing is lost).
            std::unique_ptr<TUnit> dropped = Detach(cached);
            dropped->ClearCacheState();
            FStack.Push(std::move(dropped));
            throw;
        }
        return cached;
    }
    FOwner.UnscrambleUnit(m, bytes);
    return LoadAndInsert(TakeUnit(m, bytes.size(), true), bytes);
}

template <class TUnit>
TUnit* TUnitCache<TUnit>::LoadAndInsert(std::unique_ptr<TUnit> unit,
                                        std::span<const std::uint8_t> bytes) {
    try {
        FOwner.LoadUnit(*unit, bytes);
    } catch (...) {
        // Bytes that cannot be a unit: the object goes back unused.
        unit->ClearCacheState();
        FStack.Push(std::move(unit));
        throw;
    }
    return Insert(std::move(unit));
}

template <class TUnit>
std::unique_ptr<TUnit> TUnitCache<TUnit>::TakeUnit(std::int32_t n, std::size_t unitSize,
                                                   bool loading) {
    if (FUnits.Size() < FCapacity) {
        std::unique_ptr<TUnit> unit = FStack.Pop(unitSize, loading);
        unit->FUnitNumber = n;
        return unit;
    }
    TUnit* victim = FindVictim();
    if (victim == nullptr && !FOwner.InTransaction()) {
        WriteBack();
        victim = FindVictim();
    }
    if (victim == nullptr) {
        FCapacity += FParams.GrowStep;
        std::unique_ptr<TUnit> unit = FStack.Pop(unitSize, loading);
        unit->FUnitNumber = n;
        return unit;
    }
    std::unique_ptr<TUnit> unit = Detach(victim);
    TUnitStack<TUnit>::Renew(*unit, unitSize, loading);
    unit->FUnitNumber = n;
    return unit;
}

template <class TUnit>
bool TUnitCache<TUnit>::MayHaveVictims() {
    const std::uint64_t cleanings = FCleanings.load(std::memory_order_relaxed);
    if (cleanings != FCountedCleaning) {
        std::size_t victims = 0;
        FUnits.ForEach([&](std::int32_t, const TUnit* unit) { victims += IsVictim(*unit) ? 1 : 0; });
        FVictims = victims;
        FCountedCleaning = cleanings;
    }
    return FVictims > 0;
}

template <class TUnit>
TUnit* TUnitCache<TUnit>::FindVictim() {
    if (!MayHaveVictims()) return nullptr;
    for (TCacheUnit* unit = FTail; unit != nullptr; unit = unit->FChainPrev)
        if (!unit->FDirty && unit->FPinCount == 0) return static_cast<TUnit*>(unit);
    FVictims = 0;
    return nullptr;
}

template <class TUnit>
inline TUnitPin<TUnit> TUnitCache<TUnit>::Pin(TUnit* unit) {
    // A pin count that would overflow means pins are leaking.
    if (unit->FPinCount == std::numeric_limits<std::int16_t>::max()) RaiseCorrupt();
    if (IsVictim(*unit) && FVictims > 0) --FVictims;
    ++unit->FPinCount;
    return TPin(this, unit);
}

template <class TUnit>
void TUnitCache<TUnit>::FreeDetached(TUnit& unit) noexcept {
    const auto it =
        std::find_if(FDetached.begin(), FDetached.end(),
                     [&](const std::unique_ptr<TUnit>& held) { return held.get() == &unit; });
    if (it == FDetached.end()) return;
    std::unique_ptr<TUnit> freed = std::move(*it);
    FDetached.erase(it);
    freed->ClearCacheState();
    FStack.Push(std::move(freed));
}

template <class TUnit>
std::size_t TUnitCache<TUnit>::WriteBack() {
    std::vector<TUnit*> units;
    CollectWritable(units);
    const std::uint64_t before = FStats.Writes;
    // With the victim count up to date, the units written (unpinned, and
    // only this thread changes this cache's units) are all that changes it:
    // they are added, instead of counting the whole cache again after a
    // commit. A failed write leaves the count to be made again.
    const bool counted = FCountedCleaning == FCleanings.load(std::memory_order_relaxed);
    WriteRuns(FOwner, units, TWriteOrder::AsCollected, FWriteBuffer, FStats.Writes);
    if (counted) {
        FVictims += units.size();
        FCountedCleaning = FCleanings.load(std::memory_order_relaxed);
    }
    return static_cast<std::size_t>(FStats.Writes - before);
}

template <class TUnit>
void TUnitCache<TUnit>::CollectWritable(std::vector<TUnit*>& out) const {
    FUnits.AppendSorted(out, [this](const TUnit& unit) {
        const bool reading =
            FReadFirst != 0 && unit.FUnitNumber >= FReadFirst && unit.FUnitNumber <= FReadLast;
        return unit.FDirty && unit.FPinCount == 0 && !reading;
    });
}

template <class TUnit>
void TUnitCache<TUnit>::WriteRuns(TUnitCacheOwner& owner, std::vector<TUnit*>& units,
                                  TWriteOrder order, TUninitBytes& buffer,
                                  std::uint64_t& writes) {
    if (order == TWriteOrder::ByUnitNumber) {
        std::stable_sort(units.begin(), units.end(), [](const TUnit* a, const TUnit* b) {
            return a->FUnitNumber < b->FUnitNumber;
        });
    }
    const std::size_t unitSize = owner.UnitSize();
    // A long run goes out in writes of at most about 1 MiB: a buffer the
    // size of a whole big transaction would be filled and faulted in, and
    // kept, for nothing.
    const std::size_t maxUnits = std::max<std::size_t>(1, (std::size_t{1} << 20) / unitSize);
    for (std::size_t begin = 0; begin < units.size();) {
        std::size_t end = begin + 1;
        while (end < units.size() && end - begin < maxUnits &&
               std::int64_t{units[end]->FUnitNumber} ==
                   std::int64_t{units[end - 1]->FUnitNumber} + 1)
            ++end;
        const std::size_t bytes = (end - begin) * unitSize;
        GrowBuffer(buffer, bytes);
        for (std::size_t i = begin; i < end; ++i) {
            const std::span<std::uint8_t> slot(buffer.data() + (i - begin) * unitSize, unitSize);
            units[i]->SaveBytes(slot);
            owner.ScrambleUnit(units[i]->FUnitNumber, slot);
        }
        owner.WriteUnits(owner.UnitOffset(units[begin]->FUnitNumber),
                         std::span<const std::uint8_t>(buffer.data(), bytes));
        ++writes;
        for (std::size_t i = begin; i < end; ++i) units[i]->FDirty = false;
        FCleanings.fetch_add(1, std::memory_order_relaxed);
        owner.SetWrittenSinceOpen();
        begin = end;
    }
}

template <class TUnit>
void TUnitCache<TUnit>::SetBudget(std::size_t budget) {
    FBudget = budget;
    Trim();
}

template <class TUnit>
void TUnitCache<TUnit>::Trim() {
    if (FUnits.Size() > FBudget && MayHaveVictims()) {
        // The victims, least recently used first, as many as the cache is
        // over its budget.
        std::size_t over = FUnits.Size() - FBudget;
        for (TCacheUnit* unit = FTail; unit != nullptr && over > 0;) {
            TCacheUnit* const next = unit->FChainPrev;
            if (IsVictim(*unit)) {
                std::unique_ptr<TUnit> dropped = Detach(static_cast<TUnit*>(unit));
                dropped->ClearCacheState();
                FStack.Push(std::move(dropped));
                --over;
            }
            unit = next;
        }
    }
    // Never below the budget: a cache trimmed while nearly empty must still
    // be able to fill up to its budget before it starts evicting.
    FCapacity = std::max(FUnits.Size(), FBudget);
}

template <class TUnit>
void TUnitCache<TUnit>::DiscardAll() {
    std::size_t pinned = 0;
    FUnits.ForEach([&](std::int32_t, const TUnit* unit) { pinned += unit->FPinCount > 0 ? 1 : 0; });
    // The only allocation, made before anything changes.
    FDetached.reserve(FDetached.size() + pinned);
    FUnitChanges.fetch_add(1, std::memory_order_relaxed);
    FUnits.ForEach([&](std::int32_t, TUnit* unit) {
        unit->FChainNext = nullptr;
        unit->FChainPrev = nullptr;
        if (unit->FPinCount > 0) {
            unit->FDetached = true;
            unit->FDirty = false;
            FDetached.emplace_back(unit);
        } else {
            unit->ClearCacheState();
            FStack.Push(std::unique_ptr<TUnit>(unit));
        }
    });
    FUnits.Clear();
    FHead = nullptr;
    FTail = nullptr;
    FVictims = 0;
}

template <class TUnit>
TUnit* TUnitCache<TUnit>::Insert(std::unique_ptr<TUnit> unit) {
    TUnit* raw = unit.get();
    FUnits.Insert(raw->FUnitNumber, raw);
    unit.release();  // the cache owns it now (the insert may throw before)
    PushHead(raw);
    if (IsVictim(*raw)) ++FVictims;
    return raw;
}

template <class TUnit>
std::unique_ptr<TUnit> TUnitCache<TUnit>::Detach(TUnit* unit) noexcept {
    std::unique_ptr<TUnit> owned(unit);
    FUnitChanges.fetch_add(1, std::memory_order_relaxed);
    FUnits.Erase(unit->FUnitNumber);
    Unlink(unit);
    if (IsVictim(*unit) && FVictims > 0) --FVictims;
    return owned;
}

template <class TUnit>
void TUnitCache<TUnit>::PushHead(TCacheUnit* unit) noexcept {
    unit->FChainPrev = nullptr;
    unit->FChainNext = FHead;
    if (FHead != nullptr) FHead->FChainPrev = unit;
    FHead = unit;
    if (FTail == nullptr) FTail = unit;
}

template <class TUnit>
void TUnitCache<TUnit>::Unlink(TCacheUnit* unit) noexcept {
    if (unit->FChainPrev != nullptr)
        unit->FChainPrev->FChainNext = unit->FChainNext;
    else
        FHead = unit->FChainNext;
    if (unit->FChainNext != nullptr)
        unit->FChainNext->FChainPrev = unit->FChainPrev;
    else
        FTail = unit->FChainPrev;
    unit->FChainNext = nullptr;
    unit->FChainPrev = nullptr;
}

}  // namespace pirin
