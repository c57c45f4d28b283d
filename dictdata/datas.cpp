#include "dictdata/datas.h"

#include "dictdata/datas_schema.h"
#include "tables/pirin_session.h"

namespace vorlano {

TDatas::TDatas() {
    DBase.SetDatabaseName(kDatabaseName);
    for (pirin::TPirinTable* table : {&tWords, &tBG, &tFor}) {
        table->SetDatabaseName(kDatabaseName);
        table->AutoDisplayLabels = false;
        table->CopyOnAppend = false;
    }
    tWords.SetTableName(kWordListTable);
    tBG.SetIndexName(kWordIndex);
    tBG.SetTableName("Bg_En");
    tFor.SetIndexName(kWordIndex);
    tFor.SetTableName("En_Bg");
}

TDatas::~TDatas() {
    // The tables go before the database they are open in.
    tFor.Close();
    tBG.Close();
    tWords.Close();
    DBase.Close();
}

void TDatas::DataModuleCreate(TDataModuleClient& mainWindow) {
    DBase.Close();
    DBase.SetDirectory(mainWindow.DataDir());
    DBase.Session().AddPassword(kTablePassword);
    DBase.Open();
    OpenTable(tWords);
    mainWindow.InitLookupState();
    mainWindow.SelectStartDictionary();
    mainWindow.ShowFirstEntry();
}

void TDatas::OpenTable(pirin::TPirinTable& table) {
    table.Open();
    try {
        CheckFields(table, &table == &tWords ? WordListFields() : DictionaryFields());
    } catch (...) {
        table.Close();
        throw;
    }
}

bool TDatas::LocateWordList(std::string_view tableName) {
    // "LangWords" holds one row per table: a scan is as fast as any index,
    // and it compares exactly, case included.
    const std::vector<std::uint8_t> start = tWords.GetBookmark();
    pirin::TField& table = tWords.FieldByName("Table");
    for (tWords.First(); !tWords.Eof(); tWords.Next()) {
        if (table.AsString() == tableName) return true;
    }
    if (!start.empty()) tWords.GotoBookmark(start);
    return false;
}

std::vector<std::string> TDatas::CurrentWordList() const {
    auto& words = static_cast<pirin::TBlobField&>(tWords.FieldByName("Words"));
    return words.Lines();
}

}  // namespace vorlano
