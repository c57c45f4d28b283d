// TCursorNavigation: the bitmaps behind a filtered view. A build pass sizes
// every bitmap to the data file's slots, collects the records of the key
// range (RangeBitmap) and the slots in use (InUseBitmap) by walking index
// entries, then evaluates each filter over its candidates: through index
// walks where an index answers a comparison and that is cheaper than
// reading the candidates, else by reading the candidate records through the
// record cache. A pass that meets a change by another process starts over.
// CombineView intersects the bitmaps into ViewBitmap; the write path keeps
// them current record by record (RecordAdded, RecordRemoved).
#include <algorithm>

#include "engine/cursor_navigation.h"
#include "errors/engine_error_codes.h"
#include "locale/compare_keys.h"

namespace pirin {

namespace {

// Sets a flag for a scope and restores it on every way out.
class TFlagScope {
  public:
    explicit TFlagScope(bool& flag) : FFlag(flag), FWas(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = FWas; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

  private:
    bool& FFlag;
    bool FWas;
};

}  // namespace

void TCursorNavigation::ShrinkViewBitmaps() noexcept {
    FViewBitmap->SetSize(0);
    FRangeBitmap->SetSize(0);
    FInUseBitmap->SetSize(0);
    FFilteredCount = 0;
}

// ---- building ---------------------------------------------------------------------------

void TCursorNavigation::BuildFilterBitmaps(TFilter* filter) {
    if (FBuilding || FRecomputingRange) return;
    if (filter != nullptr && !filter->FActive) return;
    if (filter == nullptr && !FFilterActive) return;
    // The view was never built since filtering began: everything at once.
    if (FViewBitmap->Size() == 0) filter = nullptr;
    TFlagScope building(FBuilding);
    UntilComplete([&] { return TryBuildPass(filter); });
}

TCursorNavigation::TWalk TCursorNavigation::TryBuildPass(TFilter* filter) {
    const std::int32_t slots = FData->RecordCount();
    FViewBitmap->SetSize(slots);
    if (slots <= 0) {
        FRangeBitmap->SetSize(0);
        FInUseBitmap->SetSize(0);
        return TWalk::Done;
    }
    if (FRangeActive) {
        FRangeBitmap->SetSize(slots);
        if (TryIndexWalk(FIndexNo, {FRangeStartKey.data(), FKeyLength},
                         {FRangeEndKey.data(), FKeyLength}, *FRangeBitmap) == TWalk::Restart)
            return TWalk::Restart;
    } else {
        FRangeBitmap->SetSize(0);
    }
    if (TryBuildInUse() == TWalk::Restart) return TWalk::Restart;

    for (std::size_t i = 0; i < FFilters.size(); ++i) {
        TFilter& f = *FFilters[i];
        if (!f.FActive || (filter != nullptr && &f != filter)) continue;
        TRecordsBitmap& bitmap = *f.FBitmap;
        bitmap.CopyFrom(*FInUseBitmap);
        if (FRangeActive) bitmap.And(*FRangeBitmap);
        // An after-others filter that reads records reads only those the
        // filters before it accept.
        if (f.Level() != 2 && f.FOptions.AfterOthers)
            for (std::size_t j = 0; j < i; ++j)
                if (FFilters[j]->FActive) bitmap.And(*FFilters[j]->FBitmap);
        const TWalk walk =
            f.FTree ? TryEvaluateNode(*f.FTree, bitmap) : TryScan(&f, nullptr, bitmap);
        if (walk == TWalk::Restart) return TWalk::Restart;
    }
    return TWalk::Done;
}

TCursorNavigation::TWalk TCursorNavigation::TryBuildInUse() {
    TRecordsBitmap& inUse = *FInUseBitmap;
    inUse.SetSize(FViewBitmap->Size());
    if (FIndex->ActiveRecordCount() == inUse.Size()) {
        inUse.SetAll();
        return TWalk::Done;
    }
    // The deleted slots are index 31's keys with status byte 1.
    std::array<std::uint8_t, kDeletedIndexKeyLength> from{};
    std::array<std::uint8_t, kDeletedIndexKeyLength> to{};
    from[0] = to[0] = kRecordDeleted;
    std::fill(to.begin() + 1, to.end(), std::uint8_t{0xFF});
    if (TryIndexWalk(kDeletedIndex, from, to, inUse) == TWalk::Restart) return TWalk::Restart;
    inUse.Invert();
    return TWalk::Done;
}

TCursorNavigation::TWalk TCursorNavigation::TryIndexWalk(int index,
                                                         std::span<const std::uint8_t> low,
                                                         std::span<const std::uint8_t> high,
                                                         TRecordsBitmap& bitmap) {
    bitmap.ClearAll();
    const TKeyDescription& keys = FIndex->KeyDescription(index);
    const std::size_t length = low.size();
    if (CompareKeys(keys, low.data(), high.data(), length) > 0) return TWalk::Done;
    std::int32_t page = 0;
    int slot = 0;
    {
        TDescent descent;
        if (Descend(index, low, true, false, descent) == TWalk::Restart) return TWalk::Restart;
        if (descent.Slot == 0) return TWalk::Done;
        page = FScratch.Page;
        slot = descent.Slot;
    }
    // Along the leaves straight from the cache: no copies needed here.
    while (page != 0) {
        TPagePin pin = FetchIndexPage(index, page);
        if (!pin) return TWalk::Restart;
        if (!pin->IsLeaf() || pin->Free()) RaiseCursorError(PIRIN_INDEXCORRUPT);
        for (; slot <= pin->NumberOfEntries(); ++slot) {
            const auto key = pin->EntryKey(slot);
            if (CompareKeys(keys, key.data(), low.data(), length) < 0) continue;
            if (CompareKeys(keys, key.data(), high.data(), length) > 0) return TWalk::Done;
            bitmap.Set(pin->EntryReference(slot));
        }
        page = pin->Next();
        slot = 1;
    }
    return TWalk::Done;
}

// ---- evaluating a condition ----------------------------------------------------------------

TCursorNavigation::TWalk TCursorNavigation::TryEvaluateNode(TFilterNode& node,
                                                            TRecordsBitmap& bitmap) {
    // Walking costs about count x key length, reading the candidates about
    // candidates x record size.
    const bool byIndex =
        node.Level != 0 &&
        (node.Cost < 0 || std::int64_t{bitmap.Count()} * FData->RecordSize() >= node.Cost);
    if (!byIndex) return TryScan(nullptr, &node, bitmap);
    if (node.Kind == TFilterNode::TKind::Comparison) return TryEvaluateByIndex(node, bitmap);
    TPooledBitmap first;
    TPooledBitmap both;
    first->CopyFrom(bitmap);
    if (TryEvaluateNode(*node.First, *first) == TWalk::Restart) return TWalk::Restart;
    first->And(bitmap);
    both->CopyFrom(*first);
    if (TryEvaluateNode(*node.Second, *both) == TWalk::Restart) return TWalk::Restart;
    both->And(*first);
    bitmap.CopyFrom(*both);
    return TWalk::Done;
}

TCursorNavigation::TWalk TCursorNavigation::TryEvaluateByIndex(const TFilterNode& node,
                                                               TRecordsBitmap& bitmap) {
    const int index = ChooseIndex(node);
    if (index < 0) return TryScan(nullptr, &node, bitmap);
    const std::size_t length = IndexKeyLength(index);
    std::array<std::uint8_t, kMaxKeyLength> low{};
    std::array<std::uint8_t, kMaxKeyLength> high{};
    ComparisonKeys(node, index, low, high);
    if (TryIndexWalk(index, {low.data(), length}, {high.data(), length}, bitmap) ==
        TWalk::Restart)
        return TWalk::Restart;
    if (node.Operator != TFilterOperator::NotEqual || !node.Constant) return TWalk::Done;
    // Not equal: every record outside the value's keys, except those
    // without a value, which match only the null tests (as a scan finds).
    bitmap.Invert();
    auto nulls = TFilterNode::Compare(node.FieldNo, TFilterOperator::Equal, std::nullopt);
    ComparisonKeys(*nulls, index, low, high);
    TPooledBitmap blank;
    blank->SetSize(bitmap.Size());
    if (TryIndexWalk(index, {low.data(), length}, {high.data(), length}, *blank) ==
        TWalk::Restart)
        return TWalk::Restart;
    blank->Invert();
    bitmap.And(*blank);
    return TWalk::Done;
}

TCursorNavigation::TWalk TCursorNavigation::TryScan(const TFilter* filter,
                                                    const TFilterNode* node,
                                                    TRecordsBitmap& bitmap) {
    const std::int32_t limit = FData->RecordsPerRun();
    for (std::int32_t n = bitmap.FindNext(0); n != 0; n = bitmap.FindNext(n)) {
        // Read ahead over the candidates that follow in one run.
        std::int32_t run = 1;
        while (run < limit && bitmap.Test(n + run)) ++run;
        bool accepted = false;
        {
            TRecordPin pin = FData->FetchRecord(this, n, {run, TReadDirection::Forward});
            if (!pin) return TWalk::Restart;
            accepted = filter != nullptr ? Accepts(*filter, pin->Image(), n)
                                         : NodeAccepts(*node, pin->Image());
        }
        if (!accepted) bitmap.Clear(n);
    }
    return TWalk::Done;
}

// ---- the view --------------------------------------------------------------------------

void TCursorNavigation::CombineView() {
    if (FBuilding || FRecomputingRange || !FFilterActive) return;
    TRecordsBitmap& view = *FViewBitmap;
    if (view.Size() == 0) {
        FFilteredCount = 0;
        return;
    }
    view.CopyFrom(*FInUseBitmap);
    if (FRangeActive) view.And(*FRangeBitmap);
    for (const auto& f : FFilters)
        if (f->FActive) view.And(*f->FBitmap);
    FFilteredCount = view.Count();
    if (!FRangeActive && FFilters.empty()) FFilteredCount = FIndex->ActiveRecordCount();
}

// ---- steps of the write path -----------------------------------------------------------

void TCursorNavigation::RecordAdded(std::int32_t record, std::span<const std::uint8_t> image) {
    if (!FFilterActive) return;
    const std::int32_t slots = FData->RecordCount();
    FViewBitmap->SetSize(slots);
    if (slots <= 0) {
        FRangeBitmap->SetSize(0);
        FInUseBitmap->SetSize(0);
        return;
    }
    CheckRecordBuffer(image);
    if (FRangeActive) {
        FRangeBitmap->SetSize(slots);
        std::array<std::uint8_t, kMaxKeyLength> key{};
        BuildKey(image, key);
        const std::span<const std::uint8_t> built{key.data(), FKeyLength};
        if (BelowRange(built) || AboveRange(built))
            FRangeBitmap->Clear(record);
        else
            FRangeBitmap->Set(record);
    } else {
        FRangeBitmap->SetSize(0);
    }
    FInUseBitmap->SetSize(slots);
    FInUseBitmap->Set(record);
    for (const auto& f : FFilters) {
        if (!f->FActive) continue;
        if (f->FBitmap->Size() < record) f->FBitmap->SetSize(slots);
        f->FBitmap->Set(record);
        if (!Accepts(*f, image, record)) f->FBitmap->Clear(record);
    }
    CombineView();
}

void TCursorNavigation::RecordRemoved(std::int32_t record) {
    if (!FFilterActive || FViewBitmap->Size() == 0) return;
    if (FRangeActive) FRangeBitmap->Clear(record);
    FInUseBitmap->Clear(record);
    for (const auto& f : FFilters)
        if (f->FActive) f->FBitmap->Clear(record);
    if (FFilteredCount > 0) --FFilteredCount;
    CombineView();
}

void TCursorNavigation::RepositionOn(std::int32_t record, std::span<const std::uint8_t> image) {
    CheckRecordBuffer(image);
    // The cursor stands on the record itself, not on a crack beside it.
    if (!(FBof && FEof)) FBof = FEof = false;
    PlaceNear(record, image, false);
}

}  // namespace pirin
