// TDataSession: one engine session. It holds the table passwords the
// application registered, the locking and buffering settings every table of
// the session follows, and the databases (directories) opened in it.
//
// Names, paths and passwords are cut to 255 characters. Paths are normalised
// (blanks trimmed, "\" turned into "/", a trailing "/" added) and compared
// ignoring letter case; passwords compare case-sensitively.
//
// Ownership: the session owns its directories; destroying it clears the
// passwords and then closes every directory with its tables.
// Threads: a session with its directories and cursors belongs to one thread
// at a time. Failures: nothing here raises except what closing tables raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/unit_cache_params.h"

namespace pirin {

class TDataDirectory;

enum class TLockProtocol : std::uint8_t { Pessimistic = 0, Optimistic = 1 };

inline constexpr std::size_t kMaxEngineStringLength = 255;

// The form paths are kept and compared in; empty stays empty.
std::string NormalizePath(std::string_view path);
// True when two names or paths are equal after trimming, ignoring case.
bool SameEngineName(std::string_view a, std::string_view b);

class TDataSession {
  public:
    explicit TDataSession(bool serverSide = false);
    ~TDataSession();
    TDataSession(const TDataSession&) = delete;
    TDataSession& operator=(const TDataSession&) = delete;

    bool ServerSide() const noexcept { return FServerSide; }

    // ---- passwords ----
    // Nothing for an empty password or one registered already.
    void AddPassword(std::string_view password);
    void RemovePassword(std::string_view password);
    void RemoveAllPasswords();
    bool HasPassword(std::string_view password) const;
    const std::vector<std::string>& Passwords() const noexcept { return FPasswords; }

    // ---- settings ----
    const std::string& CurrentDir() const noexcept { return FCurrentDir; }
    // The private folder, or CurrentDir when none is set.
    const std::string& PrivateDir() const noexcept;
    void SetPrivateDir(std::string_view path);
    std::uint16_t ProgressSteps() const noexcept { return FProgressSteps; }
    void SetProgressSteps(std::uint16_t value) { FProgressSteps = value; }
    bool ForceBufferFlush() const noexcept { return FForceBufferFlush; }
    void SetForceBufferFlush(bool value) { FForceBufferFlush = value; }
    bool StrictChangeDetection() const noexcept { return FStrictChangeDetection; }
    void SetStrictChangeDetection(bool value) { FStrictChangeDetection = value; }
    std::uint8_t LockRetryCount() const noexcept { return FLockRetryCount; }
    void SetLockRetryCount(std::uint8_t value) { FLockRetryCount = value; }
    std::uint16_t LockWaitTime() const noexcept { return FLockWaitTime; }
    void SetLockWaitTime(std::uint16_t milliseconds) { FLockWaitTime = milliseconds; }
    TLockProtocol LockProtocol() const noexcept { return FLockProtocol; }
    void SetLockProtocol(TLockProtocol value) { FLockProtocol = value; }
    // Record cache bytes and count, the index limit, BLOB cache bytes and
    // count; tables opened afterwards size their caches by them.
    const TCacheBudgets& BufferLimits() const noexcept { return FBufferLimits; }
    void SetBufferLimits(const TCacheBudgets& limits) { FBufferLimits = limits; }

    // ---- databases ----
    // The directory of that path, its reference count raised, or a new one.
    // The database "Memory" (any case) with no directory is the in-memory
    // database (empty path); any other with no directory is CurrentDir.
    TDataDirectory& OpenDatabase(std::string_view databaseName, std::string_view directory,
                                 bool remote = false);
    // Lowers the reference count; at zero the directory is closed and goes.
    // A directory of another session is left alone.
    void CloseDatabase(TDataDirectory& directory, bool keepRemote = false);
    const std::vector<std::unique_ptr<TDataDirectory>>& Directories() const noexcept {
        return FDirectories;
    }

  private:
    bool FServerSide;
    std::vector<std::unique_ptr<TDataDirectory>> FDirectories;
    std::string FCurrentDir;
    std::string FPrivateDir;
    std::uint16_t FProgressSteps = 20;
    std::vector<std::string> FPasswords;
    bool FForceBufferFlush = false;
    bool FStrictChangeDetection = false;
    std::uint8_t FLockRetryCount = 15;
    std::uint16_t FLockWaitTime = 100;
    TLockProtocol FLockProtocol = TLockProtocol::Pessimistic;
    TCacheBudgets FBufferLimits;
};

}  // namespace pirin
