// TRecordIndexes::Describes, which every write asks before it trusts the
// layouts it resolved once: a descriptor changed in this process or by
// another writer (seen through a header read) is noticed, also after earlier
// checks passed, while a change that leaves the layouts alone (a root page
// moving) is not taken for one.
#include "engine/index_maintenance.h"

#include <gtest/gtest.h>

#include "engine/table_files.h"
#include "tests/engine/table_fixture.h"

namespace pirin::testing {
namespace {

TTableDefinition WordsDefinition() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20)},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .CaseInsensitive = true}},
            .Language = 1026};
}

constexpr int kByWord = 1;

TIndexDescriptor WithCaseFlipped(const TIndexFile& index) {
    TIndexDescriptor changed = index.GetIndexDescriptor(kByWord);
    changed.CaseInsensitive = !changed.CaseInsensitive;
    return changed;
}

TEST(RecordIndexes, DescribesFollowsTheDescriptorsAfterEarlierChecksPassed) {
    TFixtureTable table(WordsDefinition());
    TTableFiles files(table.Location());
    TIndexFile& index = files.Index();
    TRecordIndexes indexes(files.Data(), index, table.Name());
    const auto describes = [&] { return indexes.Describes(files.Data(), index); };
    ASSERT_TRUE(describes());

    index.SetRootPage(kByWord, index.RootPage(kByWord));
    EXPECT_TRUE(describes());
    EXPECT_TRUE(describes());

    index.SetIndexDescriptor(kByWord, WithCaseFlipped(index));
    EXPECT_FALSE(describes());
    EXPECT_FALSE(describes());
    // Read again, the header on disk has the index as it was made.
    index.ReadIndexHeader();
    EXPECT_TRUE(describes());
}

TEST(RecordIndexes, DescribesNoticesADescriptorAnotherWriterChanged) {
    TFixtureTable table(WordsDefinition());
    TTableFiles files(table.Location());
    TRecordIndexes indexes(files.Data(), files.Index(), table.Name());
    ASSERT_TRUE(indexes.Describes(files.Data(), files.Index()));
    {
        TTableFiles other(table.Location());
        other.Index().SetIndexDescriptor(kByWord, WithCaseFlipped(other.Index()));
        other.WriteAll();
    }
    files.Index().ReadIndexHeader();
    EXPECT_FALSE(indexes.Describes(files.Data(), files.Index()));
}

}  // namespace
}  // namespace pirin::testing
