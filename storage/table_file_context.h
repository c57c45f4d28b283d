// What the three files of a table (data, index and BLOB file) need to know
// of the table and session that own them: whether a transaction is open, how
// changes by other processes are detected, the cache budgets, and the
// table-wide "written since open" flag. The engine's shared table object
// implements it; TPlainTableContext is a settable implementation for tools and
// tests that use table files without an engine session.
//
// A fetch that may read from disk is given the cursor that asks (a
// TChangeCheck), so the cache can ask it whether another process changed the
// table before it reads. nullptr means nobody to ask: read straight away.
//
// Threads: used by the thread that uses the table's cursors.
#pragma once

#include "storage/unit_cache_params.h"

namespace pirin {

class TChangeCheck {
  public:
    virtual ~TChangeCheck() = default;
    // True when another process changed the table: the caches have been
    // emptied and the cursor stands again on its bookmark, so the caller
    // starts its operation over.
    [[nodiscard]] virtual bool CheckAndResync() = 0;
};

class TTableFileContext {
  public:
    virtual ~TTableFileContext() = default;
    virtual bool InTransaction() const = 0;
    // With strict change detection cursors check up front, and the caches
    // never ask before reading.
    virtual bool StrictChangeDetection() const = 0;
    virtual bool WrittenSinceOpen() const = 0;
    virtual void SetWrittenSinceOpen() = 0;
    // Flush files after writing descriptors and at commit.
    virtual bool ForceFlush() const = 0;
    virtual TCacheBudgets CacheBudgets() const = 0;
    // Without a primary index deleted slots are never reused.
    virtual bool HasPrimaryIndex() const = 0;
};

class TPlainTableContext final : public TTableFileContext {
  public:
    bool InTransaction() const override { return Transaction; }
    bool StrictChangeDetection() const override { return Strict; }
    bool WrittenSinceOpen() const override { return Written; }
    void SetWrittenSinceOpen() override { Written = true; }
    bool ForceFlush() const override { return Flush; }
    TCacheBudgets CacheBudgets() const override { return Budgets; }
    bool HasPrimaryIndex() const override { return PrimaryIndex; }

    bool Transaction = false;
    bool Strict = false;
    bool Written = false;
    bool Flush = false;
    bool PrimaryIndex = true;
    TCacheBudgets Budgets;
};

}  // namespace pirin
