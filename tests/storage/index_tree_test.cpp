// The B+-tree in particular situations: splits at the exact capacity, a new
// smallest key, equal keys, emptying and refilling an index, encrypted pages,
// and damaged links and free chains.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "storage/scramble.h"
#include "tests/storage/index_tree_test_support.h"

namespace pirin::index_test {
namespace {

// Inserts values first..last (ascending) as unique keys of `shape`.
void Fill(TTreeTable& table, TShape shape, int first, int last) {
    TIndexTree tree = table.Tree();
    for (int v = first; v <= last; ++v) tree.Insert(ShapeKey(shape, v, true, 0), v);
}

TEST(IndexTree, ARootLeafSplitsWhenItExceedsItsCapacityIntoTwoHalvesUnderANewRoot) {
    TTreeTable table(TShape::Word, true, 0);  // key length 22: 4083 / 26 = 157 per leaf
    Fill(table, TShape::Word, 1000, 1000 + 156);
    ASSERT_EQ(table.File.LastPageNumber(), 1);
    {
        TPagePin root = table.File.FetchPage(nullptr, 1, 1);
        EXPECT_EQ(root->Type(), TPageType::RootLeaf);
        EXPECT_EQ(root->NumberOfEntries(), 157);
    }
    Fill(table, TShape::Word, 1157, 1157);
    EXPECT_EQ(table.File.LastPageNumber(), 3);
    const std::int32_t rootNo = table.File.RootPage(1);
    EXPECT_EQ(rootNo, 3);
    TPagePin root = table.File.FetchPage(nullptr, 1, rootNo);
    EXPECT_EQ(root->Type(), TPageType::Root);
    ASSERT_EQ(root->NumberOfEntries(), 2);
    EXPECT_EQ(root->EntryCount(1), 79);
    EXPECT_EQ(root->EntryCount(2), 79);
    TPagePin left = table.File.FetchPage(nullptr, 1, 1);
    TPagePin right = table.File.FetchPage(nullptr, 1, 2);
    EXPECT_EQ(left->Type(), TPageType::Leaf);
    EXPECT_EQ(right->Type(), TPageType::Leaf);
    EXPECT_EQ(left->Next(), 2);
    EXPECT_EQ(right->Previous(), 1);
    EXPECT_TRUE(std::ranges::equal(root->EntryKey(2), right->EntryKey(1)));
    EXPECT_EQ(table.Verify(), std::vector<std::string>{});
}

TEST(IndexTree, ANewSmallestKeyBecomesTheFirstKeyOfEveryPageOnTheLeftmostPath) {
    TTreeTable table(TShape::Long, true, 0);  // 15 entries per page: a deep tree
    Fill(table, TShape::Long, 1000, 1600);
    TIndexTree tree = table.Tree();
    TTreePath path;
    ASSERT_EQ(tree.First(path), TTreeStatus::Ok);
    ASSERT_GE(path.Levels.size(), 3u);
    Bytes smallest;
    AppendText(smallest, "a", 251);
    tree.Insert(smallest, 1);
    for (const TTreeLevel& level : path.Levels) {
        TPagePin page = table.File.FetchPage(nullptr, 1, level.Page);
        EXPECT_TRUE(std::ranges::equal(page->EntryKey(1), smallest)) << "page " << level.Page;
    }
    TTreeEntry entry;
    ASSERT_EQ(tree.First(path, &entry), TTreeStatus::Ok);
    EXPECT_EQ(entry.Record, 1);
    EXPECT_EQ(table.Verify(), std::vector<std::string>{});
}

TEST(IndexTree, EqualKeysKeepTheirInsertionOrderAndAreDeletedByRecord) {
    for (const int compression : {0, 3}) {
        TTreeTable table(TShape::Long, true, static_cast<std::uint8_t>(compression));
        const Bytes same = ShapeKey(TShape::Long, 7, true, 0);
        TIndexTree tree = table.Tree();
        Fill(table, TShape::Long, 1000, 1040);
        for (int record = 1; record <= 40; ++record) tree.Insert(same, record);
        EXPECT_EQ(table.Verify(), std::vector<std::string>{});
        const auto entries = Walk(tree);
        std::vector<std::int32_t> records;
        for (const auto& [key, record] : entries)
            if (key == same) records.push_back(record);
        std::vector<std::int32_t> expected(40);
        std::iota(expected.begin(), expected.end(), 1);
        EXPECT_EQ(records, expected);
        EXPECT_TRUE(tree.Delete(same, 33));
        EXPECT_FALSE(tree.Delete(same, 33));
        EXPECT_TRUE(tree.Delete(same, 1));
        records.clear();
        for (const auto& [key, record] : Walk(tree))
            if (key == same) records.push_back(record);
        expected.erase(expected.begin() + 32);
        expected.erase(expected.begin());
        EXPECT_EQ(records, expected);
        EXPECT_EQ(table.Verify(), std::vector<std::string>{});
    }
}

// Every page of index 1 as the tree left it: type, links and entries.
std::vector<std::string> Pages(TTreeTable& table) {
    std::vector<std::string> pages;
    for (std::int32_t n = 1; n <= table.File.LastPageNumber(); ++n) {
        TPagePin page = table.File.FetchPage(nullptr, 1, n);
        std::string text = std::to_string(static_cast<int>(page->Type())) + " " +
                           std::to_string(page->Previous()) + " " + std::to_string(page->Next());
        for (int i = 1; i <= page->NumberOfEntries(); ++i) {
            const auto key = page->EntryKey(i);
            text += " [" + std::string(key.begin(), key.end()) + " " +
                    std::to_string(page->EntryReference(i)) + " " +
                    std::to_string(page->EntryCount(i)) + "]";
        }
        pages.push_back(std::move(text));
    }
    return pages;
}

TEST(IndexTree, AnInsertionHintGivesTheTreeThatInsertionsWithoutOneGive) {
    // Runs in ascending order (the hint's fast case) broken by keys that go
    // to the middle, the front and after equal keys, on a deep tree.
    std::vector<int> values;
    for (int v = 1000; v < 1400; ++v) values.push_back(v);
    for (const int v : {1100, 999, 1250, 1399, 1399, 1400, 998, 1401}) values.push_back(v);
    for (int v = 1402; v < 1700; v += 2) values.push_back(v);
    for (int v = 1699; v > 1500; v -= 2) values.push_back(v);
    for (const int compression : {0, 3}) {
        TTreeTable plain(TShape::Long, false, static_cast<std::uint8_t>(compression));
        TTreeTable hinted(TShape::Long, false, static_cast<std::uint8_t>(compression));
        TIndexTree plainTree = plain.Tree();
        TIndexTree hintedTree = hinted.Tree();
        TInsertHint hint;
        std::int32_t record = 0;
        for (const int v : values) {
            const Bytes key = ShapeKey(TShape::Long, v, false, v == 1399 ? ++record : 0);
            EXPECT_EQ(hintedTree.Contains(key, &hint), plainTree.Contains(key)) << v;
            plainTree.Insert(key, ++record);
            hintedTree.Insert(key, record, &hint);
            EXPECT_TRUE(hintedTree.Contains(key, &hint)) << v;
        }
        EXPECT_EQ(Pages(hinted), Pages(plain));
        EXPECT_EQ(hinted.Verify(), std::vector<std::string>{});
    }
}

TEST(IndexTree, PackingKeptByInsertionsAndSplitsIsThePackingOfThePagesAsWritten) {
    // Insertions and splits keep every page's packed size and d/t as they
    // go (fixed-size entries and root type changes without a repack): each
    // page must pack as the same page read back from its own bytes, for the
    // locale shapes whose descents share one key search too.
    for (const TShape shape : {TShape::Word, TShape::BgWordDown, TShape::Long}) {
        for (const int compression : {0, 3}) {
            SCOPED_TRACE(std::string(ShapeName(shape)) + " compression " +
                         std::to_string(compression));
            TTreeTable table(shape, false, static_cast<std::uint8_t>(compression));
            TIndexTree tree = table.Tree();
            TInsertHint hint;
            std::mt19937 random(7);
            for (std::int32_t row = 1; row <= 1500; ++row) {
                // Ascending runs (the hint's fast case) mixed with random keys.
                const int v = row % 3 == 0 ? row : std::uniform_int_distribution<int>(0, 400)(random);
                tree.Insert(ShapeKey(shape, v, false, row), row, &hint);
            }
            ASSERT_GT(table.File.LastPageNumber(), 3);
            std::vector<std::uint8_t> bytes(TPage::kPageSize);
            for (std::int32_t n = 1; n <= table.File.LastPageNumber(); ++n) {
                TPagePin page = table.File.FetchPage(nullptr, 1, n);
                page->SaveBytes(bytes);
                TPage reread;
                reread.LoadAttached(bytes, page->Config());
                ASSERT_EQ(reread.NumberOfEntries(), page->NumberOfEntries()) << n;
                EXPECT_EQ(page->PackedSize(), reread.PackedSize()) << n;
                for (int i = 1; i <= page->NumberOfEntries(); ++i) {
                    EXPECT_EQ(page->EntryPrefix(i), reread.EntryPrefix(i)) << n << " " << i;
                    EXPECT_EQ(page->EntryTrailing(i), reread.EntryTrailing(i)) << n << " " << i;
                }
            }
            EXPECT_EQ(table.Verify(), std::vector<std::string>{});
        }
    }
}

TEST(IndexTree, DeletingTheOnlyKeyFreesTheRootAndTheNextInsertReusesIt) {
    TTreeTable table(TShape::Int, false, 3);
    TIndexTree tree = table.Tree();
    const Bytes key = ShapeKey(TShape::Int, 5, false, 9);
    tree.Insert(key, 9);
    EXPECT_EQ(table.File.RootPage(1), 1);
    EXPECT_TRUE(tree.Delete(key, 9));
    EXPECT_EQ(table.File.RootPage(1), 0);
    EXPECT_EQ(table.File.FirstFreePage(1), 1);
    TTreePath path;
    EXPECT_EQ(tree.First(path), TTreeStatus::End);
    EXPECT_EQ(tree.KeyCount(), 0);
    table.Flush();
    EXPECT_EQ(table.Verify(), std::vector<std::string>{});
    tree.Insert(key, 10);
    EXPECT_EQ(table.File.RootPage(1), 1);
    EXPECT_EQ(table.File.FirstFreePage(1), 0);
    EXPECT_EQ(table.File.LastPageNumber(), 1);
    TTreeEntry entry;
    ASSERT_EQ(tree.First(path, &entry), TTreeStatus::Ok);
    EXPECT_EQ(entry.Record, 10);
}

// Pages fetched for their index are unscrambled only as far as loading
// reads them: each must load as the whole page unscrambled does.
TEST(IndexTree, EncryptedPagesAreScrambledOnDiskAndReadBack) {
    for (const std::uint8_t compression : {std::uint8_t{0}, std::uint8_t{1}}) {
        SCOPED_TRACE(compression);
        TTreeTable table(TShape::Word, true, compression, true);
        Fill(table, TShape::Word, 1000, 1400);
        table.Flush();
        const std::vector<std::uint8_t> raw = RawBytes(table.Name);
        ASSERT_EQ(raw.size(), 4096u * (1 + static_cast<std::size_t>(table.File.LastPageNumber())));
        for (std::int32_t page = 1; page <= table.File.LastPageNumber(); ++page) {
            std::vector<std::uint8_t> bytes(raw.begin() + page * 4096,
                                            raw.begin() + (page + 1) * 4096);
            // In the clear byte 0 is a page type (0..3); the tail past the
            // entries is zeros, which the scramble never leaves as they are.
            EXPECT_NE(bytes[4095], 0) << page;
            ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
            EXPECT_LE(bytes[0], 3) << page;
            TPage whole;
            whole.LoadAttached(bytes, table.File.PageConfig(1));
            TPagePin fetched = table.File.FetchPage(nullptr, 1, page);
            ASSERT_TRUE(fetched);
            ASSERT_EQ(fetched->Type(), whole.Type()) << page;
            EXPECT_EQ(fetched->Previous(), whole.Previous()) << page;
            EXPECT_EQ(fetched->Next(), whole.Next()) << page;
            ASSERT_EQ(fetched->NumberOfEntries(), whole.NumberOfEntries()) << page;
            for (int i = 1; i <= whole.NumberOfEntries(); ++i) {
                ASSERT_TRUE(std::ranges::equal(fetched->EntryKey(i), whole.EntryKey(i))) << page;
                ASSERT_EQ(fetched->EntryReference(i), whole.EntryReference(i)) << page;
                ASSERT_EQ(fetched->EntryCount(i), whole.EntryCount(i)) << page;
            }
        }
        EXPECT_EQ(table.Verify(), std::vector<std::string>{});
        TIndexTree tree = table.Tree();
        EXPECT_EQ(Walk(tree).size(), 401u);
    }
}

TEST(IndexTree, DamagedLinksAndFreeChainsRaiseIndexCorrupt) {
    // A child reference past the end of the file.
    {
        TTreeTable table(TShape::Word, true, 0);
        Fill(table, TShape::Word, 1000, 1300);
        {
            TPagePin root = table.File.FetchPage(nullptr, 1, table.File.RootPage(1));
            root->SetEntryReference(1, table.File.LastPageNumber() + 1);
        }
        TIndexTree tree = table.Tree();
        TTreePath path;
        EXPECT_EQ(CodeOf([&] { (void)tree.First(path); }), PIRIN_INDEXCORRUPT);
        EXPECT_EQ(CodeOf([&] { tree.Insert(ShapeKey(TShape::Word, 1, true, 0), 1); }),
                  PIRIN_INDEXCORRUPT);
        EXPECT_FALSE(table.Verify().empty());
    }
    // A free chain that runs into a page of the tree: never handed out.
    {
        TTreeTable table(TShape::Word, true, 0);
        Fill(table, TShape::Word, 1000, 1010);
        TIndexDescriptor d = table.File.GetIndexDescriptor(1);
        d.FirstFreePage = d.RootPage;
        table.File.SetIndexDescriptor(1, d);
        EXPECT_EQ(CodeOf([&] { (void)table.File.AllocatePage(nullptr, 1); }), PIRIN_INDEXCORRUPT);
        EXPECT_FALSE(table.Verify().empty());
    }
    // A free link outside the file.
    {
        TTreeTable table(TShape::Word, true, 0);
        TIndexDescriptor d = table.File.GetIndexDescriptor(1);
        d.FirstFreePage = 5;
        table.File.SetIndexDescriptor(1, d);
        EXPECT_EQ(CodeOf([&] { (void)table.File.AllocatePage(nullptr, 1); }), PIRIN_INDEXCORRUPT);
    }
}

// Each case damages a sound three-level tree through the page API; the
// verifier must name the damage.
TEST(IndexVerifier, NamesEachKindOfDamage) {
    struct TCase {
        const char* what;
        const char* expect;
        void (*damage)(TIndexFile& file, const TTreePath& leftmost);
    };
    const TCase cases[] = {
        {"count", "count of entry",
         [](TIndexFile& file, const TTreePath& p) {
             TPagePin root = file.FetchPage(nullptr, 1, p.Levels[0].Page);
             root->AdjustEntryCount(1, 1);
         }},
        {"key order", "below the key before it",
         [](TIndexFile& file, const TTreePath& p) {
             TPagePin leaf = file.FetchPage(nullptr, 1, p.Leaf().Page);
             const Bytes high = ShapeKey(TShape::Long, 9999, true, 0);
             leaf->SetEntryKey(2, high);
         }},
        {"interior key", "is not the first key of page",
         [](TIndexFile& file, const TTreePath& p) {
             TPagePin parent = file.FetchPage(nullptr, 1, p.Levels[p.Levels.size() - 2].Page);
             parent->SetEntryKey(2, ShapeKey(TShape::Long, 1, true, 0));
         }},
        {"next link", "next link",
         [](TIndexFile& file, const TTreePath& p) {
             TPagePin leaf = file.FetchPage(nullptr, 1, p.Leaf().Page);
             leaf->SetNext(0);
         }},
        {"previous link", "previous link",
         [](TIndexFile& file, const TTreePath& p) {
             TPagePin leaf = file.FetchPage(nullptr, 1, p.Leaf().Page);
             leaf->SetPrevious(p.Levels[0].Page);
         }},
        {"page type", "page type",
         [](TIndexFile& file, const TTreePath& p) {
             TPagePin leaf = file.FetchPage(nullptr, 1, p.Leaf().Page);
             leaf->SetType(TPageType::RootLeaf);
         }},
        {"free page in the tree", "is also in",
         [](TIndexFile& file, const TTreePath& p) {
             TIndexDescriptor d = file.GetIndexDescriptor(1);
             d.FirstFreePage = p.Leaf().Page;
             file.SetIndexDescriptor(1, d);
         }},
        {"free chain cycle", "cycle",
         [](TIndexFile& file, const TTreePath&) {
             // Two pages on the free chain, the first linked back to the
             // second.
             TPagePin a = file.AllocatePage(nullptr, 1);
             TPagePin b = file.AllocatePage(nullptr, 1);
             file.FreePage(nullptr, 1, *a);
             file.FreePage(nullptr, 1, *b);
             a->MarkFree(b->UnitNumber());
         }},
    };
    for (const TCase& c : cases) {
        TTreeTable table(TShape::Long, true, 0);
        Fill(table, TShape::Long, 1000, 1300);
        TIndexTree tree = table.Tree();
        TTreePath leftmost;
        ASSERT_EQ(tree.First(leftmost), TTreeStatus::Ok);
        ASSERT_GE(leftmost.Levels.size(), 3u);
        // Stand on the second leaf, so that it has neighbours both ways.
        TTreePath second = leftmost;
        for (int i = 0; i < 20; ++i) ASSERT_EQ(tree.Next(second), TTreeStatus::Ok);
        ASSERT_NE(second.Leaf().Page, leftmost.Leaf().Page);
        ASSERT_EQ(table.Verify(), std::vector<std::string>{});
        c.damage(table.File, second);
        const std::vector<std::string> problems = table.Verify();
        const bool named = std::ranges::any_of(problems, [&](const std::string& line) {
            return line.find(c.expect) != std::string::npos;
        });
        EXPECT_TRUE(named) << c.what << ": " << ::testing::PrintToString(problems);
    }
}

}  // namespace
}  // namespace pirin::index_test

