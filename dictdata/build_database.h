// Builder of the demo dictionary database.
//
// BuildDictionaryDatabase reads the dictd dictionaries (foreign to Bulgarian),
// the Bulgarian thesaurus and our own sample files, and writes the thirteen
// encrypted tables into OutDir/Dictionary/, optionally the MP3 pronunciations
// into OutDir/Sounds/<LANG>_MP3/<n>.mp3 and OutDir/System/path_bg.ini.
//
// Ownership: plain values in and out; the function opens and closes its own
// engine session. Threads: call from one thread; sound generation runs child
// processes in parallel internally. Failures: a missing or malformed source
// file, an engine error or an unwritable output folder raise
// std::runtime_error or EPirinEngineError with a message naming the file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace vorlano {

struct TBuildOptions {
    std::filesystem::path OutDir{};  // receives Dictionary/, Sounds/, System/
    // Where the sources lie: the dictd files freedict-{eng,deu,fra,ita}-bul
    // (.index, .dict.dz or .dict), the thesaurus th_bg_BG_v2.dat and a folder
    // samples/ with bg_jd.txt, sp_bg.txt and bg_sp.txt. Empty: the Debian
    // package folders (/usr/share/dictd, /usr/share/mythes) and the bundled
    // data/samples.
    std::filesystem::path SourcesDir{};
    std::filesystem::path SamplesDir{};  // empty: as above
    bool MakeSounds = true;              // run espeak-ng | lame
    std::size_t SoundLimit = 500;        // per foreign table; 0 means all
    double SoundBudgetSeconds = 60.0;    // beyond the limit, all when they fit
    unsigned SoundJobs = 2;              // parallel speaker processes
};

struct TTableCount {
    std::string Table{};        // e.g. "En_Bg"
    std::size_t Entries = 0;    // rows written
    std::size_t Merged = 0;     // source entries merged into another row
    std::size_t Shortened = 0;  // headwords cut to the 50-character field
    std::size_t Dropped = 0;    // source entries with no usable headword
};

struct TBuildResult {
    std::vector<TTableCount> Tables{};    // in creation order, "LangWords" last
    std::size_t Sounds = 0;               // MP3 files written
    std::vector<std::string> Warnings{};  // e.g. a missing sound tool
};

// Builds the database into a fresh folder beside OutDir/Dictionary and, once
// every table is written, puts it in place of any old one; returns counts per
// table.
TBuildResult BuildDictionaryDatabase(const TBuildOptions& options);

}  // namespace vorlano
