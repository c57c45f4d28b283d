// The benchmark suite: each operation timed on Pirin and on SQLite over the
// same data in the same run, then the table of medians and ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>

#include "bench/bench_setup.h"
#include "bench/demo_lookup.h"
#include "bench/demo_open.h"
#include "bench/ratio_table.h"
#include "lookup/rtf_reader.h"
#include "lookup/word_list.h"

namespace vorlano::bench {
namespace {

template <typename Side, typename Lookup>
void LookUpEach(benchmark::State& state, Side& side, const std::vector<std::string>& words, Lookup lookup) {
    std::string desc;
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize((side.*lookup)(words[next], desc));
        benchmark::DoNotOptimize(desc.data());
        if (++next == words.size()) next = 0;
    }
}

template <typename Side>
void WalkAll(benchmark::State& state, Side& side) {
    for (auto _ : state) {
        const std::size_t count = side.WalkAll();
        if (count != kGeneratedRows) state.SkipWithError("the walk missed records");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kGeneratedRows));
}
void WalkAllPirin(benchmark::State& state) { WalkAll(state, TBenchSetup::Instance().Pirin()); }
void WalkAllSqlite(benchmark::State& state) { WalkAll(state, TBenchSetup::Instance().Sqlite()); }

void InsertAllPirin(benchmark::State& state) {
    TBenchSetup& setup = TBenchSetup::Instance();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = setup.NewFolder().string() + "/";
        TPirinWords::Create(folder, kPirinTableName);
        auto words = std::make_unique<TPirinWords>(folder, kPirinTableName);
        state.ResumeTiming();
        words->Load(setup.Data().Rows);
        state.PauseTiming();
        words.reset();
        std::filesystem::remove_all(folder);
        state.ResumeTiming();
    }
}
void InsertAllSqlite(benchmark::State& state) {
    TBenchSetup& setup = TBenchSetup::Instance();
    for (auto _ : state) {
        state.PauseTiming();
        const std::filesystem::path folder = setup.NewFolder();
        auto words = std::make_unique<TSqliteWords>((folder / kSqliteFileName).string());
        state.ResumeTiming();
        words->Load(setup.Data().Rows);
        state.PauseTiming();
        words.reset();
        std::filesystem::remove_all(folder);
        state.ResumeTiming();
    }
}

// The demo database's look-up, made on first use and closed before the
// table layer ends; nullptr when VORLANO_DEMO_DATA names no demo database.
std::unique_ptr<TDemoLookup> GDemo;
TDemoLookup* Demo() {
    static const bool made = [] {
        const char* folder = std::getenv("VORLANO_DEMO_DATA");
        if (folder == nullptr || !std::filesystem::exists(std::filesystem::path(folder) / "Dictionary"))
            return false;
        const std::string path = (TBenchSetup::Instance().Loaded() / "demo.sqlite").string();
        GDemo = std::make_unique<TDemoLookup>(std::string(folder) + "/", path);
        return true;
    }();
    return made ? GDemo.get() : nullptr;
}

template <typename Operation>
void OnDemo(benchmark::State& state, Operation operation) {
    TDemoLookup* demo = Demo();
    if (demo == nullptr) {
        state.SkipWithError("no demo database (VORLANO_DEMO_DATA)");
        return;
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(operation(*demo, next));
        ++next;
    }
}

// Operation 5 works on a copy of the demo database's tables and of their
// SQLite copy, so that no open component shares files with it (made once).
const std::filesystem::path& FreshDemoCopy() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path copy = TBenchSetup::Instance().NewFolder();
        std::filesystem::copy(std::filesystem::path(std::getenv("VORLANO_DEMO_DATA")) / "Dictionary",
                              copy / "Dictionary");
        std::filesystem::copy_file(TBenchSetup::Instance().Loaded() / "demo.sqlite", copy / "demo.sqlite");
        return copy;
    }();
    return folder;
}

