// TIndexKeyBuilder: builds index keys of one index, either from a record
// image (the key the index holds for that record) or value by value (search
// keys and range bounds, which may cover only the leading key fields).
//
// The builder owns its key buffer (the layout's key length, zero-filled
// beyond what was appended); the layout must outlive the builder. One thread
// at a time. Failures raise engine errors with the table and index names:
// a record image too short for a key field, or a BCD value whose stored
// form is malformed, raises 8962 (the record buffers are damaged); values
// appended past the last key field, a stored form of the wrong size, a
// text for a field that is not a string, or a row suffix before the last
// field, raise 10026.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "storage/index_key_layout.h"

namespace pirin {

class TIndexKeyBuilder {
  public:
    explicit TIndexKeyBuilder(const TIndexKeyLayout& layout);

    // Starts a new key: all zero, no field appended.
    void Clear();

    // The next key field's value in its stored form, exactly as a record
    // image holds it after the presence byte (little-endian numbers, a
    // string's stored size of characters and zero bytes, 34 BCD bytes; the
    // 4 bytes of an autoincrement value).
    void AppendStored(std::span<const std::uint8_t> stored);
    // The next key field's value as text, for a string key field: at most
    // the declared size of characters is taken, up to the first zero byte.
    void AppendString(std::string_view text);
    // The next key field is null.
    void AppendNull();
    // The row suffix of a non-unique index (ignored for a unique one); only
    // after the last key field.
    void AppendRowSuffix(std::int32_t autoIncValue);

    // The whole key of a record for this index: every key field from the
    // image, then the row suffix from its bytes 5..8 when not unique.
    void BuildFromRecord(std::span<const std::uint8_t> image);

    // The key, KeyLength() bytes; bytes not yet appended are zero.
    std::span<const std::uint8_t> Key() const { return FKey; }
    int KeyLength() const { return FLayout.KeyLength; }
    // Bytes appended so far (the length a prefix search compares).
    int AppendedLength() const { return FLength; }
    int FieldsAppended() const { return FNextPart; }

  private:
    const TIndexKeyPart& NextPart();
    void Finish(const TIndexKeyPart& part);
    [[noreturn]] void Raise(std::uint16_t code, std::string_view field = {}) const;

    const TIndexKeyLayout& FLayout;
    std::vector<std::uint8_t> FKey;
    int FNextPart = 0;
    int FLength = 0;
};

// Convenience: the key of a record image for the index of `layout`.
std::vector<std::uint8_t> RecordKey(const TIndexKeyLayout& layout,
                                    std::span<const std::uint8_t> image);

// The key of a record slot in the deleted-records index (31): the slot's
// status byte, then its autoincrement value as a 4-byte integer key, so that
// deleted slots (status 1) sort after every active one.
std::array<std::uint8_t, kDeletedIndexKeyLength> DeletedIndexKey(std::uint8_t status,
                                                                 std::int32_t autoIncValue);
// The same, from a record image (status byte 0, autoincrement value 5..8);
// raises 8962 for an image shorter than the 9-byte record header.
std::array<std::uint8_t, kDeletedIndexKeyLength> DeletedIndexKey(
    std::span<const std::uint8_t> image, std::string_view tableName = {});

}  // namespace pirin
