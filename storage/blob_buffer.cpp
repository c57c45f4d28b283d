#include "storage/blob_buffer.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <optional>
#include <unordered_set>

#include "errors/engine_error.h"

namespace pirin {

namespace {

// What a load reserves before it has read anything; beyond this the buffer
// grows with the bytes actually read, so a damaged length never allocates
// more than the chain delivers.
constexpr std::size_t kReserveLimit = std::size_t{1} << 20;

constexpr std::size_t kMaxBlobLength = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void Fail(const TBlobFile& file, std::uint16_t code) {
    errno = 0;  // a damaged or changed chain, not a system error
    RaiseEngineError(code, {.table = file.TableName()});
}

std::int32_t BlocksLeft(std::size_t bytes, std::size_t perBlock) {
    const std::size_t blocks = std::max<std::size_t>(1, (bytes + perBlock - 1) / perBlock);
    return static_cast<std::int32_t>(std::min<std::size_t>(blocks, INT32_MAX));
}

// Bytes of `out` from `at` on, as raw bytes to read into.
std::span<std::uint8_t> WritableBytes(TBlobBytes& out, std::size_t at, std::size_t count) {
    return std::span<std::uint8_t>(out).subspan(at, count);
}
std::span<std::uint8_t> WritableBytes(std::string& out, std::size_t at, std::size_t count) {
    return {reinterpret_cast<std::uint8_t*>(out.data()) + at, count};
}

// One attempt at reading the chain from `first` into `out`; false when the
// cache reported a change (start over).
template <class TBytes>
[[nodiscard]] bool TryLoadChain(TBlobFile& file, TChangeCheck* cursor, std::int32_t first,
                                std::int32_t stamp, TBytes& out) {
    out.clear();
    if (first == 0) return true;
    const std::int32_t last = file.LastBlockNumber();
    if (first < 1 || first > last) Fail(file, PIRIN_MEMOCORRUPT);
    // A cached first block (a read-ahead's, a memo read again) is read in
    // place, without a pin or a move in the cache's chain: nothing else runs
    // before its bytes are copied, and it is not used once a later block is
    // fetched. Otherwise it is fetched, and every later block is.
    TBlockPin pin;
    const TBlock* block = file.Cache().Find(first);
    if (block == nullptr) {
        pin = file.FetchBlock(cursor, first, 1, false);
        if (!pin) return false;
        block = pin.Get();
    }
    if (block->OwnerStamp() != stamp) Fail(file, PIRIN_KEYORRECDELETED);

    // The stored length is untrusted: no chain can hold more than every
    // block of the file.
    const std::size_t perBlock = file.DataBytesPerBlock();
    const std::int32_t total = block->TotalLength();
    if (total < 0 ||
        static_cast<std::uint64_t>(total) > static_cast<std::uint64_t>(last) * perBlock)
        Fail(file, PIRIN_MEMOCORRUPT);
    const auto length = static_cast<std::size_t>(total);
    // Sized once for the usual value; blocks beyond the limit grow it as
    // they are read.
    out.resize(std::min(length, kReserveLimit));

    // Each block is visited once: a link back into the chain is a cycle, and
    // the stored length bounds the walk besides.
    // Made on the first link followed: a value of one block (the usual
    // memo) neither builds nor frees a set.
    std::optional<std::unordered_set<std::int32_t>> seen;
    std::size_t at = 0;  // bytes read so far
    for (;;) {
        if (block->OwnerStamp() != stamp) Fail(file, PIRIN_KEYORRECDELETED);
        // Held by anybody but this read: the chain runs into a block in use.
        if (block->PinCount() > (pin ? 1 : 0)) Fail(file, PIRIN_MEMOCORRUPT);
        const std::size_t asked = std::min(perBlock, length - at);
        if (out.size() < at + asked) out.resize(at + asked);
        const std::size_t got = file.ReadBlockData(*block, WritableBytes(out, at, asked));
        at += got;
        if (got < asked || at == length || block->Next() == 0) break;
        const std::int32_t next = block->Next();
        if (!seen) seen.emplace({first});
        if (next < 1 || next > last || !seen->insert(next).second) Fail(file, PIRIN_MEMOCORRUPT);
        TBlockPin nextPin = file.FetchBlock(cursor, next, BlocksLeft(length - at, perBlock), true);
        if (!nextPin) return false;
        pin = std::move(nextPin);
        block = pin.Get();
    }
    pin.Release();
    if (at != length) Fail(file, PIRIN_ENDOFBLOB);
    return true;
}

// Each false is a change by another process: the caches were emptied and
// the cursor resynchronised, so the chain is read afresh. `out` is empty
// after a failure.
template <class TBytes>
void LoadChain(TBlobFile& file, TChangeCheck* cursor, std::int32_t first, std::int32_t stamp,
               TBytes& out) {
    try {
        while (!TryLoadChain(file, cursor, first, stamp, out)) {
        }
    } catch (...) {
        out.clear();
        throw;
    }
}

}  // namespace

TBlobBuffer::TBlobBuffer(TBlobFile& file, TChangeCheck* cursor, std::uint16_t fieldNumber,
                         std::int32_t recordNumber, std::int32_t firstBlock, std::int32_t stamp)
    : FFile(file),
      FCursor(cursor),
      FStamp(stamp),
      FRecordNumber(recordNumber),
      FFieldNumber(fieldNumber),
      FFirstBlock(firstBlock) {}

void TBlobBuffer::Reuse(std::uint16_t fieldNumber, std::int32_t recordNumber,
                        std::int32_t firstBlock, std::int32_t stamp) noexcept {
    FModified = false;
    FStamp = stamp;
    FRecordNumber = recordNumber;
    FFieldNumber = fieldNumber;
    FFirstBlock = firstBlock;
    FData.clear();
    FOriginal.clear();
    FHasOriginal = false;
    FUseCount = 0;
}

void TBlobBuffer::LoadBlob() {
    FModified = false;
    LoadChain(FFile, FCursor, FFirstBlock, FStamp, FData);
}

void TBlobBuffer::LoadText(TBlobFile& file, TChangeCheck* cursor, std::int32_t firstBlock,
                           std::int32_t stamp, std::string& text) {
    LoadChain(file, cursor, firstBlock, stamp, text);
}

void TBlobBuffer::StoreBlob(std::int32_t newStamp) { StoreBytes(FData, newStamp); }

void TBlobBuffer::StoreBytes(std::span<const std::uint8_t> data, std::int32_t newStamp) {
    if (data.empty()) {
        DropBlob();
        FStamp = newStamp;
        FModified = false;
        return;
    }
    CheckLength(data.size());
    // The old chain is checked whole before anything changes: every block
    // must still belong to this value, or overwriting it would destroy
    // another one.
    const std::vector<std::int32_t> old = FFirstBlock != 0
                                              ? FFile.WalkChain(FCursor, FFirstBlock, FStamp, false)
                                              : std::vector<std::int32_t>{};
    const std::size_t perBlock = FFile.DataBytesPerBlock();
    const std::size_t length = data.size();
    // A new value of one block has no other block to share one with: the
    // set of the chain's blocks is needed only beyond that.
    const bool track = !old.empty() || length > perBlock;
    std::unordered_set<std::int32_t> used;
    if (track) used.insert(old.begin(), old.end());

    std::int32_t first = 0;
    std::int32_t previous = 0;
    std::size_t written = 0;
    std::size_t index = 0;
    TBlockPin current;
    while (written < length) {
        TBlockPin block;
        if (index < old.size()) {
            block =
                FFile.FetchBlock(FCursor, old[index], BlocksLeft(length - written, perBlock), true);
            if (!block) Fail(FFile, PIRIN_KEYORRECDELETED);
        } else {
            block = FFile.AllocateBlock(FCursor);
            // A free chain that leads into this chain would have two parts of
            // the value share a block.
            if (track && !used.insert(block->UnitNumber()).second) Fail(FFile, PIRIN_MEMOCORRUPT);
        }
        const std::int32_t number = block->UnitNumber();
        if (current) {
            current->SetNext(number);
        } else {
            first = number;
        }
        block->SetPrevious(previous);
        block->SetOwnerStamp(newStamp);
        block->SetTotalLength(current ? 0 : static_cast<std::int32_t>(length));
        const std::size_t chunk = std::min(perBlock, length - written);
        FFile.WriteBlockData(*block, 0, data.subspan(written, chunk));
        written += chunk;
        previous = number;
        ++index;
        current = std::move(block);
    }
    // The rest of a longer old chain goes to the free chain; its blocks still
    // carry the old stamp and link to each other.
    current->SetNext(0);
    current.Release();
    if (index < old.size()) {
        std::int32_t rest = old[index];
        FFile.FreeChain(FCursor, rest, FStamp, false);
    }
    FFirstBlock = first;
    FStamp = newStamp;
    FModified = false;
}

void TBlobBuffer::DropBlob() {
    FFile.FreeChain(FCursor, FFirstBlock, FStamp, false);
    FModified = !FData.empty();
}

void TBlobBuffer::CheckLength(std::size_t length) const {
    // The stored total length is a signed 32-bit field.
    if (length > kMaxBlobLength) Fail(FFile, PIRIN_INVALIDBLOBLEN);
}

void TBlobBuffer::SetBlobLength(std::size_t length) {
    CheckLength(length);
    // resize(n, 0) would construct the bytes one by one through the
    // allocator; the plain resize leaves them as they are and a fill zeroes
    // the new ones at memset speed.
    const std::size_t old = FData.size();
    FData.resize(length);
    if (length > old) std::fill(FData.begin() + static_cast<std::ptrdiff_t>(old), FData.end(), 0);
    FModified = true;
}

void TBlobBuffer::WriteBytes(std::size_t offset, std::span<const std::uint8_t> bytes) {
    if (offset > kMaxBlobLength || bytes.size() > kMaxBlobLength - offset)
        Fail(FFile, PIRIN_INVALIDBLOBLEN);
    const std::size_t old = FData.size();
    if (old < offset + bytes.size()) {
        // Only a gap before the written bytes needs zeros (see SetBlobLength).
        FData.resize(offset + bytes.size());
        if (offset > old)
            std::fill(FData.begin() + static_cast<std::ptrdiff_t>(old),
                      FData.begin() + static_cast<std::ptrdiff_t>(offset), 0);
    }
    std::copy(bytes.begin(), bytes.end(), FData.begin() + static_cast<std::ptrdiff_t>(offset));
    FModified = true;
}

void TBlobBuffer::KeepOriginal() {
    FOriginal = FData;
    FHasOriginal = true;
}

}  // namespace pirin
