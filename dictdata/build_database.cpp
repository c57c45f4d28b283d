#include "dictdata/build_database.h"

#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "dictdata/build_entries.h"
#include "dictdata/build_samples.h"
#include "dictdata/build_sounds.h"
#include "dictdata/build_source_error.h"
#include "dictdata/build_tables.h"
#include "dictdata/build_text.h"
#include "dictdata/dictd_article.h"
#include "dictdata/dictd_reader.h"
#include "dictdata/thesaurus_reader.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/engine.h"

namespace vorlano {

namespace fs = std::filesystem;

namespace {

// One bilingual pair of tables.
struct TLanguagePair {
    const char* Source;    // dictd name part, "eng"; empty for our sample
    const char* Sample;    // sample file for the foreign side, or empty
    const char* BgSample;  // sample file for the Bulgarian side; empty: inverted
    const char* ForTable;  // "En_Bg"
    const char* BgTable;   // "Bg_En"
    std::uint16_t Language;
    const char* SoundFolder;
    const char* Voice;
};

constexpr TLanguagePair kPairs[] = {
    {"eng", "", "", "En_Bg", "Bg_En", kLanguageEnglishUsa, "EN_MP3", "en-us"},
    {"deu", "", "", "Gs_Bg", "Bg_Gs", kLanguageGerman, "GS_MP3", "de"},
    {"", "sp_bg.txt", "bg_sp.txt", "Sp_Bg", "Bg_Sp", kLanguageSpanishModern, "SPA_MP3", "es"},
    {"ita", "", "", "It_Bg", "Bg_It", kLanguageItalian, "ITA_MP3", "it"},
    {"fra", "", "", "Fr_Bg", "Bg_Fr", kLanguageFrench, "FRE_MP3", "fr-fr"},
};

constexpr const char* kThesaurusFile = "th_bg_BG_v2.dat";

// The samples bundled with the sources: data/samples in the source tree,
// found upwards from the running executable.
fs::path BundledSamples() {
    std::error_code error;
    fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
    for (int up = 0; !error && up < 6 && !folder.empty(); ++up, folder = folder.parent_path()) {
        if (fs::is_regular_file(folder / "data/samples/sp_bg.txt")) return folder / "data/samples";
        if (folder == folder.parent_path()) break;
    }
    throw EBuildSourceError("the bundled samples (data/samples) were not found; give --sources");
}

struct TSourcePaths {
    fs::path Dictd;
    fs::path Thesaurus;
    fs::path Samples;
};

TSourcePaths SourcePaths(const TBuildOptions& options) {
    TSourcePaths paths;
    if (options.SourcesDir.empty()) {
        paths = {"/usr/share/dictd", fs::path("/usr/share/mythes") / kThesaurusFile, {}};
    } else {
        paths = {options.SourcesDir, options.SourcesDir / kThesaurusFile,
                 options.SourcesDir / "samples"};
    }
    if (!options.SamplesDir.empty())
        paths.Samples = options.SamplesDir;
    else if (paths.Samples.empty())
        paths.Samples = BundledSamples();
    return paths;
}

TTableCount CountOf(const std::string& table, const TTableEntries& entries) {
    return {table, entries.Articles().size(), entries.Merged(), entries.Shortened(),
            entries.Dropped()};
}

// Sets SOURCEPATH/Path in the settings file, keeping every other line.
void WriteSourcePath(const fs::path& file, const std::string& value) {
    std::vector<std::string> lines;
    if (std::ifstream in(file); in)
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
    const auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::optional<std::size_t> section;
    std::optional<std::size_t> key;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string line = lower(std::string(Trim(lines[i])));
        if (!line.empty() && line.front() == '[') {
            if (section && !key) break;
            if (line == "[sourcepath]") section = i;
        } else if (section && !key && line.starts_with("path") &&
                   Trim(std::string_view(line).substr(4)).starts_with("=")) {
            key = i;
        }
    }
    const std::string entry = "Path=" + value;
    if (key)
        lines[*key] = entry;
    else if (section)
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*section) + 1, entry);
    else {
        lines.push_back("[SOURCEPATH]");
        lines.push_back(entry);
    }
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << "\r\n";
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

// An engine session of our own for the build, so that a caller's default
// session and its passwords stay untouched.
class TBuildSession {
  public:
    explicit TBuildSession(const fs::path& folder) {
        FOwnsEngine = !pirin::EngineInitialized();
        pirin::InitializeEngine();
        FSession = &pirin::CreateSession();
        try {
            FSession->AddPassword(kTablePassword);
            const std::string path = folder.string() + "/";
            FDirectory = &FSession->OpenDatabase(path, path);
        } catch (...) {
            Release();
            throw;
        }
    }
    ~TBuildSession() { Release(); }
    TBuildSession(const TBuildSession&) = delete;
    TBuildSession& operator=(const TBuildSession&) = delete;

    pirin::TDataDirectory& Directory() const noexcept { return *FDirectory; }

  private:
    void Release() noexcept {
        pirin::FreeSession(*FSession);
        if (FOwnsEngine) pirin::FinalizeEngine();
    }

    bool FOwnsEngine = false;
    pirin::TDataSession* FSession = nullptr;
    pirin::TDataDirectory* FDirectory = nullptr;
};

