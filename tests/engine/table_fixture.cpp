// TFixtureTable: test tables made by CreateTable, with records added and
// deleted at file level the way the engine's write path keeps a table.
#include "tests/engine/table_fixture.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "engine/index_maintenance.h"
#include "errors/engine_error.h"
#include "locale/value_conversions.h"
#include "storage/blob_buffer.h"
#include "storage/index_key_bcd.h"
#include "storage/index_key_builder.h"
#include "storage/index_key_layout.h"
#include "storage/index_tree.h"
#include "storage/little_endian.h"
#include "storage/table_verifier.h"

namespace pirin::testing {

namespace {

using TBytes = std::vector<std::uint8_t>;

[[noreturn]] void Unfit(const TFieldDescriptor& field, std::string_view why) {
    throw std::invalid_argument("fixture value for field " + field.Name + ": " + std::string(why));
}

template <typename T>
T Checked(const TFieldDescriptor& field, std::optional<T> value) {
    if (!value) Unfit(field, "not a value of the field's type");
    return *value;
}

std::int64_t WholeNumber(const TFieldDescriptor& field, const TValue& value, std::int64_t low,
                         std::int64_t high) {
    std::int64_t n = 0;
    if (value.Kind() == TValue::TKind::Integer)
        n = value.Integer();
    else if (value.Kind() == TValue::TKind::Text)
        n = Checked(field, TryStrToLargeInt(value.Text()));
    else
        Unfit(field, "a whole number is needed");
    if (n < low || n > high) Unfit(field, "out of range");
    return n;
}

double FloatNumber(const TFieldDescriptor& field, const TValue& value) {
    switch (value.Kind()) {
        case TValue::TKind::Float:
            return value.Float();
        case TValue::TKind::Integer:
            return static_cast<double>(value.Integer());
        case TValue::TKind::Text:
            return Checked(field, TryStrToFloat(value.Text()));
        default:
            Unfit(field, "a number is needed");
    }
}

TBytes ByteString(const TFieldDescriptor& field, const TValue& value) {
    if (value.Kind() == TValue::TKind::Bytes) return value.ByteValue();
    if (value.Kind() == TValue::TKind::Text)
        return TBytes(value.Text().begin(), value.Text().end());
    Unfit(field, "bytes or text are needed");
}

void PutI64(std::span<std::uint8_t> out, std::size_t at, std::int64_t value) {
    le::PutU32(out, at, static_cast<std::uint32_t>(value));
    le::PutU32(out, at + 4, static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32));
}

// Writes `value` as field `field`'s stored form into `image` (presence byte
// included). Autoincrement and BLOB fields are handled by the caller.
void StoreValue(const TFieldDescriptor& field, const TValue& value, std::span<std::uint8_t> image) {
    const std::size_t at = field.Offset + 1u;
    const std::span<std::uint8_t> stored = image.subspan(at, field.StoredSize);
    std::fill(stored.begin(), stored.end(), 0);
    image[field.Offset] = 0;
    if (value.IsNull()) return;
    switch (field.Type) {
        case kFieldString: {
            if (value.Kind() != TValue::TKind::Text) Unfit(field, "text is needed");
            std::string text = value.Text();
            // As the engine stores strings: no trailing blanks; blanks only is null.
            text.erase(text.find_last_not_of(' ') + 1);
            if (text.empty()) return;
            if (text.size() > field.DeclaredSize) Unfit(field, "longer than the field");
            std::copy(text.begin(), text.end(), stored.begin());
            break;
        }
        case kFieldDate:
            le::PutI32(image, at,
                       value.Kind() == TValue::TKind::Text
                           ? Checked(field, TryStrToDayNumber(value.Text()))
                           : static_cast<std::int32_t>(
                                 WholeNumber(field, value, kMinDayNumber, kMaxDayNumber)));
            break;
        case kFieldTime:
            le::PutI32(
                image, at,
                value.Kind() == TValue::TKind::Text
                    ? Checked(field, TryStrToTimeMSecs(value.Text()))
                    : static_cast<std::int32_t>(WholeNumber(field, value, 0, kMSecsPerDay - 1)));
            break;
        case kFieldTimeStamp:
            le::PutF64(image, at,
                       value.Kind() == TValue::TKind::Text
                           ? static_cast<double>(
                                 TimeStampToMSecs(Checked(field, TryStrToTimeStamp(value.Text()))))
                           : FloatNumber(field, value));
            break;
        case kFieldBoolean: {
            const bool flag = value.Kind() == TValue::TKind::Text
                                  ? Checked(field, TryStrToBool(value.Text()))
                                  : WholeNumber(field, value, INT64_MIN, INT64_MAX) != 0;
            le::PutU16(image, at, flag ? 1 : 0);
            break;
        }
        case kFieldSmallInt:
            le::PutU16(image, at,
                       static_cast<std::uint16_t>(WholeNumber(field, value, -32768, 32767)));
            break;
        case kFieldWord:
            le::PutU16(image, at, static_cast<std::uint16_t>(WholeNumber(field, value, 0, 65535)));
            break;
        case kFieldInteger:
            le::PutI32(image, at,
                       static_cast<std::int32_t>(WholeNumber(field, value, INT32_MIN, INT32_MAX)));
            break;
        case kFieldLargeInt:
            PutI64(image, at, WholeNumber(field, value, INT64_MIN, INT64_MAX));
            break;
        case kFieldFloat:
            le::PutF64(image, at, FloatNumber(field, value));
            break;
        case kFieldBcd: {
            const std::int64_t scaled = value.Kind() == TValue::TKind::Text
                                            ? Checked(field, TryStrToDecimal(value.Text()))
                                            : std::llround(FloatNumber(field, value) * 10000.0);
            const auto bcd = Checked(field, DecimalToBcd(scaled, field.Scale));
            std::copy(bcd.begin(), bcd.end(), stored.begin());
            break;
        }
        case kFieldBytes:
        case kFieldVarBytes:
        case kFieldFourBytes:
        case kFieldTenBytes: {
            const TBytes bytes = ByteString(field, value);
            if (bytes.size() > stored.size()) Unfit(field, "longer than the field");
            std::copy(bytes.begin(), bytes.end(), stored.begin());
            break;
        }
        default:
            Unfit(field, "type not supported");
    }
    image[field.Offset] = 1;
}

}  // namespace

