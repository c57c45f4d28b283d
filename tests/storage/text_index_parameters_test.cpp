// The text index's parameter chain: values written are read back from disk
// byte for byte, values cross page boundaries without padding, a shorter
// rewrite gives pages back, and a damaged chain is refused with 8965.
#include "storage/text_index_parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "storage/little_endian.h"
#include "tests/storage/index_file_test_support.h"

namespace pirin {
namespace {

using index_test::CodeOf;
using index_test::PutRawBytes;
using index_test::RawBytes;

constexpr std::size_t kData = TPage::kDataSize;

struct TParamTable : index_test::TIndexTable {
    // Everything to disk, then the file opened again with empty caches.
    void Persist() {
        (void)File.WritePages();
        (void)File.WriteIndexHeader();
        Reopen();
    }
    TTextIndexParameters Read() { return ReadTextIndexParameters(File, nullptr); }
    void Write(const TTextIndexParameters& p) { WriteTextIndexParameters(File, nullptr, p); }
    std::int32_t First() const { return File.ParameterPage(kTextIndexNumber); }

    // The chain as the file holds it: page numbers and their data end to end.
    std::vector<std::int32_t> ChainPages(std::vector<std::uint8_t>* data = nullptr) const {
        const std::vector<std::uint8_t> raw = RawBytes(Name);
        std::vector<std::int32_t> pages;
        for (std::int32_t n = First(); n != 0 && pages.size() < 100;) {
            const std::span<const std::uint8_t> page(raw.data() + TIndexFile::PageOffset(n),
                                                     TPage::kPageSize);
            EXPECT_EQ(page[0], 4) << "page " << n;
            pages.push_back(n);
            if (data != nullptr) data->insert(data->end(), page.begin() + 13, page.end());
            n = le::GetI32(page, 7);
        }
        return pages;
    }
    // Puts `bytes` at `at` within the data of page n.
    void Poke(std::int32_t n, std::size_t at, const std::vector<std::uint8_t>& bytes) {
        PutRawBytes(Name, TIndexFile::PageOffset(n) + 13 + at, bytes);
        Reopen();
    }
    void PokeNext(std::int32_t n, std::int32_t next) {
        std::vector<std::uint8_t> bytes(4);
        le::PutI32(bytes, 0, next);
        PutRawBytes(Name, TIndexFile::PageOffset(n) + 7, bytes);
        Reopen();
    }
};

std::vector<std::uint8_t> U32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

TTextIndexParameters Small() {
    TTextIndexParameters p;
    p.StopWords = {"и", "на", "", "the"};
    for (const char c : std::string(" ,.;")) p.Separators.Add(static_cast<std::uint8_t>(c));
    p.WordCharacters.Add('-');
    p.WordCharacters.Add(0xFF);
    return p;
}

// Stop words of the given lengths, each filled with its own letter.
TTextIndexParameters WithWords(const std::vector<std::size_t>& lengths) {
    TTextIndexParameters p = Small();
    p.StopWords.clear();
    for (std::size_t i = 0; i < lengths.size(); ++i)
        p.StopWords.emplace_back(lengths[i], static_cast<char>('a' + i % 26));
    return p;
}

TEST(TextIndexParametersTest, NoParameterPageReadsAsEmpty) {
    TParamTable table;
    EXPECT_EQ(table.Read(), TTextIndexParameters{});
}

TEST(TextIndexParametersTest, SmallSetRoundTripsThroughTheFile) {
    TParamTable table;
    const TTextIndexParameters p = Small();
    table.Write(p);
    EXPECT_TRUE(table.File.HeaderIsChanged());
    EXPECT_NE(table.First(), 0);
    EXPECT_EQ(table.Read(), p);
    table.Persist();
    EXPECT_EQ(table.Read(), p);

    // On disk: one type-4 page, the values end to end, zeros after them.
    std::vector<std::uint8_t> data;
    ASSERT_EQ(table.ChainPages(&data).size(), 1u);
    std::vector<std::uint8_t> expected = EncodeTextIndexParameters(p);
    expected.resize(kData, 0);
    EXPECT_EQ(data, expected);
    EXPECT_EQ(le::GetU32(data, 0), 4u);
    EXPECT_EQ(le::GetU32(data, 4), 2u);  // "и" is two bytes in UTF-8
    // Set bit c % 8 of byte c / 8: ' ' (32) is bit 0 of byte 4 of the set.
    const std::size_t separators = 4 + (4 + 2) + (4 + 4) + (4 + 0) + (4 + 3);
    EXPECT_EQ(le::GetU32(data, separators), 32u);
    EXPECT_EQ(data[separators + 4 + 4] & 1u, 1u);
}

// 4 + (4 + first) bytes put the second word's length or characters across
// the end of the first page; the values must continue on the next page with
// nothing skipped.
TEST(TextIndexParametersTest, ValuesStraddlingPagesReadBackIntact) {
    const struct {
        const char* what;
        std::vector<std::size_t> lengths;
        std::size_t pages;
    } cases[] = {
        {"length split 2 + 2", {kData - 10, 300}, 2},
        {"length split 1 + 3", {kData - 9, 5}, 2},
        {"word split", {3992, 200, 7}, 2},
        {"word spans a whole page", {10, 2 * kData}, 3},
        {"separator set split", {kData - 8 - 4 - 20}, 2},
        {"last set ends the page", {kData - 8 - 72}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TParamTable table;
        const TTextIndexParameters p = WithWords(c.lengths);
        table.Write(p);
        table.Persist();
        std::vector<std::uint8_t> data;
        EXPECT_EQ(table.ChainPages(&data).size(), c.pages);
        std::vector<std::uint8_t> expected = EncodeTextIndexParameters(p);
        expected.resize(c.pages * kData, 0);
        EXPECT_EQ(data, expected);
        EXPECT_EQ(table.Read(), p);
    }
}

TEST(TextIndexParametersTest, ShorterRewriteFreesSurplusPagesForReuse) {
    TParamTable table;
    table.Write(WithWords({3 * kData}));  // four pages
    table.Persist();
    const std::vector<std::int32_t> big = table.ChainPages();
    ASSERT_EQ(big.size(), 4u);
    const std::int32_t last = table.File.LastPageNumber();

    const TTextIndexParameters small = Small();
    table.Write(small);
    table.Persist();
    EXPECT_EQ(table.ChainPages(), std::vector<std::int32_t>{big[0]});
    EXPECT_EQ(table.Read(), small);
    EXPECT_EQ(table.File.LastPageNumber(), last);

    // The three freed pages come back before the file grows: first as the
    // text index's next pages, then for a growing chain.
    std::vector<std::int32_t> reused;
    {
        TPagePin pin = table.File.AllocatePage(nullptr, kTextIndexNumber, TPageType::Leaf);
        reused.push_back(pin->UnitNumber());
        table.File.FreePage(nullptr, kTextIndexNumber, *pin);
    }
    table.Write(WithWords({2 * kData}));  // three pages
    table.Persist();
    const std::vector<std::int32_t> regrown = table.ChainPages();
    EXPECT_EQ(table.File.LastPageNumber(), last);
    ASSERT_EQ(regrown.size(), 3u);
    EXPECT_EQ(regrown[0], big[0]);
    for (const std::int32_t n : regrown) EXPECT_NE(std::find(big.begin(), big.end(), n), big.end());
    EXPECT_NE(std::find(big.begin() + 1, big.end(), reused[0]), big.end());
    EXPECT_EQ(table.Read(), WithWords({2 * kData}));
}

TEST(TextIndexParametersTest, DamagedChainIsRefused) {
    // Chain of two pages: a 4090-byte word fills page one and spills over.
    const std::size_t separators = 4 + 4 + 4090;
    const struct {
        const char* what;
        std::function<void(TParamTable&, std::int32_t first, std::int32_t second)> damage;
    } cases[] = {
        {"self-link", [](TParamTable& t, auto a, auto) { t.PokeNext(a, a); }},
        {"cycle", [](TParamTable& t, auto a, auto b) { t.PokeNext(b, a); }},
        {"link past the file", [](TParamTable& t, auto a, auto) { t.PokeNext(a, 999); }},
        {"negative link", [](TParamTable& t, auto a, auto) { t.PokeNext(a, -2); }},
        {"chain cut short", [](TParamTable& t, auto a, auto) { t.PokeNext(a, 0); }},
        {"not a parameter page",
         [](TParamTable& t, auto, auto b) {
             PutRawBytes(t.Name, TIndexFile::PageOffset(b), {2});
             t.Reopen();
         }},
        {"huge stop-word count", [](TParamTable& t, auto a, auto) { t.Poke(a, 0, U32(~0u)); }},
        {"count beyond the chain",
         [](TParamTable& t, auto a, auto) { t.Poke(a, 0, U32(2 * kData / 4)); }},
        {"length beyond the chain", [](TParamTable& t, auto a, auto) { t.Poke(a, 4, U32(9000)); }},
        {"separator set length 31",
         [=](TParamTable& t, auto, auto b) { t.Poke(b, separators - kData, U32(31)); }},
        {"include set length 33",
         [=](TParamTable& t, auto, auto b) { t.Poke(b, separators - kData + 36, U32(33)); }},
        {"first page past the file",
         [](TParamTable& t, auto, auto) {
             TIndexDescriptor d = t.File.GetIndexDescriptor(kTextIndexNumber);
             d.ParameterPage = t.File.LastPageNumber() + 1;
             t.File.SetIndexDescriptor(kTextIndexNumber, d);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TParamTable table;
        table.Write(WithWords({4090}));
        table.Persist();
        const std::vector<std::int32_t> pages = table.ChainPages();
        ASSERT_EQ(pages.size(), 2u);
        c.damage(table, pages[0], pages[1]);
        EXPECT_EQ(CodeOf([&] { (void)table.Read(); }), PIRIN_INDEXCORRUPT);
    }
}

TEST(TextIndexParametersTest, WriteOverDamagedChainChangesNothing) {
    TParamTable table;
    table.Write(WithWords({4090}));
    table.Persist();
    const std::vector<std::int32_t> pages = table.ChainPages();
    ASSERT_EQ(pages.size(), 2u);
    table.PokeNext(pages[1], pages[0]);
    const std::int32_t last = table.File.LastPageNumber();

    EXPECT_EQ(CodeOf([&] { table.Write(WithWords({3 * kData})); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(table.First(), pages[0]);
    EXPECT_EQ(table.File.FirstFreePage(kTextIndexNumber), 0);
    EXPECT_EQ(table.File.LastPageNumber(), last);
}

}  // namespace
}  // namespace pirin
