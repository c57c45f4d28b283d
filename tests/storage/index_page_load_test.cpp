// Loading index pages: damaged bytes, overfull pages, and the page's life in
// a unit cache (settings given after the fetch, refresh, reuse, write-back).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "storage/unit_cache.h"
#include "tests/storage/index_page_test_support.h"

namespace pirin::page_test {
namespace {

using C = TIndexCompression;

void PutU16(Bytes& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutI32(Bytes& bytes, std::size_t at, std::int32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct TDamage {
    const char* Name;
    TPageConfig Config;
    TPageType Type;
    std::function<void(Bytes&)> Corrupt;
};

TEST(IndexPageLoad, DamagedBytesAreRefused) {
    const auto full = Config(9, C::Full, false);
    const auto interior = Config(20);
    const auto plain = Config(20);
    const auto trailing = Config(8, C::Trailing, false);
    const auto duplicate = Config(6, C::Duplicate);
    const std::size_t h = TPage::kHeaderSize;
    const TDamage cases[] = {
        {"unknown page type", plain, TPageType::Leaf, [](Bytes& b) { b[0] = 5; }},
        {"interior count beyond what fits", interior, TPageType::Interior,
         [](Bytes& b) { PutU16(b, 1, 146); }},
        {"leaf count beyond what fits", plain, TPageType::Leaf,
         [](Bytes& b) { PutU16(b, 1, 171); }},
        {"child page 0", interior, TPageType::Root, [&](Bytes& b) { PutI32(b, h + 20, 0); }},
        {"negative key count", interior, TPageType::Root, [&](Bytes& b) { PutI32(b, h + 24, -1); }},
        {"packed size above 4083", full, TPageType::Leaf, [](Bytes& b) { PutU16(b, 11, 4084); }},
        {"first entry shares bytes", full, TPageType::Leaf, [&](Bytes& b) { b[h] = 1; }},
        {"d above 254", duplicate, TPageType::Leaf, [&](Bytes& b) { b[h + 11] = 255; }},
        {"d beyond the key", duplicate, TPageType::Leaf, [&](Bytes& b) { b[h + 11] = 7; }},
        {"t into the row suffix", trailing, TPageType::Leaf, [&](Bytes& b) { b[h] = 5; }},
        {"t beyond the key after d", full, TPageType::Leaf, [&](Bytes& b) { b[h + 14] = 6; }},
        {"entries running off the page", full, TPageType::Leaf,
         [](Bytes& b) { PutU16(b, 1, 65535); }},
        {"last entry crossing the end", duplicate, TPageType::Leaf,
         [](Bytes& b) {
             // 1 + 6 + 4 bytes per entry: 371 fill 4081 bytes, the 372nd
             // finds 2 bytes left.
             std::fill(b.begin() + 13, b.end(), 0);
             PutU16(b, 1, static_cast<std::uint16_t>(4083 / 11 + 1));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<Bytes> keys;
        if (c.Config.Unique)
            keys = {Key("ABCD", c.Config.KeyLength), Key("ABCE", c.Config.KeyLength),
                    Key("XY", c.Config.KeyLength)};
        else
            keys = {RowKey("ABC", c.Config.KeyLength, 1), RowKey("ABD", c.Config.KeyLength, 2),
                    RowKey("ABD", c.Config.KeyLength, 3)};
        Bytes bytes = Packed(*PageOf(c.Config, c.Type, keys));
        ASSERT_NO_THROW(Loaded(c.Config, bytes));
        c.Corrupt(bytes);
        TPage page;
        page.LoadBytes(bytes);
        EPirinEngineError error(0);
        try {
            page.Attach(c.Config);
            ADD_FAILURE() << "damaged page accepted";
        } catch (const EPirinEngineError& raised) {
            error = raised;
        }
        EXPECT_EQ(error.ErrorCode, PIRIN_INDEXCORRUPT);
        EXPECT_EQ(error.ErrorTableName, "Bg_En");
        // The page stays unattached and refuses again; a refresh of an
        // attached page refuses the same bytes.
        EXPECT_FALSE(page.Attached());
        EXPECT_EQ(CodeOf([&] { page.Attach(c.Config); }), PIRIN_INDEXCORRUPT);
        auto attached = NewPage(c.Config, c.Type);
        EXPECT_EQ(CodeOf([&] { attached->LoadBytes(bytes); }), PIRIN_INDEXCORRUPT);
    }
}

// Our writer drops no zeros from a non-unique key whose shared prefix reaches
// into the row suffix, but it reads such an entry as laid out: key bytes d to
// k - t - 1, then t zeros. Written again, the whole rest is stored.
TEST(IndexPageLoad, TrailingZerosAfterAPrefixIntoTheRowSuffix) {
    const auto config = Config(9, C::Full, false);
    Bytes bytes(TPage::kPageSize, 0);
    bytes[0] = 2, bytes[1] = 2;
    const Bytes entries = {0, 2, 0x41, 0x42, 0x44, 0, 0, 2, 0, 1, 0, 0, 0,  // "ABD", row 0x200
                           6, 1, 3,    5,    2,    0, 0, 0};
    std::copy(entries.begin(), entries.end(), bytes.begin() + TPage::kHeaderSize);
    auto page = Loaded(config, bytes);
    const auto key = page->EntryKey(2);
    EXPECT_EQ(Bytes(key.begin(), key.end()), (Bytes{0x41, 0x42, 0x44, 0, 0, 0, 3, 5, 0}));
    EXPECT_EQ(page->EntryTrailing(2), 0);
    const Bytes again = Packed(*page);
    const Bytes rewritten = {6, 0, 3, 5, 0, 2, 0, 0, 0};
    EXPECT_TRUE(
        std::equal(rewritten.begin(), rewritten.end(), again.begin() + TPage::kHeaderSize + 13));
}

// A leaf written by another writer that shared fewer bytes than it could:
// loaded both ways a page is read (the index file's fetch and a load before
// the settings), it reports, edits and writes exactly as the page this
// engine builds from the same keys, however the edits start.
TEST(IndexPageLoad, AForeignPackingWritesAsThisEnginesOwn) {
    const auto config = Config(8, C::Duplicate);
    const std::vector<Bytes> keys = {Key("AAAA1111", 8), Key("AAAA2222", 8), Key("AAAA3333", 8)};
    Bytes bytes(TPage::kPageSize, 0);
    bytes[0] = 3, bytes[1] = 3;
    Bytes entries;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::size_t d = i == 2 ? 4 : 0;  // entry 2 shares nothing, entry 3 its 4 bytes
        entries.push_back(static_cast<std::uint8_t>(d));
        entries.insert(entries.end(), keys[i].begin() + static_cast<std::ptrdiff_t>(d), keys[i].end());
        for (int b = 0; b < 4; ++b) entries.push_back(b == 0 ? static_cast<std::uint8_t>(i + 1) : 0);
    }
    std::copy(entries.begin(), entries.end(), bytes.begin() + TPage::kHeaderSize);
    PutU16(bytes, 11, static_cast<std::uint16_t>(entries.size()));

    const auto own = [&](const std::vector<Bytes>& ownKeys) {
        return PageOf(config, TPageType::RootLeaf, ownKeys);
    };
    const std::vector<std::function<std::unique_ptr<TPage>()>> loads = {
        [&] {
            auto page = std::make_unique<TPage>();
            page->LoadAttached(bytes, config);
            return page;
        },
        [&] { return Loaded(config, bytes); }};
    const std::vector<std::pair<const char*, std::function<void(TPage&)>>> edits = {
        {"none", [](TPage&) {}},
        {"link", [](TPage& page) { page.SetNext(9); }},
        {"insert", [](TPage& page) { page.InsertEntry(4, Key("AAAA4444", 8), 4); }},
        {"delete", [](TPage& page) { page.DeleteEntry(3); }},
        {"key", [](TPage& page) { page.SetEntryKey(1, Key("AAAA0000", 8)); }},
    };
    for (const auto& load : loads) {
        for (const auto& [name, edit] : edits) {
            SCOPED_TRACE(name);
            auto page = load();
            auto expected = own(keys);
            edit(*page);
            edit(*expected);
            EXPECT_EQ(page->PackedSize(), expected->PackedSize());
            EXPECT_EQ(page->EntryPrefix(2), expected->EntryPrefix(2));
            EXPECT_EQ(Packed(*page), Packed(*expected));
        }
    }
    // Moves between pages: the entries moved and those left behind pack as own.
    auto page = loads[0]();
    auto right = NewPage(config, TPageType::Leaf);
    page->MoveTopHalfTo(*right);
    auto expected = own(keys);
    auto expectedRight = NewPage(config, TPageType::Leaf);
    expected->MoveTopHalfTo(*expectedRight);
    EXPECT_EQ(Packed(*page), Packed(*expected));
    EXPECT_EQ(Packed(*right), Packed(*expectedRight));
}

// Random damage to valid pages of every format: each page either loads
// (and then packs, or refuses to with 8965) or is refused with 8965.
TEST(IndexPageLoad, RandomDamageNeverGoesUnnoticedOrOutOfBounds) {
    const unsigned seed = 4242;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> header(0, TPage::kHeaderSize - 1);
    std::uniform_int_distribution<std::size_t> early(TPage::kHeaderSize, 200);
    for (const auto compression : {C::None, C::Duplicate, C::Trailing, C::Full}) {
        for (const bool unique : {true, false}) {
            for (const auto type : {TPageType::Leaf, TPageType::Root}) {
                const auto config = Config(11, compression, unique);
                std::vector<Bytes> keys;
                for (int i = 0; i < 40; ++i)
                    keys.push_back(unique ? Key("k" + std::to_string(1000 + i * 7), 11)
                                          : RowKey("k" + std::to_string(100 + i / 3), 11, i));
                const Bytes good = Packed(*PageOf(config, type, keys));
                for (int round = 0; round < 300; ++round) {
                    Bytes bytes = good;
                    for (int hits = round % 4 + 1; hits > 0; --hits) {
                        const std::size_t at = round % 2 ? header(random) : early(random);
                        bytes[at] = static_cast<std::uint8_t>(byte(random));
                    }
                    int code = 0;
                    try {
                        auto page = Loaded(config, bytes);
                        code = CodeOf([&] { (void)Packed(*page); });
                    } catch (const EPirinEngineError& error) {
                        code = error.ErrorCode;
                    }
                    EXPECT_TRUE(code == 0 || code == PIRIN_INDEXCORRUPT) << code;
                }
            }
        }
    }
}

// A page is searched in the bytes it was read from until its first edit:
// read that way it answers and edits exactly as the page it was packed from,
// also when the edit copies a key of the page itself.
TEST(IndexPageLoad, PageAsReadAnswersAndEditsAsTheBuiltPage) {
    for (const TPageType type : {TPageType::Leaf, TPageType::Interior}) {
        SCOPED_TRACE(static_cast<int>(type));
        const TPageConfig config = Config(12, C::None, false);
        std::vector<Bytes> keys;
        for (std::uint32_t i = 0; i < 40; ++i) keys.push_back(RowKey("w" + std::to_string(100 + i), 12, i));
        const auto built = PageOf(config, type, keys);
        const auto read = Loaded(config, Packed(*built));
        ExpectSamePage(*built, *read);
        EXPECT_EQ(built->PageTotal(), read->PageTotal());
        for (int i = 1; i <= built->NumberOfEntries() + 1; ++i)
            EXPECT_EQ(built->KeysBefore(i), read->KeysBefore(i)) << i;
        Bytes copied;
        std::size_t stride = 0;
        std::vector<std::int32_t> refs;
        read->CopyEntries(copied, stride, refs);
        ASSERT_EQ(refs.size(), keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(Bytes(copied.begin() + static_cast<long>(i * stride),
                            copied.begin() + static_cast<long>(i * stride + 12)),
                      keys[i]);
            EXPECT_EQ(refs[i], static_cast<std::int32_t>(i + 1));
        }
        // The copy that leaves the references among the keys, where they
        // are: the same keys and references as the long way, for the page as
        // read and for the built one.
        for (const TPage* page : {read.get(), built.get()}) {
            const bool inKeys = page->CopyEntriesWithReferences(copied, stride, refs);
            EXPECT_EQ(inKeys, page == read.get());
            EXPECT_EQ(refs.empty(), inKeys);
            for (std::size_t i = 0; i < keys.size(); ++i) {
                const auto* at = copied.data() + i * stride;
                EXPECT_EQ(Bytes(at, at + 12), keys[i]);
                const std::int32_t ref =
                    inKeys ? static_cast<std::int32_t>(at[12] | (at[13] << 8) | (at[14] << 16) |
                                                       (std::uint32_t{at[15]} << 24))
                           : refs[i];
                EXPECT_EQ(ref, page->EntryReference(static_cast<int>(i + 1)));
            }
        }
        EXPECT_EQ(Packed(*built), Packed(*read));

        const auto again = Loaded(config, Packed(*built));
        for (TPage* page : {built.get(), again.get()}) {
            const auto own = page->EntryKey(7);
            page->InsertEntry(8, own, 77, 5);
            page->DeleteEntry(20);
            page->AdjustEntryCount(3, 4);
            page->SetEntryReference(1, 99);
        }
        ExpectSamePage(*built, *again);
        EXPECT_EQ(Packed(*built), Packed(*again));
        auto builtRight = NewPage(config, type);
        auto readRight = NewPage(config, type);
        const auto third = Loaded(config, Packed(*read));
        read->MoveTopHalfTo(*readRight);
        PageOf(config, type, keys)->MoveTopHalfTo(*builtRight);
        ExpectSamePage(*builtRight, *readRight);
        ExpectSamePage(*third, *Loaded(config, Packed(*third)));
    }
}

TEST(IndexPageLoad, SettingsThatCannotDescribeAnIndex) {
    TPageConfig noKeys = Config(8);
    noKeys.Keys = nullptr;
    const TPageConfig cases[] = {Config(0), Config(527), Config(3, C::None, false), noKeys,
                                 Config(8, C::None, true, false, 33)};
    for (const auto& config : cases) {
        TPage page;
        EXPECT_EQ(CodeOf([&] { page.Attach(config); }), PIRIN_INDEXCORRUPT);
        EXPECT_EQ(CodeOf([&] { page.Format(config, TPageType::Leaf); }), PIRIN_INDEXCORRUPT);
    }
    // An attached page keeps its format.
    auto page = NewPage(Config(8), TPageType::Leaf);
    EXPECT_EQ(CodeOf([&] { page->Attach(Config(9)); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { page->Attach(Config(8, C::Full)); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { page->Attach(Config(8)); }), 0);
}

TEST(IndexPageLoad, OverfullCompressedLeafRefusesToPack) {
    auto page = NewPage(Config(100, C::Full), TPageType::Leaf);
    // Keys with no zeros and nothing shared: 2 + 100 + 4 bytes each.
    int i = 0;
    while (page->PackedSize() <= TPage::kDataSize) {
        Bytes key(100, static_cast<std::uint8_t>('a' + i));
        ++i;
        page->InsertEntry(i, key, i);
    }
    EXPECT_TRUE(page->Overflows());
    EXPECT_EQ(CodeOf([&] { (void)Packed(*page); }), PIRIN_INDEXCORRUPT);
    page->DeleteEntry(i);
    EXPECT_FALSE(page->Overflows());
    ExpectRoundTrip(*page);
}

// The page cache of one index over a file kept in memory.
class IndexPageCache : public ::testing::Test {
  protected:
    IndexPageCache() : File(TPage::kPageSize, TPage::kPageSize) {
        File.Encrypted = false;
        File.Corrupt = PIRIN_INDEXCORRUPT;
        File.Next = 3;
    }

    cache_test::TTestFile File;
    TUnitStack<TPage> Stack{kPageStackLimit};
    TUnitCache<TPage> Cache{File, Stack, kPageCacheParams, 2};
    TPageConfig Settings = Config(12, C::Full);
};

TEST_F(IndexPageCache, PagesTakeTheirSettingsAfterTheFetch) {
    auto written = PageOf(Settings, TPageType::RootLeaf, {Key("apple", 12), Key("apricot", 12)});
    File.PutOnDisk(1, Packed(*written));
    File.PutOnDisk(2, Bytes(TPage::kPageSize, 0));
    {
        auto pin = Cache.Fetch(1);
        ASSERT_TRUE(pin);
        EXPECT_FALSE(pin->Attached());
        pin->Attach(Settings);
        ExpectSamePage(*written, *pin);
        pin->InsertEntry(3, Key("banana", 12), 3);
        EXPECT_TRUE(pin->Dirty());
    }
    EXPECT_EQ(Cache.WriteBack(), 1u);
    written->InsertEntry(3, Key("banana", 12), 3);
    EXPECT_EQ(File.OnDisk(1), Packed(*written));

    // Reused objects forget the index they served.
    Cache.DiscardAll();
    auto fresh = Cache.Fetch(2);
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->Attached());
}

TEST_F(IndexPageCache, DamagedPageNeverReachesTheCaller) {
    Bytes bytes = Packed(*PageOf(Settings, TPageType::Leaf, {Key("a", 12)}));
    bytes[0] = 9;
    File.PutOnDisk(1, bytes);
    auto pin = Cache.Fetch(1);
    ASSERT_TRUE(pin);
    EXPECT_EQ(CodeOf([&] { pin->Attach(Settings); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { (void)pin->FindEntry(Key("a", 12), 12, false); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { pin->InsertEntry(1, Key("a", 12), 1); }), PIRIN_INDEXCORRUPT);
}

}  // namespace
}  // namespace pirin::page_test
