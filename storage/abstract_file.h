// TAbstractFile: one open file shared by every handler of its path in this
// process (TFileList keeps them). It counts the handles issued on it, keeps
// one position per handle, and keeps the list of regions this process has
// locked, so that two handlers of the file conflict over a region exactly as
// two separate opens would. The two kinds are TPhysicalFile (a disk file) and
// TMemoryFile (an in-memory file); this base gives the in-memory behaviour of
// everything but the transfers.
//
// Ownership: TFileList owns every file object; handlers borrow it while they
// hold a handle on it.
//
// Threads: each operation takes the object's critical section, which is
// re-entrant so that a handler can hold it across several operations
// (TFileHandler::EnterFile); a positioned transfer (ReadAt, WriteAt) is one
// operation, so it needs no outer hold. Never call into TFileList while holding it: the
// lock order is list, then file object.
//
// Failures: operations returning a count or position give -1 and set errno;
// operations returning a code give 0 or a negative engine code (and leave the
// failing errno in errno); lock operations give false.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "storage/file_system.h"
#include "storage/locked_regions.h"

namespace pirin {

// One open handle and its position.
struct TFileHandleEntry {
    std::int32_t Id = 0;
    std::uint64_t Position = 0;
};

// Origins of Seek.
inline constexpr int kSeekFromStart = 0;
inline constexpr int kSeekFromCurrent = 1;
inline constexpr int kSeekFromEnd = 2;

// A file object's critical section: re-entrant for the thread that holds it.
// Every positioned read and every lock takes it, so its uncontended pass is
// two atomic operations: a word that is 0 (free), 1 (held) or 2 (held, and
// somebody may wait), with the waiting done on the word (a futex), and the
// holder's id and depth in front for re-entry. Only the holder writes its
// own id into FOwner and clears it before it lets go, so a thread reads its
// own id there exactly when it holds the section. Meets the standard
// Lockable requirements.
class TFileCriticalSection {
  public:
    void lock() {
        const std::thread::id self = std::this_thread::get_id();
        if (FOwner.load(std::memory_order_relaxed) == self) {
            ++FDepth;
            return;
        }
        int state = 0;
        if (!FState.compare_exchange_strong(state, 1, std::memory_order_acquire)) {
            // Held: mark that somebody waits, and sleep until it is let go.
            if (state != 2) state = FState.exchange(2, std::memory_order_acquire);
            while (state != 0) {
                FState.wait(2, std::memory_order_relaxed);
                state = FState.exchange(2, std::memory_order_acquire);
            }
        }
        FOwner.store(self, std::memory_order_relaxed);
        FDepth = 1;
    }
    bool try_lock() {
        const std::thread::id self = std::this_thread::get_id();
        if (FOwner.load(std::memory_order_relaxed) == self) {
            ++FDepth;
            return true;
        }
        int state = 0;
        if (!FState.compare_exchange_strong(state, 1, std::memory_order_acquire)) return false;
        FOwner.store(self, std::memory_order_relaxed);
        FDepth = 1;
        return true;
    }
    void unlock() {
        if (--FDepth > 0) return;
        FOwner.store(std::thread::id(), std::memory_order_relaxed);
        if (FState.exchange(0, std::memory_order_release) == 2) FState.notify_one();
    }

  private:
    std::atomic<int> FState{0};
    std::atomic<std::thread::id> FOwner{};
    std::size_t FDepth = 0;  // written by the holder only
};

// The furthest position a handle can stand at (positions are signed 64-bit).
inline constexpr std::uint64_t kMaxFilePosition =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

class TAbstractFile {
  public:
    explicit TAbstractFile(std::string name) : FName(std::move(name)) {}
    virtual ~TAbstractFile() = default;
    TAbstractFile(const TAbstractFile&) = delete;
    TAbstractFile& operator=(const TAbstractFile&) = delete;

    // The entry of handle `id`, or nullptr. Call with the critical section held.
    TFileHandleEntry* FindHandle(std::int32_t id);

