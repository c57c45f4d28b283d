// Filters of a table cursor: TFilterNode, a condition tree of comparisons of
// one field with one constant joined by AND, and TFilter, one filter of a
// cursor's list (a condition tree or a callback, its flags, and the bitmap of
// the records that satisfy it). The cursor (cursor_navigation.h) owns its
// filters, builds their bitmaps and combines them into its view.
//
// A comparison's constant is given in the field's value form (field_access.h:
// a string's characters, other types their stored bytes) or is null; an
// empty text constant on a string field is a null constant, so that both ask
// for the records whose field has no value.
//
// Analysis results (level, estimated count and cost) are written into the
// nodes by the cursor when the filter is added: level 2 means an index
// answers the whole node, 0 that it is evaluated by reading records, 1 a
// mix; count and cost are -1 when not estimated.
//
// Ownership: a TFilter owns its tree and its bitmap (from the bitmap pool);
// the cursor's list owns the filters. Threads: the cursor's thread.
// Failures: the factories raise nothing; evaluation errors are the cursor's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/records_bitmap.h"

namespace pirin {

class TCursorNavigation;

enum class TFilterOperator : std::uint8_t { Equal, NotEqual, Below, Above, AtMost, AtLeast };

struct TFilterNode {
    enum class TKind : std::uint8_t { Comparison, And };

    TKind Kind = TKind::Comparison;

    // Comparison: field number (1-based), operator, constant (nullopt: null),
    // case option, and partial length (0 the whole value, m > 0 only the
    // first m characters of a string).
    int FieldNo = 0;
    TFilterOperator Operator = TFilterOperator::Equal;
    std::optional<std::vector<std::uint8_t>> Constant;
    bool CaseInsensitive = false;
    int PartialLength = 0;

    // AND: both sides.
    std::unique_ptr<TFilterNode> First;
    std::unique_ptr<TFilterNode> Second;

    // Analysis (by the cursor).
    int Level = 0;
    std::int64_t Count = -1;
    std::int64_t Cost = -1;

    // A comparison with a constant in the field's value form.
    static std::unique_ptr<TFilterNode> Compare(int fieldNo, TFilterOperator op,
                                                std::optional<std::vector<std::uint8_t>> constant,
                                                bool caseInsensitive = false,
                                                int partialLength = 0);
    // A comparison with a text constant (for string fields).
    static std::unique_ptr<TFilterNode> CompareText(int fieldNo, TFilterOperator op,
                                                    std::string_view text,
                                                    bool caseInsensitive = false,
                                                    int partialLength = 0);
    static std::unique_ptr<TFilterNode> And(std::unique_ptr<TFilterNode> first,
                                            std::unique_ptr<TFilterNode> second);
    // A deep copy, analysis results included.
    std::unique_ptr<TFilterNode> Clone() const;
};

// Returns whether the record (image, record number) is accepted.
using TFilterCallback = std::function<bool(void* userData, TCursorNavigation& cursor,
                                           std::span<const std::uint8_t> image,
                                           std::int32_t record)>;

struct TFilterOptions {
    // Count the index entries of each comparison when the filter is added.
    bool EstimateCounts = true;
    // May evaluate a wide index range through its complement (kept for
    // copies; the cursor evaluates every range directly).
    bool Complement = true;
    // Evaluated after the others, only on the records they accept.
    bool AfterOthers = false;
};

class TFilter {
  public:
    enum class TKind : std::uint8_t { Callback, Condition };

    TFilter(TCursorNavigation& cursor, std::unique_ptr<TFilterNode> tree, TFilterOptions options);
    TFilter(TCursorNavigation& cursor, void* userData, TFilterCallback callback,
            TFilterOptions options);
    TFilter(const TFilter&) = delete;
    TFilter& operator=(const TFilter&) = delete;

    TCursorNavigation& Cursor() const noexcept { return FCursor; }
    TKind Kind() const noexcept { return FTree ? TKind::Condition : TKind::Callback; }
    TFilterNode* Tree() const noexcept { return FTree.get(); }
    const TFilterCallback& Callback() const noexcept { return FCallback; }
    void* UserData() const noexcept { return FUserData; }
    const TFilterOptions& Options() const noexcept { return FOptions; }
    // The root's level (0 for a callback filter).
    int Level() const noexcept { return FTree ? FTree->Level : 0; }
    bool Active() const noexcept { return FActive; }
    TRecordsBitmap& Bitmap() const noexcept { return *FBitmap; }

  private:
    friend class TCursorNavigation;

    TCursorNavigation& FCursor;
    std::unique_ptr<TFilterNode> FTree;
    TFilterCallback FCallback;
    void* FUserData = nullptr;
    TFilterOptions FOptions;
    bool FActive = false;
    TPooledBitmap FBitmap;
};

}  // namespace pirin
