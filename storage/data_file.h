// TDataFile: the data file of a table (".DAT"): the 127-byte header, one
// 768-byte descriptor per field, then the fixed-length record slots. It reads
// and checks the header and descriptors, serves records through its record
// cache, keeps the chain of deleted slots, hands out autoincrement values and
// BLOB stamps, and writes the header back when it changed. An encrypted table
// has its descriptors (one run), each record slot (a run each) and the
// description and password characters scrambled on disk; everything in
// memory is clear except the header's description and password bytes.
//
// State: closed; open after OpenFile or CreateTableFile; closed after
// CloseFile. While open the header in memory may be ahead of the disk
// (HeaderModified()) until WriteHeader; the descriptors never change after
// creation. HeaderChanged() is how the owner learns that another process
// wrote the table; it then discards the cached records (DiscardRecords).
//
// Invariants while open: field count <= 1024, record size >= 9, the next
// record number between 1 and 200,000,001 with every slot ending at or below
// offset 4,000,000,000, the first free slot below the next record number,
// password and description length bytes within 15 and 50. Headers that break
// them are refused with 8961 wherever they are read, so record access never
// runs on impossible sizes.
//
// Ownership: the data file owns its descriptors, its record cache and the
// pool of spare records (RecordStack()); pins on records must be released
// before the file is closed or destroyed. The table file context (the
// engine's table) outlives it.
// Threads: the thread that uses the table's cursors.
// Failures (EPirinEngineError with the table's name): 8961 damaged header,
// descriptors or size; 12035 wrong version; 15878 locale not installed;
// 8962 a record number of 0 or a record not where it should be; 9479 table
// full; 9217/9218 read and write errors; 9492, 10000, 10006, 10038, 9498,
// 9477 bad definitions at creation. A failed open leaves the file closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/data_header.h"
#include "storage/field_descriptor.h"
#include "storage/file_handler.h"
#include "storage/record.h"
#include "storage/table_file_context.h"
#include "storage/unit_cache.h"
#include "storage/table_unit_owner.h"

namespace pirin {

inline constexpr std::uint16_t kMaxFieldCount = 1024;
inline constexpr std::uint16_t kMaxBlobFieldCount = 128;
inline constexpr std::size_t kRecordRunBytes = 8192;

using TRecordPin = TUnitPin<TRecord>;
using TRecordCache = TUnitCache<TRecord>;

// A descriptor found by FindField and its 1-based position.
struct TFieldMatch {
    TFieldDescriptor Field;
    int Position = 0;
};

// What CreateTableFile needs besides the descriptors.
struct TNewTableOptions {
    std::uint16_t Language = 0;
    std::uint16_t Sort = 0;
    std::uint32_t BlobBlockSize = kDefaultBlobBlockSize;
    std::string Description;
    std::string Password;
    bool Encrypted = false;
    std::uint16_t UserMinor = 0;
    std::uint16_t UserMajor = 1;
};

class TDataFile : public TFileHandler {
  public:
    explicit TDataFile(TTableFileContext& context, std::string fileName = {});
    ~TDataFile() override;

    // ---- opening, closing, creating ----
    // Opens the handler, reads and checks the header, reads the descriptors
    // and sizes the record cache. Nothing when already open.
    void OpenFile() override;
    // Drops the descriptors and every cached record without writing (write
    // back first), then closes.
    void CloseFile() override;
    // Builds header and descriptors in memory (numbers, stored sizes and
    // offsets computed here) and creates the file, replacing any file of that
    // name; WriteHeader and WriteFieldDescriptors put them on disk.
    void CreateTableFile(std::span<const TFieldDescriptor> descriptors,
                         const TNewTableOptions& options);
    // The same with the arguments one by one; the first `fieldCount`
    // descriptors are taken (a count the span does not hold raises 9492).
    void CreateTableFile(std::uint16_t language, std::uint16_t sort,
                         std::span<const TFieldDescriptor> descriptors, int fieldCount,
                         std::uint32_t blobBlockSize, std::string_view description,
                         std::string_view password, bool encrypted, std::uint16_t userMinor,
                         std::uint16_t userMajor);

    // ---- header ----
    // Reads the header at offset 0 and clears the header-modified flag.
    void ReadHeader();
    // Rereads the header; when its change counter differs from the one in
    // memory, adopts it and returns true.
    [[nodiscard]] bool HeaderChanged();
    // When forced or modified: counter + 1, build 31700, byte 111 and bytes
    // 120..123 zero, the time field set, written at offset 0 in one write.
    // Returns whether it wrote. Write the records back first, so that the
    // header never counts slots the file does not hold yet. A failed write
    // leaves the header in memory as it was (still modified).
    bool WriteHeader(bool force = false);
    // Counter + 1 and marks the header modified and the table written,
    // without writing.
    void TouchHeader();

    // ---- descriptors and checks ----
    void ReadFieldDescriptors();
    // Writes all descriptors when they changed; flushes when the session
    // forces flushing.
    void WriteFieldDescriptors();
    // Version, locale, every descriptor, record size and the file length
    // against the header's counters.
    void CheckStructure();
    void CheckVersion() const;

