// TDataHeader: the 127-byte header at the start of a table's data file, kept
// as the bytes themselves with typed accessors at the fixed offsets
// (little-endian). The description and password characters are held as
// stored: scrambled with the string seeds when the table is encrypted, clear
// otherwise; Description() and Password() give them clear.
//
//   0 change counter (i32)      4 BLOB block size (u32, low 16 bits used)
//   8 version (5)               9 first free slot (i32)
//  13 next record number (i32) 17 last autoincrement value (i32)
//  21 record size (u16)        23 field count (u16)
//  25 BLOB field count (u16)   27 time of last write (f64)
//  35 description (1 + 50)     86 encrypted flag
//  87 password (1 + 15)       103 language id (u16)   105 sort id (u16)
// 107 user major (u16)        109 user minor (u16)    111 writer's flag
// 112 last BLOB stamp (i32)   116 engine build (u32)  120 zero (u32)
// 124..126 reserved
//
// A plain value: any thread, nothing raises. Bytes read from disk are taken
// as they are; the data file checks them (length bytes, counts) before use,
// and the string accessors never read beyond a string's place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pirin {

inline constexpr std::size_t kDataHeaderSize = 127;
inline constexpr std::uint8_t kDataFileVersion = 5;
inline constexpr std::uint32_t kEngineBuild = 31700;
inline constexpr std::size_t kTableDescriptionLength = 50;
inline constexpr std::size_t kPasswordLength = 15;
inline constexpr std::uint16_t kDefaultBlobBlockSize = 512;

class TDataHeader {
  public:
    std::span<std::uint8_t, kDataHeaderSize> Bytes() noexcept { return FBytes; }
    std::span<const std::uint8_t, kDataHeaderSize> Bytes() const noexcept { return FBytes; }
    void Clear() noexcept { FBytes.fill(0); }

    std::int32_t ChangeCounter() const;
    void SetChangeCounter(std::int32_t value);
    std::uint32_t BlobBlockSizeField() const;
    void SetBlobBlockSizeField(std::uint32_t value);
    // The low 16 bits of the field; 0 reads as 512.
    std::uint16_t BlobBlockSize() const;
    std::uint8_t Version() const { return FBytes[8]; }
    void SetVersion(std::uint8_t value) { FBytes[8] = value; }
    std::int32_t FirstFree() const;
    void SetFirstFree(std::int32_t value);
    std::int32_t NextRecordNumber() const;
    void SetNextRecordNumber(std::int32_t value);
    std::int32_t LastAutoIncrement() const;
    void SetLastAutoIncrement(std::int32_t value);
    std::uint16_t RecordSize() const;
    void SetRecordSize(std::uint16_t value);
    std::uint16_t FieldCount() const;
    void SetFieldCount(std::uint16_t value);
    std::uint16_t BlobFieldCount() const;
    void SetBlobFieldCount(std::uint16_t value);
    double WriteTime() const;
    void SetWriteTime(double value);
    bool Encrypted() const { return FBytes[86] != 0; }
    void SetEncrypted(bool value) { FBytes[86] = value ? 1 : 0; }
    std::uint16_t Language() const;
    void SetLanguage(std::uint16_t value);
    std::uint16_t Sort() const;
    void SetSort(std::uint16_t value);
    std::uint16_t UserMajor() const;
    void SetUserMajor(std::uint16_t value);
    std::uint16_t UserMinor() const;
    void SetUserMinor(std::uint16_t value);
    std::uint8_t WriterFlag() const { return FBytes[111]; }
    void SetWriterFlag(std::uint8_t value) { FBytes[111] = value; }
    std::int32_t LastBlobStamp() const;
    void SetLastBlobStamp(std::int32_t value);
    std::uint32_t Build() const;
    void SetBuild(std::uint32_t value);
    std::uint32_t Field120() const;
    void SetField120(std::uint32_t value);

    // The stored length bytes, as found (may exceed 50 and 15 in a damaged file).
    std::uint8_t DescriptionLength() const { return FBytes[kDescriptionAt]; }
    std::uint8_t PasswordLength() const { return FBytes[kPasswordAt]; }
    // Clear texts; at most 50 and 15 characters whatever the length bytes say.
    std::string Description() const;
    std::string Password() const;
    // Store clear texts, cut to 50 and 15 characters and scrambled when the
    // encrypted flag is set at the time of the call.
    void SetDescription(std::string_view text);
    void SetPassword(std::string_view text);

  private:
    static constexpr std::size_t kDescriptionAt = 35;
    static constexpr std::size_t kPasswordAt = 87;

    std::string StoredText(std::size_t at, std::size_t room) const;
    void StoreText(std::size_t at, std::size_t room, std::string_view text);

    std::array<std::uint8_t, kDataHeaderSize> FBytes{};
};

}  // namespace pirin
