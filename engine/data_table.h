// TDataTable: a table open in one database, shared by every cursor of the
// database that opens it. It owns the table's three files (the BLOB file is
// opened only when the data file declares BLOB fields), is the files' table
// context (session settings, cache budgets, strict change detection), and
// holds this process's locks on the table: the shared read lock of readers,
// the record locks, and the bitmaps of locked records.
//
// Life: OpenCount counts the cursors' opens; the files are open exactly
// while PhysicallyOpen. The first Open opens the files (creating a missing
// index file anew: IndexRecreated), the last Close writes back an exclusive
// table's buffers, releases every lock and closes the files.
//
// Read lock and change detection (between processes): BeginRead locks one
// random byte of the index file (and of the BLOB file) in the last 64 KiB
// below offset 4294967295 and then rereads the headers: a changed change
// counter empties that file's cache. Writers lock the whole 64 KiB, so
// readers exclude writers but not each other. EndRead releases the bytes.
//
// Write lock (data_table_write.cpp): BeginWrite takes the writer's byte of
// the data file (held for a whole transaction instead while one runs) and
// the write ranges of the index and BLOB files (inside a transaction only
// the commit takes those: the writes before it reach no file); EndWrite
// releases them.
// Between the two a cursor changes the cached units; WriteBack writes them
// out (or, inside a transaction or on an exclusive table, only advances the
// headers' change counters in memory). Every write advances the in-memory
// counters, so sibling cursors of this process resync on their next step.
// DiscardWrite throws away whatever a failed write left in the caches and
// rereads the headers, so the table is as it was on disk; a write-back that
// failed after part of it may have reached the disk is owed instead and
// finished later (WriteBackOwed).
//
// Transactions (data_table_write_transaction.cpp): StartTransaction holds
// the writer's byte until EndTransaction or RollbackTransaction; meanwhile
// every write stays in the caches (which grow instead of writing units out)
// and record unlocks wait for the end of the transaction. The directory
// drives them (data_directory_transaction.cpp).
//
// Ownership: the directory owns the table. Threads: the thread of the
// session. Failures: Open passes on what the file layer raises (a failed
// Open leaves the files closed and OpenCount as before); 10249 when the read
// lock cannot be had, 10242 when it cannot be released, 10258 for a record
// that stays locked.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "storage/blob_file.h"
#include "storage/data_file.h"
#include "storage/index_file.h"
#include "storage/lock_map.h"
#include "storage/table_file_context.h"

namespace pirin {

class TDataDirectory;
class TDataSession;
class TRecordIndexes;
class TRecordsBitmap;

// The step in which the record-lock bitmaps grow (they start empty).
inline constexpr std::int32_t kLockBitmapStartSize = 8192;

class TDataTable final : public TTableFileContext {
  public:
    TDataTable(TDataDirectory& directory, std::string tableName, bool exclusive, bool inMemory,
               bool temporary);
    ~TDataTable() override;
    TDataTable(const TDataTable&) = delete;
    TDataTable& operator=(const TDataTable&) = delete;

    // ---- life ----
    // The first Open of a table that readers lock leaves the read lock held
    // (ReadLocked), the headers read under it: the opening cursor's header
    // check finds them current, and the cursor releases the lock once
    // placed (EndRead).
    void Open();
    void Close(bool force);
    void AssignFileNames();
    // Data file, index file (unless recreated) and BLOB file check their
    // headers: 12035, 8961, 15878.
    void VerifyHeaders();

    // ---- identity and state ----
    TDataDirectory& Directory() const noexcept { return FDirectory; }
    TDataSession& Session() const noexcept;
    const std::string& TableName() const noexcept { return FTableName; }
    // What errors name as the database: the directory's error name.
    const std::string& DatabaseErrorName() const;
    int OpenCount() const noexcept { return FOpenCount; }
    int CursorCount() const noexcept { return FCursorCount; }
    void AddCursor() noexcept { ++FCursorCount; }
    void RemoveCursor() noexcept {
        if (FCursorCount > 0) --FCursorCount;
    }
    bool PhysicallyOpen() const noexcept { return FPhysicallyOpen; }
    bool Exclusive() const noexcept { return FExclusive; }
    bool InMemory() const noexcept { return FInMemory; }
    // Only for a table kept listed while closed.
    void SetOpenFlags(bool exclusive, bool inMemory) noexcept {
        FExclusive = exclusive;
        FInMemory = inMemory;
    }
    bool ReadOnly() const noexcept { return FReadOnly; }
    bool ReadOnlyAttribute() const noexcept { return FReadOnlyAttribute; }
    bool IndexRecreated() const noexcept { return FIndexRecreated; }
    bool HasBlobFile() const { return FDataFile.IsOpen() && FDataFile.BlobFieldCount() > 0; }

