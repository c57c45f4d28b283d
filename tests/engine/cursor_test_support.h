// Helpers of the cursor tests: a session with one database on a fixture
// table's folder, and cursors opened on it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "errors/engine_error.h"
#include "storage/lock_map.h"
#include "tests/engine/table_fixture.h"

namespace pirin::testing {

// The engine code an action raises; 0 when it raises nothing.
inline std::int32_t CodeOfCall(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return ErrorCodeOf(error);
    }
    return 0;
}

// Lock retries that give up after a few milliseconds.
inline TLockRetryPolicy Impatient() {
    TLockRetryPolicy policy;
    policy.Attempts = 5;
    policy.Delay = std::chrono::milliseconds(1);
    return policy;
}

struct TCursorOptions {
    bool Exclusive = false;
    bool ReadOnly = false;
};

// A session whose one database is the folder (or the memory) of a table.
class TTableSession {
  public:
    explicit TTableSession(const TFixtureTable& table)
        : Table(table),
          Directory(table.InMemory() ? Session.OpenDatabase("Memory", "")
                                     : Session.OpenDatabase("Test", table.Directory())) {}

    // A cursor on the table, not yet open.
    std::unique_ptr<TDataCursor> NewCursor(const TCursorOptions& options = {}) {
        auto cursor = std::make_unique<TDataCursor>(Directory);
        cursor->SetTableName(Table.Name());
        cursor->SetInMemory(Table.InMemory());
        cursor->SetExclusive(options.Exclusive);
        cursor->SetReadOnly(options.ReadOnly);
        return cursor;
    }
    std::unique_ptr<TDataCursor> OpenCursor(const TCursorOptions& options = {}) {
        auto cursor = NewCursor(options);
        cursor->Open();
        return cursor;
    }

    const TFixtureTable& Table;
    TDataSession Session;
    TDataDirectory& Directory;
};

// The records of a cursor's view from the first on, as images.
inline std::vector<std::vector<std::uint8_t>> ReadAll(TDataCursor& cursor) {
    std::vector<std::vector<std::uint8_t>> records;
    cursor.First();
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    while (cursor.GetNextRecord(image) == 0) records.push_back(image);
    return records;
}

// A string field's value, or "<null>".
inline std::string StringField(const TDataCursor& cursor, int fieldNo,
                               const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> value(cursor.GetFieldDesc(fieldNo).Field.StoredSize);
    if (cursor.GetField(fieldNo, image, value)) return "<null>";
    return std::string(reinterpret_cast<const char*>(value.data()));
}

inline std::int32_t IntegerField(const TDataCursor& cursor, int fieldNo,
                                 const std::vector<std::uint8_t>& image) {
    std::array<std::uint8_t, 4> value{};
    (void)cursor.GetField(fieldNo, image, value);
    std::int32_t result = 0;
    std::memcpy(&result, value.data(), 4);
    return result;
}

}  // namespace pirin::testing
