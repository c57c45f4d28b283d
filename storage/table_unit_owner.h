// TTableUnitOwner: the part of a unit cache's owner that every table file
// answers the same way, from its file handler and its table's context:
// positioned reads and writes through the handler, transactions, short reads,
// the written-since-open flag, change detection, the corrupt code and the
// table's name. Each table file derives a small owner from it that adds the
// unit geometry and the scrambling of its own units, and keeps it as a member,
// so that the cache's callbacks stay out of the file's public interface.
//
// The cursor that a fetch may ask about changes by other processes is set
// for one fetch with TAskingScope.
//
// Ownership: refers to its file and context, which outlive it.
// Threads: the thread that uses the table's cursors.
#pragma once

#include <string>

#include "storage/file_handler.h"
#include "storage/table_file_context.h"
#include "storage/unit_cache_owner.h"

namespace pirin {

class TTableUnitOwner : public TUnitCacheOwner {
  public:
    TTableUnitOwner(TFileHandler& file, TTableFileContext& context, std::uint16_t corruptCode)
        : FFile(file), FContext(context), FCorruptCode(corruptCode) {}

    std::size_t ReadUnits(std::uint64_t offset, std::span<std::uint8_t> buffer,
                          bool allowShort) override;
    void ReadUnitsBatch(std::span<TReadRequest> requests, bool allowShort) override;
    void WriteUnits(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
    bool InTransaction() const override { return FContext.InTransaction(); }
    // The file may be shorter than the cache only when this process wrote to
    // it since opening, exclusively or inside a transaction.
    bool ShortReadsAllowed() const override;
    void SetWrittenSinceOpen() override { FContext.SetWrittenSinceOpen(); }
    bool StrictChangeDetection() const override { return FContext.StrictChangeDetection(); }
    [[nodiscard]] bool CheckAndResync() override;
    std::uint16_t CorruptCode() const override { return FCorruptCode; }
    // Valid until the next call.
    std::string_view TableName() const override;

    // Sets the cursor the cache may ask, for one scope (nullptr: nobody).
    class TAskingScope {
      public:
        TAskingScope(TTableUnitOwner& owner, TChangeCheck* cursor)
            : FOwner(owner), FPrevious(owner.FAsking) {
            FOwner.FAsking = cursor;
        }
        ~TAskingScope() { FOwner.FAsking = FPrevious; }
        TAskingScope(const TAskingScope&) = delete;
        TAskingScope& operator=(const TAskingScope&) = delete;

      private:
        TTableUnitOwner& FOwner;
        TChangeCheck* FPrevious;
    };

  protected:
    TFileHandler& FFile;
    TTableFileContext& FContext;

  private:
    std::uint16_t FCorruptCode;
    TChangeCheck* FAsking = nullptr;
    mutable std::string FName;  // keeps the view TableName returns alive
};

}  // namespace pirin
