// Reading a table from damaged files, as the table fuzzer and its regression
// tests do: the input holds the bytes of the data, index and BLOB files
// (fuzz_input.h), which become the in-memory table "Fuzz". ExerciseTable runs
// the whole-table verifier, then opens a read-only cursor, walks every index
// both ways, reads every BLOB of every record and searches each record's key
// with FindKey. Each step may end in an engine error, which is caught; any
// other exception passes on, and crashes, hangs, leaks and undefined
// behaviour are the sanitizers' and the fuzzer's to see.
//
// Threads: one at a time (the table name is fixed). The in-memory files are
// removed again before it returns.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/table_create.h"
#include "engine/table_files.h"
#include "errors/engine_error.h"
#include "fuzz/fuzz_input.h"
#include "storage/file_handler.h"
#include "storage/table_verifier.h"

namespace vorlano::fuzz {

namespace table_detail {

using namespace pirin;

inline const TTableLocation kLocation{.Directory = "", .Name = "Fuzz", .InMemory = true};

inline void PutFile(const std::string& name, std::span<const std::uint8_t> bytes) {
    TFileHandler file(name);
    file.SetInMemory(true);
    file.CreateNewFile();
    if (!bytes.empty()) file.WriteAt(0, bytes.data(), bytes.size());
    file.CloseFile();
}

inline void RemoveFile(const std::string& name) {
    TFileHandler file(name);
    file.SetInMemory(true);
    try {
        file.RemoveFile();
    } catch (const EPirinEngineError&) {
    }
}

inline void Verify() {
    try {
        TTableFiles files(kLocation);
        (void)TTableVerifier(files.Data(), files.Index(), files.Blob()).Run();
    } catch (const EPirinEngineError&) {
    }
}

// Reads every BLOB field of a record through a handle, in chunks.
inline void ReadBlobs(TDataCursor& cursor, std::vector<std::uint8_t>& image) {
    for (int field = 1; field <= cursor.FieldCount(); ++field) {
        if (!cursor.GetFieldDesc(field).Field.IsBlob()) continue;
        std::uint32_t length = 0;
        if (cursor.GetBlobSize(field, image, length) != 0) continue;
        if (cursor.OpenBlob(field, image, TBlobOpenMode::Read, length) != 0) continue;
        std::vector<std::uint8_t> chunk(4096);
        for (std::uint32_t offset = 0; offset < length;) {
            std::uint32_t count = 0;
            if (cursor.GetBlob(field, image, offset, chunk, count) != 0 || count == 0) break;
            offset += count;
        }
        (void)cursor.FreeBlob(field, image);
    }
}

// Walks the active index forwards (reading BLOBs and finding each key) and
// backwards, at most `limit` records each way.
inline void WalkIndex(TDataCursor& cursor, int limit) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(cursor.RecordSize()));
    std::vector<std::uint8_t> found(image.size());
    cursor.First();
    for (int n = 0; n < limit && cursor.GetNextRecord(image) == 0; ++n) {
        ReadBlobs(cursor, image);
        if (cursor.IndexNo() != kNoIndex && cursor.KeyLength() > 0) {
            (void)cursor.FindKey(false, image, found, 0, false, 0);
            (void)cursor.FindKey(false, image, found, 0, true, 0);
        }
    }
    cursor.Last();
    for (int n = 0; n < limit && cursor.GetPriorRecord(image) == 0; ++n) {
    }
}

inline void ReadThroughCursor() {
    TDataSession session;
    TDataDirectory& directory = session.OpenDatabase("Memory", "");
    TDataCursor cursor(directory);
    cursor.SetTableName(kLocation.Name);
    cursor.SetInMemory(true);
    cursor.SetReadOnly(true);
    try {
        cursor.Open();
    } catch (const EPirinEngineError&) {
        return;
    }
    constexpr int kLimit = 2000;
    const int indexes = cursor.IndexCount();
    // As opened, every index by number, then record order.
    std::vector<int> order{-1};
    for (int index = 0; index <= indexes; ++index) order.push_back(index);
    order.push_back(kNoIndex);
    for (int index : order) {
        try {
            if (index >= 0) cursor.SelectIndex(index);
            (void)cursor.RecordCount();
            WalkIndex(cursor, kLimit);
        } catch (const EPirinEngineError&) {
        }
    }
    cursor.Close(true);
}

}  // namespace table_detail

inline void ExerciseTable(const std::uint8_t* data, std::size_t size) {
    using namespace table_detail;
    const auto parts = SplitInput(data, size, 3);
    const pirin::TTableFileNames names = pirin::TableFileNames(kLocation.Directory, kLocation.Name);
    PutFile(names.Data, parts[0]);
    PutFile(names.Index, parts[1]);
    PutFile(names.Blob, parts[2]);
    struct TRemover {
        const pirin::TTableFileNames& Names;
        ~TRemover() {
            for (const std::string& name : {Names.Data, Names.Index, Names.Blob}) RemoveFile(name);
        }
    } remover{names};
    Verify();
    ReadThroughCursor();
}

}  // namespace vorlano::fuzz