    // ---- records ----
    // Record n, pinned. `cursor` (may be null) is asked before a disk read
    // whether another process changed the table; an empty pin means it did
    // and the caller starts over. n equal to the next record number makes a
    // new slot at the end.
    [[nodiscard]] TRecordPin FetchRecord(TChangeCheck* cursor, std::int32_t n,
                                         TReadAhead readAhead = {});
    // Reads ahead: caches records `numbers` as TRecordCache::Prefetch does
    // (false: another process changed the table).
    bool PrefetchRecords(std::span<const std::int32_t> numbers);
    // The slot for a record being inserted: the first free slot when the
    // table has a primary index and the chain is not empty, else a new slot
    // at the end. Empty pin as for FetchRecord.
    [[nodiscard]] TRecordPin NewRecordSlot(TChangeCheck* cursor);
    // Marks a record of the cache deleted and makes it the first free slot
    // (8962 for a record outside the cache, 8708 for one deleted already).
    void FreeRecordSlot(TRecord& record);
    // Writes back every dirty, unpinned record; returns the writes made.
    std::size_t WriteBack();
    // Drops every cached record without writing (another process changed
    // the file, or a rollback).
    void DiscardRecords();
    // Gives cached records back until the cache is within its budget.
    void TrimRecords();
    TRecordStack& RecordStack() noexcept { return FRecordStack; }
    const TRecordCache& RecordCache() const noexcept { return FRecords; }

    // ---- counters ----
    std::int32_t NextAutoIncrement();
    void SetLastAutoIncrement(std::int32_t explicitValue);
    std::int32_t NextBlobStamp();
    void SetLastBlobStamp(std::int32_t explicitValue);

    // ---- fields and properties ----
    std::optional<TFieldMatch> FindField(int number) const;
    std::optional<TFieldMatch> FindField(std::string_view name) const;
    std::span<const TFieldDescriptor> Fields() const noexcept { return FFields; }
    // Clear password; empty when the table is not encrypted.
    std::string GetPassword() const;
    std::string Description() const { return FHeader.Description(); }
    const TDataHeader& Header() const noexcept { return FHeader; }
    bool HeaderModified() const noexcept { return FHeaderModified; }
    bool DescriptorsModified() const noexcept { return FDescriptorsModified; }
    int FieldCount() const { return FHeader.FieldCount(); }
    int RecordSize() const { return FHeader.RecordSize(); }
    int BlobFieldCount() const { return FHeader.BlobFieldCount(); }
    int BlobBlockSize() const { return FHeader.BlobBlockSize(); }
    std::uint16_t Language() const { return FHeader.Language(); }
    std::uint16_t Sort() const { return FHeader.Sort(); }
    bool Encrypted() const { return FHeader.Encrypted(); }
    std::int32_t RecordCount() const { return FHeader.NextRecordNumber() - 1; }
    // Records in one 8192-byte read-ahead run (at least 1).
    std::int32_t RecordsPerRun() const noexcept { return FRecordsPerRun; }
    // 127 + 768 x field count: where slot 1 starts.
    std::uint64_t DataOffset() const;

    // File offset of record slot n.
    std::uint64_t UnitOffset(std::int32_t n) const;

  private:
    // What the record cache asks of this file: slot geometry and the
    // scrambling of a slot; the rest comes from TTableUnitOwner.
    class TOwner final : public TTableUnitOwner {
      public:
        explicit TOwner(TDataFile& file)
            : TTableUnitOwner(file, file.FContext, PIRIN_FILECORRUPT), FData(file) {}
        std::size_t UnitSize() const override { return FData.FHeader.RecordSize(); }
        std::uint64_t UnitOffset(std::int32_t n) const override { return FData.UnitOffset(n); }
        std::int32_t NextUnitNumber() const override { return FData.FHeader.NextRecordNumber(); }
        void AdvanceNextUnitNumber() override;
        std::int32_t UnitNumberLimit() const override { return kRecordNumberLimit; }
        void UnscrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) override;
        void ScrambleUnit(std::int32_t n, std::span<std::uint8_t> bytes) override;

      private:
        TDataFile& FData;
    };

    [[noreturn]] void RaiseCode(std::uint16_t code, std::string_view field = {}) const;
    // Refuses a header this file cannot work with (see the invariants).
    void ValidateHeader(const TDataHeader& header) const;
    // The header's bytes as on disk, not yet validated.
    void ReadHeaderBytes(TDataHeader& header);
    // Opening: the header, and the descriptors in the same read when they
    // fit in kOpenReadSize bytes (read apart otherwise).
    static constexpr std::size_t kOpenReadSize = 4096;
    void ReadHeaderAndDescriptors();
    // Takes the descriptors from their bytes as stored (unscrambled here).
    void UnpackFieldDescriptors(std::span<std::uint8_t> bytes);
    void SizeRecordCache();
    void MarkHeaderModified() noexcept { FHeaderModified = true; }
    void CheckDescriptors() const;

    TTableFileContext& FContext;
    TDataHeader FHeader;
    bool FHeaderModified = false;
    bool FDescriptorsModified = false;
    std::vector<TFieldDescriptor> FFields;
    // Set once descriptors are read or created: field count and record
    // size may no longer change under them.
    bool FLayoutFixed = false;
    std::int32_t FRecordsPerRun = 1;
    TOwner FOwner{*this};
    // The pool outlives the cache that takes its objects from it.
    TRecordStack FRecordStack{this};
    TRecordCache FRecords{FOwner, FRecordStack, kRecordCacheParams};
};

}  // namespace pirin
