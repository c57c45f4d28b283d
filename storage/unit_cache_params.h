// The fixed parameters of the three kinds of unit cache, the session's cache
// budgets, and how a budget becomes a number of cached units.
//
// Plain values and pure functions: any thread, nothing raises.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pirin {

struct TUnitCacheParams {
    // Units added to the capacity when every cached unit is dirty or pinned
    // and none may be written early.
    std::size_t GrowStep;
    // Bytes one read-ahead run may span; a run holds at least one unit.
    std::size_t RunBytes;
};

inline constexpr TUnitCacheParams kRecordCacheParams{64, 8192};
inline constexpr TUnitCacheParams kPageCacheParams{4, 4096};
inline constexpr TUnitCacheParams kBlockCacheParams{32, 16384};

// Units in one read-ahead run: max(1, run bytes / unit size).
std::int32_t UnitsPerRun(std::size_t runBytes, std::size_t unitSize) noexcept;

// The session's cache settings, in the order the session passes them, and
// the engine's own floor for the page caches.
struct TCacheBudgets {
    std::int32_t RecordBytes = 16384;
    std::int32_t RecordCount = 8192;
    std::int32_t IndexBytes = 16384;
    std::int32_t BlobBytes = 32768;
    std::int32_t BlobCount = 8192;
    // Pages every index keeps at least (1 MB of pages): record bytes / 8192
    // alone leaves 2 pages to an index, fewer than one descent touches, so
    // every look-up would read, unpack and change-check each level again.
    // With this floor the upper levels and the leaves used most stay in
    // memory. 0 leaves the budget to the record bytes alone.
    std::int32_t IndexPages = 256;
};

// Records a data file keeps: min(record bytes / record size, record count);
// the count alone for a record size of 0.
std::size_t RecordCacheBudget(const TCacheBudgets& budgets, std::size_t recordSize) noexcept;
// Pages each index keeps: record bytes / 8192, at least the index pages.
std::size_t PageCacheBudget(const TCacheBudgets& budgets) noexcept;
// Blocks a BLOB file keeps: min(BLOB bytes / block size, BLOB count); the
// count alone for a block size of 0.
std::size_t BlockCacheBudget(const TCacheBudgets& budgets, std::size_t blockSize) noexcept;

// Statistics only.
struct TUnitCacheStats {
    std::uint64_t Hits = 0;
    std::uint64_t Misses = 0;
    std::uint64_t Reads = 0;
    std::uint64_t Writes = 0;
};

enum class TReadDirection : std::uint8_t { Forward, Backward };

// How much a fetch that misses may read: `Count` units from the unit asked
// for on, in `Direction`. The cache cuts the run to its run bytes and to the
// last unit of the file.
struct TReadAhead {
    std::int32_t Count = 1;
    TReadDirection Direction = TReadDirection::Forward;
};

}  // namespace pirin
