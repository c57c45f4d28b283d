// TCursorNavigation: the filter list (add, activate, deactivate, remove,
// copies for clones), the analysis of a condition tree (which comparisons
// an index answers and what walking it would cost), the keys of a
// comparison on its index, and the evaluation of a condition on one record
// image.
#include <algorithm>
#include <string>
#include <string_view>

#include "engine/cursor_navigation.h"
#include "engine/field_access.h"
#include "errors/engine_error_codes.h"
#include "locale/compare_keys.h"
#include "locale/field_types.h"
#include "locale/locale_compare.h"

namespace pirin {

namespace {

// The order-preserving key form of a non-string value (little-endian stored
// bytes in, bytes that compare as unsigned numbers out), through a
// one-field key layout.
std::vector<std::uint8_t> ValueKeyForm(const TFieldDescriptor& field,
                                       std::span<const std::uint8_t> stored) {
    TIndexKeyLayout layout;
    TIndexKeyPart part;
    part.FieldName = field.Name;
    part.Type = field.Type;
    part.StoredSize = static_cast<int>(stored.size());
    part.KeySize = FieldKeySize(field.Type, part.StoredSize);
    layout.Parts.push_back(part);
    layout.Unique = true;
    layout.FieldBytes = layout.KeyLength = 1 + part.KeySize;
    TIndexKeyBuilder builder(layout);
    builder.AppendStored(stored);
    return {builder.Key().begin() + 1, builder.Key().end()};
}

bool OperatorHolds(TFilterOperator op, int order) {
    switch (op) {
        case TFilterOperator::Equal:
            return order == 0;
        case TFilterOperator::NotEqual:
            return order != 0;
        case TFilterOperator::Below:
            return order < 0;
        case TFilterOperator::Above:
            return order > 0;
        case TFilterOperator::AtMost:
            return order <= 0;
        case TFilterOperator::AtLeast:
            return order >= 0;
    }
    return false;
}

std::string_view TextOf(std::span<const std::uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return {reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::size_t>(end - bytes.begin())};
}

}  // namespace

// ---- the list --------------------------------------------------------------------------

TFilter& TCursorNavigation::AddFilter(std::unique_ptr<TFilterNode> tree, TFilterOptions options) {
    if (FFilters.size() >= kMaxFilters) RaiseCursorError(PIRIN_INTERNALLIMIT);
    if (!tree) RaiseCursorError(PIRIN_INVALIDFILTER);
    CheckNode(*tree);
    TOperation operation(*this);
    auto filter = std::make_unique<TFilter>(*this, std::move(tree), options);
    AnalyseNode(*filter->FTree, options.EstimateCounts);
    return InsertFilter(std::move(filter));
}

TFilter& TCursorNavigation::AddFilter(void* userData, TFilterCallback callback,
                                      TFilterOptions options) {
    if (FFilters.size() >= kMaxFilters) RaiseCursorError(PIRIN_INTERNALLIMIT);
    if (!callback) RaiseCursorError(PIRIN_INVALIDFILTER);
    return InsertFilter(std::make_unique<TFilter>(*this, userData, std::move(callback), options));
}

TFilter& TCursorNavigation::InsertFilter(std::unique_ptr<TFilter> filter) {
    // After-others filters stay at the end, in the order they came.
    auto at = FFilters.end();
    if (!filter->FOptions.AfterOthers)
        at = std::find_if(FFilters.begin(), FFilters.end(),
                          [](const auto& f) { return f->FOptions.AfterOthers; });
    return **FFilters.insert(at, std::move(filter));
}

void TCursorNavigation::ActivateFilter(TFilter* filter) { ChangeFilters(filter, true, false); }
void TCursorNavigation::DeactivateFilter(TFilter* filter) { ChangeFilters(filter, false, false); }
void TCursorNavigation::RemoveFilter(TFilter* filter) { ChangeFilters(filter, false, true); }

void TCursorNavigation::ChangeFilters(TFilter* filter, bool activate, bool remove) {
    TOperation operation(*this);
    const auto it = std::find_if(FFilters.begin(), FFilters.end(),
                                 [&](const auto& f) { return f.get() == filter; });
    const bool known = filter == nullptr || it != FFilters.end();
    if (known && remove) {
        if (filter == nullptr)
            FFilters.clear();
        else
            FFilters.erase(it);
    } else if (known) {
        for (auto& f : FFilters)
            if (filter == nullptr || f.get() == filter) f->FActive = activate;
    }
    RecomputeFilterActive();
    if (!known) RaiseCursorError(PIRIN_NOSUCHFILTER);
    if (activate) BuildFilterBitmaps(filter);
    CombineView();
    Reposition();
}

void TCursorNavigation::RecomputeFilterActive() {
    FFilterActive = WithoutIndex() || std::any_of(FFilters.begin(), FFilters.end(),
                                                  [](const auto& f) { return f->FActive; });
    if (!FFilterActive) ShrinkViewBitmaps();
}

void TCursorNavigation::CopyFilters(const TCursorNavigation& other) {
    TOperation operation(*this);
    for (const auto& source : other.FFilters) {
        TFilter& copy =
            source->FTree ? AddFilter(source->FTree->Clone(), source->FOptions)
                          : AddFilter(source->FUserData, source->FCallback, source->FOptions);
        copy.FActive = source->FActive;
    }
    RecomputeFilterActive();
    if (!FFilterActive) return;
    BuildFilterBitmaps(nullptr);
    CombineView();
    Reposition();
}

// ---- analysis ----------------------------------------------------------------------------

void TCursorNavigation::CheckNode(const TFilterNode& node) const {
    if (node.Kind == TFilterNode::TKind::And) {
        if (!node.First || !node.Second) RaiseCursorError(PIRIN_INVALIDFILTER);
        CheckNode(*node.First);
        CheckNode(*node.Second);
        return;
    }
    const auto fields = FData->Fields();
    if (node.FieldNo < 1 || node.FieldNo > static_cast<int>(fields.size()) ||
        node.PartialLength < 0)
        RaiseCursorError(PIRIN_INVALIDFILTER);
    const TFieldDescriptor& field = fields[static_cast<std::size_t>(node.FieldNo - 1)];
    // A BLOB's value lives in the BLOB file, not in the record image.
    if (field.IsBlob()) RaiseCursorError(PIRIN_INVALIDFILTER, field.Name);
    if (node.Constant && field.Type != kFieldString &&
        node.Constant->size() != FieldValueSize(field))
        RaiseCursorError(PIRIN_INVALIDFILTER, field.Name);
}

std::uint16_t TCursorNavigation::IndexKeyLength(int index) const {
    return FIndex->GetIndexDescriptor(index).KeyLength;
}

int TCursorNavigation::ChooseIndex(const TFilterNode& node) const {
    // Below, above, at most and at least are left to the record scan.
    if (node.Operator != TFilterOperator::Equal && node.Operator != TFilterOperator::NotEqual)
        return -1;
    const TFieldDescriptor& field = FData->Fields()[static_cast<std::size_t>(node.FieldNo - 1)];
    const bool text = field.Type == kFieldString;
    if (!text && node.PartialLength > 0) return -1;
    for (int i = FIndex->NoPrimaryIndex() ? 1 : 0; i <= IndexCount(); ++i) {
        const TIndexDescriptor& d = FIndex->GetIndexDescriptor(i);
        if (d.FieldCount == 0 || d.FieldNumbers[0] != node.FieldNo || d.RootPage == 0) continue;
        if (text && d.CaseInsensitive != node.CaseInsensitive) continue;
        return i;
    }
    return -1;
}

void TCursorNavigation::AnalyseNode(TFilterNode& node, bool estimate) {
    node.Count = node.Cost = -1;
    if (node.Kind == TFilterNode::TKind::Comparison) {
        const int index = ChooseIndex(node);
        node.Level = index < 0 ? 0 : 2;
        if (index < 0 || !estimate) return;
        std::array<std::uint8_t, kMaxKeyLength> low{};
        std::array<std::uint8_t, kMaxKeyLength> high{};
        ComparisonKeys(node, index, low, high);
        std::int64_t count = 0;
        UntilComplete([&] { return TryEstimate(index, low, high, count); });
        node.Count = count;
        node.Cost = count * IndexKeyLength(index);
        return;
    }
    AnalyseNode(*node.First, estimate);
    AnalyseNode(*node.Second, estimate);
    const int a = node.First->Level;
    const int b = node.Second->Level;
    node.Level = (a == 2 && b == 2) ? 2 : (a == 0 && b == 0) ? 0 : 1;
    // The side an index answers better goes first.
    if (b > a) std::swap(node.First, node.Second);
    const std::int64_t c1 = node.First->Count;
    const std::int64_t c2 = node.Second->Count;
    node.Count = c1 < 0 ? c2 : (c2 < 0 ? c1 : std::min(c1, c2));
    node.Cost = std::max<std::int64_t>(node.First->Cost, 0) +
                std::max<std::int64_t>(node.Second->Cost, 0);
    if (node.First->Cost < 0 && node.Second->Cost < 0) node.Cost = -1;
}

TCursorNavigation::TWalk TCursorNavigation::TryEstimate(int index,
                                                        std::span<const std::uint8_t> low,
                                                        std::span<const std::uint8_t> high,
                                                        std::int64_t& count) {
    // Two descents: the interior counts give each key's place in the index.
    const std::size_t length = IndexKeyLength(index);
    TDescent from;
    TDescent to;
    if (Descend(index, low.first(length), true, false, from) == TWalk::Restart ||
        Descend(index, high.first(length), true, true, to) == TWalk::Restart)
        return TWalk::Restart;
    count = std::max<std::int64_t>(0, std::int64_t{to.LogicalPos} - from.LogicalPos + 1);
    return TWalk::Done;
}

// ---- keys of a comparison ------------------------------------------------------------------

void TCursorNavigation::ComparisonKeys(const TFilterNode& node, int index,
                                       std::span<std::uint8_t> low,
                                       std::span<std::uint8_t> high) const {
    const TIndexKeyLayout layout =
        TIndexKeyLayout::Make(FIndex->GetIndexDescriptor(index), index, FData->Fields(),
                              FData->Language(), FData->Sort(), FIndex->TableName());
    const TIndexKeyPart& part = layout.Parts.front();
    TIndexKeyBuilder builder(layout);
    std::size_t significant = 1;
    if (!node.Constant) {
        // The null tests: the presence byte alone, 0 without a value and 1
        // with one (in the stored, possibly inverted, form).
        builder.AppendNull();
    } else {
        if (part.Type == kFieldString)
            builder.AppendString(TextOf(*node.Constant));
        else
            builder.AppendStored(*node.Constant);
        significant = node.PartialLength > 0
                          ? std::min<std::size_t>(static_cast<std::size_t>(node.PartialLength),
                                                  static_cast<std::size_t>(part.KeySize)) +
                                1
                          : static_cast<std::size_t>(part.KeySize) + 1;
    }
    const auto key = builder.Key();
    std::copy(key.begin(), key.end(), low.begin());
    if (!node.Constant && node.Operator == TFilterOperator::NotEqual)
        low[0] = part.Inverted ? std::uint8_t{0xFE} : std::uint8_t{1};
    std::copy_n(low.begin(), key.size(), high.begin());
    FillKeyTail(layout, low, significant, false);
    FillKeyTail(layout, high, significant, true);
    // Whichever tail sorts first in this index (descending index or first
    // field) is the low key.
    if (CompareKeys(FIndex->KeyDescription(index), low.data(), high.data(), key.size()) > 0)
        std::swap_ranges(low.begin(), low.begin() + static_cast<std::ptrdiff_t>(key.size()),
                         high.begin());
}

// ---- evaluation on a record image ---------------------------------------------------------

bool TCursorNavigation::Accepts(const TFilter& filter, std::span<const std::uint8_t> image,
                                std::int32_t record) {
    if (filter.FTree) return NodeAccepts(*filter.FTree, image);
    return filter.FCallback(filter.FUserData, *this, image, record);
}

bool TCursorNavigation::NodeAccepts(const TFilterNode& node,
                                    std::span<const std::uint8_t> image) const {
    if (node.Kind == TFilterNode::TKind::And)
        return NodeAccepts(*node.First, image) && NodeAccepts(*node.Second, image);
    const TFieldDescriptor& field = FData->Fields()[static_cast<std::size_t>(node.FieldNo - 1)];
    std::vector<std::uint8_t> value(FieldValueSize(field));
    const bool blank = ReadFieldValue(field, image, value);
    // A field without a value matches only the null tests.
    if (!node.Constant) {
        if (node.Operator == TFilterOperator::Equal) return blank;
        if (node.Operator == TFilterOperator::NotEqual) return !blank;
        return false;
    }
    if (blank) return false;
    int order = 0;
    if (field.Type == kFieldString) {
        std::string_view a = TextOf(value);
        std::string_view b = TextOf(*node.Constant);
        if (node.PartialLength > 0) {
            const auto m = static_cast<std::size_t>(node.PartialLength);
            a = a.substr(0, m);
            b = b.substr(0, m);
        }
        order = LocaleCompare(FData->Language(), FData->Sort(), a, b, node.CaseInsensitive);
    } else {
        const auto x = ValueKeyForm(field, value);
        const auto y = ValueKeyForm(field, *node.Constant);
        order = BinaryCompare(x.data(), y.data(), x.size(), false);
    }
    return OperatorHolds(node.Operator, order);
}

}  // namespace pirin
