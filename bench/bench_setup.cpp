#include "bench/bench_setup.h"

#include <unistd.h>

#include <cstdlib>

#include "tables/session_list.h"

namespace vorlano::bench {

void MakeTables(const std::filesystem::path& folder, const TBenchData& data) {
    const std::string directory = folder.string() + "/";
    TPirinWords::Create(directory, kPirinTableName);
    TPirinWords(directory, kPirinTableName).Load(data.Rows);
    TSqliteWords(directory + kSqliteFileName).Load(data.Rows);
}

namespace {
std::unique_ptr<TBenchSetup> GSetup;
}  // namespace

TBenchSetup& TBenchSetup::Instance() {
    if (!GSetup) GSetup.reset(new TBenchSetup());
    return *GSetup;
}

void TBenchSetup::Finish() {
    GSetup.reset();
    pirin::ShutdownTableLayer();
}

TBenchSetup::TBenchSetup() : FData(MakeBenchData(kGeneratedRows, kMemoBytes)) {
    std::string name = "vorlano-bench-";
    name += std::to_string(::getpid());
    FScratch = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(FScratch);
    std::filesystem::create_directories(FScratch);
    const char* kept = std::getenv("VORLANO_BENCH_DATA");
    FLoaded = kept && *kept ? std::filesystem::path(kept) : NewFolder();
    std::filesystem::create_directories(FLoaded);
    if (!std::filesystem::exists(FLoaded / (std::string(kPirinTableName) + ".DAT")) ||
        !std::filesystem::exists(FLoaded / kSqliteFileName))
        MakeTables(FLoaded, FData);
    FPirin = std::make_unique<TPirinWords>(FLoaded.string() + "/", kPirinTableName);
    FSqlite = std::make_unique<TSqliteWords>((FLoaded / kSqliteFileName).string());
}

TBenchSetup::~TBenchSetup() {
    FPirin.reset();
    FSqlite.reset();
    std::error_code ignored;
    std::filesystem::remove_all(FScratch, ignored);
}

std::filesystem::path TBenchSetup::NewFolder() {
    std::string name = "t";
    name += std::to_string(FFolders++);
    std::filesystem::path folder = FScratch / name;
    std::filesystem::create_directories(folder);
    return folder;
}

}  // namespace vorlano::bench
