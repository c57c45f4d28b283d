// The index file's header: creation, the bytes written, the change counter,
// temporary descriptors, scrambling, opening damaged headers, definitions and
// the header check.
#include <gtest/gtest.h>

#include "storage/little_endian.h"
#include "storage/scramble.h"
#include "tests/storage/index_file_test_support.h"

namespace pirin::index_test {
namespace {

TEST(IndexFile, ANewFileHasTheInternalIndexesAndReadsBackAfterWriting) {
    TIndexTable table;
    const std::vector<std::uint8_t> raw = RawBytes(table.Name);
    ASSERT_EQ(raw.size(), 4096u);
    EXPECT_EQ(le::GetI32(raw, 0), 1);  // written once
    EXPECT_EQ(raw[8], 5);
    EXPECT_EQ(le::GetI32(raw, 9), 1);
    EXPECT_EQ(raw[13], 0);
    EXPECT_EQ(raw[3979], 1);  // the writer's changed mark
    const std::size_t deleted = 14 + 31 * 120;
    const std::size_t text = 14 + 32 * 120;
    EXPECT_EQ(std::string(raw.begin() + deleted + 1, raw.begin() + deleted + 1 + raw[deleted]),
              "Sys Deleted");
    EXPECT_EQ(le::GetU16(raw, deleted + 31), 5);
    EXPECT_EQ(raw[deleted + 36], 0);
    EXPECT_EQ(std::string(raw.begin() + text + 1, raw.begin() + text + 1 + raw[text]), "Sys Text");
    EXPECT_EQ(le::GetU16(raw, text + 31), 68);
    EXPECT_EQ(raw[text + 36], 3);
    // Descriptor 0 and the secondary places are empty.
    for (std::size_t i = 14; i < deleted; ++i) ASSERT_EQ(raw[i], 0) << i;

    EXPECT_EQ(table.File.GetIndexDescriptor(kDeletedIndex), DeletedIndexDescriptor());
    EXPECT_EQ(table.File.GetIndexDescriptor(kTextIndexNumber), TextIndexDescriptor());
    EXPECT_NO_THROW(table.File.CheckIndexHeader(Schema()));
}

TEST(IndexFile, CountersFlagsAndDescriptorsSurviveAReopenAndOthersSeeTheChange) {
    TIndexTable table;
    const auto fields = Schema();
    table.File.DefinePrimaryIndex(Describe("", {1}), fields);
    EXPECT_EQ(table.File.AddIndex(Describe("IdxWord", {2}, false, 3), fields), 1);
    EXPECT_EQ(table.File.AddIndex(Describe("IdxNote", {4, 1}), fields), 2);
    table.File.IncrementRecordCount();
    table.File.IncrementRecordCount();
    table.File.DecrementRecordCount();
    EXPECT_TRUE(table.File.HeaderIsChanged());
    EXPECT_TRUE(table.File.WriteIndexHeader());
    EXPECT_FALSE(table.File.WriteIndexHeader());

    TPlainTableContext otherContext;
    TIndexFile other(otherContext, table.Name);
    other.SetInMemory(true);
    other.OpenFile();
    EXPECT_EQ(other.SecondaryIndexCount(), 2);
    EXPECT_EQ(other.ActiveRecordCount(), 1);
    EXPECT_EQ(other.GetIndexDescriptor(1).Name, "IdxWord");
    EXPECT_EQ(other.GetIndexDescriptor(1).KeyLength, 22 + 4);
    EXPECT_EQ(other.GetIndexDescriptor(2).KeyLength, 12 + 5);
    EXPECT_TRUE(other.GetIndexDescriptor(0).Unique);
    EXPECT_NO_THROW(other.CheckIndexHeader(fields));

    other.SetNoPrimaryIndex(true);
    other.TouchIndexHeader();
    EXPECT_TRUE(otherContext.Written);
    EXPECT_TRUE(other.WriteIndexHeader());
    EXPECT_TRUE(table.File.IndexHeaderChanged());
    EXPECT_FALSE(table.File.IndexHeaderChanged());
    EXPECT_TRUE(table.File.NoPrimaryIndex());
    EXPECT_EQ(table.File.Header().ChangeCounter(), other.Header().ChangeCounter());
}

TEST(IndexFile, TemporaryDescriptorsStayInMemoryOnly) {
    TIndexTable table;
    const auto fields = Schema();
    ASSERT_EQ(table.File.AddIndex(Describe("IdxWord", {2}), fields), 1);
    TIndexDescriptor temporary = Describe("Tmp", {4});
    temporary.Temporary = true;
    ASSERT_EQ(table.File.AddIndex(temporary, fields), 2);
    (void)table.File.WriteIndexHeader();
    const std::vector<std::uint8_t> raw = RawBytes(table.Name);
    EXPECT_EQ(raw[13], 1);
    for (std::size_t i = 14 + 2 * 120; i < 14 + 3 * 120; ++i) ASSERT_EQ(raw[i], 0) << i;
    EXPECT_EQ(table.File.SecondaryIndexCount(), 2);
    EXPECT_EQ(table.File.GetIndexDescriptor(2).Name, "Tmp");
}

TEST(IndexFile, AnEncryptedHeaderIsScrambledAsOneRun) {
    TIndexTable table(true);
    std::vector<std::uint8_t> raw = RawBytes(table.Name);
    ASSERT_EQ(raw.size(), 4096u);
    EXPECT_NE(raw[8], 5);
    ScrambleBytes(raw.data(), raw.size(), kDataSeeds);
    EXPECT_EQ(raw[8], 5);
    EXPECT_EQ(le::GetI32(raw, 9), 1);
    EXPECT_EQ(table.File.GetIndexDescriptor(kTextIndexNumber), TextIndexDescriptor());
}

// A header read in place keeps no descriptor of the header it was before:
// neither one read earlier nor one changed in memory.
TEST(IndexFile, AHeaderReadAgainKeepsNoDescriptorOfBefore) {
    for (const bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted);
        TIndexFileHeader withIndex = TIndexFileHeader::New();
        withIndex.SetSecondaryCount(1);
        withIndex.Descriptor(1) = Describe("A", {1});
        const auto one = withIndex.ToDisk(encrypted, false);
        const auto none = TIndexFileHeader::New().ToDisk(encrypted, false);
        TIndexFileHeader header;
        header.FromDisk(one, encrypted);
        EXPECT_EQ(header.Descriptor(1), Describe("A", {1}));
        header.FromDisk(none, encrypted);
        EXPECT_EQ(header.Descriptor(1), TIndexDescriptor{});
        header.Descriptor(2) = Describe("B", {2});
        header.FromDisk(none, encrypted);
        EXPECT_EQ(header.Descriptor(2), TIndexDescriptor{});
        EXPECT_EQ(header.Descriptor(kDeletedIndex), DeletedIndexDescriptor());
        header.FromDisk(one, encrypted);
        EXPECT_EQ(header.Descriptor(1), Describe("A", {1}));
    }
}

TEST(IndexFile, DamagedHeadersFailToOpenAndLeaveTheFileClosed) {
    struct TCase {
        const char* what;
        std::size_t at;
        std::vector<std::uint8_t> bytes;
    };
    const TCase cases[] = {
        {"33 secondary indexes", 13, {33}},
        {"next page 0", 9, {0, 0, 0, 0}},
        {"next page negative", 9, {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const TCase& c : cases) {
        TIndexTable table;
        table.File.CloseFile();
        PutRawBytes(table.Name, c.at, c.bytes);
        EXPECT_EQ(CodeOf([&] { table.File.OpenFile(); }), PIRIN_HEADERCORRUPT) << c.what;
        EXPECT_FALSE(table.File.IsOpen()) << c.what;
    }
    // 32 secondary indexes still open (the check refuses them later).
    TIndexTable table;
    table.File.CloseFile();
    PutRawBytes(table.Name, 13, {32});
    EXPECT_NO_THROW(table.File.OpenFile());
    EXPECT_EQ(CodeOf([&] { table.File.CheckIndexHeader(Schema()); }), PIRIN_HEADERCORRUPT);

    // A file shorter than its header.
    TIndexTable shortFile;
    shortFile.File.CloseFile();
    {
        TFileHandler handler(shortFile.Name);
        handler.SetInMemory(true);
        handler.OpenFile();
        handler.SeekTo(0, 100);
        handler.WriteBytes(nullptr, 0);
    }
    EXPECT_EQ(CodeOf([&] { shortFile.File.OpenFile(); }), PIRIN_HEADERCORRUPT);
    EXPECT_FALSE(shortFile.File.IsOpen());
}

TEST(IndexFile, DefinePrimaryIndex) {
    const auto fields = Schema();
    {
        TIndexTable table;
        table.File.DefinePrimaryIndex(Describe("ignored", {1, 2}), fields);
        const TIndexDescriptor& primary = table.File.GetIndexDescriptor(0);
        EXPECT_TRUE(primary.Name.empty());
        EXPECT_TRUE(primary.Unique);
        EXPECT_EQ(primary.KeyLength, 5 + 22);
        EXPECT_EQ(primary.FieldCount, 2);
        EXPECT_FALSE(table.File.NoPrimaryIndex());
        EXPECT_EQ(CodeOf([&] { table.File.DefinePrimaryIndex(Describe("", {1}), fields); }),
                  PIRIN_PRIMARYKEYREDEFINE);
    }
    {
        TIndexTable table;
        table.File.DefinePrimaryIndex(TIndexDescriptor{}, fields);
        EXPECT_TRUE(table.File.NoPrimaryIndex());
        EXPECT_EQ(table.File.GetIndexDescriptor(0), TIndexDescriptor{});
        EXPECT_NO_THROW(table.File.CheckIndexHeader(fields));
    }
    TIndexDescriptor tooMany = Describe("", {1});
    tooMany.FieldCount = 17;
    TIndexDescriptor wrongLength = Describe("", {1});
    wrongLength.KeyLength = 9;
    TIndexDescriptor badCompression = Describe("", {1});
    badCompression.Compression = 4;
    const std::pair<TIndexDescriptor, int> cases[] = {
        {tooMany, PIRIN_INDEXLIMIT},
        {Describe("", {3}), PIRIN_SEARCHCOLREQD},
        {Describe("", {8}), PIRIN_INVALIDIDXDESC},
        {wrongLength, PIRIN_INVALIDIDXDESC},
        {badCompression, PIRIN_INVALIDIDXDESC},
    };
    for (const auto& [descriptor, code] : cases) {
        TIndexTable table;
        // clang 14 lambdas cannot capture structured bindings.
        const TIndexDescriptor& defined = descriptor;
        EXPECT_EQ(CodeOf([&] { table.File.DefinePrimaryIndex(defined, fields); }), code);
        EXPECT_EQ(table.File.GetIndexDescriptor(0), TIndexDescriptor{});
    }
}

TEST(IndexFile, AddIndexRefusesBadDefinitions) {
    const auto fields = Schema();
    TIndexTable table;
    ASSERT_EQ(table.File.AddIndex(Describe("Word", {2}), fields), 1);
    TIndexDescriptor tooMany = Describe("Many", {1});
    tooMany.FieldCount = 17;
    const std::pair<TIndexDescriptor, int> cases[] = {
        {Describe("", {2}), PIRIN_INDEXNAMEREQUIRED},
        {Describe("1st", {2}), PIRIN_INVALIDINDEXNAME},
        {Describe(" Word", {2}), PIRIN_INVALIDINDEXNAME},
        {Describe(std::string(31, 'x'), {2}), PIRIN_INVALIDINDEXNAME},
        {Describe("WORD ", {4}), PIRIN_INDEXEXISTS},
        {Describe("Memo", {1, 3}), PIRIN_SEARCHCOLREQD},
        {tooMany, PIRIN_INDEXLIMIT},
        {Describe("Ghost", {9}), PIRIN_INVALIDIDXDESC},
    };
    for (const auto& [descriptor, code] : cases) {
        // clang 14 lambdas cannot capture structured bindings.
        const TIndexDescriptor& added = descriptor;
        EXPECT_EQ(CodeOf([&] { (void)table.File.AddIndex(added, fields); }), code)
            << descriptor.Name;
    }
    EXPECT_EQ(table.File.SecondaryIndexCount(), 1);
    // Names may start with an underscore or a byte from 128 to 254.
    EXPECT_EQ(table.File.AddIndex(Describe("_x", {1}), fields), 2);
    EXPECT_EQ(table.File.AddIndex(Describe("\xC4\xE0\xEC\xE0", {1}), fields), 3);
    EXPECT_EQ(CodeOf([&] { (void)table.File.AddIndex(Describe("\xFFx", {1}), fields); }),
              PIRIN_INVALIDINDEXNAME);
    for (int i = 4; i <= 30; ++i)
        ASSERT_EQ(table.File.AddIndex(Describe("I" + std::to_string(i), {1}), fields), i);
    EXPECT_EQ(CodeOf([&] { (void)table.File.AddIndex(Describe("More", {1}), fields); }),
              PIRIN_INDEXLIMIT);
    (void)table.File.WriteIndexHeader();
    table.Reopen();
    EXPECT_NO_THROW(table.File.CheckIndexHeader(fields));
}

// Each case damages one thing of a sound header (primary on Id, IdxWord on
// Word, non-unique, with pages 1..3 in the file) and must fail the check.
TEST(IndexFile, TheHeaderCheckRefusesEveryInconsistency) {
    const auto fields = Schema();
    using TDamage = void (*)(TIndexFileHeader&);
    const std::pair<const char*, TDamage> cases[] = {
        {"named primary", [](TIndexFileHeader& h) { h.Descriptor(0).Name = "P"; }},
        {"primary not unique", [](TIndexFileHeader& h) { h.Descriptor(0).Unique = false; }},
        {"31 secondary", [](TIndexFileHeader& h) { h.SetSecondaryCount(31); }},
        {"bad name start", [](TIndexFileHeader& h) { h.Descriptor(1).Name = "9Word"; }},
        {"duplicate names",
         [](TIndexFileHeader& h) {
             h.Descriptor(2) = h.Descriptor(1);
             h.Descriptor(2).Name = "idxword";
             h.SetSecondaryCount(2);
         }},
        {"gap in fields", [](TIndexFileHeader& h) { h.Descriptor(1).FieldNumbers[2] = 1; }},
        {"unknown field", [](TIndexFileHeader& h) { h.Descriptor(1).FieldNumbers[0] = 7; }},
        {"BLOB field",
         [](TIndexFileHeader& h) {
             h.Descriptor(1).FieldNumbers[0] = 3;
             h.Descriptor(1).KeyLength = 9 + 4;
         }},
        {"key length", [](TIndexFileHeader& h) { h.Descriptor(1).KeyLength = 22; }},
        {"no key fields",
         [](TIndexFileHeader& h) {
             h.Descriptor(1).FieldCount = 0;
             h.Descriptor(1).FieldNumbers[0] = 0;
         }},
        {"17 fields", [](TIndexFileHeader& h) { h.Descriptor(1).FieldCount = 17; }},
        {"root past the end", [](TIndexFileHeader& h) { h.Descriptor(1).RootPage = 4; }},
        {"negative free page", [](TIndexFileHeader& h) { h.Descriptor(0).FirstFreePage = -1; }},
        {"parameter page past the end",
         [](TIndexFileHeader& h) { h.Descriptor(32).ParameterPage = 4; }},
        {"deleted index root past the end",
         [](TIndexFileHeader& h) { h.Descriptor(31).RootPage = 9; }},
        {"text index on an integer",
         [](TIndexFileHeader& h) {
             h.Descriptor(32).FieldCount = 1;
             h.Descriptor(32).FieldNumbers[0] = 1;
         }},
        {"no pages but a root",
         [](TIndexFileHeader& h) {
             h.SetNextPage(1);
             h.Descriptor(0).RootPage = 1;
         }},
    };
    for (const auto& [what, damage] : cases) {
        TIndexTable table;
        table.File.DefinePrimaryIndex(Describe("", {1}), fields);
        (void)table.File.AddIndex(Describe("IdxWord", {2}, false), fields);
        (void)table.File.WriteIndexHeader();
        TIndexFileHeader header = table.File.Header();
        header.SetNextPage(4);
        header.Descriptor(1).RootPage = 3;
        header.Descriptor(32).FieldCount = 1;
        header.Descriptor(32).FieldNumbers[0] = 2;  // a string field is fine
        table.File.CloseFile();
        PutRawBytes(table.Name, 0, [&] {
            const auto bytes = header.ToDisk(false, false);
            return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
        }());
        table.File.OpenFile();
        ASSERT_NO_THROW(table.File.CheckIndexHeader(fields)) << what;
        damage(header);
        table.File.CloseFile();
        PutRawBytes(table.Name, 0, [&] {
            const auto bytes = header.ToDisk(false, false);
            return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
        }());
        table.File.OpenFile();
        EXPECT_EQ(CodeOf([&] { table.File.CheckIndexHeader(fields); }), PIRIN_HEADERCORRUPT)
            << what;
    }
    TIndexTable table;
    table.File.CloseFile();
    PutRawBytes(table.Name, 8, {4});
    table.File.OpenFile();
    EXPECT_EQ(CodeOf([&] { table.File.CheckIndexHeader(fields); }), PIRIN_OLDVERSION);
    EXPECT_EQ(CodeOf([&] { table.File.CheckIndexVersion(); }), PIRIN_OLDVERSION);
}

}  // namespace
}  // namespace pirin::index_test

namespace pirin::index_test {
namespace {

TEST(IndexFilePages, PagesOfAllIndexesAreWrittenBackSortedInRunsAndFreedPagesAreReused) {
    TIndexTable table;
    // Without the engine's floor: the budget of the record bytes alone.
    table.Context.Budgets.IndexPages = 0;
    table.Reopen();
    const auto fields = Schema();
    ASSERT_EQ(table.File.AddIndex(Describe("A", {1}), fields), 1);
    ASSERT_EQ(table.File.AddIndex(Describe("B", {2}), fields), 2);
    EXPECT_EQ(table.File.Cache(1).Budget(), 2u);  // 16384 / 8192
    std::vector<std::int32_t> numbers;
    // Inside a transaction nothing is written early: the caches grow.
    table.Context.Transaction = true;
    for (int i = 0; i < 6; ++i) {
        TPagePin pin = table.File.AllocatePage(nullptr, 1 + i % 2, TPageType::Leaf);
        numbers.push_back(pin->UnitNumber());
        EXPECT_TRUE(pin->Dirty());
    }
    EXPECT_EQ(numbers, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(table.File.LastPageNumber(), 6);
    EXPECT_EQ(RawBytes(table.Name).size(), 4096u);
    table.Context.Transaction = false;
    // Pages 1..6 of two caches make one run: one write.
    EXPECT_EQ(table.File.WritePages(), 1u);
    EXPECT_EQ(table.File.WritePages(), 0u);
    // Three pages each grew the caches past their budget of two; trimming
    // brings each back.
    EXPECT_EQ(table.File.Cache(1).Size(), 3u);
    table.File.TrimPages();
    EXPECT_EQ(table.File.Cache(1).Size(), 2u);
    EXPECT_EQ(table.File.Cache(2).Size(), 2u);
    EXPECT_EQ(RawBytes(table.Name).size(), 4096u * 7);

    // Freed pages go on their own index's chain, last in first out.
    for (const std::int32_t n : {3, 5}) {
        TPagePin pin = table.File.FetchPage(nullptr, 1, n);
        table.File.FreePage(nullptr, 1, *pin);
    }
    EXPECT_EQ(table.File.FirstFreePage(1), 5);
    EXPECT_EQ(table.File.FirstFreePage(2), 0);
    {
        TPagePin pin = table.File.AllocatePage(nullptr, 2);
        EXPECT_EQ(pin->UnitNumber(), 7);  // index 2's chain is empty
    }
    (void)table.File.WritePages();
    (void)table.File.WriteIndexHeader();
    table.Reopen();
    EXPECT_EQ(table.File.FirstFreePage(1), 5);
    {
        TPagePin pin = table.File.AllocatePage(nullptr, 1, TPageType::Interior);
        EXPECT_EQ(pin->UnitNumber(), 5);
        EXPECT_EQ(pin->Type(), TPageType::Interior);
        EXPECT_EQ(pin->NumberOfEntries(), 0);
    }
    EXPECT_EQ(table.File.FirstFreePage(1), 3);
    // A page number past the file is damage, not a new page.
    EXPECT_EQ(CodeOf([&] { (void)table.File.FetchPage(nullptr, 1, 9); }), PIRIN_INDEXCORRUPT);
    EXPECT_EQ(CodeOf([&] { (void)table.File.FetchPage(nullptr, 1, 0); }), PIRIN_INDEXCORRUPT);
}

TEST(IndexFilePages, AHeaderWrittenElsewhereDropsTheCachedPages) {
    TIndexTable table;
    ASSERT_EQ(table.File.AddIndex(Describe("A", {1}), Schema()), 1);
    { TPagePin pin = table.File.AllocatePage(nullptr, 1); }
    (void)table.File.WritePages();
    (void)table.File.WriteIndexHeader();
    EXPECT_EQ(table.File.Cache(1).Size(), 1u);
    TPlainTableContext otherContext;
    TIndexFile other(otherContext, table.Name);
    other.SetInMemory(true);
    other.OpenFile();
    other.TouchIndexHeader();
    (void)other.WriteIndexHeader();
    EXPECT_TRUE(table.File.IndexHeaderChanged());
    EXPECT_EQ(table.File.Cache(1).Size(), 0u);
}

// A cache is made when its index is first used: whenever that is, it must
// hold the budget the last sizing gave every cache, and keep following it.
TEST(IndexFilePages, CachesMadeOnFirstUseFollowTheBudgetOfTheLastSizing) {
    TIndexTable table;
    table.Context.Budgets.IndexPages = 0;
    table.Reopen();
    ASSERT_EQ(table.File.AddIndex(Describe("A", {1}), Schema()), 1);
    for (int i = 0; i < 3; ++i) {
        TPagePin pin = table.File.AllocatePage(nullptr, 1);
    }
    EXPECT_EQ(table.File.Cache(1).Budget(), 2u);  // 16384 / 8192
    EXPECT_EQ(table.File.Cache(1).Size(), 2u);    // trimmed while allocating
    table.Context.Budgets.RecordBytes = 5 * 8192;
    (void)table.File.WritePages();
    (void)table.File.WriteIndexHeader();
    table.Reopen();
    for (const int index : {1, 2, kDeletedIndex, kTextIndexNumber})
        EXPECT_EQ(table.File.Cache(index).Budget(), 5u) << index;
    // Pages of an index read through its new cache are the pages written.
    for (std::int32_t n = 1; n <= 3; ++n) {
        TPagePin pin = table.File.FetchPage(nullptr, 1, n);
        ASSERT_TRUE(pin);
        EXPECT_EQ(pin->Type(), TPageType::Leaf);
    }
    EXPECT_EQ(table.File.Cache(1).Size(), 3u);
    EXPECT_EQ(table.File.Cache(1).Stats().Misses, 3u);
}

}  // namespace
}  // namespace pirin::index_test
