// TTableVerifier: the data file, the agreement of records and index keys,
// and the BLOB chains.
#include "storage/table_verifier.h"

#include <algorithm>
#include <set>

#include "errors/engine_error.h"
#include "locale/compare_keys.h"
#include "storage/index_key_builder.h"
#include "storage/index_key_layout.h"
#include "storage/index_tree.h"
#include "storage/index_verifier.h"
#include "storage/little_endian.h"

namespace pirin {

namespace {

std::string IndexName(const TIndexFile& file, int index) {
    const std::string& name = file.GetIndexDescriptor(index).Name;
    return "index " + std::to_string(index) + (name.empty() ? "" : " (" + name + ")");
}

std::string SlotName(std::int32_t slot) { return "slot " + std::to_string(slot); }

}  // namespace

template <typename TCheck>
bool TTableVerifier::Guard(const std::string& what, TCheck&& check) {
    try {
        check();
        return true;
    } catch (const EPirinEngineError& error) {
        Problem(what + ": " + error.what());
        return false;
    }
}

std::vector<std::string> TTableVerifier::Run() {
    FProblems.clear();
    FSlots.clear();
    FBlocks.clear();
    FSlotsRead = false;
    const std::span<const TFieldDescriptor> fields = FData.Fields();
    Guard("data file", [&] { FData.CheckStructure(); });
    const bool layoutSet = Guard("index file", [&] {
        FIndex.SetKeyLayout(fields, FData.Language(), FData.Sort());
        FIndex.CheckIndexHeader(fields);
    });
    if (layoutSet)
        Guard("index file", [&] {
            const std::vector<std::string> trees = TIndexVerifier(FIndex).Run();
            FProblems.insert(FProblems.end(), trees.begin(), trees.end());
        });
    FSlotsRead = Guard("data file", [&] { ReadSlots(); });
    if (!FSlotsRead) return FProblems;
    VerifyFreeChain();
    if (layoutSet) {
        if (FIndex.GetIndexDescriptor(kPrimaryIndex).KeyLength != 0) VerifyIndexKeys(kPrimaryIndex);
        for (int i = 1; i <= FIndex.SecondaryIndexCount(); ++i) VerifyIndexKeys(i);
        VerifyDeletedIndexKeys();
    }
    VerifyBlobs();
    return FProblems;
}

void TTableVerifier::ReadSlots() {
    const std::int32_t count = FData.RecordCount();
    // The header's count may be damaged: reserve no more slots than the file
    // holds (reading past its end fails below).
    const std::int64_t held =
        std::max<std::int64_t>(FData.FileLength() - static_cast<std::int64_t>(FData.DataOffset()), 0) /
        FData.RecordSize();
    FSlots.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, held)));
    std::int32_t active = 0;
    for (std::int32_t n = 1; n <= count; ++n) {
        TSlot slot;
        {
            TRecordPin pin = FData.FetchRecord(nullptr, n);
            if (!pin) RaiseEngineError(PIRIN_FILECORRUPT, {.table = FData.TableName()});
            slot.Status = pin->Status();
            if (slot.Status == kRecordDeleted) slot.Link = pin->NextDeleted();
            const auto image = pin->Image();
            slot.Image.assign(image.begin(), image.end());
        }
        FData.TrimRecords();
        if (slot.Status == kRecordActive)
            ++active;
        else if (slot.Status != kRecordDeleted)
            Problem(SlotName(n) + ": status " + std::to_string(slot.Status));
        FSlots.push_back(std::move(slot));
    }
    if (active != FIndex.ActiveRecordCount())
        Problem("data file: " + std::to_string(active) +
                " active records, the index header counts " +
                std::to_string(FIndex.ActiveRecordCount()));
}

