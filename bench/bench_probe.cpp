// A look-up process for the measurements that need a process of their own:
//   vorlano_bench_probe make DIR               makes both tables in DIR
//   vorlano_bench_probe find pirin|sqlite DIR N
//   vorlano_bench_probe nearest pirin|sqlite DIR N
//   vorlano_bench_probe keystroke pirin|sqlite DIR DEMO N
//   vorlano_bench_probe insert DIR N
//   vorlano_bench_probe insert-sqlite DIR N
//   vorlano_bench_probe open pirin|sqlite DIR DEMO N
//   vorlano_bench_probe walk pirin|sqlite DIR N
// "find" opens the table in DIR, looks up N random existing words with
// their memos (after as many uninstrumented look-ups to warm the caches),
// and prints its peak resident memory; "nearest" does the same with words
// that do not exist (nearest entry). "keystroke" starts the program's
// look-up on the demo database in DEMO (the SQLite copy of its tables in
// DIR) and types N keys the same way. Only the N counted operations run
// with callgrind's instrumentation on, so callgrind (started with
// --instr-atstart=no) counts their instructions alone. "insert" loads the
// first N generated rows into a new table in DIR in one transaction and
// prints the time the load took; "insert-sqlite" does the same in SQLite.
// "open" opens the demo database's English-Bulgarian dictionary (or, on
// SQLite, the copy in DIR) and looks a headword up, N times after one
// uninstrumented time; the closes are not counted. "walk" walks the first N
// records of the table in DIR in word order reading Word and Desc (after one
// uninstrumented walk of them) and prints the time of the counted walk.
#include <sys/resource.h>
#include <time.h>
#include <valgrind/callgrind.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "bench/bench_setup.h"
#include "bench/demo_lookup.h"
#include "bench/demo_open.h"
#include "tables/session_list.h"

