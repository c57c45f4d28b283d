// TCursorNavigation: keys and key search, bookmarks, counts and positions,
// and placing one cursor on another's record.
#include <algorithm>
#include <cstring>

#include "engine/cursor_navigation.h"
#include "errors/engine_error_codes.h"
#include "locale/compare_keys.h"
#include "locale/field_types.h"
#include "storage/little_endian.h"

namespace pirin {

const TKeyDescription& TCursorNavigation::Keys() const { return FIndex->KeyDescription(FIndexNo); }

int TCursorNavigation::CompareKey(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                                  std::size_t length) const {
    return CompareKeys(Keys(), a.data(), b.data(), length);
}

int TCursorNavigation::CompareKey(std::span<const std::uint8_t> a,
                                  std::span<const std::uint8_t> b) const {
    return CompareKey(a, b, FKeyLength);
}

std::span<const std::uint8_t> TCursorNavigation::CurrentKey() const noexcept {
    if (FSlot < 1 || FSlot > FLeaf.Entries()) return {};
    return FLeaf.Key(FSlot);
}

// ---- keys --------------------------------------------------------------------------

void TCursorNavigation::BuildKey(std::span<const std::uint8_t> image,
                                 std::span<std::uint8_t> key) const {
    if (WithoutIndex()) return;
    if (key.size() < FKeyLength) RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    if (FIndexNo == kDeletedIndex) {
        const auto built = DeletedIndexKey(image, FIndex->TableName());
        std::copy(built.begin(), built.end(), key.begin());
        return;
    }
    if (!FBuilder) RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    FBuilder->BuildFromRecord(image);
    const auto built = FBuilder->Key();
    std::copy(built.begin(), built.end(), key.begin());
}

std::size_t TCursorNavigation::PrefixLength(int fieldCount, int partialLength) const {
    const auto& parts = FLayout->Parts;
    std::size_t length = 0;
    for (int i = 0; i < fieldCount; ++i)
        length += 1 + static_cast<std::size_t>(parts[static_cast<std::size_t>(i)].KeySize);
    if (partialLength > 0 && fieldCount < static_cast<int>(parts.size())) {
        const TIndexKeyPart& next = parts[static_cast<std::size_t>(fieldCount)];
        if (next.Type != kFieldString) RaiseCursorError(PIRIN_INVALIDKEY, next.FieldName);
        // The presence byte and the first characters of the next string.
        length += 1 + std::min<std::size_t>(static_cast<std::size_t>(partialLength),
                                            static_cast<std::size_t>(next.KeySize));
    }
    return std::min<std::size_t>(length, FKeyLength);
}

void TCursorNavigation::FillKeyTail(const TIndexKeyLayout& layout, std::span<std::uint8_t> key,
                                     std::size_t from, bool highest) const {
    // String characters from the character map, every other byte 0x00 / 0xFF.
    const TLanguageCharMap* map = CharMap();
    const auto length = static_cast<std::size_t>(layout.KeyLength);
    if (from >= length) return;
    std::fill(key.begin() + static_cast<std::ptrdiff_t>(from),
              key.begin() + static_cast<std::ptrdiff_t>(length), highest ? 0xFF : 0x00);
    if (map == nullptr) return;
    const std::uint8_t letter = highest ? map->Highest() : map->Lowest();
    for (const TIndexKeyPart& part : layout.Parts) {
        if (part.Type != kFieldString) continue;
        const std::size_t begin = std::max<std::size_t>(from, part.KeyOffset + 1u);
        const std::size_t end = static_cast<std::size_t>(part.KeyOffset + 1 + part.KeySize);
        for (std::size_t i = begin; i < end && i < length; ++i) key[i] = letter;
    }
}

bool TCursorNavigation::FindKey(bool keyIsBuilt, std::span<const std::uint8_t> keyOrImage,
                                std::span<std::uint8_t> output, int partialLength, bool nearest,
                                int fieldCount) {
    if (WithoutIndex()) return false;
    TOperation operation(*this);
    if (keyOrImage.empty()) return false;
    if (fieldCount < 0 || fieldCount > FKeyFieldCount || partialLength < 0)
        RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    const std::span<std::uint8_t> key{FSearchKey.data(), FKeyLength};
    if (keyIsBuilt) {
        if (keyOrImage.size() < FKeyLength) RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
        std::copy_n(keyOrImage.begin(), FKeyLength, key.begin());
    } else {
        BuildKey(keyOrImage, key);
    }

    bool result = false;
    const bool prefix = (fieldCount > 0 && fieldCount < FKeyFieldCount) || !FUnique ||
                        (fieldCount == 0 && partialLength > 0);
    if (prefix && FLayout) {
        if (!FUnique && fieldCount == 0 && partialLength == 0) fieldCount = FKeyFieldCount;
        const std::size_t length = PrefixLength(fieldCount, partialLength);
        // The lowest key bytes, or the highest for a descending index.
        FillKeyTail(*FLayout, key, length, FDescending);
        (void)FindNearest(key, true, false);
        // Equal bytes are equal keys in every order: the usual hit needs no
        // comparison by the locale.
        const auto current = CurrentKey();
        result = !(FBof && FEof) &&
                 ((current.size() >= length && std::memcmp(current.data(), key.data(), length) == 0) ||
                  CompareKey(current, key, length) == 0);
    } else {
        result = FindNearest(key, nearest, false);
    }
    // A search beyond the last key leaves the cursor on the last record.
    if (FEof) GoLastEntry();
    LoadCurrent();
    CopyCurrentTo(output);
    return result;
}

// ---- bookmarks ---------------------------------------------------------------------

std::size_t TCursorNavigation::BookmarkSize() const noexcept {
    return WithoutIndex() ? sizeof(std::int32_t) : FKeyLength;
}

void TCursorNavigation::GetBookmark(std::span<std::uint8_t> out) const {
    const std::size_t size = BookmarkSize();
    if (out.size() < size) RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    if (WithoutIndex()) {
        le::PutI32(out, 0, FPhysRecNo);
        return;
    }
    const auto key = CurrentKey();
    if (key.empty() || (FBof && FEof))
        std::fill_n(out.begin(), size, std::uint8_t{0});
    else
        std::copy(key.begin(), key.end(), out.begin());
}

bool TCursorNavigation::GotoBookmark(std::span<const std::uint8_t> bookmark, bool keepCracks) {
    TOperation operation(*this);
    if (bookmark.size() < BookmarkSize()) RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    const bool exact = PlaceOnBookmark(bookmark, keepCracks);
    LoadCurrent();
    return keepCracks || exact;
}

bool TCursorNavigation::PlaceOnBookmark(std::span<const std::uint8_t> bookmark,
                                        bool keepCracks) {
    if (WithoutIndex()) {
        const auto record = le::GetI32(bookmark, 0);
        const bool wasBof = FBof;
        const bool wasEof = FEof;
        BitmapPlaceNear(record);
        const bool exact = FPhysRecNo == record && record != 0;
        if (keepCracks && exact && !(wasBof && wasEof)) {
            FBof = wasBof;
            FEof = wasEof;
        }
        return exact;
    }
    // Copied: the bookmark may be the cursor's own key buffer.
    std::array<std::uint8_t, kMaxKeyLength> key{};
    std::copy_n(bookmark.begin(), FKeyLength, key.begin());
    const std::span<const std::uint8_t> wanted{key.data(), FKeyLength};
    (void)FindNearest(wanted, true, keepCracks);
    return !(FBof && FEof) && CompareKey(CurrentKey(), wanted) == 0;
}

int TCursorNavigation::CompareBookmarks(std::span<const std::uint8_t> a,
                                        std::span<const std::uint8_t> b) const {
    const std::size_t size = BookmarkSize();
    if (a.size() < size || b.size() < size) RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    if (WithoutIndex()) {
        const auto x = le::GetI32(a, 0);
        const auto y = le::GetI32(b, 0);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const int result = CompareKey(a, b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// ---- counts and positions ----------------------------------------------------------

std::int32_t TCursorNavigation::RecordCount() {
    TOperation operation(*this);
    return ViewCount();
}

std::int32_t TCursorNavigation::RecNo() {
    TOperation operation(*this);
    return CurrentRecNo();
}

std::int32_t TCursorNavigation::CurrentRecNo() const noexcept {
    if (FLogicalPos <= 0) return 0;
    if (WithoutIndex()) return FLogicalPos;
    return FLogicalPos - (FRangeActive ? FRangeStart : 1) + 1;
}

bool TCursorNavigation::SetRecNo(std::int32_t position) {
    TOperation operation(*this);
    GoToPosition(position);
    LoadCurrent();
    return CurrentRecNo() == position;
}

// ---- one cursor onto another's record --------------------------------------------------

std::uint16_t TCursorNavigation::SyncToCursor(TCursorNavigation& other) {
    TOperation operation(*this);
    const std::int32_t record = other.CurrentRecordNumber();
    const bool otherEmpty = record == 0 || (other.FBof && other.FEof);
    std::uint16_t code = 0;
    if (WithoutIndex()) {
        if (!otherEmpty) {
            FBof = FEof = false;
            BitmapPlaceNear(std::clamp(record, 1, std::max(FData->RecordCount(), 1)));
            if (FPhysRecNo != record) code = PIRIN_RECNOTFOUND;
        }
    } else if (!otherEmpty) {
        BuildKey(other.FCurrent->Image(), FSearchKey);
        if (!FindNearest({FSearchKey.data(), FKeyLength}, false, false)) code = PIRIN_RECNOTFOUND;
    }
    // On the other's record at an edge of the same view: its crack too, so
    // that the next step from a copy goes where the original's would.
    if (code == 0 && !otherEmpty && FIndexNo == other.FIndexNo &&
        CurrentRecordNumber() == record && other.FBof != other.FEof) {
        FBof = other.FBof;
        FEof = other.FEof;
    }
    LoadCurrent();
    return code;
}

}  // namespace pirin