    TDataFile& DataFile() noexcept { return FDataFile; }
    TIndexFile& IndexFile() noexcept { return FIndexFile; }
    // Null without BLOB fields.
    TBlobFile* BlobFile() noexcept { return HasBlobFile() ? &FBlobFile : nullptr; }

    // The change counters of the data, index and BLOB headers in memory
    // (BLOB 0 without a BLOB file).
    std::array<std::uint32_t, 3> ChangeCounters() const;

    // ---- shared read lock (data_table_locks.cpp) ----
    // True when the headers showed a change by another process (the caches
    // were emptied). Takes no lock on an exclusive or read-only-attribute
    // table, or when this process holds the read, write or transaction lock
    // already (nobody else can write then).
    [[nodiscard]] bool BeginRead();
    void EndRead();
    [[nodiscard]] bool CheckForChanges();
    bool ReadLocked() const noexcept { return FReadLocked; }
    // How patiently BeginRead tries (32767 attempts 3 ms apart unless a
    // test shortens it).
    void SetReadLockPolicy(TLockRetryPolicy policy) { FReadLockPolicy = std::move(policy); }
    std::uint16_t IndexReadKey() const noexcept { return FIndexReadKey; }
    std::uint16_t BlobReadKey() const noexcept { return FBlobReadKey; }

    // ---- record locks ----
    // Another cursor of this process holds the record locked for editing.
    // Unlocking while the table is in a transaction only notes the record;
    // its byte is released when the transaction ends.
    bool RecordEditLocked(std::int32_t record) const;
    // Tries record n's lock byte `attempts` times, `waitMs` apart; on
    // success the record counts as locked by this process and held for
    // editing. False when the byte stays taken.
    [[nodiscard]] bool LockRecordForEdit(std::int32_t record, int attempts, int waitMs);
    void UnlockRecordForEdit(std::int32_t record);
    const TRecordsBitmap& LockedRecords() const noexcept { return *FLockedRecords; }
    const TRecordsBitmap& EditLockedRecords() const noexcept { return *FEditLocked; }

    // ---- write lock and write-back (data_table_write.cpp) ----
    // True when the headers showed a change by another process (the caches
    // were emptied). Nothing (false) when held already, or on an exclusive
    // or read-only-attribute table. 10249 when a lock cannot be had; the
    // locks taken so far are released again.
    [[nodiscard]] bool BeginWrite();
    // The write lock for a commit: with the index and BLOB ranges, which a
    // write inside a transaction leaves alone (it writes nothing to the
    // files).
    [[nodiscard]] bool BeginCommitWrite();
    // 10249 when a lock cannot be released (the mark goes all the same).
    void EndWrite();
    bool WriteLocked() const noexcept { return FWriteLocked; }
    // Set by a cursor for the length of one insert, modify or delete.
    void SetWriteUnderWay(bool value) noexcept { FWriteUnderWay = value; }
    // How patiently the writer's byte and the write ranges are tried.
    void SetWriteLockPolicy(TLockRetryPolicy policy) { FWriteLockPolicy = std::move(policy); }
    // Writes back what a write left in the caches: records and the data
    // header always, index pages and header when `indexChanged`, BLOB
    // blocks and header when `blobsChanged`; flushes when the session
    // forces it. Every header concerned advances its change counter, which
    // is how sibling cursors notice the write. Inside a transaction the
    // units stay cached and the headers are only touched. An exclusive
    // table writes back like a shared one, so that a failed write can be
    // thrown away (DiscardWrite) without losing earlier ones.
    void WriteBack(bool indexChanged, bool blobsChanged);
    // Drops every cached unit without writing and rereads the headers: the
    // table is as it is on disk (after a failed write outside a
    // transaction, where nothing is dirty when a write starts).
    void DiscardWrite() noexcept;
    // A write-back (or commit) whose writes failed twice may have left part
    // of the change on disk. It is owed, not undone: the change stays in
    // the caches and the write lock (with the writer's byte) stays held, so
    // that other processes wait instead of reading half-written files. This
    // process meanwhile reads through its caches, which hold every unit the
    // change touched (dirty units stay cached); a unit it reads from disk is
    // one the change did not touch. The next BeginWrite, StartTransaction or
    // Close of this process writes the rest, raising while the disk still
    // fails (Close then leaves the files half written and the locks go).
    bool WriteBackOwed() const noexcept { return FWriteBackOwed; }
    // Keeps the indexes in step with the records the cursors write, its
    // errors naming the table `tableName` (as the writing cursor calls it):
    // made once and kept while the index header defines the same indexes.
    TRecordIndexes& RecordIndexes(std::string_view tableName);

