// Fixture for the BLOB file tests: a BLOB file kept in memory, with verbs to
// store and load values, reach a second handler onto the same file, damage
// blocks, and check that every block is in exactly one chain.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "storage/blob_buffer.h"
#include "storage/blob_file.h"
#include "tests/storage/file_test_support.h"

namespace pirin::blob_test {

using pirin::testing::CodeOf;
using pirin::testing::Pattern;

inline std::string MemoryName() {
    static int counter = 0;
    return "Memory/BlobTest" + std::to_string(counter++) + ".BLB";
}

// A cursor that reports a change when its hook says so; the hook does what
// the engine's cursor would (reread the headers, which drops the caches).
class TTestCursor : public TChangeCheck {
  public:
    bool CheckAndResync() override {
        ++Calls;
        return OnCheck ? OnCheck(Calls) : false;
    }
    int Calls = 0;
    std::function<bool(int call)> OnCheck;
};

// One BLOB file in memory, created and reopened shared so that other
// handlers can open it too.
class TBlobTable {
  public:
    explicit TBlobTable(std::uint32_t blockSize = 0, bool encrypted = false)
        : Name(MemoryName()), File(Context, Name, blockSize, encrypted) {
        File.SetInMemory(true);
        File.CreateNewFile();
        (void)File.WriteBlobHeader();
        Reopen();
    }
    ~TBlobTable() {
        File.CloseFile();
        TFileHandler remover(Name);
        remover.SetInMemory(true);
        remover.RemoveFile();
    }

    // Writes back, closes and opens again: everything comes from the file.
    void Reopen() {
        Flush();
        File.CloseFile();
        File.OpenFile();
    }
    void Flush() {
        (void)File.WriteBackBlocks();
        (void)File.WriteBlobHeader();
    }

    // Stores `bytes` as the value at `first` (0: new) stamped `stamp`, the
    // old value carrying `oldStamp`; returns the first block.
    std::int32_t Store(const std::vector<std::uint8_t>& bytes, std::int32_t stamp,
                       std::int32_t first = 0, std::int32_t oldStamp = 0) {
        TBlobBuffer buffer(File, &Cursor, 1, 1, first, oldStamp);
        buffer.SetBlobLength(0);
        buffer.WriteBytes(0, bytes);
        buffer.StoreBlob(stamp);
        return buffer.FirstBlock();
    }
    std::vector<std::uint8_t> Load(std::int32_t first, std::int32_t stamp) {
        TBlobBuffer buffer(File, &Cursor, 1, 1, first, stamp);
        buffer.LoadBlob();
        return {buffer.Data().begin(), buffer.Data().end()};
    }
    int LoadCode(std::int32_t first, std::int32_t stamp) {
        return CodeOf([&] { (void)Load(first, stamp); });
    }

    // Changes block n through the cache, as a damaged file would have it.
    void Damage(std::int32_t n, const std::function<void(TBlock&)>& change) {
        TBlockPin pin = File.FetchBlock(nullptr, n);
        change(*pin);
    }
    // The block numbers of the chain from `first`, following next links; a
    // link out of range ends it (listed), and so does a walk longer than the
    // file.
    std::vector<std::int32_t> Chain(std::int32_t first) {
        std::vector<std::int32_t> chain;
        for (std::int32_t n = first; n != 0 && chain.size() <= Blocks(); n = Block(n).Next) {
            chain.push_back(n);
            if (n < 1 || n > File.LastBlockNumber()) break;
        }
        return chain;
    }
    std::vector<std::int32_t> FreeChain() { return Chain(File.Header().FirstFreeBlock()); }
    std::size_t Blocks() const { return static_cast<std::size_t>(File.LastBlockNumber()); }

    struct TFields {
        std::int32_t Previous, Next;
        std::uint16_t Used;
        std::int32_t Owner, Total;
    };
    TFields Block(std::int32_t n) {
        TBlockPin pin = File.FetchBlock(nullptr, n);
        return {pin->Previous(), pin->Next(), pin->BytesUsed(), pin->OwnerStamp(),
                pin->TotalLength()};
    }

    // Raw bytes of the file through a second handler.
    std::vector<std::uint8_t> Raw(std::uint64_t offset, std::size_t count) {
        TFileHandler raw(Name);
        raw.SetInMemory(true);
        raw.OpenFile();
        std::vector<std::uint8_t> bytes(count);
        raw.ReadAt(offset, bytes.data(), count);
        return bytes;
    }
    void PutRaw(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
        TFileHandler raw(Name);
        raw.SetInMemory(true);
        raw.OpenFile();
        raw.WriteAt(offset, bytes.data(), bytes.size());
    }
    // Replaces the header on disk and reads it back.
    void PutHeader(const std::function<void(TBlobHeader&)>& change) {
        TBlobHeader header = File.Header();
        change(header);
        const auto bytes = header.ToDisk(File.Encrypted());
        PutRaw(0, {bytes.begin(), bytes.end()});
        File.DiscardBlocks();
        File.ReadBlobHeader();
    }

    std::string Name;
    TPlainTableContext Context;
    TBlobFile File;
    TTestCursor Cursor;
};

}  // namespace pirin::blob_test
