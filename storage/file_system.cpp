#include "storage/file_system.h"

#include <atomic>

#include "storage/disk_file_system.h"

namespace pirin {

namespace {

std::atomic<TOSFileSystem*> gCurrent{nullptr};

}  // namespace

TOSFileSystem& DiskFileSystem() {
    static TDiskFileSystem* disk = new TDiskFileSystem();  // outlives every file
    return *disk;
}

TOSFileSystem& CurrentFileSystem() {
    TOSFileSystem* current = gCurrent.load(std::memory_order_acquire);
    return current ? *current : DiskFileSystem();
}

TFileSystemOverride::TFileSystemOverride(TOSFileSystem& fileSystem)
    : FPrevious(gCurrent.exchange(&fileSystem, std::memory_order_acq_rel)) {}

TFileSystemOverride::~TFileSystemOverride() {
    gCurrent.store(FPrevious, std::memory_order_release);
}

}  // namespace pirin
