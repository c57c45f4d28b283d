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
  std::filesystem::path OutDir;          // receives Dictionary/, Sounds/, System/
  // Where the sources lie. Empty: the Debian package folders
  // (/usr/share/dictd, /usr/share/mythes) and the samples of the source tree.
  std::filesystem::path SourcesDir;
  std::filesystem::path SamplesDir;      // empty: SourcesDir/samples or the bundled data/samples
  bool MakeSounds = true;                // run espeak-ng | lame
  std::size_t SoundLimit = 500;          // per foreign table; 0 means all
  unsigned SoundJobs = 2;                // parallel speaker processes
};

struct TTableCount {
  std::string Table;                     // e.g. "En_Bg"
  std::size_t Entries = 0;               // rows written
  std::size_t Merged = 0;                // source headwords merged into another row
  std::size_t Dropped = 0;               // source headwords that had no usable form
};

struct TBuildResult {
  std::vector<TTableCount> Tables;       // in creation order, "LangWords" last
  std::size_t Sounds = 0;                // MP3 files written
  std::vector<std::string> Warnings;     // e.g. a missing sound tool
};

// Builds the database; returns counts per table.
TBuildResult BuildDictionaryDatabase(const TBuildOptions& options);

}  // namespace vorlano
