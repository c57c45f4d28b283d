// The dataset's filters (Filter with FilterOptions, OnFilterRecord,
// Filtered) as filters of its engine cursor, and the find operations that
// apply them for one search.
#include "errors/database_error.h"
#include "tables/filter_text.h"
#include "tables/pirin_dataset.h"

namespace pirin {

void TPirinDataSet::SetFilter(std::string_view text) {
    if (text == FFilterText) return;
    std::string saved = std::exchange(FFilterText, std::string(text));
    RebuildExpressionFilter([&] { FFilterText = std::move(saved); });
}

void TPirinDataSet::SetFilterOptions(TFilterOptionSet options) {
    const TFilterOptionSet saved = std::exchange(FFilterOptions, options);
    RebuildExpressionFilter([&] { FFilterOptions = saved; });
}

void TPirinDataSet::RebuildExpressionFilter(const std::function<void()>& undo) {
    if (!Active()) return;
    try {
        CheckBrowseMode();
        CreateExpressionFilter();
    } catch (...) {
        undo();
        throw;
    }
    FiltersChanged(FFiltered);
}

void TPirinDataSet::SetOnFilterRecord(TFilterRecordEvent event) {
    FOnFilterRecord = std::move(event);
    if (!Active()) return;
    CheckBrowseMode();
    CreateCallbackFilter();
    FiltersChanged(FFiltered);
}

void TPirinDataSet::SetFiltered(bool value) {
    if (value == FFiltered) return;
    if (Active()) CheckBrowseMode();
    FFiltered = value;
    if (!Active()) return;
    ActivateFilters(value);
    FiltersChanged(true);
}

void TPirinDataSet::FiltersChanged(bool toStart) {
    FreeLookupCursor();
    if (toStart) First();
}

void TPirinDataSet::CreateExpressionFilter() {
    // Built whole before the old filter goes, so a bad text changes nothing.
    std::unique_ptr<TFilterNode> tree;
    if (!FFilterText.empty()) {
        const auto terms = ParseFilterText(FFilterText);
        if (!terms) FCursor->CheckError(PIRIN_INVALIDFILTER);
        for (const TFilterTerm& term : *terms) {
            TField& field = FieldByName(term.FieldName);
            const auto* text = std::get_if<std::string>(&term.Value);
            // A text ending in "*" matches the values that begin with the rest.
            const bool partial = !FFilterOptions.NoPartialCompare && text != nullptr && text->size() > 1 &&
                                 text->back() == '*' && field.DataType() == TFieldType::String;
            InFilterState(FSearchRecord, [&] {
                FCursor->BlankRecord(FSearchRecord);
                if (partial)
                    field.SetAsString(std::string_view(*text).substr(0, text->size() - 1));
                else
                    AssignValue(field, term.Value);
            });
            auto node = ComparisonNode(field, term.Operator, FFilterOptions.CaseInsensitive, partial);
            tree = tree ? TFilterNode::And(std::move(tree), std::move(node)) : std::move(node);
        }
    }
    if (FExpressionFilter != nullptr) FCursor->RemoveFilter(std::exchange(FExpressionFilter, nullptr));
    if (!tree) return;
    FExpressionFilter = &FCursor->AddFilter(std::move(tree));
    if (FFiltered) FCursor->ActivateFilter(FExpressionFilter);
}

void TPirinDataSet::CreateCallbackFilter() {
    if (FCallbackFilter != nullptr) FCursor->RemoveFilter(std::exchange(FCallbackFilter, nullptr));
    if (!FOnFilterRecord) return;
    FCallbackFilter = &FCursor->AddFilter(this, &TPirinDataSet::AcceptRecord);
    if (FFiltered) FCursor->ActivateFilter(FCallbackFilter);
}

void TPirinDataSet::ActivateFilters(bool on) {
    for (TFilter* filter : {FExpressionFilter, FCallbackFilter}) {
        if (filter == nullptr || filter->Active() == on) continue;
        if (on)
            FCursor->ActivateFilter(filter);
        else
            FCursor->DeactivateFilter(filter);
    }
}

bool TPirinDataSet::AcceptRecord(void* self, TCursorNavigation&, std::span<const std::uint8_t> image,
                                 std::int32_t) {
    auto& dataSet = *static_cast<TPirinDataSet*>(self);
    if (!dataSet.FOnFilterRecord) return true;
    // The event reads the candidate through the field objects.
    dataSet.FCandidate.assign(image.begin(), image.begin() + dataSet.FRecordSize);
    bool accept = true;
    dataSet.InFilterState(dataSet.FCandidate, [&] {
        try {
            dataSet.FOnFilterRecord(dataSet, accept);
        } catch (...) {
            if (!dataSet.OnFilterException) throw;
            dataSet.OnFilterException(std::current_exception());
        }
    });
    return accept;
}

bool TPirinDataSet::FindRecord(bool restart, bool forward) {
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    if (HasRecord()) InternalSetToRecord(ActiveBuffer());
    const bool temporary = !FFiltered;
    std::uint16_t code = 0;
    try {
        if (temporary) ActivateFilters(true);
        if (forward) {
            if (restart) FCursor->First();
            code = FCursor->GetNextRecord();
        } else {
            if (restart) FCursor->Last();
            code = FCursor->GetPriorRecord();
        }
    } catch (...) {
        if (temporary) ActivateFilters(false);
        throw;
    }
    if (temporary) ActivateFilters(false);
    if (code != 0) return false;
    ResyncToCursor();
    Fire(AfterScroll);
    return true;
}

}  // namespace pirin
