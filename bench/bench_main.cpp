// The benchmark suite: each operation timed on Pirin and on SQLite over the
// same data in the same run, then the table of medians and ratios.
#include <benchmark/benchmark.h>

#include <iostream>

#include "bench/bench_setup.h"
#include "bench/ratio_table.h"

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

// A copy of the loaded tables that no open component shares files with
// (made once).
const std::filesystem::path& FreshCopy() {
    static const std::filesystem::path folder = [] {
        TBenchSetup& setup = TBenchSetup::Instance();
        std::filesystem::path copy = setup.NewFolder();
        for (const auto& entry : std::filesystem::directory_iterator(setup.Loaded()))
            if (entry.is_regular_file()) std::filesystem::copy_file(entry.path(), copy / entry.path().filename());
        return copy;
    }();
    return folder;
}

void OpenAndFindPirin(benchmark::State& state) {
    const std::string folder = FreshCopy().string() + "/";
    const std::string& word = TBenchSetup::Instance().Data().Present.front();
    std::string desc;
    for (auto _ : state) {
        auto words = std::make_unique<TPirinWords>(folder, kPirinTableName);
        benchmark::DoNotOptimize(words->Find(word, desc));
        state.PauseTiming();
        words.reset();
        state.ResumeTiming();
    }
}
void OpenAndFindSqlite(benchmark::State& state) {
    const std::string path = (FreshCopy() / kSqliteFileName).string();
    const std::string& word = TBenchSetup::Instance().Data().Present.front();
    std::string desc;
    for (auto _ : state) {
        auto words = std::make_unique<TSqliteWords>(path);
        benchmark::DoNotOptimize(words->Find(word, desc));
        state.PauseTiming();
        words.reset();
        state.ResumeTiming();
    }
}

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

const std::vector<TOperation>& Operations() {
    static const std::vector<TOperation> operations = {
        {"1-find-existing", "1 FindKey existing word + Desc memo", ""},
        {"2-find-missing", "2 FindKey missing word, nearest entry + memo", ""},
        {"3-keystroke", "3 keystroke: SearchWord + ShowEntry + HTML", "needs the lookup logic (branch dict)"},
        {"4-walk-all", "4 walk 200,000 records in IdxWord order", ""},
        {"5-open-first", "5 open database and table + first look-up", ""},
        {"6-insert-all", "6 insert 200,000 records in one transaction (1 run)", ""},
        {"7-locate", "7 Locate on LangWords by Table", "needs Locate (branch tables) and the demo data"},
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
    Register("4-walk-all/Pirin", WalkAllPirin, 3, benchmark::kMillisecond);
    Register("4-walk-all/SQLite", WalkAllSqlite, 3, benchmark::kMillisecond);
    Register("5-open-first/Pirin", OpenAndFindPirin, 5, benchmark::kMicrosecond);
    Register("5-open-first/SQLite", OpenAndFindSqlite, 5, benchmark::kMicrosecond);
    // One load each: a load takes minutes on a busy two-core machine.
    Register("6-insert-all/Pirin", InsertAllPirin, 1, benchmark::kMillisecond, 1);
    Register("6-insert-all/SQLite", InsertAllSqlite, 1, benchmark::kMillisecond, 1);
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
    TBenchSetup::Finish();
    benchmark::Shutdown();
    return 0;
}