TFieldDefinition Field(std::string name, std::string_view sqlType, std::uint8_t size) {
    const auto type = SqlFieldType(sqlType);
    if (!type) throw std::invalid_argument("unknown field type " + std::string(sqlType));
    TFieldDefinition field{.Name = std::move(name), .Type = type->Type, .Subtype = type->Subtype};
    if (type->Type == kFieldBcd)
        field.Decimals = size;
    else if (type->Type == kFieldString || type->Type == kFieldBytes ||
             type->Type == kFieldVarBytes)
        field.Size = size;
    return field;
}

TFixtureTable::TFixtureTable(TTableDefinition definition, TFixtureStorage storage, std::string name)
    : FDefinition(std::move(definition)) {
    static std::atomic<int> counter{0};
    const std::string unique = std::to_string(::getpid()) + "-" + std::to_string(counter++);
    FLocation.InMemory = storage == TFixtureStorage::Memory;
    if (FLocation.InMemory) {
        FLocation.Name = name + "-" + unique;
    } else {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("pirin-engine-" + unique);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        FLocation.Directory = folder.string() + "/";
        FLocation.Name = std::move(name);
    }
    try {
        CreateTable(FLocation, FDefinition);
    } catch (...) {
        if (!FLocation.InMemory) std::filesystem::remove_all(FLocation.Directory);
        throw;
    }
}

TFixtureTable::TFixtureTable(TTableLocation existing)
    : FLocation(std::move(existing)), FOwned(false) {}

TFixtureTable::~TFixtureTable() {
    if (!FOwned) return;
    if (!FLocation.InMemory) {
        std::error_code ignored;
        std::filesystem::remove_all(FLocation.Directory, ignored);
        return;
    }
    const TTableFileNames names = FileNames();
    for (const std::string& name : {names.Data, names.Index, names.Blob}) {
        TFileHandler file(name);
        file.SetInMemory(true);
        try {
            file.RemoveFile();
        } catch (const EPirinEngineError&) {
            // No BLOB file, or still open in a test that failed: nothing to do.
        }
    }
}

