// TNavigationTestCursor: a TCursorNavigation on a fixture table's files
// opened directly through storage (TTableFiles), with the hooks the table
// cursor supplies done the simple way: the change check re-reads the three
// headers as the table's shared read lock does (without the lock bytes),
// counting calls, and errors name the fixture table. Verbs for the tests:
// Open (primary index, first record), Field values of the current record,
// Walk forwards or backwards collecting a field.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/cursor_navigation.h"
#include "engine/table_files.h"
#include "errors/engine_error.h"
#include "locale/char_map.h"
#include "locale/code_page.h"
#include "storage/record.h"
#include "tests/engine/table_fixture.h"

namespace pirin::testing {

// The engine error code `action` raises, 0 when it raises nothing.
inline int CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EPirinEngineError& error) {
        return error.ErrorCode;
    }
    return 0;
}

// Windows-1251 bytes of a Bulgarian text.
inline std::string Bg(std::u16string_view text) { return TCodePage::Of(1251).Encode(text); }

class TNavigationTestCursor final : public TCursorNavigation {
  public:
    explicit TNavigationTestCursor(const TFixtureTable& table)
        : FTable(table), FFiles(table.Location()) {
        FCurrent = FFiles.Data().RecordStack().Take(
            static_cast<std::size_t>(FFiles.Data().RecordSize()));
        if (FFiles.Data().Language() != 0)
            FMap = LanguageCharMapOf(FFiles.Data().Language(), FFiles.Data().Sort());
        AttachTable(FFiles.Data(), FFiles.Index(), FFiles.Blob(), *FCurrent);
        SelectIndex(kPrimaryIndex);
        First();
    }
    ~TNavigationTestCursor() override { DetachTable(); }

    TTableFiles& Files() noexcept { return FFiles; }
    TRecord& CurrentRecord() const noexcept { return Current(); }
    std::size_t RecordSize() { return static_cast<std::size_t>(FFiles.Data().RecordSize()); }

    // Strict: every operation checks up front and the caches never ask.
    void SetStrict(bool strict) {
        FStrict = strict;
        FFiles.Context().Strict = strict;
    }
    void SetNoLocks(bool noLocks) { FNoLocks = noLocks; }
    using TCursorNavigation::ApplyRange;
    using TCursorNavigation::DropRange;

    // A string field of the current record ("" when blank).
    std::string Text(const std::string& field) const {
        const auto match = FFiles.Data().FindField(field);
        EXPECT_TRUE(match.has_value()) << field;
        if (!match) return {};
        const auto image = Current().Image();
        if (image[match->Field.Offset] == 0) return {};
        const char* chars = reinterpret_cast<const char*>(image.data() + match->Field.Offset + 1);
        return std::string(chars, strnlen(chars, match->Field.StoredSize));
    }
    std::int32_t Integer(const std::string& field) const {
        const auto match = FFiles.Data().FindField(field);
        EXPECT_TRUE(match.has_value()) << field;
        if (!match) return 0;
        std::int32_t value = 0;
        std::memcpy(&value, Current().Image().data() + match->Field.Offset + 1, 4);
        return value;
    }
    // A record image holding `text` in string field `field` (for keys).
    std::vector<std::uint8_t> ImageWith(const std::string& field, const std::string& text) {
        std::vector<std::uint8_t> image(RecordSize(), 0);
        const auto match = FFiles.Data().FindField(field);
        EXPECT_TRUE(match.has_value()) << field;
        if (!match) return image;
        image[match->Field.Offset] = 1;
        std::memcpy(image.data() + match->Field.Offset + 1, text.data(),
                    std::min<std::size_t>(text.size(), match->Field.StoredSize - 1u));
        return image;
    }

    // From First: the field of every record GetNextRecord delivers.
    std::vector<std::string> WalkForward(const std::string& field) {
        First();
        std::vector<std::string> seen;
        while (GetNextRecord() == 0) seen.push_back(Text(field));
        return seen;
    }
    std::vector<std::string> WalkBackward(const std::string& field) {
        Last();
        std::vector<std::string> seen;
        while (GetPriorRecord() == 0) seen.push_back(Text(field));
        return seen;
    }

    // Counts the changes the caches' questions found.
    [[nodiscard]] bool CheckAndResync() override {
        const bool changed = TCursorNavigation::CheckAndResync();
        if (changed) ++Changes;
        return changed;
    }

    int Changes = 0;
    int BeginReads = 0;
    int EndReads = 0;
    int EditLocks = 0;

  protected:
    bool TakesNoLocks() const override { return FNoLocks; }
    bool StrictChangeDetection() const override { return FStrict; }
    bool BeginTableRead() override {
        ++BeginReads;
        // What the table's change check does once the read byte is held.
        if (FFiles.Index().IndexHeaderChanged()) {
            (void)FFiles.Data().HeaderChanged();
            FFiles.Data().DiscardRecords();
            return true;
        }
        if (FFiles.Data().HeaderChanged()) {
            FFiles.Data().DiscardRecords();
            return true;
        }
        return FFiles.Blob() != nullptr && FFiles.Blob()->BlobHeaderChanged();
    }
    void EndTableRead() override { ++EndReads; }
    std::array<std::uint32_t, 3> TableChangeCounters() const override {
        TTableFiles& files = FFiles;
        return {static_cast<std::uint32_t>(files.Data().Header().ChangeCounter()),
                static_cast<std::uint32_t>(files.Index().Header().ChangeCounter()),
                files.Blob() != nullptr
                    ? static_cast<std::uint32_t>(files.Blob()->Header().ChangeCounter())
                    : 0u};
    }
    void LockCurrentForEdit(std::span<const std::uint8_t> buffer) override {
        ++EditLocks;
        if (!Current().EqualsImage(buffer)) RaiseCursorError(PIRIN_KEYORRECDELETED);
    }
    [[noreturn]] void RaiseCursorError(std::uint16_t code, std::string_view extra = {}) const override {
        RaiseEngineError(code, {.database = FTable.Directory(), .table = FTable.Name(),
                                .index = extra});
    }
    const TLanguageCharMap* CharMap() const override { return FMap ? &*FMap : nullptr; }

  private:
    const TFixtureTable& FTable;
    mutable TTableFiles FFiles;
    std::unique_ptr<TRecord> FCurrent;
    std::optional<TLanguageCharMap> FMap;
    bool FStrict = false;
    bool FNoLocks = false;
};

}  // namespace pirin::testing
