// TUnitCacheOwner: what a unit cache needs of the table file that owns it
// (the data file for records, the index file for the pages of one index, the
// BLOB file for blocks). The cache never touches a file or a header itself;
// it asks its owner, so that it can be tested alone and serves every file.
//
// Ownership: the owner outlives its cache. Threads: the cache calls its owner
// on the thread that uses the cache. Failures: ReadUnits and WriteUnits raise
// the engine's read and write errors (9217, 9218) with the table's name;
// CheckAndResync may raise whatever the change check raises. The cache stays
// consistent whatever an owner call raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "storage/file_system.h"
#include "storage/unit_cache_unit.h"

namespace pirin {

// No unit of any table file may end beyond this offset: the byte-range locks
// live above it.
inline constexpr std::uint64_t kUnitEndOffsetLimit = 4'000'000'000ULL;
// Highest unit numbers: records of a data file; pages of an index file and
// blocks of a BLOB file.
inline constexpr std::int32_t kRecordNumberLimit = 200'000'000;
inline constexpr std::int32_t kPageNumberLimit = 2'000'000'000;
inline constexpr std::int32_t kBlockNumberLimit = 2'000'000'000;

class TUnitCacheOwner {
  public:
    virtual ~TUnitCacheOwner() = default;

    // Bytes per unit: the record size, 4096 for pages, the BLOB block size.
    virtual std::size_t UnitSize() const = 0;
    // File offset of unit n (n >= 1).
    virtual std::uint64_t UnitOffset(std::int32_t n) const = 0;

    // The header's next-unit number: units 1 to next - 1 exist.
    virtual std::int32_t NextUnitNumber() const = 0;
    // Adds 1 to the next-unit number and marks the header changed.
    virtual void AdvanceNextUnitNumber() = 0;
    virtual std::int32_t UnitNumberLimit() const = 0;
    virtual std::uint64_t EndOffsetLimit() const { return kUnitEndOffsetLimit; }

    // Reads buffer.size() bytes at `offset` in one positioned read and
    // returns the count read. A short read raises 9217 unless `allowShort`.
    virtual std::size_t ReadUnits(std::uint64_t offset, std::span<std::uint8_t> buffer,
                                  bool allowShort) = 0;
    // The requests as ReadUnits each, in one operation of the file where it
    // can (each request's Transferred says what moved); raises as ReadUnits. The
    // default makes one ReadUnits per request.
    virtual void ReadUnitsBatch(std::span<TReadRequest> requests, bool allowShort) {
        for (TReadRequest& request : requests)
            request.Transferred = ReadUnits(
                request.Offset,
                std::span(static_cast<std::uint8_t*>(request.Buffer), request.Count), allowShort);
    }
    // Writes all of `bytes` at `offset` in one positioned write; raises 9218.
    virtual void WriteUnits(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;

    // Undo and apply the table's scrambling on the bytes of unit n in a read
    // or write buffer; the owner knows the unit's runs (a record slot, a
    // page, a block's header and data part). Both do nothing for a table
    // that is not encrypted. UnscrambleUnit may also fix up the clear bytes
    // as the file format asks (a live record carries its own number).
    virtual void UnscrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) = 0;
    virtual void ScrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) = 0;
    // Fills `unit` from the clear bytes of unit n read from disk. A unit
    // loads itself unless its owner knows more about it than its bytes (the
    // index file gives a page the settings of the index it was read for).
    virtual void LoadUnit(TCacheUnit& unit, std::span<const std::uint8_t> bytes) {
        unit.LoadBytes(bytes);
    }

    // Inside a transaction dirty units are never written early.
    virtual bool InTransaction() const = 0;
    // True when the file may be shorter than the cache: the handler is
    // exclusive or the table is in a transaction, and this process has
    // written to the table since it opened it.
    virtual bool ShortReadsAllowed() const = 0;
    // Called after every write-back write.
    virtual void SetWrittenSinceOpen() = 0;

    // With strict change detection the cursor checks for foreign changes up
    // front, and the cache does not ask before reading.
    virtual bool StrictChangeDetection() const = 0;
    // Asked before reading from disk otherwise: true when another process
    // changed the table. The caches have then been emptied and the fetch
    // delivers nothing; the caller starts its operation over.
    [[nodiscard]] virtual bool CheckAndResync() = 0;

    // The code raised when a unit is not where it should be: 8962 records,
    // 8965 index pages, 8963 BLOB blocks.
    virtual std::uint16_t CorruptCode() const = 0;
    virtual std::string_view TableName() const = 0;
};

}  // namespace pirin
