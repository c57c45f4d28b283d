// TPirinTable: the table component. It names a table (TableName, with a
// folder part going to DatabaseName) and an index (IndexName, or the index
// of IndexFieldNames), opens an engine cursor on it through its database,
// positions by key (FindKey, or SetKey / field values / GotoKey; the
// Nearest forms for the first key at or above) and limits the view to a key
// range (SetRange, or SetRangeStart / SetRangeEnd / field values /
// ApplyRange).
//
// Ownership: the application owns the table; the table owns its cursor and
// buffers. Threads: the thread of its session. Failures: EDatabaseError
// with the fixed texts; engine errors pass through (10022 for an unknown
// index, 11010 for a missing table, 10498 for a declined password prompt).
// A failed open leaves the table closed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/pirin_dataset.h"

namespace pirin {

struct TIndexDef {
    std::string Name;
    std::string Fields;  // field names joined by ";"
    bool Primary = false;
    bool Unique = false;
    bool Descending = false;
    bool CaseInsensitive = false;
};

class TPirinTable : public TPirinDBDataSet {
  public:
    explicit TPirinTable(const void* owner = nullptr) : TPirinDBDataSet(owner) {}
    ~TPirinTable() override;

    std::string EngineVersion() const;
    void SetEngineVersion(std::string_view) {}
    const std::string& TableName() const noexcept { return FTableName; }
    void SetTableName(std::string_view value);
    bool Exclusive() const noexcept { return FExclusive; }
    void SetExclusive(bool value);
    // After opening: the effective read-only state.
    bool ReadOnly() const noexcept { return FReadOnly; }
    void SetReadOnly(bool value);
    std::string IndexName() const { return FFieldsIndex ? std::string() : FIndexName; }
    void SetIndexName(std::string_view value);
    std::string IndexFieldNames() const { return FFieldsIndex ? FIndexName : std::string(); }
    void SetIndexFieldNames(std::string_view value);
    const std::vector<TIndexDef>& IndexDefs();
    bool Exists();

    // ---- keys ----
    bool FindKey(const std::vector<TKeyValue>& values);
    // Edits the lookup key buffer: fields take key values until GotoKey or
    // GotoNearest. Fields assigned in the key buffer count up to the first
    // index field left null.
    void SetKey();
    bool GotoKey();
    // The first record whose key is at or above the values (the last record
    // when none is; the table stays where it is when it is empty).
    void FindNearest(const std::vector<TKeyValue>& values);
    void GotoNearest();

    // ---- ranges ----
    // SetRangeStart / SetRangeEnd edit the bound's key buffer as SetKey does
    // (a bound left without values is open); ApplyRange limits the view to
    // the keys between the bounds, both inclusive, a bound of fewer values
    // covering that prefix of the key, and goes to the first record.
    // CancelRange shows every record again. A range ends when the index
    // changes or the table closes.
    void SetRangeStart();
    void SetRangeEnd();
    void ApplyRange();
    void CancelRange();
    void SetRange(const std::vector<TKeyValue>& start, const std::vector<TKeyValue>& end);

  protected:
    std::unique_ptr<TDataCursor> CreateHandle() override;
    // The lookup cursor (pirin_table_lookup.cpp): a clone of the table's
    // cursor on an index that begins with the fields, kept for further
    // searches with the same fields and case option; none while a range is
    // set or when no index fits.
    TDataCursor* GetLookupCursor(std::string_view fieldNames, bool caseInsensitive) override;
    void FreeLookupCursor() override;
    void InternalRefresh() override;
    void NamesChanged() override { FIndexDefsValid = false; }

  private:
    // An open cursor on the table, standing on the first record of
    // `openIndex` (by name; "": the primary index).
    std::unique_ptr<TDataCursor> MakeCursor(bool exclusive, bool readOnly,
                                            std::string_view openIndex = {});
    // The index name to select: IndexName, or the index of the field names.
    std::string ResolvedIndexName();
    void SelectIndex(std::string_view value, bool fieldsMode);
    void SetKeyFields(TKeyIndex key, const std::vector<TKeyValue>& values);
    // Enters the set-key state on a cleared key buffer.
    void EditKey(TKeyIndex key);
    // Leaves the set-key state, counting the leading index fields assigned.
    void EndKeyEdit();
    // Searches the lookup key; true when a record with it exists. The record
    // the cursor then stands on goes into SearchBuffer().
    bool SearchKey(bool nearest);
    void RefreshIndexDefs();
    // The name of an ascending index whose fields are the names, or begin
    // with them; nothing when there is none.
    std::optional<std::string> IndexForFields(std::string_view fieldNames, bool caseInsensitive);

    std::string FTableName;
    bool FExclusive = false;
    bool FReadOnly = false;
    std::string FIndexName;
    bool FFieldsIndex = false;
    TKeyIndex FEditingKey = TKeyIndex::Lookup;
    std::vector<TIndexDef> FIndexDefs;
    bool FIndexDefsValid = false;
    // The last lookup cursor asked for (possibly none) and what for.
    std::unique_ptr<TDataCursor> FLookupCursor;
    bool FLookupAsked = false;
    std::string FLookupFields;
    bool FLookupCaseInsensitive = false;
    // The built search key (kept: a search allocates nothing).
    std::vector<std::uint8_t> FSearchKey;
};

}  // namespace pirin
