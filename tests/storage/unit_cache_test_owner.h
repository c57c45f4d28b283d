// Test fixtures for the unit cache: a table file kept in a byte vector that
// logs every read and write, and a unit type that rejects bytes it is told to.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "errors/engine_error.h"
#include "storage/scramble.h"
#include "storage/unit_cache.h"

namespace pirin::cache_test {

// A unit whose clear bytes start with 0xEE is "damaged": LoadBytes raises
// the corrupt code, as a page or block that fails its own checks would.
inline constexpr std::uint8_t kDamagedMark = 0xEE;

class TTestUnit : public TCacheUnit {
  public:
    explicit TTestUnit(std::size_t unitSize) : TCacheUnit(unitSize) { ++Live; }
    TTestUnit(std::size_t unitSize, TInlineBytes storage) : TCacheUnit(unitSize, storage) { ++Live; }
    ~TTestUnit() override { --Live; }
    void LoadBytes(std::span<const std::uint8_t> bytes) override {
        if (!bytes.empty() && bytes[0] == kDamagedMark) RaiseEngineError(PIRIN_FILECORRUPT);
        TCacheUnit::LoadBytes(bytes);
    }
    inline static int Live = 0;
};

using TTestCache = TUnitCache<TTestUnit>;
using TTestStack = TUnitStack<TTestUnit>;

// Clear contents of unit n, version v: the number, the version, then filler.
inline std::vector<std::uint8_t> Pattern(std::int32_t n, std::uint8_t version, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(n * 13 + version * 101 + i * 7 + 1);
    if (size > 0) bytes[0] = static_cast<std::uint8_t>(n & 0x7F);
    if (size > 1) bytes[1] = version;
    return bytes;
}

inline std::vector<std::uint8_t> BytesOf(const TCacheUnit& unit) {
    return {unit.Bytes().begin(), unit.Bytes().end()};
}

class TTestFile : public TUnitCacheOwner {
  public:
    struct TWrite {
        std::uint64_t Offset;
        std::vector<std::int32_t> Units;
        std::vector<std::uint8_t> Bytes;  // as written (scrambled when encrypted)
    };
    struct TRead {
        std::uint64_t Offset;
        std::size_t Length;
    };

    explicit TTestFile(std::size_t unitSize, std::uint64_t headerSize = 16)
        : Unit(unitSize), Header(headerSize), File(headerSize, 0x48) {}

    // Stores `count` units with Pattern(n, 0) and counts them in the header.
    void Populate(std::int32_t count) {
        for (std::int32_t n = 1; n <= count; ++n) PutOnDisk(n, Pattern(n, 0, Unit));
        Next = count + 1;
    }
    void PutOnDisk(std::int32_t n, std::vector<std::uint8_t> clear) {
        if (Encrypted) ScrambleBytes(clear.data(), clear.size(), kDataSeeds);
        const std::uint64_t at = UnitOffset(n);
        if (File.size() < at + Unit) File.resize(at + Unit, 0);
        std::copy(clear.begin(), clear.end(), File.begin() + static_cast<std::ptrdiff_t>(at));
    }
    // The clear bytes of unit n on disk, empty when the file is too short.
    std::vector<std::uint8_t> OnDisk(std::int32_t n) const {
        const std::uint64_t at = UnitOffset(n);
        if (File.size() < at + Unit) return {};
        std::vector<std::uint8_t> bytes(File.begin() + static_cast<std::ptrdiff_t>(at),
                                        File.begin() + static_cast<std::ptrdiff_t>(at + Unit));
        if (Encrypted) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
        return bytes;
    }

    std::size_t UnitSize() const override { return Unit; }
    std::uint64_t UnitOffset(std::int32_t n) const override {
        return Header + static_cast<std::uint64_t>(n - 1) * Unit;
    }
    std::int32_t NextUnitNumber() const override { return Next; }
    void AdvanceNextUnitNumber() override {
        ++Next;
        HeaderChanged = true;
    }
    std::int32_t UnitNumberLimit() const override { return Limit; }
    std::uint64_t EndOffsetLimit() const override { return EndLimit; }

    std::size_t ReadUnits(std::uint64_t offset, std::span<std::uint8_t> buffer,
                          bool allowShort) override {
        Reads.push_back({offset, buffer.size()});
        const std::size_t available =
            offset >= File.size() ? 0 : std::min<std::size_t>(buffer.size(), File.size() - offset);
        std::copy_n(File.begin() + static_cast<std::ptrdiff_t>(offset), available, buffer.begin());
        if (available < buffer.size() && !allowShort && ChecksShortReads)
            RaiseEngineError(PIRIN_READERR, {.table = TableName()});
        return available;
    }
    void WriteUnits(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        if (FailWrite == static_cast<int>(Writes.size()))
            RaiseEngineError(PIRIN_WRITEERR, {.table = TableName()});
        if (!WritesAllowed) ++ForbiddenWrites;
        TWrite write{offset, {}, {bytes.begin(), bytes.end()}};
        for (std::size_t i = 0; i < bytes.size() / Unit; ++i)
            write.Units.push_back(static_cast<std::int32_t>((offset - Header) / Unit + 1 + i));
        Writes.push_back(std::move(write));
        if (File.size() < offset + bytes.size()) File.resize(offset + bytes.size(), 0);
        std::copy(bytes.begin(), bytes.end(), File.begin() + static_cast<std::ptrdiff_t>(offset));
    }

    void UnscrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) override {
        if (Encrypted) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    }
    void ScrambleUnit(std::int32_t, std::span<std::uint8_t> bytes) override {
        if (Encrypted) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    }

    bool InTransaction() const override { return Transaction; }
    bool ShortReadsAllowed() const override { return ShortAllowed; }
    void SetWrittenSinceOpen() override { WrittenSinceOpen = true; }
    bool StrictChangeDetection() const override { return Strict; }
    bool CheckAndResync() override {
        ++ResyncCalls;
        if (!ChangePending) return false;
        ChangePending = false;
        if (OnChange) OnChange();
        return true;
    }
    std::uint16_t CorruptCode() const override { return Corrupt; }
    std::string_view TableName() const override { return "Bg_En"; }

    std::size_t Unit;
    std::uint64_t Header;
    std::vector<std::uint8_t> File;
    std::int32_t Next = 1;
    std::int32_t Limit = kRecordNumberLimit;
    std::uint64_t EndLimit = kUnitEndOffsetLimit;
    std::uint16_t Corrupt = PIRIN_FILECORRUPT;
    bool Encrypted = true;
    bool Transaction = false;
    bool ShortAllowed = false;
    bool Strict = false;
    bool HeaderChanged = false;
    bool WrittenSinceOpen = false;
    // Set false to count writes the test does not expect.
    bool WritesAllowed = true;
    int ForbiddenWrites = 0;
    // Set false for an owner that returns a short count without raising.
    bool ChecksShortReads = true;
    int FailWrite = -1;  // index of the write that fails with 9218
    bool ChangePending = false;
    int ResyncCalls = 0;
    std::function<void()> OnChange;
    std::vector<TRead> Reads;
    std::vector<TWrite> Writes;
};

// Runs `action` and returns the engine code it raised (0 when none).
template <class TAction>
int CodeOf(TAction&& action) {
    try {
        action();
    } catch (const EPirinEngineError& error) {
        return error.ErrorCode;
    }
    return 0;
}

}  // namespace pirin::cache_test