void TTableVerifier::VerifyFreeChain() {
    const auto slots = static_cast<std::int32_t>(FSlots.size());
    std::set<std::int32_t> chain;
    for (std::int32_t n = FData.Header().FirstFree(); n != 0;) {
        if (n < 1 || n > slots) {
            Problem("data file: free chain links to slot " + std::to_string(n) +
                    " outside the file");
            break;
        }
        if (!chain.insert(n).second) {
            Problem("data file: free chain runs in a cycle at " + SlotName(n));
            break;
        }
        const TSlot& slot = FSlots[static_cast<std::size_t>(n - 1)];
        if (slot.Status != kRecordDeleted) {
            Problem("data file: free chain holds " + SlotName(n) + ", which is not deleted");
            break;
        }
        n = slot.Link;
    }
    // Without a primary key a deleted slot's link is dropped (slots are never
    // reused), so only a table with one keeps every deleted slot in the chain.
    if (FIndex.NoPrimaryIndex()) return;
    for (std::int32_t n = 1; n <= slots; ++n)
        if (FSlots[static_cast<std::size_t>(n - 1)].Status == kRecordDeleted && !chain.contains(n))
            Problem("data file: deleted " + SlotName(n) + " is not in the free chain");
}

void TTableVerifier::VerifyIndexKeys(int index) {
    std::map<std::int32_t, std::vector<std::uint8_t>> expected;
    const bool built = Guard(IndexName(FIndex, index), [&] {
        const TIndexKeyLayout layout =
            TIndexKeyLayout::Make(FIndex.GetIndexDescriptor(index), index, FData.Fields(),
                                  FData.Language(), FData.Sort(), FData.TableName());
        for (std::size_t i = 0; i < FSlots.size(); ++i)
            if (FSlots[i].Status == kRecordActive)
                expected.emplace(static_cast<std::int32_t>(i + 1),
                                 RecordKey(layout, FSlots[i].Image));
    });
    if (built) CompareKeys(index, expected);
}

void TTableVerifier::VerifyDeletedIndexKeys() {
    std::map<std::int32_t, std::vector<std::uint8_t>> expected;
    for (std::size_t i = 0; i < FSlots.size(); ++i) {
        const auto key = DeletedIndexKey(FSlots[i].Image, FData.TableName());
        expected.emplace(static_cast<std::int32_t>(i + 1),
                         std::vector<std::uint8_t>(key.begin(), key.end()));
    }
    CompareKeys(kDeletedIndex, expected);
}

void TTableVerifier::CompareKeys(
    int index, const std::map<std::int32_t, std::vector<std::uint8_t>>& expected) {
    const std::string name = IndexName(FIndex, index);
    std::set<std::int32_t> seen;
    // A walk cut short by damage (reported) cannot tell which keys are missing.
    const bool walked = Guard(name, [&] {
        TIndexTree tree(FIndex, index);
        TTreePath path;
        TTreeEntry entry;
        // A sound index holds one key per expected record; a walk that goes
        // on past that (a leaf chain in a cycle) stops there.
        std::size_t steps = 0;
        // Keys come in order, so two equal keys of a unique index are neighbours.
        const TIndexDescriptor& descriptor = FIndex.GetIndexDescriptor(index);
        const bool unique = index == kPrimaryIndex || (index != kDeletedIndex && descriptor.Unique);
        std::vector<std::uint8_t> previousKey;
        std::int32_t previousRecord = 0;
        for (TTreeStatus status = tree.First(path, &entry); status == TTreeStatus::Ok;
             status = tree.Next(path, &entry)) {
            if (++steps > expected.size()) {
                Problem(name + ": more keys than records");
                break;
            }
            if (unique && steps > 1 &&
                pirin::CompareKeys(FIndex.KeyDescription(index), previousKey.data(),
                                   entry.Key.data(), descriptor.KeyLength) == 0)
                Problem(name + ": records " + std::to_string(previousRecord) + " and " +
                        std::to_string(entry.Record) + " share a key of a unique index");
            previousKey = entry.Key;
            previousRecord = entry.Record;
            const auto at = expected.find(entry.Record);
            if (at == expected.end()) {
                Problem(name + ": a key for record " + std::to_string(entry.Record) +
                        ", which is not " +
                        (index == kDeletedIndex ? "a slot" : "an active record"));
            } else if (!seen.insert(entry.Record).second) {
                Problem(name + ": record " + std::to_string(entry.Record) + " has two keys");
            } else if (!std::equal(at->second.begin(), at->second.end(), entry.Key.begin(),
                                   entry.Key.end())) {
                Problem(name + ": record " + std::to_string(entry.Record) +
                        " has a key that does not match its values");
            }
        }
    });
    FIndex.TrimPages();
    if (!walked) return;
    for (const auto& [record, key] : expected)
        if (!seen.contains(record))
            Problem(name + ": record " + std::to_string(record) + " has no key");
}

