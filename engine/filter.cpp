// TFilterNode factories and copies, and TFilter construction.
#include "engine/filter.h"

namespace pirin {

std::unique_ptr<TFilterNode> TFilterNode::Compare(int fieldNo, TFilterOperator op,
                                                  std::optional<std::vector<std::uint8_t>> constant,
                                                  bool caseInsensitive, int partialLength) {
    auto node = std::make_unique<TFilterNode>();
    node->Kind = TKind::Comparison;
    node->FieldNo = fieldNo;
    node->Operator = op;
    node->Constant = std::move(constant);
    node->CaseInsensitive = caseInsensitive;
    node->PartialLength = partialLength;
    return node;
}

std::unique_ptr<TFilterNode> TFilterNode::CompareText(int fieldNo, TFilterOperator op,
                                                      std::string_view text, bool caseInsensitive,
                                                      int partialLength) {
    // An empty text asks for a field without a value, as a null does.
    std::optional<std::vector<std::uint8_t>> constant;
    if (!text.empty()) constant.emplace(text.begin(), text.end());
    return Compare(fieldNo, op, std::move(constant), caseInsensitive, partialLength);
}

std::unique_ptr<TFilterNode> TFilterNode::And(std::unique_ptr<TFilterNode> first,
                                              std::unique_ptr<TFilterNode> second) {
    auto node = std::make_unique<TFilterNode>();
    node->Kind = TKind::And;
    node->First = std::move(first);
    node->Second = std::move(second);
    return node;
}

std::unique_ptr<TFilterNode> TFilterNode::Clone() const {
    auto node = std::make_unique<TFilterNode>();
    node->Kind = Kind;
    node->FieldNo = FieldNo;
    node->Operator = Operator;
    node->Constant = Constant;
    node->CaseInsensitive = CaseInsensitive;
    node->PartialLength = PartialLength;
    if (First) node->First = First->Clone();
    if (Second) node->Second = Second->Clone();
    node->Level = Level;
    node->Count = Count;
    node->Cost = Cost;
    return node;
}

TFilter::TFilter(TCursorNavigation& cursor, std::unique_ptr<TFilterNode> tree,
                 TFilterOptions options)
    : FCursor(cursor), FTree(std::move(tree)), FOptions(options) {}

TFilter::TFilter(TCursorNavigation& cursor, void* userData, TFilterCallback callback,
                 TFilterOptions options)
    : FCursor(cursor), FCallback(std::move(callback)), FUserData(userData), FOptions(options) {}

}  // namespace pirin
