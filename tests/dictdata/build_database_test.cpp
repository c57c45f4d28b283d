// The dictionary builder on a small slice of every source: dictd files (one
// gzip'd, one plain), a thesaurus and the two samples, written here.
#include "dictdata/build_database.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "dictdata/build_samples.h"
#include "dictdata/build_sounds.h"
#include "dictdata/build_source_error.h"
#include "dictdata/datas.h"
#include "dictdata/dictd_article.h"
#include "dictdata/dictd_reader.h"
#include "dictdata/thesaurus_reader.h"
#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/engine.h"
#include "errors/engine_error.h"
#include "locale/code_page.h"
#include "locale/field_types.h"
#include "storage/table_verifier.h"
#include "tests/dictdata/build_sources_support.h"

namespace vorlano {
namespace {

namespace fs = std::filesystem;

// Reads the built tables through the engine with the dictionary password.
class TBuiltTables {
  public:
    explicit TBuiltTables(const fs::path& folder) {
        pirin::InitializeEngine();
        FSession = &pirin::CreateSession();
        const std::string path = folder.string() + "/";
        FDirectory = &FSession->OpenDatabase(path, path);
    }
    ~TBuiltTables() {
        pirin::FreeSession(*FSession);
        pirin::FinalizeEngine();
    }
    void AddPassword() { FSession->AddPassword(kTablePassword); }

    std::unique_ptr<pirin::TDataCursor> Open(const std::string& table) {
        auto cursor = std::make_unique<pirin::TDataCursor>(*FDirectory);
        cursor->SetTableName(table);
        cursor->SetReadOnly(true);
        cursor->Open();
        return cursor;
    }

    static std::string Text(pirin::TDataCursor& cursor, int field,
                            std::span<const std::uint8_t> image) {
        std::vector<std::uint8_t> value(pirin::FieldValueSize(cursor.GetFieldDesc(field).Field));
        cursor.GetField(field, image, value);
        return {value.begin(), std::find(value.begin(), value.end(), 0)};
    }
    static std::string Memo(pirin::TDataCursor& cursor, int field, std::span<std::uint8_t> image) {
        std::uint32_t length = 0;
        cursor.CheckError(cursor.OpenBlob(field, image, pirin::TBlobOpenMode::Read, length));
        std::string bytes(length, '\0');
        std::uint32_t count = 0;
        cursor.CheckError(cursor.GetBlob(
            field, image, 0, {reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()}, count));
        cursor.CheckError(cursor.FreeBlob(field, image));
        return bytes;
    }

    // Headword → article of every row, walking "IdxWord"; `order` gets the
    // headwords in index order.
    std::map<std::string, std::string> Rows(const std::string& table,
                                            std::vector<std::string>& order) {
        auto cursor = Open(table);
        cursor->SetToIndex("IdxWord");
        cursor->First();
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
        std::map<std::string, std::string> rows;
        while (cursor->GetNextRecord(image) == 0) {
            order.push_back(Text(*cursor, 2, image));
            rows[order.back()] = Memo(*cursor, 3, image);
        }
        return rows;
    }

    std::map<std::string, std::vector<std::string>> WordLists() {
        auto cursor = Open("LangWords");
        cursor->First();
        std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor->RecordSize()));
        std::map<std::string, std::vector<std::string>> lists;
        while (cursor->GetNextRecord(image) == 0) {
            std::vector<std::string>& words = lists[Text(*cursor, 2, image)];
            const std::string memo = Memo(*cursor, 3, image);
            for (std::size_t at = 0, end; (end = memo.find("\r\n", at)) != std::string::npos;
                 at = end + 2)
                words.push_back(memo.substr(at, end - at));
        }
        return lists;
    }

  private:
    pirin::TDataSession* FSession = nullptr;
    pirin::TDataDirectory* FDirectory = nullptr;
};

class BuildDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FRoot = fs::temp_directory_path() /
                ("vorlano-build-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FRoot);
        WriteSourceSlice(FRoot / "sources");
    }
    void TearDown() override { fs::remove_all(FRoot); }

    TBuildResult Build() {
        return BuildDictionaryDatabase(
            {.OutDir = FRoot / "out", .SourcesDir = FRoot / "sources", .MakeSounds = false});
    }
    fs::path Dictionary() const { return FRoot / "out" / "Dictionary"; }

    fs::path FRoot;
};

std::string Win1251(std::u16string_view text) { return pirin::TCodePage::Of(1251).Encode(text); }

