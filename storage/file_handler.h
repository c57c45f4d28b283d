// TFileHandler: how a table file (data, index or BLOB file) reaches its bytes.
// A handler holds one handle on the shared file object of its path, taken from
// the process-wide TFileList, and works on disk files and in-memory files
// alike. TDataFile, TIndexFile and TBlobFile derive from it.
//
// Ownership: the handler owns its handle, not the file object; destroying an
// open handler closes the handle.
//
// Threads: one handler belongs to one thread at a time. ReadAt and WriteAt
// are one operation of the shared file object (seek and transfer under its
// critical section). A sequence of SeekTo and ReadBytes/WriteBytes is held
// together with EnterFile ... LeaveFile, with LeaveFile on every exit path
// (TFileEnterGuard). Never open, create or remove files while inside
// EnterFile (the lock order is list, then file object); CloseFile first leaves
// whatever the handler has entered.
//
// Failures raise EPirinEngineError with the handler's table name: 11010 for a
// missing file, 9217 for a short or failed read, 9218 for a failed write,
// truncation or flush, 11013 for a file in use, and mapped operating-system
// codes otherwise. LockRegion and UnlockRegion never raise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "storage/file_system.h"

namespace pirin {

class TAbstractFile;

// Called during a copy with the percentage copied so far (0..100).
using TCopyProgress = std::function<void(int percent)>;

class TFileHandler {
  public:
    explicit TFileHandler(std::string fileName = {});
    virtual ~TFileHandler();
    TFileHandler(const TFileHandler&) = delete;
    TFileHandler& operator=(const TFileHandler&) = delete;

    // Opens the named file (nothing when already open). 11010 when it does
    // not exist; 11013 on a share conflict.
    virtual void OpenFile();
    // Never raises: the handle is given back and the handler is closed.
    virtual void CloseFile();
    // Creates the file, replacing any file of that name, and opens it
    // exclusively. An open handler is closed first.
    virtual void CreateNewFile();
    virtual void RemoveFile();
    // On success the handler's name becomes `newName`.
    virtual void RenameTo(const std::string& newName);
    // Copies this open file into a new file of the same kind named `dest`.
    // With `compress` each 64 KiB chunk is written as one zlib stream (level
    // 9) with no framing. `progress` gets the percentage whenever it has grown
    // by at least `progressStep` (at least 1).
    virtual void CopyToFile(const std::string& dest, bool compress, int progressStep = 10,
                            const TCopyProgress& progress = {});
    // Copies an existing file of the same kind, opened exclusively, into this
    // open file, which ends up holding exactly what was copied.
    virtual void CopyFromFile(const std::string& source, bool compress, int progressStep = 10,
                              const TCopyProgress& progress = {});
    // Reads at the current position; fewer than `count` bytes raise 9217
    // unless `allowShort`, which returns the count read.
    virtual std::size_t ReadBytes(void* buffer, std::size_t count, bool allowShort = false);
    // Writes at the current position; a count of 0 truncates the file there.
    virtual void WriteBytes(const void* buffer, std::size_t count);
    virtual void FlushFile();

    // Origins: 0 start, 1 current, 2 end. Returns the new position.
    std::int64_t SeekTo(int origin, std::int64_t offset);
    std::int64_t FileLength();
    [[nodiscard]] bool LockRegion(std::uint64_t length, std::uint64_t start);
    [[nodiscard]] bool UnlockRegion(std::uint64_t length, std::uint64_t start);
    // Unlocks adjacent locked regions covering exactly these bytes at once.
    [[nodiscard]] bool UnlockRegionRun(std::uint64_t length, std::uint64_t start);
    [[nodiscard]] bool FileExists();
    void EnterFile();
    void LeaveFile();

    // Seek to `offset` and transfer, as one operation of the file object;
    // the position ends after the bytes moved. Errors as ReadBytes and
    // WriteBytes (an offset beyond the largest position too).
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count,
                       bool allowShort = false);
    void WriteAt(std::uint64_t offset, const void* buffer, std::size_t count);
    // The requests as ReadAt each, as one operation of the file object (one
    // pass through its critical section). A failed request raises 9217, and so does a short one
    // unless `allowShort`; each request's Transferred says what moved.
    void ReadBatch(std::span<TReadRequest> requests, bool allowShort = false);

    // State and settings. Settings take effect at the next open or create.
    bool InMemory() const { return FInMemory; }
    void SetInMemory(bool value) { FInMemory = value; }
    const std::string& FileName() const { return FFileName; }
    void SetFileName(std::string name) { FFileName = std::move(name); }
    bool Exclusive() const { return FExclusive; }
    void SetExclusive(bool value) { FExclusive = value; }
    bool Temporary() const { return FTemporary; }
    void SetTemporary(bool value) { FTemporary = value; }
    bool IsOpen() const { return FOpen; }
    bool OpenedReadOnly() const { return FOpenedReadOnly; }
    bool ReadOnlyAttribute() const { return FReadOnlyAttribute; }
    std::int32_t HandleId() const { return FHandleId; }
    TAbstractFile* File() const { return FFile; }
    // The length the file had when this handler's open opened its descriptor
    // (a disk file no other handler of the process had open). A read right
    // after the open may size itself by it.
    std::optional<std::int64_t> LengthAtOpen() const { return FLengthAtOpen; }
    // Whether the file's length passes `test`: the length the open saw is
    // tried first (by one check only, then forgotten), the file's length now
    // before refusing, since another process may have written since.
    template <typename TTest>
    bool LengthPasses(TTest&& test) {
        if (const auto seen = std::exchange(FLengthAtOpen, std::nullopt); seen && test(*seen))
            return true;
        return test(FileLength());
    }

    // The name errors carry: the one set, else the file name's last component.
    std::string TableName() const;
    void SetTableName(std::string name) { FTableName = std::move(name); }

  protected:
    [[noreturn]] void Raise(std::uint16_t code) const;
    // The count a transfer of `count` bytes gave back, checked: raises 9217
    // or 9218 as ReadBytes and WriteBytes do.
    std::size_t CheckRead(std::int64_t got, std::size_t count, bool allowShort) const;
    void CheckWrite(std::int64_t put, std::size_t count) const;

    bool FInMemory = false;
    TAbstractFile* FFile = nullptr;
    std::string FFileName;
    std::int32_t FHandleId = 0;
    std::optional<std::int64_t> FLengthAtOpen;
    bool FExclusive = false;
    bool FOpenedReadOnly = false;
    bool FReadOnlyAttribute = false;
    bool FOpen = false;
    bool FTemporary = false;
    std::string FTableName;
    std::vector<TAbstractFile*> FEntered;  // sections entered, innermost last
};

// Holds a handler's file object entered for a scope.
class TFileEnterGuard {
  public:
    explicit TFileEnterGuard(TFileHandler& handler) : FHandler(handler) { FHandler.EnterFile(); }
    ~TFileEnterGuard() { FHandler.LeaveFile(); }
    TFileEnterGuard(const TFileEnterGuard&) = delete;
    TFileEnterGuard& operator=(const TFileEnterGuard&) = delete;

  private:
    TFileHandler& FHandler;
};

}  // namespace pirin
