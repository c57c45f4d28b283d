// TFileList: the process-wide list of open files. Every handler that opens a
// path gets a handle on the one file object of that path, so one process uses
// one descriptor per file however many tables and cursors read it.
//
// Matching: in-memory and disk entries never match each other. In-memory
// entries match by name after trimming blanks, ignoring letter case. A disk
// name is first resolved ignoring ASCII case within its folder (Bg_En.DAT
// finds BG_EN.dat); an existing file then matches the entry of the same
// device and inode, so one file reached by two names (a hard link, another
// letter case) is one entry; a name that does not exist matches by name.
//
// Lifetime: a disk entry, and a temporary in-memory entry, leaves the list
// with its last handle (a temporary disk file is removed from disk then). A
// non-temporary in-memory entry stays, with its contents, until it is deleted
// or the process ends, so a closed in-memory table can be opened again.
//
// Threads: one mutex held for the whole of each operation; the lock order is
// list, then file object.
//
// Results: a handle id (> 0) or 0 on success, or a negative engine code:
// -11010 no such file or entry, -11013 in use / share conflict, others mapped
// from errno (os_error_map.h).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "storage/abstract_file.h"
#include "storage/file_system.h"

namespace pirin {

// What an open or create hands back.
struct TOpenedEntry {
    TAbstractFile* File = nullptr;  // borrowed while the handle is open
    std::int32_t HandleId = 0;
    bool OpenedReadOnly = false;
    bool ReadOnlyAttribute = false;
    // A disk file whose descriptor this open opened: the length the open saw.
    std::optional<std::uint64_t> LengthAtOpen;
};

class TFileList {
  public:
    static TFileList& Instance();

    // -11010 (errno ENOENT) when the name is neither listed nor, on disk, a
    // regular file.
    [[nodiscard]] std::int32_t OpenEntry(const std::string& name, bool inMemory, bool temporary,
                                         bool exclusive, TOpenedEntry& opened);
    // Creates (or truncates) exclusively; replaces the contents of an entry
    // that has no open handle.
    [[nodiscard]] std::int32_t CreateEntry(const std::string& name, bool inMemory, bool temporary,
                                           TOpenedEntry& created);
    [[nodiscard]] int CloseEntry(TAbstractFile* file, bool inMemory, std::int32_t handleId);
    [[nodiscard]] int DeleteEntry(const std::string& name, bool inMemory);
    // An existing destination is never replaced (-11047).
    [[nodiscard]] int RenameEntry(const std::string& name, bool inMemory,
                                  const std::string& newName);
    // An entry of that kind and name, or (disk) a regular file on disk.
    [[nodiscard]] bool Exists(const std::string& name, bool inMemory);

    // Number of entries of a kind (diagnostics and tests).
    [[nodiscard]] std::size_t EntryCount(bool inMemory);

  private:
    TFileList() = default;

    // What a name refers to: the listed entry (or nullptr), and for disk
    // names the path resolved on disk and whether a regular file is there.
    struct TFound {
        TAbstractFile* File = nullptr;
        std::string Path;
        bool Exists = false;
        // What the file system said of Path when Exists.
        TFileStat Stat;
    };
    TFound Find(const std::string& name, bool inMemory, bool resolveCase);
    // Opens a disk name that no listed file goes by as a new entry, learning
    // its identity from the open itself; false (nothing listed, nothing left
    // open) when that fails or the file turns out to be listed under another
    // name, so that the caller takes the long way.
    bool OpenUnlisted(const std::string& name, bool temporary, bool exclusive,
                      TOpenedEntry& opened, std::int32_t& id);
    void Remove(TAbstractFile* file);

    std::mutex FCriticalSection;
    std::vector<std::unique_ptr<TAbstractFile>> FFiles;
};

// The name with leading and trailing blanks (and control characters) removed.
std::string TrimFileName(const std::string& name);

}  // namespace pirin
