// TPhysicalFile: a disk file, open through one operating-system descriptor
// that all handles of the file share. Transfers use the position of the
// handle (pread/pwrite through the seam), so handlers never race over one
// shared position.
//
// Opening (first handle): a file without any write permission bit has the
// read-only attribute and opens for reading; otherwise read-write is tried
// first and, when that is refused (EACCES, EROFS), reading only, which sets
// opened-read-only. The share mode (exclusive or shared) applies across
// processes through the seam. A temporary file is removed from disk when its
// last handle closes.
//
// Region locks are kept in the object's lock list (conflicts inside this
// process) and taken on the descriptor (conflicts with other processes):
// write locks when the descriptor is writable, read locks otherwise, since a
// read-only descriptor cannot hold a write lock.
//
// Ownership, threads and failures as TAbstractFile; the seam is the one
// current when the object was made, for its whole life.
#pragma once

#include "storage/abstract_file.h"
#include "storage/file_system.h"

namespace pirin {

class TPhysicalFile final : public TAbstractFile {
  public:
    explicit TPhysicalFile(std::string name, TOSFileSystem& fileSystem = CurrentFileSystem())
        : TAbstractFile(std::move(name)), FFileSystem(fileSystem) {}
    ~TPhysicalFile() override;

    [[nodiscard]] std::int64_t GetSize() override;
    [[nodiscard]] int CreateNew() override;
    // A first handle opens the descriptor and learns from it what the file
    // is (identity, permissions), with no look at the name beforehand.
    [[nodiscard]] std::int32_t OpenHandle() override;
    // The same, for a file whose name was just looked at: a first handle
    // takes `known` (what the file system said of the name) to choose how
    // to open it.
    [[nodiscard]] std::int32_t OpenHandle(const TFileStat& known);
    [[nodiscard]] int ReleaseHandle(std::int32_t id) override;
    [[nodiscard]] int Rename(const std::string& newName) override;
    [[nodiscard]] int Delete() override;
    [[nodiscard]] bool Flush() override;
    [[nodiscard]] std::int64_t Seek(std::int32_t id, int origin, std::int64_t offset) override;
    [[nodiscard]] bool LockRegion(std::uint64_t start, std::uint64_t length) override;
    [[nodiscard]] bool UnlockRegion(std::uint64_t start, std::uint64_t length) override;
    [[nodiscard]] bool UnlockRegionRun(std::uint64_t start, std::uint64_t length) override;
    bool InMemory() const override { return false; }

    // Device and inode of the open file, for recognising one file under two
    // names; valid while the descriptor is open.
    bool SameFileAs(const TFileStat& stat) const {
        return FHandle != kNoOSFile && FDevice == stat.Device && FInode == stat.Inode;
    }
    bool SameFileAs(const TPhysicalFile& other) const {
        return FHandle != kNoOSFile && other.FHandle != kNoOSFile && FDevice == other.FDevice &&
               FInode == other.FInode;
    }
    // The length the file had when its descriptor was opened.
    std::uint64_t LengthWhenOpened() const { return FLengthWhenOpened; }

  protected:
    [[nodiscard]] std::int64_t ReadHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                          void* buffer, std::size_t count) override;
    [[nodiscard]] std::int64_t WriteHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                           const void* buffer, std::size_t count) override;

  private:
    std::int32_t OpenHandleWith(const TFileStat* known);
    // Opens the descriptor for the first handle, with what is known of the
    // name (asking the file system when null); 0 or a negative engine code.
    int OpenDescriptor(const TFileStat* known);
    void CloseDescriptor();
    void RememberIdentity();

    TOSFileSystem& FFileSystem;
    TOSFile FHandle = kNoOSFile;
    bool FWritable = false;
    std::uint64_t FDevice = 0;
    std::uint64_t FInode = 0;
    std::uint64_t FLengthWhenOpened = 0;
};

}  // namespace pirin