TEST_F(BuildDatabaseTest, WritesThirteenEncryptedTablesWithTheDictionarySchema) {
    const TBuildResult result = Build();
    std::map<std::string, TTableCount> counts;
    for (const TTableCount& count : result.Tables) counts[count.Table] = count;
    ASSERT_EQ(counts.size(), 13u);
    EXPECT_EQ(counts["LangWords"].Entries, 12u);
    EXPECT_EQ(counts["En_Bg"].Entries, 8u);  // two "house" entries merged, one long headword cut
    EXPECT_EQ(counts["En_Bg"].Merged, 1u);
    EXPECT_EQ(counts["En_Bg"].Shortened, 1u);
    EXPECT_EQ(counts["Gs_Bg"].Entries, 4u);
    EXPECT_EQ(counts["Bg_Bg"].Entries, 2u);
    EXPECT_EQ(counts["Sp_Bg"].Entries, 3u);
    EXPECT_EQ(counts["Bg_Jd"].Entries, 2u);
    EXPECT_EQ(counts["Bg_Sp"].Entries, 3u);  // from our sample, the two "син" merged
    EXPECT_EQ(counts["Bg_Sp"].Merged, 1u);

    TBuiltTables tables(Dictionary());
    // Encrypted: nothing opens without the password.
    try {
        tables.Open("En_Bg");
        ADD_FAILURE() << "opened without the password";
    } catch (const pirin::EPirinEngineError& error) {
        EXPECT_EQ(pirin::ErrorCodeOf(error), 10498);
    }
    tables.AddPassword();
    const std::map<std::string, std::uint16_t> languages = {
        {"Bg_Bg", 0x0402}, {"Bg_Jd", 0x0402}, {"Bg_En", 0x0402},
        {"En_Bg", 0x0409}, {"Gs_Bg", 0x0407}, {"Sp_Bg", 0x0C0A},
        {"It_Bg", 0x0410}, {"Fr_Bg", 0x040C}, {"Bg_Fr", 0x0402}};
    for (const auto& [name, count] : counts) {
        SCOPED_TRACE(name);
        auto cursor = tables.Open(name);
        pirin::TDataTable& table = *cursor->Table();
        EXPECT_TRUE(table.DataFile().Encrypted());
        EXPECT_EQ(
            pirin::TTableVerifier(table.DataFile(), table.IndexFile(), table.BlobFile()).Run(),
            std::vector<std::string>{});
        EXPECT_EQ(cursor->RecordCount(), static_cast<std::int32_t>(count.Entries));
        if (languages.contains(name)) {
            EXPECT_EQ(cursor->Language(), languages.at(name));
        }
        const bool wordList = name == "LangWords";
        const auto& id = cursor->GetFieldDesc(1).Field;
        const auto& word = cursor->GetFieldDesc(2).Field;
        const auto& memo = cursor->GetFieldDesc(3).Field;
        EXPECT_EQ(id.Type, wordList ? pirin::kFieldWord : pirin::kFieldInteger);
        EXPECT_EQ(word.Type, pirin::kFieldString);
        EXPECT_EQ(word.Subtype, pirin::kSubtypeFixedString);
        EXPECT_EQ(word.DeclaredSize, wordList ? 5 : 50);
        EXPECT_EQ(memo.Subtype, pirin::kSubtypeMemo);
        if (wordList) continue;
        ASSERT_EQ(table.IndexFile().SecondaryIndexCount(), 1);
        const auto& index = table.IndexFile().GetIndexDescriptor(1);
        EXPECT_EQ(index.Name, "IdxWord");
        EXPECT_TRUE(index.CaseInsensitive);
        EXPECT_FALSE(index.Unique);
        EXPECT_EQ(index.Compression, 3);
    }
}

TEST_F(BuildDatabaseTest, WordListsFollowTheIndexOrderOfTheirLanguage) {
    Build();
    TBuiltTables tables(Dictionary());
    tables.AddPassword();
    const auto lists = tables.WordLists();
    ASSERT_EQ(lists.size(), 12u);
    for (const auto& [table, words] : lists) {
        SCOPED_TRACE(table);
        std::vector<std::string> order;
        tables.Rows(table, order);
        EXPECT_EQ(words, order);
    }
    // German collation puts "über" with the u's, case-insensitively.
    EXPECT_EQ(lists.at("Gs_Bg"), (std::vector<std::string>{"Apfel", "Haus",
                                                           "\xFC"
                                                           "ber",
                                                           "Zug"}));
    EXPECT_EQ(lists.at("Fr_Bg").front(), "caf\xE9");
}

