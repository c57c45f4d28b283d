// Test tables for the engine tests: TFixtureTable creates a table (on disk
// in a scratch folder of its own, or in memory under a name of its own) with
// CreateTable, and adds and deletes records at file level, keeping every
// index, index 31, the record count, the free chain and the BLOB chains as
// the engine's write path does, so that cursor tests have real tables to
// read before the engine writes records itself. Every table it makes passes
// the whole-table verifier (Verify()).
//
// Records are given as one TValue per field in field order (missing trailing
// fields are null):
//   - null: TValue() or nullptr;
//   - text: strings, and the text forms of dates, times, timestamps, BCD
//     values, numbers and booleans ("2024-03-01", "12:30:00", "12.5", "true");
//     for a BLOB field the text's bytes;
//   - whole numbers: integer types, booleans, dates (day number), times
//     (milliseconds); an autoincrement field given a number takes it as its
//     explicit value, otherwise it draws the next one;
//   - floats: floats, money, timestamps (milliseconds as the file stores
//     them), BCD;
//   - bytes (TValue::Bytes): bytes, varbytes and BLOB fields.
// A value that does not fit its field throws std::invalid_argument naming
// the field (a mistake in the test, not an engine error).
//
// Example:
//   TFixtureTable table({.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20),
//                                   Field("Note", "MEMO")},
//                        .Primary = TIndexDefinition{.Fields = {"Id"}},
//                        .Indexes = {{.Name = "ByWord", .Fields = {"Word"},
//                                     .CaseInsensitive = true}}});
//   table.Append({1, "one", "memo text"});
//   table.Delete(1);
//   EXPECT_THAT(table.Verify(), ::testing::IsEmpty());
//
// Values are stored as given: character case, minimum, maximum and required
// flags are the write path's business and are not applied here.
//
// Each Append, AppendRows and Delete opens the files, changes them, writes everything
// back (headers with advanced change counters, as another process's write
// would look to an open cursor) and closes them again.
//
// Ownership: the fixture owns its folder (removed with everything in it)
// or its in-memory files (deleted) when it goes. Threads: one test thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table_create.h"
#include "engine/table_files.h"

namespace pirin::testing {

class TValue {
  public:
    enum class TKind { Null, Text, Integer, Float, Bytes };

    TValue() = default;
    TValue(std::nullptr_t) {}
    TValue(const char* text) : FKind(TKind::Text), FText(text) {}
    TValue(std::string text) : FKind(TKind::Text), FText(std::move(text)) {}
    TValue(int value) : FKind(TKind::Integer), FInteger(value) {}
    TValue(std::int64_t value) : FKind(TKind::Integer), FInteger(value) {}
    TValue(double value) : FKind(TKind::Float), FFloat(value) {}
    static TValue Bytes(std::vector<std::uint8_t> bytes) {
        TValue value;
        value.FKind = TKind::Bytes;
        value.FBytes = std::move(bytes);
        return value;
    }

    TKind Kind() const noexcept { return FKind; }
    bool IsNull() const noexcept { return FKind == TKind::Null; }
    const std::string& Text() const noexcept { return FText; }
    std::int64_t Integer() const noexcept { return FInteger; }
    double Float() const noexcept { return FFloat; }
    const std::vector<std::uint8_t>& ByteValue() const noexcept { return FBytes; }

  private:
    TKind FKind = TKind::Null;
    std::string FText;
    std::int64_t FInteger = 0;
    double FFloat = 0;
    std::vector<std::uint8_t> FBytes;
};

using TRow = std::vector<TValue>;

// A field by SQL type keyword ("INTEGER", "VARCHAR", "MEMO", "AUTOINC",
// "DECIMAL", ...), with the declared size of a string or bytes field (or the
// decimal places of a DECIMAL).
TFieldDefinition Field(std::string name, std::string_view sqlType, std::uint8_t size = 0);

enum class TFixtureStorage { Disk, Memory };

class TFixtureTable {
  public:
    explicit TFixtureTable(TTableDefinition definition,
                           TFixtureStorage storage = TFixtureStorage::Disk,
                           std::string name = "Fixture");
    // Works on an existing table (made by other means, such as a tool) that
    // the fixture does not own: nothing is removed when it goes.
    explicit TFixtureTable(TTableLocation existing);
    ~TFixtureTable();
    TFixtureTable(const TFixtureTable&) = delete;
    TFixtureTable& operator=(const TFixtureTable&) = delete;

    const TTableLocation& Location() const noexcept { return FLocation; }
    // The database path ("/" at the end; empty in memory) and the table name.
    const std::string& Directory() const noexcept { return FLocation.Directory; }
    const std::string& Name() const noexcept { return FLocation.Name; }
    bool InMemory() const noexcept { return FLocation.InMemory; }
    TTableFileNames FileNames() const;
    // The definition the table was made from (empty for an existing table).
    const TTableDefinition& Definition() const noexcept { return FDefinition; }

    // Adds a record and returns its slot number: the first free slot when
    // the table has a primary key and a deleted slot exists, else a new slot
    // at the end. A key already in a unique index raises 9729 and changes
    // nothing.
    std::int32_t Append(const TRow& values);
    // Appends many records in one write (faster for large tables); their
    // slots in order. A failure writes none of them.
    std::vector<std::int32_t> AppendRows(const std::vector<TRow>& rows);
    // Deletes the record in `slot` (its keys go, its BLOBs are freed, the
    // slot joins the free chain). 8708 for a slot not in use.
    void Delete(std::int32_t slot);
    // Active records (the index header's count).
    std::int32_t RecordCount() const;

    // The whole-table verifier's problems; empty when the table is sound.
    std::vector<std::string> Verify() const;

  private:
    std::int32_t AppendTo(TTableFiles& files, const TRow& values);

    TTableDefinition FDefinition;
    TTableLocation FLocation;
    bool FOwned = true;
};

}  // namespace pirin::testing