// Opens (timed), looks the demo's headword up (timed) and closes (not
// timed) on every iteration.
template <typename Open>
void OpenAndFind(benchmark::State& state, Open open) {
    // The demo look-up makes the SQLite copy.
    if (Demo() == nullptr) {
        state.SkipWithError("no demo database (VORLANO_DEMO_DATA)");
        return;
    }
    const std::filesystem::path& folder = FreshDemoCopy();
    static const std::string word = TOpenDictionary((folder / "Dictionary").string() + "/").MiddleWord();
    std::string desc;
    for (auto _ : state) {
        auto opened = open(folder);
        if (!opened->Find(word, desc)) {
            state.SkipWithError("the headword was not found");
            break;
        }
        state.PauseTiming();
        opened.reset();
        state.ResumeTiming();
    }
}
void OpenAndFindPirin(benchmark::State& state) {
    OpenAndFind(state, [](const std::filesystem::path& folder) {
        return std::make_unique<TOpenDictionary>((folder / "Dictionary").string() + "/");
    });
}
void OpenAndFindSqlite(benchmark::State& state) {
    OpenAndFind(state, [](const std::filesystem::path& folder) {
        return std::make_unique<TSqliteWords>((folder / "demo.sqlite").string());
    });
}

void KeystrokePirin(benchmark::State& state) {
    OnDemo(state, [](TDemoLookup& demo, std::size_t i) { return demo.Keystroke(demo.Keys()[i % demo.Keys().size()]); });
}
void KeystrokeSqlite(benchmark::State& state) {
    OnDemo(state,
           [](TDemoLookup& demo, std::size_t i) { return demo.KeystrokeSqlite(demo.Keys()[i % demo.Keys().size()]); });
}
void LocatePirin(benchmark::State& state) {
    OnDemo(state, [](TDemoLookup& demo, std::size_t i) {
        return demo.Locate(demo.TableNames()[i % demo.TableNames().size()]);
    });
}
void LocateSqlite(benchmark::State& state) {
    OnDemo(state, [](TDemoLookup& demo, std::size_t i) {
        return demo.LocateSqlite(demo.TableNames()[i % demo.TableNames().size()]);
    });
}

// The keystroke on the generated table: the list search over its 200,000
// words, the entry's look-up with its memo and the memo's HTML, for keys
// that are words and prefixes of words as they are typed.
struct TGeneratedKeystrokes {
    TWordList List;
    std::vector<std::string> Keys;

    TGeneratedKeystrokes() {
        const TBenchData& data = TBenchSetup::Instance().Data();
        std::vector<std::string> words;
        words.reserve(data.Rows.size());
        for (const TBenchRow& row : data.Rows) words.push_back(row.Word);
        // The list's order is the index's: for these letters-only words,
        // the bytes with letter case folded.
        std::sort(words.begin(), words.end(), [](const std::string& a, const std::string& b) {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                return FoldCase(static_cast<std::uint8_t>(x)) < FoldCase(static_cast<std::uint8_t>(y));
            });
        });
        List = TWordList(std::move(words));
        std::mt19937 random(7);
        for (std::size_t i = 0; i < 10000; ++i) {
            const std::string& word = data.Present[i];
            std::uniform_int_distribution<std::size_t> length(2, word.size());
            Keys.push_back(i % 2 == 0 ? word : word.substr(0, length(random)));
        }
    }
    static const TGeneratedKeystrokes& Instance() {
        static const TGeneratedKeystrokes keystrokes;
        return keystrokes;
    }
};

void GeneratedKeystrokePirin(benchmark::State& state) {
    const TGeneratedKeystrokes& keystrokes = TGeneratedKeystrokes::Instance();
    TPirinWords& pirin = TBenchSetup::Instance().Pirin();
    std::string desc;
    std::size_t next = 0;
    for (auto _ : state) {
        const int item = keystrokes.List.Search(keystrokes.Keys[next++ % keystrokes.Keys.size()]);
        if (item >= 0) pirin.Find(keystrokes.List.Item(item), desc);
        benchmark::DoNotOptimize(ArticleToHtml(desc).size());
    }
}
void GeneratedKeystrokeSqlite(benchmark::State& state) {
    const TGeneratedKeystrokes& keystrokes = TGeneratedKeystrokes::Instance();
    TSqliteWords& sqlite = TBenchSetup::Instance().Sqlite();
    std::string desc;
    std::size_t next = 0;
    for (auto _ : state) {
        sqlite.FindNearest(keystrokes.Keys[next++ % keystrokes.Keys.size()], desc);
        benchmark::DoNotOptimize(ArticleToHtml(desc).size());
    }
}

