#include "storage/index_verifier.h"

#include <algorithm>
#include <functional>
#include <set>

#include "errors/engine_error.h"
#include "locale/compare_keys.h"
#include "storage/index_tree.h"

namespace pirin {

namespace {

std::string IndexLabel(const TIndexFile& file, int index) {
    const std::string& name = file.GetIndexDescriptor(index).Name;
    return "index " + std::to_string(index) + (name.empty() ? "" : " (" + name + ")");
}

bool Defined(const TIndexFile& file, int index) {
    if (index == kPrimaryIndex) return file.GetIndexDescriptor(index).KeyLength != 0;
    return index <= file.SecondaryIndexCount() || index == kDeletedIndex ||
           index == kTextIndexNumber;
}

}  // namespace

void TIndexVerifier::Problem(int index, const std::string& text) {
    FProblems.push_back(IndexLabel(FFile, index) + ": " + text);
}

bool TIndexVerifier::Claim(int index, std::int32_t page, std::string_view what) {
    const std::string owner = IndexLabel(FFile, index) + " " + std::string(what);
    // Temporary indexes number their pages in a file of their own.
    const std::int64_t key = FFile.IsTemporary(index) ? -std::int64_t{page} : page;
    const auto [at, inserted] = FClaimed.emplace(key, owner);
    if (!inserted) {
        Problem(index,
                "page " + std::to_string(page) + " of the " + std::string(what) + " is also in " + at->second);
        return false;
    }
    return true;
}

std::vector<std::string> TIndexVerifier::Run() {
    FProblems.clear();
    FClaimed.clear();
    for (int i = 0; i < kIndexCount; ++i)
        if (Defined(FFile, i)) VerifyIndex(i);
    return FProblems;
}

void TIndexVerifier::VerifyIndex(int index) {
    FLevels.clear();
    FLeafDepthKnown = false;
    const std::int32_t root = FFile.RootPage(index);
    const std::int32_t last = FFile.LastPageNumber(index);
    if (root < 0 || root > last) {
        Problem(index, "root page " + std::to_string(root) + " outside the file");
    } else if (root != 0) {
        std::vector<std::uint8_t> lastKey;
        bool haveLastKey = false;
        const std::int64_t total = VisitPage(index, root, 0, lastKey, haveLastKey);
        if (total >= 0) CheckLevels(index);
    }
    VerifyFreeChain(index);
    VerifyParameterChain(index);
}

std::int64_t TIndexVerifier::VisitPage(int index, std::int32_t page, std::size_t depth,
                                       std::vector<std::uint8_t>& lastKey, bool& haveLastKey) {
    const std::string at = "page " + std::to_string(page);
    if (depth >= static_cast<std::size_t>(kMaxTreeDepth)) {
        Problem(index, at + ": tree deeper than 64 levels");
        return -1;
    }
    if (page < 1 || page > FFile.LastPageNumber(index)) {
        Problem(index, at + ": outside the file");
        return -1;
    }
    if (!Claim(index, page, "tree")) return -1;
    TPagePin pin;
    try {
        pin = FFile.FetchPage(nullptr, index, page);
    } catch (const EPirinEngineError& error) {
        Problem(index, at + ": cannot be read: " + error.what());
        return -1;
    }
    if (!pin) {
        Problem(index, at + ": the table changed during the check");
        return -1;
    }
    const TPage& p = *pin;
    const bool rootLevel = depth == 0;
    const TPageType type = p.Type();
    const bool typeOk = rootLevel ? (type == TPageType::Root || type == TPageType::RootLeaf)
                                  : (type == TPageType::Interior || type == TPageType::Leaf);
    if (!typeOk) {
        Problem(index, at + ": page type " + std::to_string(static_cast<int>(type)) + " at level " +
                           std::to_string(depth));
        return -1;
    }
    const int entries = p.NumberOfEntries();
    if (entries == 0) {
        Problem(index, at + ": no entries");
        return -1;
    }
    if (FLevels.size() <= depth) FLevels.resize(depth + 1);
    FLevels[depth].push_back({page, p.Previous(), p.Next()});
    if (p.IsLeaf()) {
        if (!FLeafDepthKnown) {
            FLeafDepth = depth;
            FLeafDepthKnown = true;
        } else if (FLeafDepth != depth) {
            Problem(index, at + ": a leaf at level " + std::to_string(depth) + ", others at " +
                               std::to_string(FLeafDepth));
        }
        const TKeyDescription& keys = FFile.KeyDescription(index);
        const std::size_t length = FFile.GetIndexDescriptor(index).KeyLength;
        for (int i = 1; i <= entries; ++i) {
            const auto key = p.EntryKey(i);
            if (haveLastKey && CompareKeys(keys, lastKey.data(), key.data(), length) > 0)
                Problem(index,
                        at + ": key of entry " + std::to_string(i) + " below the key before it");
            lastKey.assign(key.begin(), key.end());
            haveLastKey = true;
        }
        return entries;
    }
    const bool counts = FFile.PageConfig(index).HasCounts();
    std::int64_t total = 0;
    for (int i = 1; i <= entries; ++i) {
        const std::int32_t child = p.EntryReference(i);
        std::vector<std::uint8_t> childFirst;
        {
            // The child's first key, read before walking it.
            TPagePin probe;
            if (child >= 1 && child <= FFile.LastPageNumber(index)) {
                try {
                    probe = FFile.FetchPage(nullptr, index, child);
                } catch (const EPirinEngineError&) {
                }
            }
            if (probe && probe->NumberOfEntries() > 0) {
                const auto key = probe->EntryKey(1);
                childFirst.assign(key.begin(), key.end());
            }
        }
        const std::int64_t below = VisitPage(index, child, depth + 1, lastKey, haveLastKey);
        if (below < 0) return -1;
        const auto key = p.EntryKey(i);
        if (!std::equal(key.begin(), key.end(), childFirst.begin(), childFirst.end()))
            Problem(index, at + ": key of entry " + std::to_string(i) +
                               " is not the first key of page " + std::to_string(child));
        if (counts && p.EntryCount(i) != below)
            Problem(index, at + ": count of entry " + std::to_string(i) + " is " +
                               std::to_string(p.EntryCount(i)) + ", page " + std::to_string(child) +
                               " holds " + std::to_string(below));
        total += below;
    }
    return total;
}

void TIndexVerifier::CheckLevels(int index) {
    for (std::size_t depth = 0; depth < FLevels.size(); ++depth) {
        const auto& level = FLevels[depth];
        for (std::size_t j = 0; j < level.size(); ++j) {
            const std::int32_t expectPrevious = j == 0 ? 0 : level[j - 1].Page;
            const std::int32_t expectNext = j + 1 == level.size() ? 0 : level[j + 1].Page;
            const std::string at = "page " + std::to_string(level[j].Page);
            if (level[j].Previous != expectPrevious)
                Problem(index, at + ": previous link " + std::to_string(level[j].Previous) +
                                   ", expected " + std::to_string(expectPrevious));
            if (level[j].Next != expectNext)
                Problem(index, at + ": next link " + std::to_string(level[j].Next) + ", expected " +
                                   std::to_string(expectNext));
        }
    }
}

void TIndexVerifier::VerifyFreeChain(int index) {
    WalkChain(index, FFile.FirstFreePage(index), "free", [&](const TPage& page, const std::string& at) {
        if (page.NumberOfEntries() != 0) Problem(index, at + ": holds entries");
    });
}

void TIndexVerifier::VerifyParameterChain(int index) {
    WalkChain(index, FFile.ParameterPage(index), "parameter",
              [&](const TPage& page, const std::string& at) {
                  if (!page.IsParameterPage()) Problem(index, at + ": not a parameter page");
              });
}

// Follows a chain of pages linked through their next field, claiming each
// page for the chain, until its end or the first page that cannot be
// followed safely (outside the file, a cycle, unreadable, claimed twice).
void TIndexVerifier::WalkChain(int index, std::int32_t page, const std::string& kind,
                               const std::function<void(const TPage&, const std::string&)>& check) {
    std::set<std::int32_t> seen;
    while (page != 0) {
        const std::string at = kind + " page " + std::to_string(page);
        if (page < 1 || page > FFile.LastPageNumber(index)) {
            Problem(index, at + ": outside the file");
            return;
        }
        if (!seen.insert(page).second) {
            Problem(index, at + ": the " + kind + " chain runs in a cycle");
            return;
        }
        if (!Claim(index, page, kind + " chain")) return;
        TPagePin pin;
        try {
            pin = FFile.FetchPage(nullptr, index, page);
        } catch (const EPirinEngineError& error) {
            Problem(index, at + ": cannot be read: " + error.what());
            return;
        }
        if (!pin) return;
        check(*pin, at);
        page = pin->Next();
    }
}

}  // namespace pirin
