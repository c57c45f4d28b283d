// TRecord: one record buffer of a table, the unit of the data file's record
// cache. Its image is the record slot in clear: byte 0 status (0 in use,
// 1 deleted), bytes 1..4 the record's own number (in use) or the next
// deleted slot (deleted), bytes 5..8 the autoincrement value, then per field
// a null-flag byte and the stored value. The image is the cache unit's byte
// buffer (Bytes()), exactly the table's record size; TRecordStack::Take and
// the cache size it, and its allocation never shrinks while the object lives.
//
// Modified and dirty. The cache's dirty flag and pin count are the truth for
// the cache: dirty means "write this unit back", and only a pin keeps a unit
// in place. "Modified" is the record buffer's own flag: the cursor changed the
// image (status, link, autoincrement value, fields) since it was blanked,
// loaded or stored. Every change to the bytes of a record that sits in the
// cache (UnitNumber() != 0) also marks it dirty, so a modified cached record is
// always dirty; a record can be dirty without being modified (a new slot is
// dirty from birth, a blanked slot must still reach the disk). Records outside
// any cache (a cursor's own buffers) have a modified flag and no dirty state.
//
// The record number of a cached record is its slot number (UnitNumber());
// a record outside the cache keeps the number it was given or copied.
//
// Ownership: the cache or the holder of the unique_ptr owns a record; the
// data file it belongs to (DataFile(), may be null) outlives it.
// Threads: the thread of its data file. Failures: Blank with a new value on a
// record of no data file raises 8962, as does any access to a record image
// smaller than the 9-byte record header (the data file never makes one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "storage/unit_cache_stack.h"
#include "storage/unit_cache_unit.h"

namespace pirin {

class TDataFile;

inline constexpr std::size_t kRecordHeaderSize = 9;
inline constexpr std::uint8_t kRecordActive = 0;
inline constexpr std::uint8_t kRecordDeleted = 1;
// Byte of the first field's null flag.
inline constexpr std::uint16_t kFirstFieldOffset = 9;
// The second image grows in steps of this many bytes.
inline constexpr std::size_t kRecordImageStep = 64;

class TRecord : public TCacheUnit {
  public:
    explicit TRecord(std::size_t recordSize);
    // The image held in `storage` (the record's slab slot) when it fits.
    TRecord(std::size_t recordSize, TInlineBytes storage);
    ~TRecord() override;

    TDataFile* DataFile() const noexcept { return FDataFile; }
    void AttachTo(TDataFile* file) noexcept { FDataFile = file; }

    std::span<std::uint8_t> Image() noexcept { return Bytes(); }
    std::span<const std::uint8_t> Image() const noexcept { return Bytes(); }

    // Zeros the image, puts the record number in bytes 1..4 and, with
    // `newValue`, draws the next autoincrement value of the data file into
    // bytes 5..8. Clears the modified flag.
    void Blank(bool newValue);
    // Takes a slot as stored in the file: unscrambled first for an encrypted
    // table; a record in use gets its record number in bytes 1..4. Copies at
    // most the record size. Clears the modified flag.
    void LoadImage(std::span<const std::uint8_t> fileBytes, bool encrypted);
    // Copies the image out (at most the record size) and scrambles the copy
    // for an encrypted table; the image stays clear. Clears the modified flag.
    void StoreImage(std::span<std::uint8_t> fileBytes, bool encrypted);

    std::uint8_t Status() const;
    void SetStatus(std::uint8_t status);
    bool Deleted() const { return Status() == kRecordDeleted; }
    std::int32_t NextDeleted() const;
    void SetNextDeleted(std::int32_t slot);
    std::int32_t AutoIncValue() const;
    void SetAutoIncValue(std::int32_t value);
    std::int32_t RecordNumber() const noexcept;
    // Does not count as a change; a cached record keeps its slot number.
    void SetRecordNumber(std::int32_t number) noexcept { FRecordNumber = number; }

    // Takes the data file, modified flag, record number and as much of the
    // image as both sizes hold.
    void CopyFrom(const TRecord& other);
    // True when the first record-size bytes of `buffer` equal the image
    // (false for a shorter buffer).
    bool EqualsImage(std::span<const std::uint8_t> buffer) const;
    // Takes the field bytes (9 onwards) from `buffer`; a modification.
    void CopyFields(std::span<const std::uint8_t> buffer);

    bool Modified() const noexcept { return FModified; }
    void SetModified(bool value) noexcept;

    // A second buffer of the record size for the write path: zero-filled
    // where it grows, its allocation in whole 64-byte steps.
    std::span<std::uint8_t> SecondImage();
    std::size_t SecondImageCapacity() const noexcept {
        return FSecondImage ? FSecondImage->capacity() : 0;
    }

    // Unit cache hooks: a cleared record; a slot loaded from the file (the
    // cache has unscrambled it already).
    void Reset() override;
    // As Reset, but leaves the image to LoadBytes, which replaces all of it.
    void ResetForLoad() override;
    void LoadBytes(std::span<const std::uint8_t> bytes) override;

  private:
    // The image, checked to hold the record header.
    std::span<std::uint8_t> Header();
    std::span<const std::uint8_t> Header() const;
    // A change of the bytes: modified, and dirty when cached.
    void Changed() noexcept;
    void PutOwnNumberIfActive();

    TDataFile* FDataFile = nullptr;
    std::int32_t FRecordNumber = 0;
    bool FModified = false;
    // Made on first use: most records (every cached one) never need it, and
    // an empty pointer takes 16 bytes less of each record's slab slot than an
    // empty vector.
    std::unique_ptr<std::vector<std::uint8_t>> FSecondImage;
};

// The data file's pool of spare record objects (at most 64); the record
// cache takes its objects from the same pool.
// Ownership: owns the spare records; hands them out as unique_ptrs.
class TRecordStack : public TUnitStack<TRecord> {
  public:
    explicit TRecordStack(TDataFile* file = nullptr)
        : TUnitStack<TRecord>(kRecordStackLimit), FDataFile(file) {}

    // A spare record of `recordSize` bytes (or a new one), blanked without a
    // new autoincrement value, unpinned, attached to the data file.
    std::unique_ptr<TRecord> Take(std::size_t recordSize);
    // Keeps the record while fewer than 64 are kept, destroys it otherwise.
    void Give(std::unique_ptr<TRecord> record) noexcept { Push(std::move(record)); }

  private:
    TDataFile* FDataFile;
};

}  // namespace pirin
