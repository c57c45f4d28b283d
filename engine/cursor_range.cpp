// TCursorNavigation: key ranges. SetRange turns its bounds into keys of the
// active index (a bound given with fewer fields, or on a non-unique index,
// is completed with the lowest or highest key bytes so that it covers every
// key of that prefix), and the bounds' logical positions are recomputed
// through the tree whenever the table may have changed (Reset).
#include <algorithm>

#include "engine/cursor_navigation.h"
#include "errors/engine_error_codes.h"

namespace pirin {

void TCursorNavigation::MakeRangeKey(bool keyIsBuilt, std::span<const std::uint8_t> bound,
                                     int fieldCount, bool end, std::span<std::uint8_t> key) {
    std::fill(key.begin(), key.end(), std::uint8_t{0});
    if (fieldCount < 0 || fieldCount > FKeyFieldCount) RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    if (bound.empty()) return;  // no bound: the all-zero key
    if (keyIsBuilt) {
        if (bound.size() < FKeyLength) RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
        std::copy_n(bound.begin(), FKeyLength, key.begin());
    } else {
        CheckRecordBuffer(bound);
        BuildKey(bound, key);
    }
    const bool prefix = (fieldCount >= 1 && fieldCount < FKeyFieldCount) || !FUnique;
    if (!prefix || !FLayout) return;
    const int fields = fieldCount == 0 ? FKeyFieldCount : fieldCount;
    // The start takes the lowest bytes and the end the highest (the other
    // way round on a descending index), so both cover the whole prefix.
    FillKeyTail(*FLayout, key, PrefixLength(fields, 0), end != FDescending);
}

void TCursorNavigation::SetRange(bool keyIsBuilt, std::span<const std::uint8_t> start,
                                 int startFieldCount, std::span<const std::uint8_t> end,
                                 int endFieldCount) {
    if (WithoutIndex()) return;
    TOperation operation(*this);
    std::array<std::uint8_t, kRangeKeySize> startKey{};
    std::array<std::uint8_t, kRangeKeySize> endKey{};
    MakeRangeKey(keyIsBuilt, start, startFieldCount, false, startKey);
    MakeRangeKey(keyIsBuilt, end, endFieldCount, true, endKey);
    ApplyRange(startKey, endKey);
}

void TCursorNavigation::ApplyRange(std::span<const std::uint8_t> startKey,
                                   std::span<const std::uint8_t> endKey) {
    if (WithoutIndex()) return;
    if (startKey.size() < FKeyLength || endKey.size() < FKeyLength)
        RaiseCursorError(PIRIN_INVALIDKEY, FIndexName);
    TOperation operation(*this);
    const std::int32_t record = (FBof && FEof) ? 0 : CurrentRecordNumber();
    FRangeStartKey.fill(0);
    FRangeEndKey.fill(0);
    std::copy_n(startKey.begin(), FKeyLength, FRangeStartKey.begin());
    std::copy_n(endKey.begin(), FKeyLength, FRangeEndKey.begin());
    FRangeActive = true;
    Reset();
    PlaceNear(record, FCurrent->Image(), true);
}

void TCursorNavigation::CancelRange() {
    if (WithoutIndex()) return;
    TOperation operation(*this);
    const std::int32_t record = (FBof && FEof) ? 0 : CurrentRecordNumber();
    DropRange();
    Reset();
    PlaceNear(record, FCurrent->Image(), true);
}

void TCursorNavigation::RecomputeRangeBounds() {
    if (!FRangeActive || WithoutIndex()) {
        FRangeStart = 1;
        FRangeEnd = FIndex->ActiveRecordCount();
        return;
    }
    if (CompareKey(FRangeStartKey, FRangeEndKey) > 0) {
        FRangeStart = 0;
        FRangeEnd = 0;
        return;
    }
    // A resync met on the way rebuilds nothing: this recomputation, and the
    // build that follows it, start over on the new data themselves.
    struct TGuard {
        bool& Flag;
        bool Was;
        explicit TGuard(bool& flag) : Flag(flag), Was(flag) { Flag = true; }
        ~TGuard() { Flag = Was; }
    } guard(FRecomputingRange);
    UntilComplete([&] { return TryRangeBound(false, FRangeStart); });
    UntilComplete([&] { return TryRangeBound(true, FRangeEnd); });
}

TCursorNavigation::TWalk TCursorNavigation::TryRangeBound(bool end, std::int32_t& bound) {
    const std::span<const std::uint8_t> key{end ? FRangeEndKey.data() : FRangeStartKey.data(),
                                            FKeyLength};
    TDescent descent;
    if (Descend(FIndexNo, key, !end, false, descent) == TWalk::Restart) return TWalk::Restart;
    bound = 0;
    if (descent.Slot == 0) return TWalk::Done;
    TStepper at{&FScratch, descent.Slot, descent.LogicalPos};
    const int side = CompareKey(at.Leaf->Key(at.Slot), key);
    bool moved = true;
    // The search may stop beside the bound at a leaf's edge.
    if (!end && side < 0) {
        if (Step(at, true, moved) == TWalk::Restart) return TWalk::Restart;
    } else if (end && side > 0) {
        if (Step(at, false, moved) == TWalk::Restart) return TWalk::Restart;
    }
    if (moved) bound = at.LogicalPos;
    return TWalk::Done;
}

}  // namespace pirin
