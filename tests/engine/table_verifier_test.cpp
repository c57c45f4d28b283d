// The whole-table verifier: a sound fixture table passes (see the creation
// tests); each kind of damage, made at file level, is reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "engine/table_files.h"
#include "storage/index_key_builder.h"
#include "storage/index_key_layout.h"
#include "storage/index_tree.h"
#include "storage/little_endian.h"
#include "tests/engine/table_fixture.h"

namespace pirin::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

using TBytes = std::vector<std::uint8_t>;

TTableDefinition Words() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20), Field("Memo", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}}},
            .BlobBlockSize = 40};
}

TBytes Image(TTableFiles& files, std::int32_t slot) {
    TRecordPin pin = files.Data().FetchRecord(nullptr, slot);
    return {pin->Image().begin(), pin->Image().end()};
}

void Rewrite(TTableFiles& files, std::int32_t slot, const TBytes& image) {
    TRecordPin pin = files.Data().FetchRecord(nullptr, slot);
    pin->CopyFields(image);
}

TBytes KeyOf(TTableFiles& files, int index, std::int32_t slot) {
    const TIndexKeyLayout layout = TIndexKeyLayout::Make(files.Index().GetIndexDescriptor(index),
                                                         index, files.Data().Fields(), 0, 0);
    return RecordKey(layout, Image(files, slot));
}

std::uint16_t MemoOffset(TTableFiles& files) { return files.Data().Fields()[2].Offset; }

void Truncate(TFileHandler& file, std::int64_t length) {
    TFileEnterGuard entered(file);
    file.SeekTo(0, length);
    file.WriteBytes(nullptr, 0);
}

void Scribble(TFileHandler& file, std::uint64_t offset, std::size_t count) {
    TBytes noise(count);
    for (std::size_t i = 0; i < count; ++i) noise[i] = static_cast<std::uint8_t>(i * 7919 + 13);
    file.WriteAt(offset, noise.data(), noise.size());
}

struct TDamage {
    const char* What;
    std::function<void(TTableFiles&)> Make;
    const char* Expected;
};

