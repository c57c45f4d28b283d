// Helpers of the table layer tests: a word table on disk made by the engine
// fixture, a test base that ends the layer after every test (so each test
// starts with an inactive default session and no engine), and the message
// or engine code an action raises.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "errors/engine_error.h"
#include "tables/pirin_database.h"
#include "tables/pirin_session.h"
#include "tables/pirin_table.h"
#include "tables/session_list.h"
#include "tests/engine/cursor_test_support.h"
#include "tests/engine/table_fixture.h"

namespace pirin::testing {

// The text of the EDatabaseError an action raises; empty when none.
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EDatabaseError& error) {
        return error.Message();
    }
    return {};
}


// Id (primary key), Word (index IdxWord, case-insensitive), Desc (memo), in
// Bulgarian order.
inline TTableDefinition WordsDefinition() {
    TTableDefinition d;
    d.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 30), Field("Desc", "MEMO")};
    d.Primary = TIndexDefinition{.Fields = {"Id"}};
    d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true}};
    d.Language = 1026;
    d.BlobBlockSize = 64;
    return d;
}

class TablesTest : public ::testing::Test {
  protected:
    void TearDown() override { ShutdownTableLayer(); }
};

// A table component on a fixture table, by its folder as DatabaseName.
inline void PointAt(TPirinTable& table, const TFixtureTable& fixture) {
    table.SetDatabaseName(fixture.Directory());
    table.SetTableName(fixture.Name());
}

}  // namespace pirin::testing