TTableFileNames TFixtureTable::FileNames() const {
    return TableFileNames(FLocation.Directory, FLocation.Name);
}

std::int32_t TFixtureTable::Append(const TRow& values) { return AppendRows({values}).front(); }

std::vector<std::int32_t> TFixtureTable::AppendRows(const std::vector<TRow>& rows) {
    TTableFiles files(FLocation);
    std::vector<std::int32_t> slots;
    for (const TRow& row : rows) slots.push_back(AppendTo(files, row));
    files.WriteAll();
    return slots;
}

std::int32_t TFixtureTable::AppendTo(TTableFiles& files, const TRow& values) {
    TDataFile& data = files.Data();
    const std::span<const TFieldDescriptor> fields = data.Fields();
    if (values.size() > fields.size()) throw std::invalid_argument("more values than fields");

    // The new record's image, checked against the unique indexes before
    // anything changes (a failure leaves the files unwritten).
    TBytes image(static_cast<std::size_t>(data.RecordSize()), 0);
    std::optional<std::int32_t> explicitAutoInc;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const TFieldDescriptor& field = fields[i];
        if (field.IsAutoInc()) {
            if (!values[i].IsNull())
                explicitAutoInc =
                    static_cast<std::int32_t>(WholeNumber(field, values[i], 1, INT32_MAX));
        } else if (!field.IsBlob()) {
            StoreValue(field, values[i], image);
        }
    }
    std::int32_t autoInc = 0;
    if (explicitAutoInc) {
        autoInc = *explicitAutoInc;
        data.SetLastAutoIncrement(autoInc);
    } else {
        autoInc = data.NextAutoIncrement();
    }
    le::PutI32(image, 5, autoInc);
    TRecordIndexes indexes(data, files.Index(), FLocation.Name);
    indexes.CheckUnique(image);

    TRecordPin slot = data.NewRecordSlot(nullptr);
    const std::int32_t n = slot->UnitNumber();
    const std::optional<std::int32_t> reused =
        slot->Deleted() ? std::optional(slot->AutoIncValue()) : std::nullopt;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const TFieldDescriptor& field = fields[i];
        if (!field.IsBlob() || values[i].IsNull()) continue;
        const TBytes bytes = ByteString(field, values[i]);
        if (bytes.empty()) continue;
        TBlobBuffer buffer(*files.Blob(), nullptr, field.Number, n, 0, 0);
        buffer.WriteBytes(0, bytes);
        buffer.StoreBlob(data.NextBlobStamp());
        image[field.Offset] = 1;
        le::PutI32(image, field.Offset + 1u, buffer.FirstBlock());
        le::PutI32(image, field.Offset + 5u, buffer.Stamp());
    }
    slot->SetStatus(kRecordActive);
    slot->SetNextDeleted(n);
    slot->SetAutoIncValue(autoInc);
    slot->CopyFields(image);
    slot.Release();

    indexes.AddRecord(image, n, reused);
    return n;
}

void TFixtureTable::Delete(std::int32_t slot) {
    TTableFiles files(FLocation);
    TDataFile& data = files.Data();
    if (slot < 1 || slot > data.RecordCount())
        RaiseEngineError(PIRIN_KEYORRECDELETED, {.table = FLocation.Name});
    TRecordPin record = data.FetchRecord(nullptr, slot);
    if (record->Status() != kRecordActive)
        RaiseEngineError(PIRIN_KEYORRECDELETED, {.table = FLocation.Name});
    TBytes image(record->Image().begin(), record->Image().end());
    TRecordIndexes(data, files.Index(), FLocation.Name).RemoveRecord(image, slot);
    // Every BLOB is cut to nothing: its chain goes to the free chain.
    if (files.Blob() != nullptr) DropRecordBlobs(*files.Blob(), data.Fields(), image, slot);
    record->CopyFields(image);
    data.FreeRecordSlot(*record);
    record.Release();
    files.WriteAll();
}

std::int32_t TFixtureTable::RecordCount() const {
    TTableFiles files(FLocation);
    return files.Index().ActiveRecordCount();
}

std::vector<std::string> TFixtureTable::Verify() const {
    TTableFiles files(FLocation);
    return TTableVerifier(files.Data(), files.Index(), files.Blob()).Run();
}

}  // namespace pirin::testing
