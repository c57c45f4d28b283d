#include "storage/disk_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "storage/lock_map.h"

namespace pirin {

namespace {

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

// A region [start, start + length) that off_t can express.
bool RangeFits(std::uint64_t start, std::uint64_t length) {
    return start <= kMaxOffset && length <= kMaxOffset - start;
}

int SetLock(TOSFile file, short type, std::uint64_t start, std::uint64_t length) {
    if (length == 0 || !RangeFits(start, length)) return EINVAL;  // 0 would mean "to infinity"
    struct flock region;
    std::memset(&region, 0, sizeof region);  // l_pid must be 0 for OFD locks
    region.l_type = type;
    region.l_whence = SEEK_SET;
    region.l_start = static_cast<off_t>(start);
    region.l_len = static_cast<off_t>(length);
    if (fcntl(file, F_OFD_SETLK, &region) == 0) return 0;
    return (errno == EACCES || errno == EAGAIN) ? EAGAIN : errno;
}

// Takes the share-mode byte; a conflict becomes EBUSY so that callers can tell
// it from missing permission.
int TakeShare(TOSFile file, bool writeLock) {
    int error = SetLock(file, writeLock ? F_WRLCK : F_RDLCK, kShareModeByteOffset, 1);
    return error == EAGAIN ? EBUSY : error;
}

void FillStat(const struct stat& info, TFileStat& stat) {
    stat.RegularFile = S_ISREG(info.st_mode);
    stat.ReadOnlyAttribute = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    stat.Device = static_cast<std::uint64_t>(info.st_dev);
    stat.Inode = static_cast<std::uint64_t>(info.st_ino);
    stat.Size = static_cast<std::uint64_t>(info.st_size);
}

// Opens with O_NONBLOCK so that a FIFO put where a table file should be never
// hangs the open; regular files ignore the flag. Anything but a regular file
// is refused. `opened` describes the file the descriptor refers to.
int OpenRegular(const std::string& path, int flags, TOSFile& file, TFileStat& opened) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return errno;
    struct stat info;
    int error = 0;
    if (fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (error != 0) {
        ::close(fd);
        return error;
    }
    FillStat(info, opened);
    file = fd;
    return 0;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

int TDiskFileSystem::Open(const std::string& path, TOSAccess access, TOSShare share,
                          TOSFile& file, TFileStat& opened) {
    file = kNoOSFile;
    const bool writable = access == TOSAccess::ReadWrite;
    TOSFile fd = kNoOSFile;
    if (int error = OpenRegular(path, writable ? O_RDWR : O_RDONLY, fd, opened)) return error;
    if (int error = TakeShare(fd, share == TOSShare::Exclusive && writable)) {
        ::close(fd);
        return error;
    }
    file = fd;
    return 0;
}

int TDiskFileSystem::Create(const std::string& path, TOSFile& file) {
    file = kNoOSFile;
    TOSFile fd = kNoOSFile;
    TFileStat created;
    if (int error = OpenRegular(path, O_RDWR | O_CREAT, fd, created)) return error;
    // Truncate only once no other open can be using the old contents.
    int error = TakeShare(fd, true);
    if (error == 0 && ftruncate(fd, 0) != 0) error = errno;
    if (error != 0) {
        ::close(fd);
        return error;
    }
    file = fd;
    return 0;
}

void TDiskFileSystem::Close(TOSFile file) {
    if (file != kNoOSFile) ::close(file);
}

int TDiskFileSystem::ReadAt(TOSFile file, void* buffer, std::size_t count, std::uint64_t offset,
                            std::size_t& transferred) {
    transferred = 0;
    if (!RangeFits(offset, count)) return EINVAL;
    auto* bytes = static_cast<char*>(buffer);
    while (transferred < count) {
        ssize_t got = pread(file, bytes + transferred, count - transferred,
                            static_cast<off_t>(offset + transferred));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;  // end of file
        transferred += static_cast<std::size_t>(got);
    }
    return 0;
}

int TDiskFileSystem::WriteAt(TOSFile file, const void* buffer, std::size_t count,
                             std::uint64_t offset, std::size_t& transferred) {
    transferred = 0;
    if (!RangeFits(offset, count)) return EFBIG;
    const auto* bytes = static_cast<const char*>(buffer);
    while (transferred < count) {
        ssize_t put = pwrite(file, bytes + transferred, count - transferred,
                             static_cast<off_t>(offset + transferred));
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (put == 0) return ENOSPC;  // no progress: never loop forever
        transferred += static_cast<std::size_t>(put);
    }
    return 0;
}

int TDiskFileSystem::Truncate(TOSFile file, std::uint64_t size) {
    if (size > kMaxOffset) return EFBIG;
    return ftruncate(file, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int TDiskFileSystem::Sync(TOSFile file) { return fsync(file) == 0 ? 0 : errno; }

int TDiskFileSystem::Size(TOSFile file, std::uint64_t& size) {
    struct stat info;
    if (fstat(file, &info) != 0) return errno;
    size = static_cast<std::uint64_t>(info.st_size);
    return 0;
}

int TDiskFileSystem::LockRange(TOSFile file, std::uint64_t start, std::uint64_t length,
                               bool exclusive) {
    return SetLock(file, exclusive ? F_WRLCK : F_RDLCK, start, length);
}

int TDiskFileSystem::UnlockRange(TOSFile file, std::uint64_t start, std::uint64_t length) {
    return SetLock(file, F_UNLCK, start, length);
}

int TDiskFileSystem::Stat(const std::string& path, TFileStat& stat) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return errno;
    FillStat(info, stat);
    return 0;
}

int TDiskFileSystem::Rename(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without RENAME_NOREPLACE: check, then move.
    struct stat info;
    if (::lstat(to.c_str(), &info) == 0) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int TDiskFileSystem::Remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

std::string TDiskFileSystem::ResolveName(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0) return path;
    const auto slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
    if (name.empty()) return path;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return path;
    std::optional<std::string> best;
    while (const dirent* entry = readdir(dir)) {
        std::string_view candidate(entry->d_name);
        if (EqualIgnoringAsciiCase(candidate, name) && (!best || candidate < *best))
            best = std::string(candidate);
    }
    closedir(dir);
    if (!best) return path;
    return path.substr(0, slash == std::string::npos ? 0 : slash + 1) + *best;
}

}  // namespace pirin