namespace vorlano::bench {
namespace {

void PrintPeakMemory(std::size_t done, std::size_t asked) {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("found %zu of %zu; peak resident memory %ld KiB\n", done, asked, usage.ru_maxrss);
}

template <typename Side>
int FindWords(Side& side, const TBenchData& data, std::size_t count) {
    std::string desc;
    std::size_t found = 0;
    for (std::size_t i = 0; i < count; ++i) found += side.Find(data.Present[count + i], desc);
    CALLGRIND_START_INSTRUMENTATION;
    for (std::size_t i = 0; i < count; ++i) found += side.Find(data.Present[i], desc);
    CALLGRIND_STOP_INSTRUMENTATION;
    PrintPeakMemory(found, 2 * count);
    return found == 2 * count ? 0 : 1;
}

// Words that do not exist: every look-up must stand on a nearest entry
// and show its memo.
template <typename Side>
int FindNearestWords(Side& side, const TBenchData& data, std::size_t count) {
    std::string desc;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < count; ++i) {
        (void)side.FindNearest(data.Missing[count + i], desc);
        shown += !desc.empty();
    }
    CALLGRIND_START_INSTRUMENTATION;
    for (std::size_t i = 0; i < count; ++i) {
        (void)side.FindNearest(data.Missing[i], desc);
        shown += !desc.empty();
    }
    CALLGRIND_STOP_INSTRUMENTATION;
    PrintPeakMemory(shown, 2 * count);
    return shown == 2 * count ? 0 : 1;
}

double Seconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Side>
int WalkWords(Side& side, std::size_t count) {
    std::size_t walked = side.WalkAll(count);
    const double start = Seconds();
    CALLGRIND_START_INSTRUMENTATION;
    walked += side.WalkAll(count);
    CALLGRIND_STOP_INSTRUMENTATION;
    const double seconds = Seconds() - start;
    std::printf("walked %zu records in %.3f s (%.2f us each)\n", walked / 2, seconds,
                walked > 0 ? seconds * 2e6 / static_cast<double>(walked) : 0.0);
    PrintPeakMemory(walked, 2 * count);
    return walked == 2 * count ? 0 : 1;
}

template <typename Keystroke>
int TypeKeys(const std::vector<std::string>& keys, std::size_t count, Keystroke keystroke) {
    std::size_t shown = 0;
    for (std::size_t i = 0; i < count; ++i) shown += keystroke(keys[(count + i) % keys.size()]) > 0;
    CALLGRIND_START_INSTRUMENTATION;
    for (std::size_t i = 0; i < count; ++i) shown += keystroke(keys[i % keys.size()]) > 0;
    CALLGRIND_STOP_INSTRUMENTATION;
    PrintPeakMemory(shown, 2 * count);
    return shown == 2 * count ? 0 : 1;
}

// The first `count` generated rows (empty when the count is out of range).
std::vector<TBenchRow> FirstRows(const char* countText) {
    const std::size_t count = std::strtoul(countText, nullptr, 10);
    TBenchData data = MakeBenchData(kGeneratedRows, kMemoBytes);
    if (count == 0 || count > data.Rows.size()) return {};
    data.Rows.resize(count);
    return std::move(data.Rows);
}

template <typename Load>
int TimeLoad(std::size_t count, Load load) {
    const auto start = std::chrono::steady_clock::now();
    CALLGRIND_START_INSTRUMENTATION;
    load();
    CALLGRIND_STOP_INSTRUMENTATION;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("loaded in %.1f ms; ", took.count());
    PrintPeakMemory(count, count);
    return 0;
}

int Run(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make" && argc == 3) {
        std::filesystem::create_directories(argv[2]);
        MakeTables(argv[2], MakeBenchData(kGeneratedRows, kMemoBytes));
        return 0;
    }
    if ((command == "insert" || command == "insert-sqlite") && argc == 4) {
        // The first N generated rows into a new table in DIR, in one
        // transaction (operation 6 at a size callgrind can follow).
        const std::vector<TBenchRow> rows = FirstRows(argv[3]);
        if (rows.empty()) return 2;
        const std::filesystem::path folder = argv[2];
        std::filesystem::create_directories(folder);
        if (command == "insert-sqlite") {
            TSqliteWords words((folder / kSqliteFileName).string());
            return TimeLoad(rows.size(), [&] { words.Load(rows); });
        }
        TPirinWords::Create(folder.string() + "/", kPirinTableName);
        TPirinWords words(folder.string() + "/", kPirinTableName);
        return TimeLoad(rows.size(), [&] { words.Load(rows); });
    }
    if (command == "open" && argc == 6) {
        const std::string engine = argv[2];
        const std::string dictionary = std::string(argv[4]) + "/Dictionary/";
        const std::string sqlite = (std::filesystem::path(argv[3]) / "demo.sqlite").string();
        const std::size_t count = std::strtoul(argv[5], nullptr, 10);
        if (count == 0 || (engine != "pirin" && engine != "sqlite")) return 2;
        if (!std::filesystem::exists(sqlite)) TDemoLookup(std::string(argv[4]) + "/", sqlite);
        const std::string word = TOpenDictionary(dictionary).MiddleWord();
        std::string desc;
        std::size_t found = 0;
        // Counted: the open and the look-up; the close is not (as in the
        // benchmark).
        const auto openAndFind = [&](bool counted) {
            if (counted) CALLGRIND_START_INSTRUMENTATION;
            std::unique_ptr<TOpenDictionary> pirin;
            std::unique_ptr<TSqliteWords> sqliteWords;
            if (engine == "pirin") {
                pirin = std::make_unique<TOpenDictionary>(dictionary);
                found += pirin->Find(word, desc);
            } else {
                sqliteWords = std::make_unique<TSqliteWords>(sqlite);
                found += sqliteWords->Find(word, desc);
            }
            if (counted) CALLGRIND_STOP_INSTRUMENTATION;
        };
        openAndFind(false);
        for (std::size_t i = 0; i < count; ++i) openAndFind(true);
        PrintPeakMemory(found, count + 1);
        return found == count + 1 ? 0 : 1;
    }
    if (command == "keystroke" && argc == 6) {
        const std::string engine = argv[2];
        const std::size_t count = std::strtoul(argv[5], nullptr, 10);
        TDemoLookup demo(std::string(argv[4]) + "/", (std::filesystem::path(argv[3]) / "demo.sqlite").string());
        if (count == 0) return 2;
        if (engine == "pirin")
            return TypeKeys(demo.Keys(), count, [&](const std::string& key) { return demo.Keystroke(key); });
        if (engine == "sqlite")
            return TypeKeys(demo.Keys(), count, [&](const std::string& key) { return demo.KeystrokeSqlite(key); });
    }
    if (command == "walk" && argc == 5) {
        const std::string engine = argv[2];
        const std::filesystem::path folder = argv[3];
        const std::size_t count = std::strtoul(argv[4], nullptr, 10);
        if (count == 0 || count > kGeneratedRows) return 2;
        if (engine == "pirin") {
            TPirinWords words(folder.string() + "/", kPirinTableName);
            return WalkWords(words, count);
        }
        if (engine == "sqlite") {
            TSqliteWords words((folder / kSqliteFileName).string());
            return WalkWords(words, count);
        }
    }
    // The words alone: the memos would dwarf the look-ups' memory.
    const TBenchData data = MakeBenchData(kGeneratedRows, 0);
    if ((command == "find" || command == "nearest") && argc == 5) {
        const std::string engine = argv[2];
        const std::filesystem::path folder = argv[3];
        const std::size_t count = std::strtoul(argv[4], nullptr, 10);
        const bool nearest = command == "nearest";
        if (count == 0 || 2 * count > (nearest ? data.Missing : data.Present).size()) return 2;
        if (engine == "pirin") {
            TPirinWords words(folder.string() + "/", kPirinTableName);
            return nearest ? FindNearestWords(words, data, count) : FindWords(words, data, count);
        }
        if (engine == "sqlite") {
            TSqliteWords words((folder / kSqliteFileName).string());
            return nearest ? FindNearestWords(words, data, count) : FindWords(words, data, count);
        }
    }
    std::cerr << "usage: vorlano_bench_probe make DIR | find|nearest pirin|sqlite DIR COUNT"
                 " | keystroke pirin|sqlite DIR DEMO COUNT | insert|insert-sqlite DIR COUNT"
                 " | open pirin|sqlite DIR DEMO COUNT | walk pirin|sqlite DIR COUNT\n";
    return 2;
}

}  // namespace
}  // namespace vorlano::bench

int main(int argc, char** argv) {
    const int result = vorlano::bench::Run(argc, argv);
    pirin::ShutdownTableLayer();
    return result;
}
