// TDatas: the data module of the dictionary. It owns the database component
// DBase (named "DB", in the default session) and the three table components
// over it: tWords on "LangWords" (the word lists, primary order), tBG and
// tFor on the two tables of the current dictionary, both on the index
// "IdxWord". Every open checks the fields the program relies on (names,
// types and sizes, see datas_schema.h), so that a table of another shape
// fails to open instead of giving wrong text.
//
// DataModuleCreate runs the start-up sequence: disconnect, point DBase at
// the data folder, register the table password, connect, open tWords, then
// hand over to the main window (TDataModuleClient) for its lookup state, the
// first dictionary and the first entry. Any failure ends it at that step
// and propagates; what was done stays done.
//
// Ownership: the caller owns TDatas; TDatas owns its components. The
// session belongs to the table layer's session list. Threads: the GUI
// thread. Failures: EDatabaseError (fixed texts, field mismatches) and
// EPirinEngineError (missing folder or table, wrong password).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tables/pirin_database.h"
#include "tables/pirin_table.h"

namespace vorlano {

// The password of every dictionary table.
inline constexpr char kTablePassword[] = "[k_O_v_E_l_D}";
inline constexpr char kDatabaseName[] = "DB";
inline constexpr char kWordListTable[] = "LangWords";
inline constexpr char kWordIndex[] = "IdxWord";

// What the data module's start-up asks of the main window.
class TDataModuleClient {
  public:
    virtual ~TDataModuleClient() = default;
    // The folder of the dictionary tables.
    virtual std::string DataDir() const = 0;
    // Mode, previous mode, list script and sound folder at start-up.
    virtual void InitLookupState() = 0;
    // Selects the explanatory dictionary.
    virtual void SelectStartDictionary() = 0;
    // Selects word-list item 0 and shows its entry.
    virtual void ShowFirstEntry() = 0;
};

class TDatas {
  public:
    TDatas();
    ~TDatas();
    TDatas(const TDatas&) = delete;
    TDatas& operator=(const TDatas&) = delete;

    void DataModuleCreate(TDataModuleClient& mainWindow);

    // Opens a table component and checks its fields; a mismatch closes it
    // again and raises.
    void OpenTable(pirin::TPirinTable& table);

    // Moves tWords to the row whose "Table" equals `tableName` exactly;
    // false (tWords unchanged) when there is none.
    bool LocateWordList(std::string_view tableName);
    // The "Words" memo of the current tWords row, one item per line.
    std::vector<std::string> CurrentWordList() const;

    pirin::TPirinDatabase DBase;
    pirin::TPirinTable tWords;
    pirin::TPirinTable tBG;
    pirin::TPirinTable tFor;
};

}  // namespace vorlano
