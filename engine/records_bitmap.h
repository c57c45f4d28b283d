// TRecordsBitmap: a growable set of record numbers 1..Size(). Record n is bit
// (n - 1) mod 32 of 32-bit word (n - 1) div 32. The word array grows in steps
// of 256 bytes, its allocation at least doubling, and never shrinks while
// the object lives, so resizing a bitmap that was as large before allocates
// nothing. Bits beyond Size() are
// always clear, so counts and searches never see them.
//
// Searches and counts take a 32-bit word at a time (population count), so
// whole words of zeros or ones cost one step each.
//
// TRecordsBitmapStack is the process-wide pool of spare bitmaps: Take hands
// out a cleared bitmap of size 0 (a kept one or a new one), Give keeps at
// most 64 and destroys the rest. The pool has its own lock; a bitmap itself
// belongs to one thread at a time.
//
// Failures: none raised. Record numbers outside 1..Size() are ignored by Set
// and Clear and test false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace pirin {

class TRecordsBitmap {
  public:
    TRecordsBitmap() = default;

    std::int32_t Size() const noexcept { return FSize; }
    // Records above the new size are dropped; records added are clear.
    void SetSize(std::int32_t size);

    void Set(std::int32_t record) noexcept;
    void Clear(std::int32_t record) noexcept;
    bool Test(std::int32_t record) const noexcept;

    void ClearAll() noexcept;
    void SetAll() noexcept;
    void Invert() noexcept;
    // Word by word over the common size; beyond `other`'s size And clears
    // and Or keeps.
    void And(const TRecordsBitmap& other) noexcept;
    void Or(const TRecordsBitmap& other) noexcept;
    // Takes size and bits of `other`.
    void CopyFrom(const TRecordsBitmap& other);

    std::int32_t Count() const noexcept;
    // Set records below `record` (1..record - 1).
    std::int32_t CountBelow(std::int32_t record) const noexcept;

    // The `k`-th set record after `record` (k >= 1; `record` 0 searches from
    // the start), or 0 when fewer follow. `position`, when given, gains the
    // number of set records passed over, the one found included (all that
    // follow when none is found).
    std::int32_t FindNext(std::int32_t record, std::int32_t k = 1,
                          std::int32_t* position = nullptr) const noexcept;
    // The mirror image: the `k`-th set record before `record` (a `record`
    // above Size() searches from the end); `position` loses the records
    // passed over.
    std::int32_t FindPrior(std::int32_t record, std::int32_t k = 1,
                           std::int32_t* position = nullptr) const noexcept;

  private:
    static constexpr std::size_t kGrowWords = 256 / sizeof(std::uint32_t);

    std::size_t WordCount() const noexcept { return (static_cast<std::size_t>(FSize) + 31) / 32; }
    // Clears the bits of the last word beyond the size.
    void TrimTail() noexcept;

    std::int32_t FSize = 0;
    std::vector<std::uint32_t> FWords;
};

class TRecordsBitmapStack {
  public:
    static constexpr std::size_t kLimit = 64;

    static TRecordsBitmapStack& Instance();

    // A cleared bitmap of size 0.
    std::unique_ptr<TRecordsBitmap> Take();
    // Keeps the bitmap while fewer than kLimit are kept (null is ignored).
    void Give(std::unique_ptr<TRecordsBitmap> bitmap) noexcept;
    std::size_t Kept() const;

  private:
    mutable std::mutex FLock;
    std::vector<std::unique_ptr<TRecordsBitmap>> FSpare;
};

// A bitmap from the pool, given back when the holder goes.
class TPooledBitmap {
  public:
    TPooledBitmap() : FBitmap(TRecordsBitmapStack::Instance().Take()) {}
    ~TPooledBitmap() { TRecordsBitmapStack::Instance().Give(std::move(FBitmap)); }
    TPooledBitmap(const TPooledBitmap&) = delete;
    TPooledBitmap& operator=(const TPooledBitmap&) = delete;

    TRecordsBitmap& operator*() const noexcept { return *FBitmap; }
    TRecordsBitmap* operator->() const noexcept { return FBitmap.get(); }

  private:
    std::unique_ptr<TRecordsBitmap> FBitmap;
};

}  // namespace pirin
