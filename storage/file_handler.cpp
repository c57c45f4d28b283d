#include "storage/file_handler.h"

#include <cerrno>
#include <limits>

#include "errors/engine_error.h"
#include "storage/abstract_file.h"
#include "storage/file_list.h"
#include "storage/os_error_map.h"

namespace pirin {

TFileHandler::TFileHandler(std::string fileName) : FFileName(std::move(fileName)) {}

TFileHandler::~TFileHandler() { TFileHandler::CloseFile(); }

std::string TFileHandler::TableName() const {
    if (!FTableName.empty()) return FTableName;
    std::string name = TrimFileName(FFileName);
    if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

void TFileHandler::Raise(std::uint16_t code) const {
    const int osError = errno;  // building the name must not lose it
    std::string table = TableName();
    errno = osError;
    RaiseEngineError(code, {.table = table});
}

void TFileHandler::OpenFile() {
    if (FOpen) return;
    // A name that is not there fails in the list with 11010.
    TOpenedEntry opened;
    std::int32_t id =
        TFileList::Instance().OpenEntry(FFileName, FInMemory, FTemporary, FExclusive, opened);
    if (id < 0) Raise(static_cast<std::uint16_t>(-id));
    FFile = opened.File;
    FHandleId = id;
    FOpenedReadOnly = opened.OpenedReadOnly;
    FReadOnlyAttribute = opened.ReadOnlyAttribute;
    if (opened.LengthAtOpen && *opened.LengthAtOpen <= std::uint64_t{std::numeric_limits<std::int64_t>::max()})
        FLengthAtOpen = static_cast<std::int64_t>(*opened.LengthAtOpen);
    FOpen = true;
}

void TFileHandler::CloseFile() {
    // A section still entered would be left locked, or unlocked after the
    // file object is gone.
    while (!FEntered.empty()) LeaveFile();
    if (FFile != nullptr) (void)TFileList::Instance().CloseEntry(FFile, FInMemory, FHandleId);
    FFile = nullptr;
    FHandleId = 0;
    FLengthAtOpen.reset();
    FOpen = false;
}

void TFileHandler::CreateNewFile() {
    // A handle still open here would never be given back once replaced.
    if (FOpen) CloseFile();
    TOpenedEntry created;
    std::int32_t id = TFileList::Instance().CreateEntry(FFileName, FInMemory, FTemporary, created);
    if (id < 0) Raise(static_cast<std::uint16_t>(-id));
    FFile = created.File;
    FHandleId = id;
    FOpenedReadOnly = false;
    FReadOnlyAttribute = false;
    FOpen = true;
}

void TFileHandler::RemoveFile() {
    if (int result = TFileList::Instance().DeleteEntry(FFileName, FInMemory); result < 0)
        Raise(static_cast<std::uint16_t>(-result));
}

void TFileHandler::RenameTo(const std::string& newName) {
    if (int result = TFileList::Instance().RenameEntry(FFileName, FInMemory, newName); result < 0)
        Raise(static_cast<std::uint16_t>(-result));
    FFileName = newName;
}

std::size_t TFileHandler::ReadBytes(void* buffer, std::size_t count, bool allowShort) {
    if (FFile == nullptr) {
        errno = EBADF;
        Raise(PIRIN_READERR);
    }
    return CheckRead(FFile->Read(FHandleId, buffer, count), count, allowShort);
}

void TFileHandler::WriteBytes(const void* buffer, std::size_t count) {
    if (FFile == nullptr) {
        errno = EBADF;
        Raise(PIRIN_WRITEERR);
    }
    CheckWrite(FFile->Write(FHandleId, buffer, count), count);
}

std::size_t TFileHandler::CheckRead(std::int64_t got, std::size_t count, bool allowShort) const {
    if (got < 0) Raise(PIRIN_READERR);
    if (static_cast<std::uint64_t>(got) != count && !allowShort) {
        errno = 0;  // the end of the file, not a system error
        Raise(PIRIN_READERR);
    }
    return static_cast<std::size_t>(got);
}

void TFileHandler::CheckWrite(std::int64_t put, std::size_t count) const {
    if (put < 0) Raise(PIRIN_WRITEERR);
    if (static_cast<std::uint64_t>(put) != count) {
        errno = 0;
        Raise(PIRIN_WRITEERR);
    }
}

void TFileHandler::FlushFile() {
    if (FFile == nullptr) {
        errno = EBADF;
        Raise(PIRIN_WRITEERR);
    }
    if (!FFile->Flush()) Raise(PIRIN_WRITEERR);
}

std::int64_t TFileHandler::SeekTo(int origin, std::int64_t offset) {
    if (FFile == nullptr) {
        errno = EBADF;
        Raise(PIRIN_OSEBADF);
    }
    std::int64_t position = FFile->Seek(FHandleId, origin, offset);
    if (position < 0) Raise(EngineCodeOfErrno(errno));
    return position;
}

std::int64_t TFileHandler::FileLength() {
    // The size alone: no position moves, so nothing needs restoring.
    if (FFile == nullptr) {
        errno = EBADF;
        Raise(PIRIN_OSEBADF);
    }
    const std::int64_t size = FFile->GetSize();
    if (size < 0) Raise(EngineCodeOfErrno(errno));
    return size;
}

bool TFileHandler::LockRegion(std::uint64_t length, std::uint64_t start) {
    return FFile != nullptr && FFile->LockRegion(start, length);
}

bool TFileHandler::UnlockRegion(std::uint64_t length, std::uint64_t start) {
    return FFile != nullptr && FFile->UnlockRegion(start, length);
}

bool TFileHandler::UnlockRegionRun(std::uint64_t length, std::uint64_t start) {
    return FFile != nullptr && FFile->UnlockRegionRun(start, length);
}

bool TFileHandler::FileExists() { return TFileList::Instance().Exists(FFileName, FInMemory); }

void TFileHandler::EnterFile() {
    if (FFile != nullptr) FFile->CriticalSection().lock();
    FEntered.push_back(FFile);
}

void TFileHandler::LeaveFile() {
    if (FEntered.empty()) return;
    TAbstractFile* file = FEntered.back();
    FEntered.pop_back();
    if (file != nullptr) file->CriticalSection().unlock();
}

// The file object does the seek and the transfer in one pass through its
// critical section, so the handler takes no section of its own.
std::size_t TFileHandler::ReadAt(std::uint64_t offset, void* buffer, std::size_t count,
                                 bool allowShort) {
    if (FFile == nullptr || offset > kMaxFilePosition) {
        errno = FFile == nullptr ? EBADF : EINVAL;
        Raise(PIRIN_READERR);
    }
    return CheckRead(FFile->ReadAt(FHandleId, offset, buffer, count), count, allowShort);
}

void TFileHandler::ReadBatch(std::span<TReadRequest> requests, bool allowShort) {
    if (FFile == nullptr) {
        errno = EBADF;
        Raise(PIRIN_READERR);
    }
    if (FFile->ReadBatch(FHandleId, requests) < 0) Raise(PIRIN_READERR);
    for (const TReadRequest& request : requests)
        (void)CheckRead(static_cast<std::int64_t>(request.Transferred), request.Count, allowShort);
}

void TFileHandler::WriteAt(std::uint64_t offset, const void* buffer, std::size_t count) {
    if (FFile == nullptr || offset > kMaxFilePosition) {
        errno = FFile == nullptr ? EBADF : EINVAL;
        Raise(PIRIN_WRITEERR);
    }
    CheckWrite(FFile->WriteAt(FHandleId, offset, buffer, count), count);
}

}  // namespace pirin
