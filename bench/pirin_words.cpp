#include "bench/pirin_words.h"

#include <atomic>

#include "engine/table_create.h"
#include "locale/field_types.h"

namespace vorlano::bench {
std::string NextDatabaseName() {
    static std::atomic<int> counter{0};
    return "BenchDB" + std::to_string(counter++);
}

bool TNearestTable::FindOrNearest(const std::vector<pirin::TKeyValue>& key) {
    if (FindKey(key)) return true;
    // The search left the record it stands on in the search buffer.
    ResyncToSearched();
    return false;
}

void TPirinWords::Create(const std::string& folder, const std::string& name) {
    pirin::TTableDefinition d;
    d.Fields = {{.Name = "Id", .Type = pirin::kFieldInteger},
                {.Name = "Word", .Type = pirin::kFieldString, .Size = 30},
                {.Name = "Desc", .Type = pirin::kFieldBlob, .Subtype = pirin::kSubtypeMemo}};
    d.Primary = pirin::TIndexDefinition{.Fields = {"Id"}};
    d.Indexes = {{.Name = "IdxWord", .Fields = {"Word"}, .CaseInsensitive = true}};
    d.Language = 1026;
    pirin::CreateTable({.Directory = folder, .Name = name}, d);
}

TPirinWords::TPirinWords(const std::string& folder, const std::string& name) {
    const std::string alias = NextDatabaseName();
    FDatabase.SetDatabaseName(alias);
    FDatabase.SetDirectory(folder);
    FDatabase.Open();
    FTable.SetDatabaseName(alias);
    FTable.SetTableName(name);
    FTable.SetIndexName("IdxWord");
    FTable.Open();
    FDesc = &FTable.FieldByName("Desc");
}

TPirinWords::~TPirinWords() {
    FTable.Close();
    FDatabase.Close();
}

void TPirinWords::Load(const std::vector<TBenchRow>& rows) {
    pirin::TField& id = FTable.FieldByName("Id");
    pirin::TField& word = FTable.FieldByName("Word");
    pirin::TField& desc = FTable.FieldByName("Desc");
    FDatabase.StartTransaction();
    for (const TBenchRow& row : rows) {
        FTable.Append();
        id.SetAsInteger(row.Id);
        word.SetAsString(row.Word);
        desc.SetAsString(row.Desc);
        FTable.Post();
    }
    FDatabase.Commit();
}

const std::vector<pirin::TKeyValue>& TPirinWords::Key(std::string_view word) {
    std::get<std::string>(FKey.front()).assign(word);
    return FKey;
}

bool TPirinWords::Find(std::string_view word, std::string& desc) {
    const bool found = FTable.FindKey(Key(word));
    desc = FDesc->AsString();
    return found;
}

bool TPirinWords::FindNearest(std::string_view word, std::string& desc) {
    const bool found = FTable.FindOrNearest(Key(word));
    desc = FDesc->AsString();
    return found;
}

std::size_t TPirinWords::WalkAll(std::size_t limit) {
    pirin::TField& word = FTable.FieldByName("Word");
    auto& desc = dynamic_cast<pirin::TBlobField&>(FTable.FieldByName("Desc"));
    // One buffer for every memo, as a reader of a whole table would keep.
    std::string text;
    std::size_t count = 0;
    std::size_t bytes = 0;
    for (FTable.First(); !FTable.Eof() && count < limit; FTable.Next()) {
        desc.ReadText(text);
        bytes += word.AsString().size() + text.size();
        ++count;
    }
    return bytes > 0 ? count : 0;
}

}  // namespace vorlano::bench