const std::vector<TOperation>& Operations() {
    static const std::vector<TOperation> operations = {
        {"1-find-existing", "1 FindKey existing word + Desc memo", ""},
        {"2-find-missing", "2 FindKey missing word, nearest entry + memo", ""},
        {"3-keystroke", "3 keystroke: SearchWord + ShowEntry + HTML (En_Bg)", "needs the demo database"},
        {"3b-keystroke-200k", "3b keystroke on the 200,000-word list", ""},
        {"4-walk-all", "4 walk 200,000 records in IdxWord order", ""},
        {"5-open-first", "5 open database + a dictionary's 3 tables + first look-up", "needs the demo database"},
        {"6-insert-all", "6 insert 200,000 records in one transaction (3 runs)", ""},
        {"7-locate", "7 Locate on LangWords by Table", "needs the demo database"},
    };
    return operations;
}

using TBenchmarkFunction = void (*)(benchmark::State&);

// Medians of a few repetitions; a fixed iteration count for the long ones.
void Register(const char* name, TBenchmarkFunction function, int repetitions, benchmark::TimeUnit unit,
              benchmark::IterationCount iterations = 0) {
    auto* registered = benchmark::RegisterBenchmark(name, function);
    registered->Repetitions(repetitions)->ReportAggregatesOnly(true)->Unit(unit);
    if (iterations > 0) registered->Iterations(iterations);
}

void RegisterAll() {
    Register("1-find-existing/Pirin", [](benchmark::State& state) {
        TBenchSetup& setup = TBenchSetup::Instance();
        LookUpEach(state, setup.Pirin(), setup.Data().Present, &TPirinWords::Find);
    }, 5, benchmark::kMicrosecond);
    Register("1-find-existing/SQLite", [](benchmark::State& state) {
        TBenchSetup& setup = TBenchSetup::Instance();
        LookUpEach(state, setup.Sqlite(), setup.Data().Present, &TSqliteWords::Find);
    }, 5, benchmark::kMicrosecond);
    Register("2-find-missing/Pirin", [](benchmark::State& state) {
        TBenchSetup& setup = TBenchSetup::Instance();
        LookUpEach(state, setup.Pirin(), setup.Data().Missing, &TPirinWords::FindNearest);
    }, 5, benchmark::kMicrosecond);
    Register("2-find-missing/SQLite", [](benchmark::State& state) {
        TBenchSetup& setup = TBenchSetup::Instance();
        LookUpEach(state, setup.Sqlite(), setup.Data().Missing, &TSqliteWords::FindNearest);
    }, 5, benchmark::kMicrosecond);
    Register("3-keystroke/Pirin", KeystrokePirin, 5, benchmark::kMicrosecond);
    Register("3-keystroke/SQLite", KeystrokeSqlite, 5, benchmark::kMicrosecond);
    Register("3b-keystroke-200k/Pirin", GeneratedKeystrokePirin, 5, benchmark::kMicrosecond);
    Register("3b-keystroke-200k/SQLite", GeneratedKeystrokeSqlite, 5, benchmark::kMicrosecond);
    Register("4-walk-all/Pirin", WalkAllPirin, 3, benchmark::kMillisecond);
    Register("4-walk-all/SQLite", WalkAllSqlite, 3, benchmark::kMillisecond);
    Register("5-open-first/Pirin", OpenAndFindPirin, 5, benchmark::kMicrosecond);
    Register("5-open-first/SQLite", OpenAndFindSqlite, 5, benchmark::kMicrosecond);
    // One load each: a load takes minutes on a busy two-core machine.
    Register("6-insert-all/Pirin", InsertAllPirin, 3, benchmark::kMillisecond, 1);
    Register("6-insert-all/SQLite", InsertAllSqlite, 3, benchmark::kMillisecond, 1);
    Register("7-locate/Pirin", LocatePirin, 5, benchmark::kMicrosecond);
    Register("7-locate/SQLite", LocateSqlite, 5, benchmark::kMicrosecond);
}

}  // namespace
}  // namespace vorlano::bench

int main(int argc, char** argv) {
    using namespace vorlano::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RegisterAll();
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable(std::cout, Operations());
    GDemo.reset();
    TBenchSetup::Finish();
    benchmark::Shutdown();
    return 0;
}
