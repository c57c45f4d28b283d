// TRecordsBitmap and its pool.
#include "engine/records_bitmap.h"

#include <algorithm>
#include <bit>

namespace pirin {

namespace {

constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;

std::size_t WordOf(std::int32_t record) noexcept { return static_cast<std::size_t>(record - 1) / 32; }
std::uint32_t BitOf(std::int32_t record) noexcept { return 1u << ((record - 1) % 32); }

}  // namespace

void TRecordsBitmap::SetSize(std::int32_t size) {
    size = std::max(size, 0);
    const std::size_t words = (static_cast<std::size_t>(size) + 31) / 32;
    if (words > FWords.size()) {
        // Grow in whole 256-byte steps; the new words are clear. The room
        // behind them at least doubles, so that a bitmap grown one step at
        // a time (a lock bitmap following a long load) is not copied anew
        // at each step.
        const std::size_t grown = (words + kGrowWords - 1) / kGrowWords * kGrowWords;
        if (grown > FWords.capacity()) FWords.reserve(std::max(grown, 2 * FWords.capacity()));
        FWords.resize(grown, 0);
    }
    const std::size_t oldWords = WordCount();
    FSize = size;
    TrimTail();
    // Words dropped by a shrink are cleared so that a later growth finds
    // them clear.
    for (std::size_t i = WordCount(); i < oldWords; ++i) FWords[i] = 0;
}

void TRecordsBitmap::TrimTail() noexcept {
    const std::size_t words = WordCount();
    const int used = FSize % 32;
    if (words > 0 && used != 0) FWords[words - 1] &= (1u << used) - 1;
}

void TRecordsBitmap::Set(std::int32_t record) noexcept {
    if (record >= 1 && record <= FSize) FWords[WordOf(record)] |= BitOf(record);
}

void TRecordsBitmap::Clear(std::int32_t record) noexcept {
    if (record >= 1 && record <= FSize) FWords[WordOf(record)] &= ~BitOf(record);
}

bool TRecordsBitmap::Test(std::int32_t record) const noexcept {
    return record >= 1 && record <= FSize && (FWords[WordOf(record)] & BitOf(record)) != 0;
}

void TRecordsBitmap::ClearAll() noexcept {
    std::fill_n(FWords.begin(), WordCount(), 0u);
}

void TRecordsBitmap::SetAll() noexcept {
    std::fill_n(FWords.begin(), WordCount(), kAllOnes);
    TrimTail();
}

void TRecordsBitmap::Invert() noexcept {
    for (std::size_t i = 0; i < WordCount(); ++i) FWords[i] = ~FWords[i];
    TrimTail();
}

void TRecordsBitmap::And(const TRecordsBitmap& other) noexcept {
    const std::size_t common = std::min(WordCount(), other.WordCount());
    for (std::size_t i = 0; i < common; ++i) FWords[i] &= other.FWords[i];
    for (std::size_t i = common; i < WordCount(); ++i) FWords[i] = 0;
    // The other's last word may carry bits of records it does not hold.
    if (other.FSize < FSize && other.FSize % 32 != 0 && common > 0)
        FWords[common - 1] &= (1u << (other.FSize % 32)) - 1;
}

void TRecordsBitmap::Or(const TRecordsBitmap& other) noexcept {
    const std::size_t common = std::min(WordCount(), other.WordCount());
    for (std::size_t i = 0; i < common; ++i) FWords[i] |= other.FWords[i];
    TrimTail();
}

void TRecordsBitmap::CopyFrom(const TRecordsBitmap& other) {
    if (&other == this) return;
    SetSize(other.FSize);
    std::copy_n(other.FWords.begin(), WordCount(), FWords.begin());
}

std::int32_t TRecordsBitmap::Count() const noexcept {
    std::int32_t count = 0;
    for (std::size_t i = 0; i < WordCount(); ++i) count += std::popcount(FWords[i]);
    return count;
}

std::int32_t TRecordsBitmap::CountBelow(std::int32_t record) const noexcept {
    if (record <= 1) return 0;
    const std::int32_t last = std::min(record - 1, FSize);  // records counted: 1..last
    const std::size_t full = static_cast<std::size_t>(last) / 32;
    std::int32_t count = 0;
    for (std::size_t i = 0; i < full; ++i) count += std::popcount(FWords[i]);
    if (const int rest = last % 32; rest != 0)
        count += std::popcount(FWords[full] & ((1u << rest) - 1));
    return count;
}

std::int32_t TRecordsBitmap::FindNext(std::int32_t record, std::int32_t k,
                                      std::int32_t* position) const noexcept {
    if (k < 1) k = 1;
    std::int32_t from = std::max(record, 0);  // 0-based bit index to start at
    if (from >= FSize) return 0;
    std::size_t word = static_cast<std::size_t>(from) / 32;
    // Bits of the first word below the start do not count.
    std::uint32_t bits = FWords[word] & (kAllOnes << (from % 32));
    const std::size_t words = WordCount();
    std::int32_t passed = 0;
    for (;;) {
        const int inWord = std::popcount(bits);
        if (passed + inWord >= k) {
            // The wanted bit is in this word: drop the lower ones.
            for (int skip = k - passed - 1; skip > 0; --skip) bits &= bits - 1;
            if (position != nullptr) *position += k;
            return static_cast<std::int32_t>(word * 32) + std::countr_zero(bits) + 1;
        }
        passed += inWord;
        if (++word >= words) break;
        bits = FWords[word];
    }
    if (position != nullptr) *position += passed;
    return 0;
}

std::int32_t TRecordsBitmap::FindPrior(std::int32_t record, std::int32_t k,
                                       std::int32_t* position) const noexcept {
    if (k < 1) k = 1;
    // Records 1..record - 1 are candidates: the last bit index is record - 2.
    const std::int32_t last = std::min(record, FSize + 1) - 2;
    if (last < 0) return 0;
    std::size_t word = static_cast<std::size_t>(last) / 32;
    const int top = last % 32;
    std::uint32_t bits = FWords[word] & (top == 31 ? kAllOnes : (1u << (top + 1)) - 1);
    std::int32_t passed = 0;
    for (;;) {
        const int inWord = std::popcount(bits);
        if (passed + inWord >= k) {
            for (int skip = k - passed - 1; skip > 0; --skip)
                bits &= ~(1u << (31 - std::countl_zero(bits)));
            if (position != nullptr) *position -= k;
            return static_cast<std::int32_t>(word * 32) + (31 - std::countl_zero(bits)) + 1;
        }
        passed += inWord;
        if (word == 0) break;
        bits = FWords[--word];
    }
    if (position != nullptr) *position -= passed;
    return 0;
}

TRecordsBitmapStack& TRecordsBitmapStack::Instance() {
    static TRecordsBitmapStack stack;
    return stack;
}

std::unique_ptr<TRecordsBitmap> TRecordsBitmapStack::Take() {
    {
        const std::lock_guard guard(FLock);
        if (!FSpare.empty()) {
            std::unique_ptr<TRecordsBitmap> bitmap = std::move(FSpare.back());
            FSpare.pop_back();
            return bitmap;
        }
    }
    return std::make_unique<TRecordsBitmap>();
}

void TRecordsBitmapStack::Give(std::unique_ptr<TRecordsBitmap> bitmap) noexcept {
    if (!bitmap) return;
    // Kept bitmaps go back cleared and empty, their words kept for reuse.
    bitmap->ClearAll();
    bitmap->SetSize(0);
    const std::lock_guard guard(FLock);
    if (FSpare.size() >= kLimit) return;
    try {
        FSpare.push_back(std::move(bitmap));
    } catch (...) {
        // No room to keep it: the bitmap is simply destroyed.
    }
}

std::size_t TRecordsBitmapStack::Kept() const {
    const std::lock_guard guard(FLock);
    return FSpare.size();
}

}  // namespace pirin
