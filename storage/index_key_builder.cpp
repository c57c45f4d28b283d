#include "storage/index_key_builder.h"

#include <algorithm>
#include <string>

#include "errors/engine_error.h"
#include "locale/case_mapping.h"
#include "storage/index_key_bcd.h"
#include "storage/index_key_form.h"
#include "storage/little_endian.h"
#include "storage/record.h"

namespace pirin {

namespace {

std::uint64_t GetLittleEndian(std::span<const std::uint8_t> bytes, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

}  // namespace

TIndexKeyBuilder::TIndexKeyBuilder(const TIndexKeyLayout& layout)
    : FLayout(layout), FKey(static_cast<std::size_t>(layout.KeyLength), 0) {}

void TIndexKeyBuilder::Clear() {
    std::fill(FKey.begin(), FKey.end(), std::uint8_t{0});
    FNextPart = 0;
    FLength = 0;
}

void TIndexKeyBuilder::Raise(std::uint16_t code, std::string_view field) const {
    RaiseEngineError(code,
                     {.table = FLayout.TableName, .field = field, .index = FLayout.IndexName});
}

const TIndexKeyPart& TIndexKeyBuilder::NextPart() {
    if (FNextPart >= static_cast<int>(FLayout.Parts.size())) Raise(PIRIN_INVALIDKEY);
    return FLayout.Parts[FNextPart];
}

// Inverts a descending field under language 0 and moves past it.
void TIndexKeyBuilder::Finish(const TIndexKeyPart& part) {
    if (part.Inverted) {
        // A string's terminating zero stays zero, so a shorter text still
        // ends where the comparison expects.
        const int invertSize = part.Type == kFieldString ? part.KeySize - 1 : part.KeySize;
        auto first = FKey.begin() + part.KeyOffset;
        std::transform(first, first + 1 + invertSize, first,
                       [](std::uint8_t b) { return static_cast<std::uint8_t>(~b); });
    }
    ++FNextPart;
    FLength = part.KeyOffset + 1 + part.KeySize;
}

void TIndexKeyBuilder::AppendNull() {
    const TIndexKeyPart& part = NextPart();
    // Presence byte and key form are zero already (Clear, construction).
    Finish(part);
}

void TIndexKeyBuilder::AppendString(std::string_view text) {
    const TIndexKeyPart& part = NextPart();
    if (part.Type != kFieldString) Raise(PIRIN_INVALIDKEY, part.FieldName);
    std::vector<std::uint8_t> stored(static_cast<std::size_t>(part.StoredSize), 0);
    const std::size_t length =
        std::min({text.size(), stored.size() - 1,
                  text.find('\0') == std::string_view::npos ? text.size() : text.find('\0')});
    std::copy_n(text.begin(), length, stored.begin());
    AppendStored(stored);
}

void TIndexKeyBuilder::AppendStored(std::span<const std::uint8_t> stored) {
    const TIndexKeyPart& part = NextPart();
    if (stored.size() != static_cast<std::size_t>(part.StoredSize))
        Raise(PIRIN_INVALIDKEY, part.FieldName);
    const auto at = static_cast<std::size_t>(part.KeyOffset);
    FKey[at] = 1;
    std::span<std::uint8_t> form(FKey.data() + at + 1, static_cast<std::size_t>(part.KeySize));
    switch (part.Type) {
        case kFieldString: {
            // Characters up to the first zero, at most the declared size; the
            // rest of the form (and the terminator) zero whatever the record
            // held after the text.
            const std::size_t declared = form.size() - 1;
            const auto end = std::find(stored.begin(), stored.begin() + declared, std::uint8_t{0});
            const auto length = static_cast<std::size_t>(end - stored.begin());
            std::fill(form.begin(), form.end(), std::uint8_t{0});
            std::copy_n(stored.begin(), length, form.begin());
            // Mapped in place: the text holds no zero and the form's last
            // byte ends it.
            if (FLayout.CaseInsensitive)
                UpperCaseLocale(FLayout.Language, FLayout.Sort, reinterpret_cast<char*>(form.data()));
            break;
        }
        case kFieldDate:
        case kFieldInteger:
        case kFieldTime:
            PutIntegerKey(le::GetI32(stored, 0), form.first<4>());
            break;
        case kFieldSmallInt:
            PutSmallIntKey(static_cast<std::int16_t>(le::GetU16(stored, 0)), form.first<2>());
            break;
        case kFieldBoolean:
        case kFieldWord:
            PutWordKey(le::GetU16(stored, 0), form.first<2>());
            break;
        case kFieldFloat:
        case kFieldTimeStamp:
            PutFloatKey(le::GetF64(stored, 0), form.first<8>());
            break;
        case kFieldLargeInt:
            PutLargeIntKey(static_cast<std::int64_t>(GetLittleEndian(stored, 8)), form.first<8>());
            break;
        case kFieldBcd: {
            const auto value = BcdToDecimal(stored.first<kBcdStoredSize>());
            if (!value) Raise(PIRIN_FILECORRUPT, part.FieldName);
            PutLargeIntKey(*value, form.first<8>());
            break;
        }
        default:
            std::copy(stored.begin(), stored.end(), form.begin());
            break;
    }
    Finish(part);
}

void TIndexKeyBuilder::AppendRowSuffix(std::int32_t autoIncValue) {
    if (FNextPart != static_cast<int>(FLayout.Parts.size())) Raise(PIRIN_INVALIDKEY);
    if (FLayout.Unique) return;
    PutIntegerKey(autoIncValue,
                  std::span<std::uint8_t>(FKey).subspan(FLayout.FieldBytes).first<4>());
    FLength = FLayout.KeyLength;
}

void TIndexKeyBuilder::BuildFromRecord(std::span<const std::uint8_t> image) {
    Clear();
    if (image.size() < kRecordHeaderSize) Raise(PIRIN_FILECORRUPT);
    for (const TIndexKeyPart& part : FLayout.Parts) {
        if (part.AutoInc) {
            AppendStored(image.subspan(kAutoIncOffset, 4));
            continue;
        }
        const std::size_t end = std::size_t{part.RecordOffset} + 1 + part.StoredSize;
        if (part.RecordOffset < kFirstFieldOffset || end > image.size())
            Raise(PIRIN_FILECORRUPT, part.FieldName);
        if (image[part.RecordOffset] == 0) {
            AppendNull();
        } else {
            AppendStored(image.subspan(part.RecordOffset + 1, part.StoredSize));
        }
    }
    AppendRowSuffix(le::GetI32(image, kAutoIncOffset));
}

std::vector<std::uint8_t> RecordKey(const TIndexKeyLayout& layout,
                                    std::span<const std::uint8_t> image) {
    TIndexKeyBuilder builder(layout);
    builder.BuildFromRecord(image);
    return {builder.Key().begin(), builder.Key().end()};
}

std::array<std::uint8_t, kDeletedIndexKeyLength> DeletedIndexKey(std::uint8_t status,
                                                                 std::int32_t autoIncValue) {
    std::array<std::uint8_t, kDeletedIndexKeyLength> key{};
    key[0] = status;
    PutIntegerKey(autoIncValue, std::span<std::uint8_t, kDeletedIndexKeyLength>(key).last<4>());
    return key;
}

std::array<std::uint8_t, kDeletedIndexKeyLength> DeletedIndexKey(
    std::span<const std::uint8_t> image, std::string_view tableName) {
    if (image.size() < kRecordHeaderSize)
        RaiseEngineError(PIRIN_FILECORRUPT, {.table = tableName, .index = kDeletedIndexName});
    return DeletedIndexKey(image[0], le::GetI32(image, kAutoIncOffset));
}

}  // namespace pirin
