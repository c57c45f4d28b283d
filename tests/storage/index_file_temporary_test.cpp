// Temporary indexes: pages in a page file of their own, descriptors never
// written, indexes added after them kept, header rereads survived, and the
// page file deleted when they are dropped.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/storage/index_tree_test_support.h"

namespace pirin::index_test {
namespace {

using pirin::testing::TScratchFolder;

std::vector<std::pair<Bytes, std::int32_t>> FillIndex(TIndexFile& file, int index, int first,
                                                      int last, TShape shape = TShape::Word) {
    TIndexTree tree(file, index);
    std::vector<std::pair<Bytes, std::int32_t>> expected;
    for (int v = first; v <= last; ++v) {
        const Bytes key = ShapeKey(shape, v, true, 0);
        tree.Insert(key, v);
        expected.emplace_back(key, v);
    }
    std::sort(expected.begin(), expected.end());
    return expected;
}

TEST(IndexFileTemporary, PagesLiveInTheirOwnFileAndTheIndexIsNeverWritten) {
    TScratchFolder folder;
    TIndexTable table;
    table.File.SetPrivateDirectory(folder.Path().string());
    const auto fields = Schema();
    ASSERT_EQ(table.File.AddIndex(Describe("A", {2}), fields), 1);
    TIndexDescriptor temporary = Describe("T", {2});
    temporary.Temporary = true;
    ASSERT_EQ(table.File.AddIndex(temporary, fields), 2);
    ASSERT_EQ(table.File.AddIndex(Describe("B", {2}), fields), 3);
    EXPECT_TRUE(table.File.IsTemporary(2));
    const std::string pageFile = table.File.TemporaryFileName();
    ASSERT_FALSE(pageFile.empty());
    EXPECT_EQ(std::filesystem::path(pageFile).parent_path(), folder.Path());
    const std::string stem = std::filesystem::path(pageFile).filename().string();
    EXPECT_EQ(stem.substr(stem.size() - 5), "0.IDX");
    EXPECT_LE(stem.size(), 5u + 5u);

    const auto a = FillIndex(table.File, 1, 1000, 1300);
    const auto t = FillIndex(table.File, 2, 2000, 2600);
    const auto b = FillIndex(table.File, 3, 3000, 3300);
    const std::int32_t mainPages = table.File.LastPageNumber();
    const std::int32_t temporaryPages = table.File.LastPageNumber(2);
    EXPECT_GT(temporaryPages, 3);
    EXPECT_EQ(table.File.WritePages(true), 1u);  // pages 1.. of the page file: one run
    EXPECT_EQ(std::filesystem::file_size(pageFile), 4096u * static_cast<unsigned>(temporaryPages));
    EXPECT_EQ(RawBytes(table.Name).size(), 4096u);  // nothing of the others yet
    (void)table.File.WritePages(false);
    (void)table.File.WriteIndexHeader();
    EXPECT_EQ(RawBytes(table.Name).size(), 4096u * (1 + static_cast<unsigned>(mainPages)));
    EXPECT_EQ(TIndexVerifier(table.File).Run(), std::vector<std::string>{});

    // Another process sees A and B as indexes 1 and 2, and nothing of T.
    {
        TPlainTableContext context;
        TIndexFile other(context, table.Name);
        other.SetInMemory(true);
        other.OpenFile();
        ASSERT_EQ(other.SecondaryIndexCount(), 2);
        EXPECT_EQ(other.GetIndexDescriptor(2).Name, "B");
        EXPECT_NO_THROW(other.CheckIndexHeader(fields));
        TIndexTree tree(other, 2);
        EXPECT_EQ(Walk(tree), b);
        EXPECT_EQ(TIndexVerifier(other).Run(), std::vector<std::string>{});
        // ... and writes the header: this process keeps T after rereading.
        other.TouchIndexHeader();
        (void)other.WriteIndexHeader();
    }
    ASSERT_TRUE(table.File.IndexHeaderChanged());
    ASSERT_EQ(table.File.SecondaryIndexCount(), 3);
    EXPECT_EQ(table.File.GetIndexDescriptor(2).Name, "B");
    EXPECT_EQ(table.File.GetIndexDescriptor(3).Name, "T");
    EXPECT_TRUE(table.File.IsTemporary(3));
    {
        TIndexTree tree(table.File, 3);
        EXPECT_EQ(Walk(tree), t);
        TIndexTree tree1(table.File, 1);
        EXPECT_EQ(Walk(tree1), a);
    }
    EXPECT_EQ(TIndexVerifier(table.File).Run(), std::vector<std::string>{});

    table.File.DropTemporaryIndexes();
    EXPECT_FALSE(std::filesystem::exists(pageFile));
    EXPECT_EQ(table.File.SecondaryIndexCount(), 2);
    EXPECT_FALSE(table.File.IsTemporary(3));
    TIndexTree tree(table.File, 2);
    EXPECT_EQ(Walk(tree), b);
    EXPECT_EQ(TIndexVerifier(table.File).Run(), std::vector<std::string>{});
}

TEST(IndexFileTemporary, DroppingClosesTheGapAndClosingDeletesThePageFile) {
    TScratchFolder folder;
    TIndexTable table;
    table.File.SetPrivateDirectory(folder.Path().string());
    const auto fields = Schema();
    TIndexDescriptor temporary = Describe("T", {1});
    temporary.Temporary = true;
    ASSERT_EQ(table.File.AddIndex(temporary, fields), 1);
    ASSERT_EQ(table.File.AddIndex(Describe("B", {2}), fields), 2);
    const auto b = FillIndex(table.File, 2, 1, 400);
    (void)FillIndex(table.File, 1, 1, 400, TShape::Int);
    const std::string pageFile = table.File.TemporaryFileName();
    EXPECT_TRUE(std::filesystem::exists(pageFile));
    table.File.DropTemporaryIndexes();
    ASSERT_EQ(table.File.SecondaryIndexCount(), 1);
    EXPECT_EQ(table.File.GetIndexDescriptor(1).Name, "B");
    TIndexTree tree(table.File, 1);
    EXPECT_EQ(Walk(tree), b);

    // A second temporary index gets a new page file, which closing deletes.
    ASSERT_EQ(table.File.AddIndex(temporary, fields), 2);
    const std::string second = table.File.TemporaryFileName();
    EXPECT_TRUE(std::filesystem::exists(second));
    table.File.CloseFile();
    EXPECT_FALSE(std::filesystem::exists(second));
}

}  // namespace
}  // namespace pirin::index_test
