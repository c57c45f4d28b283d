// Checking a record image against required flags, minimums and maximums.
#include "engine/record_validation.h"

#include <algorithm>
#include <array>
#include <compare>
#include <optional>
#include <string>

#include "errors/engine_error.h"
#include "locale/locale_compare.h"
#include "locale/value_conversions.h"
#include "storage/index_key_bcd.h"
#include "storage/little_endian.h"

namespace pirin {

namespace {

// A stored value and a bound in one comparable form.
struct TComparable {
    enum class TKind { None, Number, Whole, Text } Kind = TKind::None;
    double Number = 0;
    std::int64_t Whole = 0;
    std::string Text;
};

std::int64_t GetI64(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::int64_t>(std::uint64_t{le::GetU32(bytes, at)} |
                                     (std::uint64_t{le::GetU32(bytes, at + 4)} << 32));
}

// The stored value of `field` (bytes after the presence byte).
TComparable StoredValue(const TFieldDescriptor& field, std::span<const std::uint8_t> image) {
    const std::size_t at = field.Offset + 1u;
    TComparable value;
    switch (field.Type) {
        case kFieldString: {
            const auto bytes = image.subspan(at, field.StoredSize);
            std::size_t length = 0;
            while (length < bytes.size() && bytes[length] != 0) ++length;
            value.Kind = TComparable::TKind::Text;
            value.Text.assign(reinterpret_cast<const char*>(bytes.data()), length);
            return value;
        }
        case kFieldDate:
        case kFieldTime:
        case kFieldInteger:
            value.Kind = TComparable::TKind::Whole;
            value.Whole = le::GetI32(image, at);
            return value;
        case kFieldSmallInt:
        case kFieldWord: {
            const std::uint16_t raw = le::GetU16(image, at);
            value.Kind = TComparable::TKind::Whole;
            value.Whole = field.Type == kFieldSmallInt
                              ? std::int64_t{static_cast<std::int16_t>(raw)}
                              : std::int64_t{raw};
            return value;
        }
        case kFieldLargeInt:
            value.Kind = TComparable::TKind::Whole;
            value.Whole = GetI64(image, at);
            return value;
        case kFieldFloat:
        case kFieldTimeStamp:
            value.Kind = TComparable::TKind::Number;
            value.Number = le::GetF64(image, at);
            return value;
        case kFieldBcd: {
            std::array<std::uint8_t, kBcdStoredSize> bcd{};
            std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(at), bcd.size(), bcd.begin());
            const auto scaled = BcdToDecimal(bcd);
            if (!scaled) return value;  // not a number: nothing to compare
            value.Kind = TComparable::TKind::Whole;
            value.Whole = *scaled;
            return value;
        }
        default:
            return value;
    }
}

// The bound text in the form of StoredValue; nothing when it does not
// convert (the data file refuses such definitions, so this is defensive).
std::optional<TComparable> BoundValue(const TFieldDescriptor& field, std::string_view text) {
    TComparable value;
    const auto whole = [&](std::optional<std::int64_t> n) -> std::optional<TComparable> {
        if (!n) return std::nullopt;
        value.Kind = TComparable::TKind::Whole;
        value.Whole = *n;
        return value;
    };
    switch (field.Type) {
        case kFieldString:
            value.Kind = TComparable::TKind::Text;
            value.Text = text;
            return value;
        case kFieldDate:
            return whole(TryStrToDayNumber(text));
        case kFieldTime:
            return whole(TryStrToTimeMSecs(text));
        case kFieldSmallInt:
        case kFieldWord:
        case kFieldInteger:
        case kFieldLargeInt:
            return whole(TryStrToLargeInt(text));
        case kFieldBcd:
            return whole(TryStrToDecimal(text));
        case kFieldFloat: {
            const auto n = TryStrToFloat(text);
            if (!n) return std::nullopt;
            value.Kind = TComparable::TKind::Number;
            value.Number = *n;
            return value;
        }
        case kFieldTimeStamp: {
            const auto stamp = TryStrToTimeStamp(text);
            if (!stamp) return std::nullopt;
            value.Kind = TComparable::TKind::Number;
            value.Number = static_cast<double>(TimeStampToMSecs(*stamp));
            return value;
        }
        default:
            return std::nullopt;
    }
}

// Negative, 0 or positive as the stored value lies below, at or above the
// bound.
int Compare(const TComparable& stored, const TComparable& bound, const TValidationPlace& place) {
    switch (stored.Kind) {
        case TComparable::TKind::Text:
            return LocaleCompare(place.Language, place.Sort, std::string_view(stored.Text),
                                 std::string_view(bound.Text), false);
        case TComparable::TKind::Whole: {
            // A BCD value is scaled by 10^4 both ways; the others are whole.
            const auto order = stored.Whole <=> bound.Whole;
            return order < 0 ? -1 : (order > 0 ? 1 : 0);
        }
        case TComparable::TKind::Number:
            return stored.Number < bound.Number ? -1 : (stored.Number > bound.Number ? 1 : 0);
        default:
            return 0;
    }
}

}  // namespace

bool HasValueChecks(std::span<const TFieldDescriptor> fields) {
    for (const TFieldDescriptor& field : fields)
        if (field.Required || !field.MinText.empty() || !field.MaxText.empty()) return true;
    return false;
}

void CheckRecordValues(std::span<const TFieldDescriptor> fields,
                       std::span<const std::uint8_t> image, const TValidationPlace& place) {
    for (const TFieldDescriptor& field : fields) {
        const auto fail = [&](std::uint16_t code) {
            RaiseEngineError(
                code, {.database = place.Database, .table = place.Table, .field = field.Name});
        };
        // An autoincrement field has no presence byte and is never blank.
        if (field.Required && !field.IsAutoInc() && image[field.Offset] == 0) fail(PIRIN_REQDERR);
        if (field.MinText.empty() && field.MaxText.empty()) continue;
        const TComparable stored = StoredValue(field, image);
        if (stored.Kind == TComparable::TKind::None) continue;
        if (!field.MinText.empty()) {
            const auto bound = BoundValue(field, field.MinText);
            if (bound && Compare(stored, *bound, place) < 0) fail(PIRIN_MINVALERR);
        }
        if (!field.MaxText.empty()) {
            const auto bound = BoundValue(field, field.MaxText);
            if (bound && Compare(stored, *bound, place) > 0) fail(PIRIN_MAXVALERR);
        }
    }
}

}  // namespace pirin
