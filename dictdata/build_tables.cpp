#include "dictdata/build_tables.h"

#include <algorithm>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/table_create.h"
#include "errors/engine_error_codes.h"
#include "locale/field_types.h"

namespace vorlano {

namespace {

using pirin::TDataCursor;

constexpr int kIdField = 1;
constexpr int kTextField = 2;
constexpr int kMemoField = 3;

pirin::TTableDefinition Definition(std::uint16_t language, bool wordList) {
    pirin::TTableDefinition definition;
    definition.Language = language;
    definition.Password = kTablePassword;
    definition.Fields = {
        {.Name = "Id", .Type = wordList ? pirin::kFieldWord : pirin::kFieldInteger},
        {.Name = wordList ? "Table" : "Word",
         .Type = pirin::kFieldString,
         .Subtype = pirin::kSubtypeFixedString,
         .Size = wordList ? std::uint8_t{5} : std::uint8_t{50}},
        {.Name = wordList ? "Words" : "Desc",
         .Type = pirin::kFieldBlob,
         .Subtype = pirin::kSubtypeMemo},
    };
    definition.Primary = pirin::TIndexDefinition{.Fields = {"Id"}, .Unique = true};
    if (!wordList)
        definition.Indexes.push_back({.Name = "IdxWord",
                                      .Fields = {"Word"},
                                      .Unique = false,
                                      .CaseInsensitive = true,
                                      .Compression = 3});
    return definition;
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// One exclusive cursor filling a new table inside one transaction.
class TTableFiller {
  public:
    TTableFiller(pirin::TDataDirectory& directory, const std::string& name, std::uint16_t language,
                 bool wordList)
        : FDirectory(directory), FCursor(directory) {
        directory.CreateTable(name, Definition(language, wordList));
        FCursor.SetTableName(name);
        FCursor.SetExclusive(true);
        FCursor.Open();
        FImage.resize(static_cast<std::size_t>(FCursor.RecordSize()));
        FDirectory.StartTransaction();
    }
    ~TTableFiller() {
        if (FDirectory.InTransaction()) FDirectory.Rollback();
        if (FCursor.IsOpen()) FCursor.Close(true);
    }

    void Insert(std::uint32_t id, std::string_view text, std::string_view memo, bool wordId) {
        FCursor.InitRecord(FImage);
        std::uint8_t idBytes[4];
        for (int i = 0; i < 4; ++i) idBytes[i] = static_cast<std::uint8_t>(id >> (8 * i));
        FCursor.SetField(kIdField, FImage, std::span<const std::uint8_t>(idBytes, wordId ? 2 : 4));
        FCursor.SetField(kTextField, FImage, Bytes(text));
        if (!memo.empty()) {
            std::uint32_t length = 0;
            FCursor.CheckError(
                FCursor.OpenBlob(kMemoField, FImage, pirin::TBlobOpenMode::ReadWrite, length));
            const std::uint16_t put = FCursor.PutBlob(kMemoField, FImage, 0, Bytes(memo));
            if (put != 0) ReleaseMemo();
            FCursor.CheckError(put);
        }
        try {
            FCursor.InsertRecord(FImage, false);
        } catch (...) {
            ReleaseMemo();
            throw;
        }
        ReleaseMemo();
    }

    void Insert(std::uint32_t id, std::string_view text, std::string_view memo) {
        Insert(id, text, memo, false);
    }

    void Commit() { FDirectory.Commit(); }

    // The "Word" values in the order of "IdxWord".
    std::vector<std::string> WordsInIndexOrder() {
        std::vector<std::string> words;
        FCursor.SetToIndex("IdxWord");
        FCursor.First();
        std::vector<std::uint8_t> value(
            pirin::FieldValueSize(FCursor.GetFieldDesc(kTextField).Field));
        for (std::uint16_t code; (code = FCursor.GetNextRecord(FImage)) != pirin::PIRIN_EOF;) {
            FCursor.CheckError(code);
            std::fill(value.begin(), value.end(), 0);
            FCursor.GetField(kTextField, FImage, value);
            const auto end = std::find(value.begin(), value.end(), 0);
            words.emplace_back(value.begin(), end);
        }
        return words;
    }

    void Close() { FCursor.Close(); }

  private:
    void ReleaseMemo() {
        // Gives back every use of an open handle; a stored value is left.
        while (FCursor.FreeBlob(kMemoField, FImage) == 0) {
        }
    }

    pirin::TDataDirectory& FDirectory;
    TDataCursor FCursor;
    std::vector<std::uint8_t> FImage;
};

}  // namespace

std::vector<std::string> WriteDictionaryTable(pirin::TDataDirectory& directory,
                                              const std::string& name, std::uint16_t language,
                                              const TTableEntries& entries) {
    TTableFiller filler(directory, name, language, false);
    std::uint32_t id = 0;
    for (const auto& [word, article] : entries.Articles())
        filler.Insert(++id, word, RenderArticleRtf(article));
    filler.Commit();
    std::vector<std::string> words = filler.WordsInIndexOrder();
    filler.Close();
    return words;
}

void WriteLangWordsTable(
    pirin::TDataDirectory& directory,
    const std::vector<std::pair<std::string, std::vector<std::string>>>& lists) {
    TTableFiller filler(directory, "LangWords", kLanguageBulgarian, true);
    std::uint32_t id = 0;
    for (const auto& [table, words] : lists) {
        std::string memo;
        for (const std::string& word : words) memo += word + "\r\n";
        filler.Insert(++id, table, memo, true);
    }
    filler.Commit();
    filler.Close();
}

}  // namespace vorlano