namespace pirin::index_test {
namespace {

// The pages compare by the table's locale once the index file knows the
// table's fields: "apple" before "Banana" in English, the other way round
// as bytes. A layout given to the closed file takes effect when it opens.
TEST(IndexTree, KeysFollowTheTableLocaleOnceTheKeyLayoutIsSet) {
    for (const bool beforeOpening : {false, true}) {
        for (const std::uint16_t language : {std::uint16_t{0}, std::uint16_t{1033}}) {
            SCOPED_TRACE(beforeOpening ? "set on the closed file" : "set on the open file");
            TTreeTable table(TShape::Word, true, 3);
            if (beforeOpening) {
                table.File.CloseFile();
                table.File.SetKeyLayout(Schema(), language, 0);
                table.File.OpenFile();
            } else {
                table.File.SetKeyLayout(Schema(), language, 0);
            }
            TIndexTree tree = table.Tree();
            for (const char* word : {"cherry", "Banana", "apple"}) {
                Bytes key;
                AppendText(key, word, 21);
                tree.Insert(key, static_cast<std::int32_t>(word[0]));
            }
            std::vector<std::int32_t> order;
            for (const auto& [key, record] : Walk(tree)) order.push_back(record);
            const std::vector<std::int32_t> expected =
                language == 0 ? std::vector<std::int32_t>{'B', 'a', 'c'}
                              : std::vector<std::int32_t>{'a', 'B', 'c'};
            EXPECT_EQ(order, expected) << language;
            EXPECT_EQ(table.Verify(), std::vector<std::string>{});
        }
    }
}

}  // namespace
}  // namespace pirin::index_test