TEST_F(BuildDatabaseTest, ArticlesAreRtfWithTheirTranslationsAndInversions) {
    Build();
    TBuiltTables tables(Dictionary());
    tables.AddPassword();
    std::vector<std::string> order;
    const auto english = tables.Rows("En_Bg", order);
    ASSERT_TRUE(english.contains("house"));
    const std::string& house = english.at("house");
    EXPECT_TRUE(house.starts_with("{\\rtf1"));
    EXPECT_NE(house.find("{\\b"), std::string::npos);
    EXPECT_NE(house.find("{\\i {\\f1 n}}"), std::string::npos);  // both parts of speech
    EXPECT_NE(house.find("{\\i {\\f1 v}}"), std::string::npos);
    EXPECT_NE(house.find("1. "), std::string::npos);
    // "къ́ща": Cyrillic as code page bytes, the stress mark as \u769.
    EXPECT_NE(house.find("\\'ea\\'fa\\u769?\\'f9\\'e0"), std::string::npos);
    // The headword too long for the field is cut at a blank, never lost.
    EXPECT_TRUE(english.contains("a man is known by the company he keeps and the"));

    order.clear();
    const auto bulgarian = tables.Rows("Bg_En", order);
    const std::string kashta = Win1251(u"къща");
    ASSERT_TRUE(bulgarian.contains(kashta));
    EXPECT_NE(bulgarian.at(kashta).find("house"), std::string::npos);
    EXPECT_FALSE(bulgarian.contains(Win1251(u"къ́ща")));  // stress dropped from headwords

    // Wiki markup and Latin look-alikes are gone from the inverted
    // headwords; explanations in English never become headwords.
    EXPECT_TRUE(bulgarian.contains(Win1251(u"абсолютна власт")));
    EXPECT_TRUE(bulgarian.contains(Win1251(u"антиутопия")));
    EXPECT_TRUE(bulgarian.contains(Win1251(u"четиридесетгодишен")));
    for (const std::string& headword : order) {
        SCOPED_TRACE(headword);
        EXPECT_EQ(headword.find_first_of("[]{}|abcdefghijklmnopqrstuvwxyz0123456789"),
                  std::string::npos);
    }
    EXPECT_TRUE(english.contains("Aachen"));  // as the article writes it
    const std::string& absolutism = english.at("absolutism");
    EXPECT_EQ(absolutism.find_first_of("[]|"), std::string::npos) << absolutism;
    EXPECT_NE(absolutism.find("transliteration of"), std::string::npos);  // kept as a note

    order.clear();
    const auto spanish = tables.Rows("Bg_Sp", order);
    ASSERT_TRUE(spanish.contains(kashta));
    EXPECT_NE(spanish.at(kashta).find("hogar"), std::string::npos);  // the sample, not inverted
    EXPECT_NE(spanish.at(Win1251(u"син")).find("azul"), std::string::npos);

    order.clear();
    const auto explanatory = tables.Rows("Bg_Bg", order);
    ASSERT_TRUE(explanatory.contains(Win1251(u"дом")));
    EXPECT_NE(explanatory.at(Win1251(u"дом")).find("2. "), std::string::npos);
}