TEST(TableVerifier, ReportsEachKindOfDamage) {
    const TDamage damages[] = {
        {"a missing secondary key",
         [](TTableFiles& f) { TIndexTree(f.Index(), 1).Delete(KeyOf(f, 1, 2), 2); },
         "index 1 (ByWord): record 2 has no key"},
        {"a key for a slot not in use",
         [](TTableFiles& f) { TIndexTree(f.Index(), 1).Insert(KeyOf(f, 1, 1), 4); },
         "index 1 (ByWord): a key for record 4, which is not an active record"},
        {"a second key for a record",
         [](TTableFiles& f) { TIndexTree(f.Index(), 0).Insert(KeyOf(f, 0, 1), 1); },
         "index 0: record 1 has two keys"},
        {"a record changed without its key",
         [](TTableFiles& f) {
             TBytes image = Image(f, 3);
             image[f.Data().Fields()[1].Offset + 1u] = 'Z';
             Rewrite(f, 3, image);
         },
         "index 1 (ByWord): record 3 has a key that does not match its values"},
        {"a unique key held twice",
         [](TTableFiles& f) {
             // Record 2 takes record 1's id, in the record and in the primary index.
             TIndexTree(f.Index(), 0).Delete(KeyOf(f, 0, 2), 2);
             TBytes image = Image(f, 2);
             const TBytes other = Image(f, 1);
             std::copy_n(other.begin() + kFirstFieldOffset, 5, image.begin() + kFirstFieldOffset);
             Rewrite(f, 2, image);
             TIndexTree(f.Index(), 0).Insert(KeyOf(f, 0, 2), 2);
         },
         "index 0: records 1 and 2 share a key of a unique index"},
        {"a missing key in index 31",
         [](TTableFiles& f) {
             const auto key = DeletedIndexKey(Image(f, 4));
             TIndexTree(f.Index(), kDeletedIndex).Delete(TBytes(key.begin(), key.end()), 4);
         },
         "index 31 (Sys Deleted): record 4 has no key"},
        {"a wrong record count", [](TTableFiles& f) { f.Index().IncrementRecordCount(); },
         "data file: 4 active records, the index header counts 5"},
        {"a free chain that starts at a record in use",
         [](TTableFiles& f) {
             const std::int32_t one = 1;
             f.Data().WriteAt(9, &one, sizeof one);
         },
         "data file: free chain holds slot 1, which is not deleted"},
        {"a deleted slot outside the free chain",
         [](TTableFiles& f) {
             const std::int32_t none = 0;
             f.Data().WriteAt(9, &none, sizeof none);
         },
         "data file: deleted slot 4 is not in the free chain"},
        {"a block stamped for another value",
         [](TTableFiles& f) {
             const std::int32_t first = le::GetI32(Image(f, 1), MemoOffset(f) + 1u);
             TBlockPin block = f.Blob()->FetchBlock(nullptr, first);
             block->SetOwnerStamp(block->OwnerStamp() + 100);
         },
         "carries stamp"},
        {"two records sharing a chain",
         [](TTableFiles& f) {
             TBytes image = Image(f, 2);
             const TBytes other = Image(f, 1);
             std::copy_n(other.begin() + MemoOffset(f), 9, image.begin() + MemoOffset(f));
             Rewrite(f, 2, image);
         },
         "is also in slot 1 field Memo"},
        {"a chain whose first block lost its length",
         [](TTableFiles& f) {
             const std::int32_t first = le::GetI32(Image(f, 3), MemoOffset(f) + 1u);
             TBlockPin block = f.Blob()->FetchBlock(nullptr, first);
             block->SetTotalLength(block->TotalLength() - 1);
         },
         "slot 3 field Memo has length"},
        {"blocks lost outside every chain",
         [](TTableFiles& f) {
             const std::int32_t none = 0;
             f.Blob()->WriteAt(9, &none, sizeof none);
         },
         "blocks are in no chain and not free"},
        {"an index file cut short", [](TTableFiles& f) { Truncate(f.Index(), kIndexPageSize * 2); },
         "page 2: cannot be read: Pirin Engine Error # 9217"},
        {"an index page overwritten",
         [](TTableFiles& f) { Scribble(f.Index(), kIndexPageSize * 2, kIndexPageSize); },
         "page 2: cannot be read: Pirin Engine Error # 8965"},
        {"a BLOB file cut short", [](TTableFiles& f) { Truncate(*f.Blob(), 600); },
         "BLOB file: Pirin Engine Error # 8961"},
        {"BLOB blocks overwritten", [](TTableFiles& f) { Scribble(*f.Blob(), 512, 200); },
         "slot 1 field Memo links to block -1767393079 outside the file"},
    };
    for (const TDamage& damage : damages) {
        TFixtureTable table(Words());
        table.Append({1, "one", std::string(100, 'a')});
        table.Append({2, "two", "short"});
        table.Append({3, "three", std::string(70, 'c')});
        table.Append({4, "four", std::string(90, 'd')});
        table.Append({5, "five", "x"});
        table.Delete(4);
        ASSERT_THAT(table.Verify(), IsEmpty());
        {
            TTableFiles files(table.Location());
            damage.Make(files);
            files.WriteAll();
        }
        const std::vector<std::string> problems = table.Verify();
        EXPECT_THAT(problems, ::testing::Contains(HasSubstr(damage.Expected))) << damage.What;
    }
}

TEST(TableVerifier, ReportsAFileThatFailsItsStructureCheck) {
    TFixtureTable table({.Fields = {Field("Id", "INTEGER")}});
    table.Append({1});
    {
        TTableFiles files(table.Location());
        const std::uint8_t extra = 0;
        files.Data().WriteAt(static_cast<std::uint64_t>(files.Data().FileLength()), &extra, 1);
    }
    const std::vector<std::string> problems = table.Verify();
    ASSERT_FALSE(problems.empty());
    EXPECT_THAT(problems.front(), HasSubstr("data file: "));
}

// A header that claims far more slots than the file holds is reported; the
// verifier must not size its slot list from the claim.
TEST(TableVerifier, ReportsARecordCountPastTheFileEnd) {
    TFixtureTable table({.Fields = {Field("Id", "INTEGER")}});
    table.Append({1});
    {
        TTableFiles files(table.Location());
        const std::int32_t huge = 100'000'000;  // within the header's own limits
        files.Data().WriteAt(13, &huge, sizeof huge);
    }
    const std::vector<std::string> problems = table.Verify();
    ASSERT_FALSE(problems.empty());
    EXPECT_THAT(problems.front(), HasSubstr("data file: "));
}

}  // namespace
}  // namespace pirin::testing
