// A record as the tools print and read it, on the field objects of an open
// table component: one JSON object, "_recno" (the slot number) first, then
// every field by name in field order.
//
// Value forms by field type: strings and memos (also formatted memos) as
// text decoded from the table's code page; other BLOBs, bytes, variable
// bytes and 10-byte fields (type 14, kept as given: no JSON number holds an
// 80-bit float exactly) base64; 4-byte fields (type 13) as unsigned
// numbers; dates "YYYY-MM-DD"; times "HH:MM:SS.mmm"; timestamps
// "YYYY-MM-DD HH:MM:SS.mmm"; Booleans true and false; BCD and money as
// decimal strings with no exponent and no trailing zeros after the point
// ("0" for zero); other numbers as JSON numbers, NaN and the infinities of
// floats as the strings "NaN", "Infinity" and "-Infinity"; a blank field
// null. A stored date, time or timestamp outside the calendar prints as its
// stored number, so that no value is lost.
//
// Reading takes exactly these forms and, for the tools' command-line
// values, also numbers, Booleans, dates and times in the engine's own text
// forms given as strings. A value the field cannot hold exactly is refused,
// never cut or rounded: a string longer than the field or holding U+0000,
// a number out of the type's range or with decimals for an integer, a BCD
// value with more decimals than its scale, bytes longer than the field.
// Values are stored through the field objects, so the dataset must be in a
// state that edits (insert, edit, set-key).
//
// Fields the table component makes no field object for (type 14 and the
// other types without a field type) are read and written as their stored
// bytes in the dataset's record image.
//
// Ownership: refers to the open dataset, which outlives it. Threads: the
// dataset's. Failures: ERecordValueError naming the field and the reason;
// the dataset's and the engine's errors.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "locale/code_page.h"
#include "tables/pirin_dataset.h"

namespace pirin::tools {

class ERecordValueError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TFieldJson {
  public:
    // One field of the table, with or without a field object.
    struct TColumn {
        int FieldNo = 0;
        TField* Field = nullptr;
        std::string Name;  // UTF-8
    };

    explicit TFieldJson(TPirinDataSet& dataSet);

    const TCodePage& CodePage() const noexcept { return FCodePage; }
    // The field named `utf8Name` (ASCII letters in any case), or null.
    const TColumn* Find(std::string_view utf8Name) const;
    // As Find; ERecordValueError "Field 'X' not found" when there is none.
    const TColumn& Get(std::string_view utf8Name) const;
    // The field numbered `fieldNo`.
    const TColumn& Column(int fieldNo) const;

    // The object of the active record.
    nlohmann::ordered_json ToJson() const;

    // Stores `value` into the field; null blanks it.
    void Store(const TColumn& column, const nlohmann::json& value);
    // Every member of `object` but "_recno"; an unknown field name is an
    // error. The auto-increment field takes no value: the engine draws it.
    void StoreAll(const nlohmann::json& object);

    // A command-line value as a search value of the field (Locate, filter
    // text): table text in the code page, bytes from base64, the rest as
    // given for the field's own text form; an empty value is null.
    TKeyValue SearchValue(const TColumn& column, const std::string& utf8) const;

  private:
    nlohmann::ordered_json FieldJson(const TColumn& column) const;
    void StoreRaw(const TColumn& column, const nlohmann::json& value);
    void StoreBlob(TField& field, const nlohmann::json& value);
    [[noreturn]] void Fail(const TColumn& column, const std::string& reason) const;

    TPirinDataSet& FDataSet;
    const TCodePage& FCodePage;
    std::vector<TColumn> FColumns;  // by field number - 1
};

}  // namespace pirin::tools
