// Helpers of the write path tests: building record images through a
// cursor (integers, strings, memos) and reading a table's files as bytes.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "tests/engine/cursor_test_support.h"

namespace pirin::testing {

using TImage = std::vector<std::uint8_t>;

inline TImage NewImage(const TDataCursor& cursor) {
    TImage image(static_cast<std::size_t>(cursor.RecordSize()));
    cursor.InitRecord(image);
    return image;
}

inline void SetInteger(const TDataCursor& cursor, int fieldNo, TImage& image, std::int32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    std::memcpy(bytes.data(), &value, 4);
    cursor.SetField(fieldNo, image, std::span<const std::uint8_t>(bytes));
}

inline void SetString(const TDataCursor& cursor, int fieldNo, TImage& image,
                      const std::string& text) {
    cursor.SetField(fieldNo, image,
                    std::span<const std::uint8_t>(
                        reinterpret_cast<const std::uint8_t*>(text.c_str()), text.size() + 1));
}

// Opens the memo of `image`, replaces its text and leaves it open for the
// post (which releases it).
inline void SetMemo(TDataCursor& cursor, int fieldNo, TImage& image, const std::string& text) {
    std::uint32_t length = 0;
    ASSERT_EQ(cursor.OpenBlob(fieldNo, image, TBlobOpenMode::ReadWrite, length), 0);
    ASSERT_EQ(cursor.TruncateBlob(fieldNo, image, 0), 0);
    ASSERT_EQ(cursor.PutBlob(fieldNo, image, 0,
                             std::span<const std::uint8_t>(
                                 reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
              0);
}

inline std::string MemoText(TDataCursor& cursor, int fieldNo, TImage image) {
    std::uint32_t length = 0;
    EXPECT_EQ(cursor.OpenBlob(fieldNo, image, TBlobOpenMode::Read, length), 0);
    std::string text(length, '\0');
    std::uint32_t count = 0;
    EXPECT_EQ(cursor.GetBlob(fieldNo, image, 0,
                             std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(text.data()),
                                                     text.size()),
                             count),
              0);
    EXPECT_EQ(cursor.FreeBlob(fieldNo, image), 0);
    return text;
}

// The bytes of the table's three files on disk (an absent file: empty).
inline std::array<std::string, 3> FileBytes(const TFixtureTable& table) {
    const TTableFileNames names = table.FileNames();
    std::array<std::string, 3> bytes;
    const std::array<std::string, 3> paths{names.Data, names.Index, names.Blob};
    for (std::size_t i = 0; i < 3; ++i) {
        std::ifstream file(paths[i], std::ios::binary);
        bytes[i].assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    return bytes;
}

}  // namespace pirin::testing
