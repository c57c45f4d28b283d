// TIndexFile: temporary indexes. Their descriptors live in the header in
// memory only (WriteIndexHeader leaves them out) and their pages in a page
// file of their own, so that nothing of them ever reaches the index file.
#include <unistd.h>  // gettid: the page file is named after the thread

#include <algorithm>
#include <filesystem>
#include <string>

#include "errors/engine_error.h"
#include "storage/index_file.h"

namespace pirin {

bool TIndexFile::IsTemporary(int index) const {
    return index >= 0 && index < kIndexCount && FTemporaryBound[static_cast<std::size_t>(index)];
}

std::string TIndexFile::TemporaryFileName() const {
    return FTemporaryFile.IsOpen() ? FTemporaryFile.FileName() : std::string{};
}

void TIndexFile::BindCache(int index, bool temporary) {
    auto& bound = FTemporaryBound[static_cast<std::size_t>(index)];
    auto& cache = FCaches[static_cast<std::size_t>(index)];
    if (cache) cache->DiscardAll();
    if (bound == temporary) return;
    TUnitCacheOwner& owner = temporary ? static_cast<TUnitCacheOwner&>(FTemporaryOwner) : FOwner;
    cache = std::make_unique<TPageCache>(owner, FStack, kPageCacheParams,
                                         PageCacheBudget(FContext.CacheBudgets()));
    bound = temporary;
}

void TIndexFile::OpenTemporaryFile() {
    if (FTemporaryFile.IsOpen()) return;
    const std::filesystem::path folder = FPrivateDirectory.empty()
                                             ? std::filesystem::temp_directory_path()
                                             : std::filesystem::path(FPrivateDirectory);
    const std::string digits = std::to_string(static_cast<long long>(::gettid())).substr(0, 5);
    for (int number = 0;; ++number) {
        FTemporaryFile.SetFileName((folder / (digits + std::to_string(number) + ".IDX")).string());
        if (!FTemporaryFile.FileExists()) break;
        if (number == 9999) Fail(PIRIN_OSEACCES);  // the folder is full of our names
    }
    FTemporaryFile.SetTableName(TableName());
    FTemporaryFile.CreateNewFile();
    FTemporaryNextPage = 1;
}

void TIndexFile::DropTemporaryIndexes() {
    const int count = FHeader.SecondaryCount();
    bool any = false;
    for (int i = 0; i < kIndexCount; ++i) any = any || IsTemporary(i);
    if (any) {
        // Close the gaps: later persistent indexes move down, their pages
        // written back first since pages know their index's number.
        int kept = 0;
        for (int i = 1; i <= count && i <= kMaxSecondaryIndexes; ++i) {
            if (IsTemporary(i)) {
                BindCache(i, false);
                continue;
            }
            if (++kept != i) {
                RetirePages(i);
                FHeader.Descriptor(kept) = FHeader.Descriptor(i);
            }
        }
        for (int i = kept + 1; i <= kMaxSecondaryIndexes; ++i) {
            BindCache(i, false);
            FHeader.Descriptor(i) = TIndexDescriptor{};
        }
        for (const int i : {kPrimaryIndex, kDeletedIndex, kTextIndexNumber}) BindCache(i, false);
        FHeader.SetSecondaryCount(static_cast<std::uint8_t>(kept));
        RebuildKeyDescriptions();
    }
    if (FTemporaryFile.IsOpen()) {
        FTemporaryFile.CloseFile();
        try {
            FTemporaryFile.RemoveFile();
        } catch (const EPirinEngineError&) {
            // A page file that cannot be deleted only takes room.
        }
    }
    FTemporaryNextPage = 1;
}

std::vector<TIndexDescriptor> TIndexFile::SetTemporaryAside() {
    std::vector<TIndexDescriptor> temporary;
    if (FTemporaryFile.IsOpen()) (void)WritePages(true);
    for (int i = 0; i < kIndexCount; ++i) {
        if (!IsTemporary(i)) continue;
        temporary.push_back(FHeader.Descriptor(i));
        BindCache(i, false);
    }
    return temporary;
}

void TIndexFile::PutTemporaryBack(const std::vector<TIndexDescriptor>& temporary) {
    // Each goes after the secondary indexes the header now counts; their
    // pages are read again from their file under the new numbers. One that
    // no longer fits is refused rather than left half there.
    for (const TIndexDescriptor& descriptor : temporary) {
        const int number = FHeader.SecondaryCount() + 1;
        if (number > kMaxSecondaryIndexes) Fail(PIRIN_INDEXLIMIT, descriptor.Name);
        FHeader.Descriptor(number) = descriptor;
        FHeader.SetSecondaryCount(static_cast<std::uint8_t>(number));
        BindCache(number, true);
    }
    RebuildKeyDescriptions();
}

}  // namespace pirin