// The foreign-to-Bulgarian entries of one pair and their translations.
TTableEntries ForeignEntries(const TLanguagePair& pair, const TSourcePaths& paths,
                             std::vector<TTranslationPair>& translations) {
    TTableEntries entries(1252);
    const auto addTranslations = [&](const std::string& headword, const TArticleBlock& block,
                                     const std::vector<std::string>& words) {
        for (const std::string& word : words)
            translations.push_back({headword, block.PartOfSpeech, word});
    };
    if (*pair.Source != '\0') {
        const std::string base =
            (paths.Dictd / ("freedict-" + std::string(pair.Source) + "-bul")).string();
        for (const TDictdEntry& source : ReadDictdDictionary(base)) {
            const std::string headword = DictdHeadword(source.Headword, source.Article);
            TDictdArticle article = ParseDictdArticle(source.Article);
            // A foreign headword never holds Cyrillic: such an entry is junk.
            if (article.Block.Senses.empty() || HasCyrillic(headword)) {
                entries.AddDropped(1);
                continue;
            }
            addTranslations(headword, article.Block, article.Translations);
            entries.Add(headword, std::move(article.Block));
        }
    } else {
        for (TSampleEntry& sample : ReadSamples((paths.Samples / pair.Sample).string())) {
            std::vector<std::string> words;
            for (const TArticleSense& sense : sample.Block.Senses)
                for (const std::string& word : SplitList(sense.Text, ","))
                    words.push_back(WithoutStress(word));
            addTranslations(sample.Headword, sample.Block, words);
            entries.Add(sample.Headword, std::move(sample.Block));
        }
    }
    return entries;
}

TTableEntries ExplanatoryEntries(const TSourcePaths& paths) {
    TTableEntries entries(1251);
    for (TThesaurusEntry& source : ReadThesaurus(paths.Thesaurus.string())) {
        if (source.Meanings.empty()) {
            entries.AddDropped(1);
            continue;
        }
        bool sameEntry = false;
        for (TThesaurusMeaning& meaning : source.Meanings) {
            std::string text;
            for (const std::string& synonym : meaning.Synonyms)
                text += (text.empty() ? "" : ", ") + synonym;
            entries.Add(source.Word, {std::move(meaning.PartOfSpeech), {{std::move(text), {}}}},
                        sameEntry);
            sameEntry = true;
        }
    }
    return entries;
}

// A Bulgarian-side table written from one of our samples as it stands.
TTableEntries BulgarianSampleEntries(const TSourcePaths& paths, const char* sample) {
    TTableEntries entries(1251);
    for (TSampleEntry& entry : ReadSamples((paths.Samples / sample).string()))
        entries.Add(entry.Headword, std::move(entry.Block));
    return entries;
}

}  // namespace

TBuildResult BuildDictionaryDatabase(const TBuildOptions& options) {
    if (options.OutDir.empty()) throw std::invalid_argument("no output folder given");
    const TSourcePaths paths = SourcePaths(options);
    const fs::path outDir = fs::absolute(options.OutDir);
    const fs::path finalFolder = outDir / "Dictionary";
    const fs::path buildFolder = outDir / ".Dictionary.building";
    fs::remove_all(buildFolder);
    fs::create_directories(buildFolder);

    TBuildResult result;
    std::vector<std::pair<std::string, std::vector<std::string>>> lists;
    std::vector<TSoundRequest> sounds;
    try {
        TBuildSession session(buildFolder);
        pirin::TDataDirectory& directory = session.Directory();
        const auto write = [&](const std::string& table, std::uint16_t language,
                               const TTableEntries& entries) {
            lists.emplace_back(table, WriteDictionaryTable(directory, table, language, entries));
            result.Tables.push_back(CountOf(table, entries));
            return lists.back().second;
        };
        write("Bg_Bg", kLanguageBulgarian, ExplanatoryEntries(paths));
        write("Bg_Jd", kLanguageBulgarian, BulgarianSampleEntries(paths, "bg_jd.txt"));
        for (const TLanguagePair& pair : kPairs) {
            std::vector<TTranslationPair> translations;
            const TTableEntries foreign = ForeignEntries(pair, paths, translations);
            write(pair.BgTable, kLanguageBulgarian,
                  *pair.BgSample != '\0' ? BulgarianSampleEntries(paths, pair.BgSample)
                                         : InvertTranslations(translations));
            const std::vector<std::string>& words = write(pair.ForTable, pair.Language, foreign);
            sounds.push_back({outDir / "Sounds" / pair.SoundFolder, pair.Voice, 1252, words});
        }
        WriteLangWordsTable(directory, lists);
        result.Tables.push_back({"LangWords", lists.size(), 0, 0, 0});
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(buildFolder, ignored);
        throw;
    }
    fs::remove_all(finalFolder);
    fs::rename(buildFolder, finalFolder);

    if (options.MakeSounds) {
        if (!SoundToolsAvailable()) {
            result.Warnings.push_back("espeak-ng or lame not found: no pronunciation files made");
        } else {
            for (const TSoundRequest& request : sounds) {
                fs::remove_all(request.Folder);
                const TSoundOutcome outcome = MakeSounds(
                    request, options.SoundLimit, options.SoundJobs, options.SoundBudgetSeconds);
                result.Sounds += outcome.Written;
                if (outcome.Failed > 0)
                    result.Warnings.push_back(std::to_string(outcome.Failed) + " words of " +
                                              request.Folder.filename().string() +
                                              " could not be spoken");
            }
        }
    }
    WriteSourcePath(outDir / "System" / "path_bg.ini", outDir.string());
    return result;
}

}  // namespace vorlano
