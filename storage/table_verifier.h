// TTableVerifier: checks a whole table, for `pirin-tool verify` and the
// engine tests, and lists what is wrong as text lines. It checks
//   - the data file: header, descriptors and file length (the structure
//     check), the status of every slot, the free chain (links in range, no
//     cycle, only deleted slots, and with a primary key every deleted slot),
//     and the active records against the index header's record count;
//   - the index file: its header against the fields, every tree, the free
//     and parameter chains (TIndexVerifier), and that every active record has
//     exactly its key in every index, every slot its key in index 31, and no
//     index holds any other key, and no unique index holds one key twice
//     (by the index's own comparison, so a case-insensitive index counts
//     "Word" and "WORD" as one key);
//   - the BLOB file: its header, every active record's BLOB chains (links,
//     back links, stamps, the length in the first block against the bytes
//     the chain holds), the free block chain, no block in two chains, and no
//     block lost outside every chain.
//
// The verifier reads through the files' caches and changes nothing on disk;
// it sets the index file's key layout from the data file's fields (which
// drops cached index pages, so write them back first).
// Ownership: refers to the files, which outlive it. Threads: the files'.
// Failures: damage is reported, not raised: where a part cannot be read, the
// engine's error text becomes the problem line and the checks that need that
// part are skipped.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "storage/blob_file.h"
#include "storage/data_file.h"
#include "storage/index_file.h"

namespace pirin {

class TTableVerifier {
  public:
    // `blob` may be null (a table without BLOB fields, or a missing file,
    // which is reported when the table has BLOB fields).
    TTableVerifier(TDataFile& data, TIndexFile& index, TBlobFile* blob)
        : FData(data), FIndex(index), FBlob(blob) {}

    // One line per problem; empty when the table is sound.
    std::vector<std::string> Run();

  private:
    // What a slot holds that the later checks need.
    struct TSlot {
        std::uint8_t Status = 0;
        std::int32_t Link = 0;  // next deleted slot
        std::vector<std::uint8_t> Image;
    };

    void Problem(std::string text) { FProblems.push_back(std::move(text)); }
    // Runs `check`; an engine error becomes a problem line after `what`.
    template <typename TCheck>
    bool Guard(const std::string& what, TCheck&& check);

    void ReadSlots();
    void VerifyFreeChain();
    void VerifyIndexKeys(int index);
    void VerifyDeletedIndexKeys();
    // Compares the keys of index `index` with `expected` (record -> key).
    void CompareKeys(int index, const std::map<std::int32_t, std::vector<std::uint8_t>>& expected);
    void VerifyBlobs();
    void VerifyBlobChain(std::int32_t slot, const TFieldDescriptor& field);
    void VerifyFreeBlocks();
    // False (and a problem) when block `n` is already in another chain.
    bool ClaimBlock(std::int32_t n, const std::string& owner);

    TDataFile& FData;
    TIndexFile& FIndex;
    TBlobFile* FBlob;
    std::vector<std::string> FProblems;
    std::vector<TSlot> FSlots;  // slot n at n - 1
    bool FSlotsRead = false;
    std::map<std::int32_t, std::string> FBlocks;  // block -> the chain holding it
};

}  // namespace pirin