    // The file's size in bytes, or -1.
    [[nodiscard]] virtual std::int64_t GetSize();
    // Empties the file (creating it on disk, replacing what was there). Leaves
    // no handle issued; 0 or a negative engine code.
    [[nodiscard]] virtual int CreateNew() = 0;
    // Issues one more handle at position 0 (opening the disk file first when
    // it is not open yet); the new id, or a negative engine code.
    [[nodiscard]] virtual std::int32_t OpenHandle();
    // Drops a handle; with the last one the locks of the file go too.
    [[nodiscard]] virtual int ReleaseHandle(std::int32_t id);
    [[nodiscard]] virtual int Rename(const std::string& newName);
    [[nodiscard]] virtual int Delete();
    // Transfers at the handle's position and advances it; the count moved,
    // or -1. A write of 0 bytes sets the end of the file at the position.
    [[nodiscard]] std::int64_t Read(std::int32_t id, void* buffer, std::size_t count);
    [[nodiscard]] std::int64_t Write(std::int32_t id, const void* buffer, std::size_t count);
    // The same at `offset`, as a seek there followed by the transfer, but
    // in one pass through the critical section (and one positioned call on
    // disk): the handle's position ends after the bytes moved.
    [[nodiscard]] std::int64_t ReadAt(std::int32_t id, std::uint64_t offset, void* buffer,
                                      std::size_t count);
    [[nodiscard]] std::int64_t WriteAt(std::int32_t id, std::uint64_t offset, const void* buffer,
                                       std::size_t count);
    // The requests as ReadAt each, in order, in one pass through the
    // critical section (one handle look-up); each request's Transferred
    // says what moved. 0, or -1 when a request failed (errno set; the
    // requests after it transfer nothing). The handle's position ends as a
    // ReadAt of the last request leaves it (after a failure, anywhere).
    [[nodiscard]] int ReadBatch(std::int32_t id, std::span<TReadRequest> requests);
    [[nodiscard]] virtual bool Flush();
    // Moves the handle's position (origins above); the new position, or -1
    // (also for a position before the start).
    [[nodiscard]] virtual std::int64_t Seek(std::int32_t id, int origin, std::int64_t offset);
    // Fails for an empty region, one that overlaps a region already locked in
    // this process, or (disk files) one locked by another process.
    [[nodiscard]] virtual bool LockRegion(std::uint64_t start, std::uint64_t length);
    // Needs the exact start and length of a locked region.
    [[nodiscard]] virtual bool UnlockRegion(std::uint64_t start, std::uint64_t length);
    // Unlocks in one call the adjacent locked regions that together cover
    // exactly these bytes; fails, unlocking nothing, when they do not.
    [[nodiscard]] virtual bool UnlockRegionRun(std::uint64_t start, std::uint64_t length);

    virtual bool InMemory() const = 0;

    TFileCriticalSection& CriticalSection() { return FCriticalSection; }

    // Flags and state; read and set by the open-file list.
    bool Exclusive() const { return FExclusive; }
    void SetExclusive(bool value) { FExclusive = value; }
    bool OpenedReadOnly() const { return FOpenedReadOnly; }
    bool ReadOnlyAttribute() const { return FReadOnlyAttribute; }
    bool Temporary() const { return FTemporary; }
    void SetTemporary(bool value) { FTemporary = value; }
    const std::string& Name() const { return FName; }
    std::uint16_t OpenCount() const { return FOpenCount; }

  protected:
    // The transfers of the file's kind, called with the critical section
    // held: move bytes at `offset` for `handle` and leave its position after
    // them (a failed read leaves it at `offset`); the count moved, or -1.
    [[nodiscard]] virtual std::int64_t ReadHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                                  void* buffer, std::size_t count) = 0;
    [[nodiscard]] virtual std::int64_t WriteHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                                   const void* buffer, std::size_t count) = 0;

    // Runs `move(handle, at)` under the critical section for handle `id` at
    // `offset` (nullptr: the handle's position); -1 with errno EBADF for an
    // unknown handle, EINVAL for an offset past the largest position.
    template <class TMove>
    std::int64_t Transfer(std::int32_t id, const std::uint64_t* offset, TMove move);

    // Adds a handle entry; the id, or -11012 when ids or the count run out.
    std::int32_t IssueHandle();
    bool RegionIsFree(std::uint64_t start, std::uint64_t length) const {
        return FLocks.IsFree(start, length);
    }
    void AddRegion(std::uint64_t start, std::uint64_t length) { FLocks.Add(start, length); }
    // Whether a region with exactly this start and length is locked.
    bool HasRegion(std::uint64_t start, std::uint64_t length) const {
        return FLocks.Has(start, length);
    }
    // Drops the region that starts at `start`, if any.
    void RemoveRegion(std::uint64_t start) { FLocks.RemoveStartingAt(start); }
    bool HasRegionRun(std::uint64_t start, std::uint64_t length) const {
        return FLocks.HasRun(start, length);
    }
    void RemoveRegionRun(std::uint64_t start, std::uint64_t length) {
        (void)FLocks.RemoveRun(start, length);
    }

    TFileCriticalSection FCriticalSection;
    bool FExclusive = false;
    bool FOpenedReadOnly = false;
    bool FReadOnlyAttribute = false;
    bool FTemporary = false;
    std::string FName;
    std::uint64_t FSize = 0;  // kept by in-memory files
    TLockedRegions FLocks;
    std::uint16_t FOpenCount = 0;
    std::vector<TFileHandleEntry> FHandles;
    std::int32_t FLastHandleId = 0;
};

// Holds a file object's critical section for a scope.
using TFileSectionGuard = std::lock_guard<TFileCriticalSection>;

}  // namespace pirin
