// TIndexVerifier: checks every index of an open index file and lists what is
// wrong, for `pirin-tool verify` and the tree tests. Per index it walks the
// tree from the root and checks page types per level (root 0 or 3, then 1
// for interior and 2 for leaf pages, every leaf at the same depth), that no
// page is empty, the sibling links of every level both ways, key order
// within and across pages (by the index's key comparison), that each
// interior key equals the first key of its child and each count the keys
// below the child, and that no page belongs to two places. Then it walks the
// index's free chain (pages in range, empty, no cycle, not in any tree) and
// the parameter page chain.
//
// The verifier reads through the file's page caches and changes nothing.
// Ownership: refers to the file, which outlives it. Threads: the file's.
// Failures: damage is reported, not raised; a damaged page that cannot even
// be read is reported with the engine's error text. Only failures of the
// file itself (read errors) propagate as EPirinEngineError.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "storage/index_file.h"

namespace pirin {

class TIndexVerifier {
  public:
    explicit TIndexVerifier(TIndexFile& file) : FFile(file) {}

    // Every defined index (0 when it has a key, 1..count, 31, 32); one line
    // per problem, empty when the file is sound.
    std::vector<std::string> Run();
    // One index; pages already claimed by earlier calls count as used.
    void VerifyIndex(int index);
    const std::vector<std::string>& Problems() const noexcept { return FProblems; }

  private:
    struct TLevelPage {
        std::int32_t Page;
        std::int32_t Previous;
        std::int32_t Next;
    };

    // Checks the subtree of `page` at `depth` and returns its key total, or
    // -1 when it could not be walked.
    std::int64_t VisitPage(int index, std::int32_t page, std::size_t depth,
                           std::vector<std::uint8_t>& lastKey, bool& haveLastKey);
    void CheckLevels(int index);
    void VerifyFreeChain(int index);
    void VerifyParameterChain(int index);
    void WalkChain(int index, std::int32_t first, const std::string& kind,
                   const std::function<void(const TPage&, const std::string&)>& check);
    bool Claim(int index, std::int32_t page, std::string_view what);
    void Problem(int index, const std::string& text);

    TIndexFile& FFile;
    std::vector<std::string> FProblems;
    // Page -> what claimed it, across all indexes of the file.
    std::map<std::int64_t, std::string> FClaimed;
    std::vector<std::vector<TLevelPage>> FLevels;
    std::size_t FLeafDepth = 0;
    bool FLeafDepthKnown = false;
};

}  // namespace pirin