void TTableVerifier::VerifyBlobs() {
    if (FData.BlobFieldCount() == 0) return;
    if (FBlob == nullptr) {
        Problem("BLOB file: missing, but the table has BLOB fields");
        return;
    }
    if (!Guard("BLOB file", [&] { FBlob->CheckBlobFile(); })) return;
    for (std::size_t i = 0; i < FSlots.size(); ++i) {
        if (FSlots[i].Status != kRecordActive) continue;
        for (const TFieldDescriptor& field : FData.Fields())
            if (field.IsBlob()) VerifyBlobChain(static_cast<std::int32_t>(i + 1), field);
    }
    VerifyFreeBlocks();
    std::int32_t lost = 0;
    std::int32_t firstLost = 0;
    for (std::int32_t n = 1; n <= FBlob->LastBlockNumber(); ++n)
        if (!FBlocks.contains(n) && lost++ == 0) firstLost = n;
    if (lost > 0)
        Problem("BLOB file: " + std::to_string(lost) +
                " blocks are in no chain and not free (the first is block " +
                std::to_string(firstLost) + ")");
}

void TTableVerifier::VerifyBlobChain(std::int32_t slot, const TFieldDescriptor& field) {
    const std::vector<std::uint8_t>& image = FSlots[static_cast<std::size_t>(slot - 1)].Image;
    // Offsets come from descriptors the structure check may have refused.
    if (field.Offset + 9u > image.size()) return;
    const std::int32_t first = le::GetI32(image, field.Offset + 1u);
    const std::int32_t stamp = le::GetI32(image, field.Offset + 5u);
    if (first == 0) return;
    const std::string owner = SlotName(slot) + " field " + field.Name;
    Guard("BLOB file: " + owner, [&] {
        std::int64_t total = -1;
        std::int64_t held = 0;
        std::int32_t previous = 0;
        for (std::int32_t n = first; n != 0;) {
            if (n < 1 || n > FBlob->LastBlockNumber()) {
                Problem("BLOB file: " + owner + " links to block " + std::to_string(n) +
                        " outside the file");
                return;
            }
            if (!ClaimBlock(n, owner)) return;
            TBlockPin block = FBlob->FetchBlock(nullptr, n);
            if (!block) RaiseEngineError(PIRIN_MEMOCORRUPT, {.table = FData.TableName()});
            const std::string at = "BLOB file: " + owner + " block " + std::to_string(n);
            if (block->OwnerStamp() != stamp)
                Problem(at + " carries stamp " + std::to_string(block->OwnerStamp()) +
                        ", the record " + std::to_string(stamp));
            if (block->Previous() != previous)
                Problem(at + " links back to " + std::to_string(block->Previous()) + ", not " +
                        std::to_string(previous));
            if (block->BytesUsed() > block->DataSize())
                Problem(at + " uses more bytes than it holds");
            if (total < 0)
                total = block->TotalLength();
            else if (block->TotalLength() != 0)
                Problem(at + " carries a length but is not the first block");
            held += block->BytesUsed();
            previous = n;
            n = block->Next();
        }
        if (held != total)
            Problem("BLOB file: " + owner + " has length " + std::to_string(total) +
                    " but its chain holds " + std::to_string(held) + " bytes");
    });
}

void TTableVerifier::VerifyFreeBlocks() {
    Guard("BLOB file: free chain", [&] {
        for (std::int32_t n = FBlob->Header().FirstFreeBlock(); n != 0;) {
            if (n < 1 || n > FBlob->LastBlockNumber()) {
                Problem("BLOB file: free chain links to block " + std::to_string(n) +
                        " outside the file");
                return;
            }
            if (!ClaimBlock(n, "the free chain")) return;
            TBlockPin block = FBlob->FetchBlock(nullptr, n);
            if (!block) RaiseEngineError(PIRIN_MEMOCORRUPT, {.table = FData.TableName()});
            n = block->Next();
        }
    });
}

bool TTableVerifier::ClaimBlock(std::int32_t n, const std::string& owner) {
    const auto [at, inserted] = FBlocks.emplace(n, owner);
    if (inserted) return true;
    Problem("BLOB file: block " + std::to_string(n) + " of " + owner + " is also in " + at->second);
    return false;
}

}  // namespace pirin
