// Helpers of the range and filter tests: record images for keys, and the
// ids of a cursor's view in its order.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/engine/cursor_test_support.h"

namespace pirin::testing {

// A blank record image with string fields set (field number, text).
inline std::vector<std::uint8_t> TextImage(const TDataCursor& cursor,
                                           std::vector<std::pair<int, std::string>> values) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    cursor.BlankRecord(image);
    for (const auto& [field, text] : values) {
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        cursor.SetField(field, image, bytes);
    }
    return image;
}

// The integer field 1 of every record of the view, from the first on.
inline std::vector<std::int32_t> ViewIds(TDataCursor& cursor) {
    std::vector<std::int32_t> ids;
    for (const auto& image : ReadAll(cursor)) ids.push_back(IntegerField(cursor, 1, image));
    return ids;
}

// The id of the record the cursor stands on.
inline std::int32_t CurrentId(TDataCursor& cursor) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    if (cursor.GetCurrentRecord(image, false) != 0) return 0;
    return IntegerField(cursor, 1, image);
}

}  // namespace pirin::testing
