// Field objects of the dataset framework: TField and the typed fields made
// from a table's field definitions. A field reads and writes its value
// through its dataset (GetFieldData / SetFieldData), which picks the record
// image for the dataset's state; the field itself holds no value.
//
// Value forms (as the engine delivers them, little-endian): a string is its
// bytes up to a zero, in the table's code page; integers their stored width;
// a Boolean 16 bits; a float an IEEE double; a BLOB field is read through a
// BLOB stream. Dates, times, timestamps, BCD and byte fields are in
// typed_fields.h; the object types (ADT, array, reference, dataset) are plain
// TField: their raw bytes through GetData/AsBytes.
//
// Date-and-time access, and setting a float, on a class without them raises
// EDatabaseError "Cannot access field '%s' as ..."; text that is not a value
// of the field's type raises EConvertError (EDatabaseError for whole
// numbers). A field without a typed class takes text as its bytes.
//
// Ownership: the dataset owns its fields. Threads: the dataset's thread.
// Failures: EDatabaseError from the dataset (state, read-only); reading a
// field of a closed dataset gives null.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pirin {

class TDataSet;

enum class TFieldType : std::uint8_t {
    Unknown,
    String,
    FixedChar,
    Date,
    Memo,
    FmtMemo,
    Graphic,
    TypedBinary,
    Blob,
    Boolean,
    SmallInt,
    Integer,
    AutoInc,
    Float,
    Currency,
    Bcd,
    Bytes,
    Time,
    DateTime,
    Word,
    VarBytes,
    LargeInt,
    ADT,
    Array,
    Reference,
    DataSet,
};

enum class TFieldKind : std::uint8_t { Data, Calculated, Lookup };

// One field definition: what a field object is made from.
struct TFieldDef {
    std::string Name;
    int FieldNo = 0;
    TFieldType DataType = TFieldType::Unknown;
    int Size = 0;
    int Precision = 0;
    bool Required = false;
    // Bytes of the value as the engine delivers it.
    int DataSize = 0;
};

bool IsBlobType(TFieldType type) noexcept;

class TField {
  public:
    TField(TDataSet& dataSet, const TFieldDef& def);
    virtual ~TField() = default;
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet& DataSet() const noexcept { return FDataSet; }
    const std::string& FieldName() const noexcept { return FFieldName; }
    // The label shown to people: DisplayLabel, or the name when empty.
    const std::string& DisplayName() const noexcept;
    std::string DisplayLabel;
    std::string Origin;
    int FieldNo() const noexcept { return FFieldNo; }
    TFieldType DataType() const noexcept { return FDataType; }
    TFieldKind FieldKind() const noexcept { return FFieldKind; }
    int Size() const noexcept { return FSize; }
    bool Required() const noexcept { return FRequired; }
    bool ReadOnly = false;
    // Where a calculated field keeps its value in the calculated area.
    int Offset = 0;

    // Bytes of the value as GetData delivers it.
    int DataSize() const noexcept { return FDataSize; }
    // True when the field has a value; `value` (DataSize bytes) receives it.
    bool GetData(std::span<std::uint8_t> value) const;
    // Nothing stores null.
    void SetData(std::optional<std::span<const std::uint8_t>> value);
    bool IsNull() const;
    void Clear() { SetData(std::nullopt); }

    std::vector<std::uint8_t> AsBytes() const;
    virtual std::string AsString() const;
    virtual void SetAsString(std::string_view value);
    virtual std::int64_t AsInteger() const;
    virtual void SetAsInteger(std::int64_t value);
    virtual double AsFloat() const;
    virtual void SetAsFloat(double value);
    virtual bool AsBoolean() const;
    virtual void SetAsBoolean(bool value) { SetAsInteger(value ? 1 : 0); }
    // The day-count scale of locale/date_time.h (day 0 = 1899-12-30).
    virtual double AsDateTime() const;
    virtual void SetAsDateTime(double value);
    // Stores `bytes` as the value, zero-filled to DataSize; longer input
    // raises "Field %s cannot hold more than %d bytes".
    void SetAsBytes(std::span<const std::uint8_t> bytes);

  protected:
    // The value's bytes, or nothing when null.
    std::optional<std::vector<std::uint8_t>> Value() const;
    // Raises "Cannot access field '%s' as <typeName>".
    [[noreturn]] void AccessError(std::string_view typeName) const;

  private:
    TDataSet& FDataSet;
    std::string FFieldName;
    int FFieldNo;
    TFieldType FDataType;
    TFieldKind FFieldKind = TFieldKind::Data;
    int FSize;
    bool FRequired;
    int FDataSize;
};

class TStringField : public TField {
  public:
    using TField::TField;
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
};

// Integer, small integer, word, large integer and autoincrement fields.
class TIntegerField : public TField {
  public:
    using TField::TField;
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    std::int64_t AsInteger() const override;
    void SetAsInteger(std::int64_t value) override;
    double AsFloat() const override { return static_cast<double>(AsInteger()); }

  private:
    // Stores `value` as the field's type into `bytes` (the data size) and
    // sets it.
    void PutValue(std::span<std::uint8_t> bytes, std::int64_t value);
};
class TSmallintField : public TIntegerField {
  public:
    using TIntegerField::TIntegerField;
};
class TWordField : public TIntegerField {
  public:
    using TIntegerField::TIntegerField;
};
class TLargeintField : public TIntegerField {
  public:
    using TIntegerField::TIntegerField;
};
class TAutoIncField : public TIntegerField {
  public:
    using TIntegerField::TIntegerField;
};

// Float and currency fields.
class TFloatField : public TField {
  public:
    using TField::TField;
    std::string AsString() const override;
    double AsFloat() const override;
    std::int64_t AsInteger() const override { return static_cast<std::int64_t>(AsFloat()); }
    // The float text forms of locale/number_text.h.
    void SetAsString(std::string_view value) override;
    void SetAsInteger(std::int64_t value) override { SetAsFloat(static_cast<double>(value)); }
    void SetAsFloat(double value) override;
};
class TCurrencyField : public TFloatField {
  public:
    using TFloatField::TFloatField;
};

class TBooleanField : public TField {
  public:
    using TField::TField;
    std::string AsString() const override { return IsNull() ? "" : AsBoolean() ? "True" : "False"; }
    bool AsBoolean() const override;
    std::int64_t AsInteger() const override { return AsBoolean() ? 1 : 0; }
    // "True" or "False" in any letter case.
    void SetAsString(std::string_view value) override;
    void SetAsInteger(std::int64_t value) override { SetAsBoolean(value != 0); }
    void SetAsBoolean(bool value) override;
};

// BLOB fields: the value is read through a BLOB stream of the dataset.
class TBlobField : public TField {
  public:
    using TField::TField;
    // The whole content as bytes, exactly as stored.
    std::string AsString() const override;
    // The same into `text`, reusing its storage (a reader of many records).
    void ReadText(std::string& text) const;
    // Replaces the content (edit or insert state).
    void SetAsString(std::string_view value) override;
    // The content split into lines at CR LF, CR or LF; a zero byte ends it.
    std::vector<std::string> Lines() const;
};
class TMemoField : public TBlobField {
  public:
    using TBlobField::TBlobField;
};
class TFmtMemoField : public TMemoField {
  public:
    using TMemoField::TMemoField;
};
class TGraphicField : public TBlobField {
  public:
    using TBlobField::TBlobField;
};

}  // namespace pirin
