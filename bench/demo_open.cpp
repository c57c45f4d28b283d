#include "bench/demo_open.h"

#include "bench/pirin_words.h"
#include "dictdata/datas.h"
#include "dictdata/datas_schema.h"
#include "tables/pirin_session.h"

namespace vorlano::bench {

TOpenDictionary::TOpenDictionary(const std::string& dictionaryDir) {
    // The data module's steps (TDatas::DataModuleCreate and OpenTable) under
    // an alias of its own, so that the demo look-up's "DB" may stay open.
    const std::string alias = NextDatabaseName();
    FDatabase.SetDatabaseName(alias);
    FDatabase.SetDirectory(dictionaryDir);
    FDatabase.Session().AddPassword(kTablePassword);
    FDatabase.Open();
    for (pirin::TPirinTable* table : {&FWords, &FBg, &FForeign}) {
        table->SetDatabaseName(alias);
        table->AutoDisplayLabels = false;
        table->CopyOnAppend = false;
    }
    FWords.SetTableName(kWordListTable);
    FBg.SetIndexName(kWordIndex);
    FBg.SetTableName(kDemoBgTable);
    FForeign.SetIndexName(kWordIndex);
    FForeign.SetTableName(kDemoForeignTable);
    FWords.Open();
    CheckFields(FWords, WordListFields());
    FBg.Open();
    CheckFields(FBg, DictionaryFields());
    FForeign.Open();
    CheckFields(FForeign, DictionaryFields());
}

TOpenDictionary::~TOpenDictionary() {
    FForeign.Close();
    FBg.Close();
    FWords.Close();
    FDatabase.Close();
}

bool TOpenDictionary::Find(const std::string& word, std::string& desc) {
    const bool found = FForeign.FindKey({word});
    desc = FForeign.FieldByName("Desc").AsString();
    return found;
}

std::string TOpenDictionary::MiddleWord() {
    FForeign.First();
    FForeign.MoveBy(FForeign.RecordCount() / 2);
    return FForeign.FieldByName("Word").AsString();
}

}  // namespace vorlano::bench