    // ---- transactions (data_table_write_transaction.cpp) ----
    // Nothing for a read-only table or one in a transaction already; 10249
    // when the writer's byte cannot be had (the table is then not in one).
    void StartTransaction();
    // Writes everything the transaction left in the caches back (the write
    // lock taken by the caller), flushing when `flush` or the session
    // forces it, and with `trim` shrinks the caches to their budgets.
    void CommitTransaction(bool trim, bool flush);
    // After the commit's writes: ends the write lock, releases the
    // transaction lock and the deferred record unlocks, and leaves the
    // transaction. 10249 when a lock cannot be released (the table leaves
    // the transaction all the same).
    void EndTransaction();
    // Throws the transaction's changes away (the caches are emptied and the
    // headers reread, so the files are what counts) and leaves it.
    void RollbackTransaction();
    bool TransactionLocked() const noexcept { return FTransactionLocked; }

    // ---- TTableFileContext ----
    // For the caches also true while a write is under way: they grow
    // instead of writing dirty units out early, so nothing of a write
    // reaches the files before its write-back and a failed write can be
    // thrown away.
    bool InTransaction() const override { return FInTransaction || FWriteUnderWay; }
    // The table takes part in a transaction of its directory.
    bool TransactionActive() const noexcept { return FInTransaction; }
    bool StrictChangeDetection() const override;
    bool WrittenSinceOpen() const override { return FWrittenSinceOpen; }
    void SetWrittenSinceOpen() override { FWrittenSinceOpen = true; }
    bool ForceFlush() const override;
    TCacheBudgets CacheBudgets() const override;
    bool HasPrimaryIndex() const override;

  private:
    void OpenFiles();
    // The read-lock bytes of the index and BLOB files (LOCKTIMEOUT when
    // they stay taken), with no look at the headers.
    void TakeReadLock();
    void CreateIndexFile();
    void WriteBackExclusive(bool discard);
    // What a write-back writes: records and the data header always.
    struct TWriteOut {
        bool Index = false;
        bool Blobs = false;
        bool ForceHeaders = false;
        bool Flush = false;
    };
    void WriteOut(const TWriteOut& what);
    // WriteOut, tried twice; after the second failure the rest is owed.
    void WriteOutOrOwe(const TWriteOut& what);
    // Writes what is owed (raising while the disk still fails); the write
    // lock stays held for the write under way.
    void FinishOwedWriteBack();
    // The same between writes, releasing the write lock once done.
    void FinishOwedWriteBackOutsideWrite();
    void ReleaseLocks() noexcept;
    // BeginWrite and BeginCommitWrite; `writesFiles` takes the index and
    // BLOB write ranges as well.
    [[nodiscard]] bool TakeWriteLock(bool writesFiles);
    // Unlocks the index and BLOB write ranges; false when one would not go.
    [[nodiscard]] bool ReleaseWriteRanges() noexcept;
    void ReleaseTransactionLock();
    void FlushFiles();
    void DiscardUnits() noexcept;
    // Empties the caches and rereads the three headers; until that succeeds
    // the headers count as stale.
    void RereadHeaders();
    void CloseFiles() noexcept;
    [[noreturn]] void Raise(std::uint16_t code) const;

    TDataDirectory& FDirectory;
    std::string FTableName;
    int FOpenCount = 0;
    int FCursorCount = 0;
    bool FPhysicallyOpen = false;
    bool FExclusive;
    bool FInMemory;
    bool FTemporary;
    bool FReadOnly = false;
    bool FReadOnlyAttribute = false;
    bool FIndexRecreated = false;
    bool FInTransaction = false;
    bool FWrittenSinceOpen = false;
    bool FReadLocked = false;
    bool FWriteLocked = false;
    // The write lock includes the index and BLOB ranges.
    bool FWriteRangesLocked = false;
    bool FTransactionLocked = false;
    bool FWriteUnderWay = false;
    bool FHeadersStale = false;
    bool FWriteBackOwed = false;
    TWriteOut FOwedWrite;
    TLockRetryPolicy FWriteLockPolicy = DefaultLockRetryPolicy();
    std::uint16_t FIndexReadKey = 0;
    std::uint16_t FBlobReadKey = 0;
    TLockRetryPolicy FReadLockPolicy = DefaultLockRetryPolicy();
    // Records whose lock byte this process holds; records a cursor of this
    // process holds for editing; records whose unlock waits for a commit.
    std::unique_ptr<TRecordsBitmap> FLockedRecords;
    std::unique_ptr<TRecordsBitmap> FEditLocked;
    std::unique_ptr<TRecordsBitmap> FPendingUnlock;
    std::unique_ptr<TRecordIndexes> FRecordIndexes;
    TDataFile FDataFile{*this};
    TIndexFile FIndexFile{*this};
    TBlobFile FBlobFile{*this};
};

}  // namespace pirin
