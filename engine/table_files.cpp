// TTableFiles: opening a table's files at file level.
#include "engine/table_files.h"

namespace pirin {

TTableFiles::TTableFiles(const TTableLocation& location)
    : FLocation(location), FData(FContext), FIndex(FContext) {
    const TTableFileNames names = TableFileNames(location.Directory, location.Name);
    const auto prepare = [&](TFileHandler& file, const std::string& name) {
        file.SetFileName(name);
        file.SetInMemory(location.InMemory);
        file.SetTableName(location.Name);
    };
    prepare(FData, names.Data);
    prepare(FIndex, names.Index);
    try {
        FData.OpenFile();
        FIndex.SetEncrypted(FData.Encrypted());
        FIndex.OpenFile();
        FIndex.SetKeyLayout(FData.Fields(), FData.Language(), FData.Sort());
        FContext.PrimaryIndex = !FIndex.NoPrimaryIndex();
        if (FData.BlobFieldCount() > 0) {
            FBlob = std::make_unique<TBlobFile>(FContext, names.Blob,
                                                static_cast<std::uint32_t>(FData.BlobBlockSize()),
                                                FData.Encrypted());
            prepare(*FBlob, names.Blob);
            FBlob->OpenFile();
        }
    } catch (...) {
        Close();
        throw;
    }
}

TTableFiles::~TTableFiles() { Close(); }

void TTableFiles::WriteAll() {
    FData.WriteBack();
    if (FBlob) {
        FBlob->WriteBackBlocks();
        FBlob->WriteBlobHeader();
    }
    FIndex.WritePages();
    FIndex.WriteIndexHeader();
    FData.WriteHeader();
}

void TTableFiles::Close() {
    if (FBlob) FBlob->CloseFile();
    FIndex.CloseFile();
    FData.CloseFile();
}

}  // namespace pirin
