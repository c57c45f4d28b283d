// A look-up process for the measurements that need a process of their own:
//   vorlano_bench_probe make DIR               makes both tables in DIR
//   vorlano_bench_probe find pirin|sqlite DIR N
// "find" opens the table in DIR, looks up N random existing words with
// their memos (after as many uninstrumented look-ups to warm the caches),
// and prints its peak resident memory. Only the N timed look-ups run with
// callgrind's instrumentation on, so callgrind (started with
// --instr-atstart=no) counts the instructions of the look-ups alone.
#include <sys/resource.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "bench/bench_setup.h"
#include "tables/session_list.h"

namespace vorlano::bench {
namespace {

template <typename Side>
int FindWords(Side& side, const TBenchData& data, std::size_t count) {
    std::string desc;
    std::size_t found = 0;
    for (std::size_t i = 0; i < count; ++i) found += side.Find(data.Present[count + i], desc);
    CALLGRIND_START_INSTRUMENTATION;
    for (std::size_t i = 0; i < count; ++i) found += side.Find(data.Present[i], desc);
    CALLGRIND_STOP_INSTRUMENTATION;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("found %zu of %zu; peak resident memory %ld KiB\n", found, 2 * count, usage.ru_maxrss);
    return found == 2 * count ? 0 : 1;
}

int Run(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make" && argc == 3) {
        std::filesystem::create_directories(argv[2]);
        MakeTables(argv[2], MakeBenchData(kGeneratedRows, kMemoBytes));
        return 0;
    }
    // The words alone: the memos would dwarf the look-ups' memory.
    const TBenchData data = MakeBenchData(kGeneratedRows, 0);
    if (command == "find" && argc == 5) {
        const std::string engine = argv[2];
        const std::filesystem::path folder = argv[3];
        const std::size_t count = std::strtoul(argv[4], nullptr, 10);
        if (count == 0 || 2 * count > data.Present.size()) return 2;
        if (engine == "pirin") {
            TPirinWords words(folder.string() + "/", kPirinTableName);
            return FindWords(words, data, count);
        }
        if (engine == "sqlite") {
            TSqliteWords words((folder / kSqliteFileName).string());
            return FindWords(words, data, count);
        }
    }
    std::cerr << "usage: vorlano_bench_probe make DIR | find pirin|sqlite DIR COUNT\n";
    return 2;
}

}  // namespace
}  // namespace vorlano::bench

int main(int argc, char** argv) {
    const int result = vorlano::bench::Run(argc, argv);
    pirin::ShutdownTableLayer();
    return result;
}