TEST_F(BuildDatabaseTest, RebuildReplacesTheTablesAndKeepsOtherSettings) {
    fs::create_directories(FRoot / "out" / "System");
    std::ofstream(FRoot / "out" / "System" / "path_bg.ini")
        << "[SETTINGS]\r\nActiveTranslate=0\r\n";
    Build();
    Build();
    std::ifstream in(FRoot / "out" / "System" / "path_bg.ini");
    const std::string ini((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(ini.find("ActiveTranslate=0"), std::string::npos);
    EXPECT_NE(ini.find("[SOURCEPATH]\r\nPath=" + fs::absolute(FRoot / "out").string() + "\r\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(FRoot / "out" / ".Dictionary.building"));
}

TEST_F(BuildDatabaseTest, AMalformedSourceFailsWithItsNameAndLeavesTheOldDatabase) {
    Build();
    std::ofstream(FRoot / "sources" / "freedict-deu-bul.index", std::ios::app) << "Baum\tA\n";
    try {
        Build();
        ADD_FAILURE() << "built from a malformed index";
    } catch (const EBuildSourceError& error) {
        EXPECT_NE(std::string(error.what()).find("freedict-deu-bul.index: line"), std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(fs::exists(Dictionary() / "Gs_Bg.DAT"));
    EXPECT_FALSE(fs::exists(FRoot / "out" / ".Dictionary.building"));
}

TEST(DictdArticleTest, WikiMarkupIsCleanedFromLines) {
    const struct {
        const char* Line;
        const char* Clean;
    } cases[] = {
        {"[[абсолютен|абсолю́тна]] власт", "абсолю́тна власт"},
        {"[[съвет|Съве́т]] за [[икономически|икономи́ческа]] [[взаимопо́мощ]], СИВ",
         "Съве́т за икономи́ческа взаимопо́мощ, СИВ"},
        {"[[англи́йски]] ([[ези́к]]), английски", "англи́йски (ези́к), английски"},
        {"}}, }}", ""},
        {"}} {{}} persona lenta", "persona lenta"},
        {"of, relating to}} or influenced by climate", "of, relating to or influenced by climate"},
        {"{{lb|en|figurative}} deep {{w|sea|{{nested}}}} water", "deep water"},
        {"Gebäude, Ausstellung mit mehreren Aquarien[1]",
         "Gebäude, Ausstellung mit mehreren Aquarien"},
        {"Frucht von [1]; die [23] Fasern [x] […]", "Frucht von; die Fasern [x] […]"},
        {"unclosed [[link and {{brace", "unclosed [[link and brace"},
        {"  plain,  text ; ", "plain, text"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.Line);
        EXPECT_EQ(WithoutWikiMarkup(item.Line), item.Clean);
    }
}

TEST(DictdArticleTest, TheHeadwordKeepsTheLetterCaseOfTheArticle) {
    const struct {
        const char* Index;
        const char* Article;
        const char* Headword;
    } cases[] = {
        {"tür", "Tür /tyːɐ̯/ <n, fem>\nврата\n", "Tür"},
        {"aachen", "Aachen //ˈɑkən// //ˈɑxən// <pn>\nАахен\n", "Aachen"},
        {"a few", "a few <phraseologicalUnit>\nняколко\n", "a few"},
        {"être", "ÊTRE\nсъм\n", "ÊTRE"},
        {"house", "home <n>\nдом\n", "house"},  // another word: the index wins
        {"house", "", "house"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.Article);
        EXPECT_EQ(DictdHeadword(item.Index, item.Article), item.Headword);
    }
}

TEST(DictdArticleTest, OnlyBulgarianWordsBecomeTranslations) {
    const struct {
        const char* Text;
        const char* Repaired;  // Latin look-alikes replaced
        bool Bulgarian;
    } cases[] = {
        {"aнтиутопия", "антиутопия", true},
        {"сл. Хр., след Xpиста", "сл. Хр., след Христа", true},
        {"Mapc", "Mapc", false},             // a Latin word stays Latin
        {"Марс, Mapc", "Марс, Марс", true},  // but not among Cyrillic words
        {"Ява, Java, Mapc", "Ява, Java, Mapc", false},
        {"0ценявам", "оценявам", true},
        {"40 годишен", "40 годишен", true},
        {"hотификация", "hотификация", false},  // "h" is no look-alike: still mixed
        {"QR код", "QR код", true},
        {"transliteration of Дмитрий", "transliteration of Дмитрий", false},
        {"name of а ruler of Bulgars", "name of а ruler of Bulgars", false},
        {"къща", "къща", true},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.Text);
        EXPECT_EQ(WithCyrillicLookalikes(item.Text), item.Repaired);
        EXPECT_EQ(IsBulgarianText(WithCyrillicLookalikes(item.Text)), item.Bulgarian);
    }
    // A comma between digits belongs to the word ("2,4,6-...").
    const TDictdArticle article = ParseDictdArticle(
        "Java <pn>\nЯва, Java, Джава\nMapc 2.\n}}\ntransliteration of Дмитрий\n"
        "2,4,6-тринитрофенол, пикринова киселина\n");
    EXPECT_EQ(article.Translations, (std::vector<std::string>{"Ява", "Джава", "2,4,6-тринитрофенол",
                                                              "пикринова киселина"}));
    ASSERT_EQ(article.Block.Senses.size(), 2u);
    EXPECT_EQ(article.Block.Senses[0].Text, "Ява, Java, Джава");
    EXPECT_EQ(article.Block.Senses[0].Note, "Mapc");
}

TEST(DictdReaderTest, RejectsMalformedInputWithAClearError) {
    EXPECT_EQ(DecodeDictdNumber("BZ"), 64u + 25u);
    EXPECT_EQ(DecodeDictdNumber("A"), 0u);
    EXPECT_FALSE(DecodeDictdNumber(""));
    EXPECT_FALSE(DecodeDictdNumber("A=B"));
    EXPECT_FALSE(DecodeDictdNumber("//////////"));  // beyond 2^48
    for (const char* index : {"word\n", "word\tA\n", "\tA\tB\n", "word\tA\t!\n", "word\t\tB\n"}) {
        SCOPED_TRACE(index);
        EXPECT_THROW(ParseDictdIndex(index, "x.index"), EBuildSourceError);
    }
    EXPECT_EQ(ParseDictdIndex("a\tA\tB\r\n\nb\tB\tC\textra\n", "x.index").size(), 2u);

    const std::string gzip = GzipBytes(std::string(1000, 'x'));
    EXPECT_EQ(InflateDictData(gzip, "x.dict.dz", 1 << 20), std::string(1000, 'x'));
    EXPECT_THROW(InflateDictData(gzip.substr(0, gzip.size() / 2), "x", 1 << 20), EBuildSourceError);
    std::string corrupt = gzip;
    corrupt[12] ^= 0x55;
    EXPECT_THROW(InflateDictData(corrupt, "x", 1 << 20), EBuildSourceError);
    EXPECT_THROW(InflateDictData(gzip, "x", 100), EBuildSourceError);  // a bomb is cut off
    EXPECT_EQ(InflateDictData("plain text", "x", 100), "plain text");
}

TEST(DictdReaderTest, AnEntryPastTheEndOfTheArticlesFails) {
    const fs::path base =
        fs::temp_directory_path() / ("vorlano-dictd-" + std::to_string(::getpid()));
    std::ofstream(base.string() + ".index") << "word\tA\tZ\n";
    std::ofstream(base.string() + ".dict") << "short";
    EXPECT_THROW(ReadDictdDictionary(base.string()), EBuildSourceError);
    fs::remove(base.string() + ".index");
    fs::remove(base.string() + ".dict");
}

TEST(SourceReadersTest, AMalformedThesaurusOrSampleNamesItsLine) {
    const struct {
        bool Thesaurus;
        std::string Text;
        std::string Where;
    } cases[] = {
        {true, "", "t.dat: empty file"},
        {true, "KOI8-R\nдом|1\n(същ.)|къща\n", "t.dat: line 1"},
        {true, "UTF-8\nдом|3\n(същ.)|къща\n", "t.dat: line 2"},  // count past the end
        {true, "UTF-8\nдом|x\n", "t.dat: line 2"},
        {true, "UTF-8\nдом\n", "t.dat: line 2"},
        {true, "UTF-8\nдом|1\nкъща\n", "t.dat: line 3"},
        {false, "casa | същ.\n", "s.txt: line 1"},
        {false, "# comment\n | същ. | къща\n", "s.txt: line 2"},
        {false, "casa | същ. | ; \n", "s.txt: line 1"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.Text);
        try {
            if (item.Thesaurus)
                ParseThesaurus(item.Text, "t.dat");
            else
                ParseSamples(item.Text, "s.txt");
            ADD_FAILURE() << "accepted";
        } catch (const EBuildSourceError& error) {
            EXPECT_TRUE(std::string(error.what()).starts_with(item.Where)) << error.what();
        }
    }
    // A thesaurus in a Windows code page comes out as UTF-8.
    const auto entries =
        ParseThesaurus("CP1251\r\n" + Win1251(u"дом|1\r\n(същ.)|къща\r\n"), "t.dat");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Word, "дом");
    EXPECT_EQ(entries[0].Meanings[0].PartOfSpeech, "същ.");
    EXPECT_EQ(entries[0].Meanings[0].Synonyms, std::vector<std::string>{"къща"});
}

TEST(BuildSoundsTest, SpeaksTheFirstWordsNumberedByListPositionWithoutAShell) {
    if (!SoundToolsAvailable()) GTEST_SKIP() << "espeak-ng or lame missing";
    const fs::path folder =
        fs::temp_directory_path() / ("vorlano-sounds-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    const fs::path marker = folder / "injected";
    const TSoundRequest request{folder / "EN_MP3",
                                "en-us",
                                1252,
                                {"house", "$(touch " + marker.string() + ")'\"", "caf\xE9"}};
    const TSoundOutcome outcome = MakeSounds(request, 2, 2, 0.0);
    EXPECT_EQ(outcome.Written, 2u);
    EXPECT_GT(fs::file_size(folder / "EN_MP3" / "1.mp3"), 100u);
    EXPECT_TRUE(fs::exists(folder / "EN_MP3" / "2.mp3"));
    EXPECT_FALSE(fs::exists(folder / "EN_MP3" / "3.mp3"));  // past the limit and over budget
    EXPECT_FALSE(fs::exists(marker));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace vorlano
