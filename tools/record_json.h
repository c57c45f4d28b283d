// A record as the tools print and read it: one JSON object, "_recno" (the
// slot number) first, then every field by name in field order.
//
// Value forms by field type: strings and memos (also formatted memos) as
// text decoded from the table's code page; other BLOBs, bytes, variable
// bytes and 10-byte fields (type 14, kept as given: no JSON number holds an
// 80-bit float exactly) base64; 4-byte fields (type 13) as unsigned numbers; dates "YYYY-MM-DD";
// times "HH:MM:SS.mmm"; timestamps "YYYY-MM-DD HH:MM:SS.mmm"; Booleans true and false; BCD and
// money as decimal strings with no exponent and no trailing zeros after the point ("0" for zero);
// other numbers as JSON numbers, NaN and the infinities of floats as the strings "NaN", "Infinity"
// and
// "-Infinity"; a blank field null. A stored date, time or timestamp outside
// the calendar prints as its stored number, so that no value is lost.
//
// Reading takes exactly these forms and, for the tools' command-line
// values, also numbers, Booleans, dates and times in the engine's own text
// forms given as strings. A value the field cannot hold exactly is refused,
// never cut or rounded: a string longer than the field or holding U+0000,
// a number out of the type's range or with decimals for an integer, a BCD
// value with more decimals than its scale, bytes longer than the field.
//
// Ownership: refers to the open cursor, which outlives it. Threads: the
// cursor's. Failures: ERecordValueError naming the field and the reason;
// the engine's errors from the cursor's BLOB operations.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/data_cursor.h"
#include "locale/code_page.h"

namespace pirin::tools {

class ERecordValueError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TRecordJson {
  public:
    TRecordJson(TDataCursor& cursor, const TCodePage& codePage);

    // The object of the record `record` whose image is `image`; BLOBs are
    // opened on the image, read and released again.
    nlohmann::ordered_json ToJson(std::int32_t record, std::span<std::uint8_t> image);

    // The number of the field named `utf8Name` (ASCII letters in any case),
    // or 0.
    int FieldNumber(std::string_view utf8Name) const;
    // The field's name as UTF-8.
    const std::string& FieldName(int fieldNo) const;

    // Stores `value` into field `fieldNo` of `image` through SetField; null
    // blanks it. A BLOB's bytes go into a BLOB buffer opened on the image
    // for writing (ReleaseBlobs frees it when the record is not posted).
    // The auto-increment field takes no value: the engine draws it.
    void Store(int fieldNo, const nlohmann::json& value, std::span<std::uint8_t> image);
    // InitRecord, then every member of `object` but "_recno"; an unknown
    // field name is an error.
    void StoreAll(const nlohmann::json& object, std::span<std::uint8_t> image);
    // Frees every BLOB buffer still open on `image`.
    void ReleaseBlobs(std::span<std::uint8_t> image);

  private:
    nlohmann::ordered_json FieldJson(int fieldNo, std::span<std::uint8_t> image);
    void ReleaseBlob(int fieldNo, std::span<std::uint8_t> image);
    std::string BlobBytes(int fieldNo, std::span<std::uint8_t> image);
    void StoreBlob(int fieldNo, const nlohmann::json& value, std::span<std::uint8_t> image);
    [[noreturn]] void Fail(int fieldNo, const std::string& reason) const;

    TDataCursor& FCursor;
    const TCodePage& FCodePage;
    std::vector<std::string> FNames;  // UTF-8, by field number - 1
};

}  // namespace pirin::tools
