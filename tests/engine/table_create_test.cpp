// Creating tables: every field type on disk and in memory, in clear and
// encrypted, with records added and deleted through the fixture and the
// whole-table verifier as the judge; the definition errors, each leaving
// nothing behind; refusing an existing table; the file names.
#include "engine/table_create.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/table_files.h"
#include "errors/engine_error.h"
#include "storage/index_key_layout.h"
#include "tests/engine/table_fixture.h"

namespace pirin::testing {
namespace {

using ::testing::IsEmpty;

int CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EPirinEngineError& error) {
        return error.ErrorCode;
    }
    return 0;
}

// One field of every type, a primary key over two fields and secondary
// indexes of every kind.
TTableDefinition EveryType() {
    TTableDefinition d;
    d.Fields = {
        Field("Id", "AUTOINC"),       Field("Word", "VARCHAR", 30),  Field("Fixed", "CHAR", 10),
        Field("Born", "DATE"),        Field("Memo", "MEMO"),         Field("Flag", "BOOLEAN"),
        Field("Small", "SMALLINT"),   Field("Count", "INTEGER"),     Field("Ratio", "FLOAT"),
        Field("Price", "MONEY"),      Field("Amount", "DECIMAL", 2), Field("Raw", "BYTES", 6),
        Field("At", "TIME"),          Field("Stamp", "TIMESTAMP"),   Field("Unsigned", "WORD"),
        Field("Var", "VARBYTES", 12), Field("Large", "LARGEINT"),    Field("Picture", "GRAPHIC"),
        Field("Blob", "BLOB")};
    d.Fields[2].Subtype = kSubtypeFixedString;
    d.Fields[7].Required = true;
    d.Fields[7].Min = "-100000";
    d.Fields[7].Default = "7";
    d.Fields[1].CharCase = kCaseUpper;
    d.Primary = TIndexDefinition{.Fields = {"Count", "Id"}};
    d.Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .CaseInsensitive = true, .Compression = 3},
                 {.Name = "ByBorn",
                  .Fields = {"Born", "Amount"},
                  .Descending = true,
                  .FieldDescending = {false, true},
                  .Compression = 1},
                 {.Name = "UniqueLarge", .Fields = {"Large"}, .Unique = true},
                 {.Name = "ByStamp", .Fields = {"Stamp", "At", "Raw"}, .Compression = 2}};
    d.Language = 0x0402;
    d.Description = "every field type";
    d.BlobBlockSize = 64;
    return d;
}

TRow EveryTypeRow(int n) {
    const std::string text(static_cast<std::size_t>(n * 37 % 300), static_cast<char>('a' + n % 26));
    return {nullptr,
            "word " + std::to_string(n % 7),
            "fx" + std::to_string(n),
            "2024-03-" + std::to_string(1 + n % 28),
            text,
            n % 2,
            -n,
            n * 3 - 50,
            n / 3.0,
            12.25,
            std::to_string(n) + ".75",
            TValue::Bytes({1, 2, static_cast<std::uint8_t>(n)}),
            "12:30:" + std::to_string(10 + n % 40),
            "2020-01-02 03:04:05",
            n * 11,
            TValue::Bytes({9, 8, 7}),
            std::int64_t{1} << 40 | n,
            n % 3 == 0 ? TValue() : TValue::Bytes(std::vector<std::uint8_t>(n * 13, 0xAB)),
            n % 4 == 0 ? TValue() : TValue("blob " + text)};
}

struct TCreateCase {
    TFixtureStorage Storage;
    bool Encrypted;
};

class CreateEveryType : public ::testing::TestWithParam<TCreateCase> {};

TEST_P(CreateEveryType, MakesSoundFilesThatKeepRecordsIndexesAndBlobs) {
    TTableDefinition definition = EveryType();
    if (GetParam().Encrypted) definition.Password = "a password longer than 15";
    TFixtureTable table(definition, GetParam().Storage);
    EXPECT_THAT(table.Verify(), IsEmpty());
    {
        TTableFiles files(table.Location());
        TDataFile& data = files.Data();
        ASSERT_EQ(data.FieldCount(), 19);
        EXPECT_EQ(data.Encrypted(), GetParam().Encrypted);
        EXPECT_EQ(data.GetPassword(), GetParam().Encrypted ? "a password long" : "");
        EXPECT_EQ(data.Description(), "every field type");
        EXPECT_EQ(data.Language(), 0x0402);
        EXPECT_EQ(data.BlobBlockSize(), 64);
        EXPECT_EQ(data.BlobFieldCount(), 3);
        EXPECT_EQ(data.Fields()[0].Offset, kAutoIncOffset);
        EXPECT_EQ(data.Fields()[1].Offset, kFirstFieldOffset);
        EXPECT_EQ(data.Fields()[2].Subtype, kSubtypeFixedString);
        EXPECT_EQ(data.Fields()[7].DefaultText, "7");
        EXPECT_TRUE(data.Fields()[7].Required);
        EXPECT_EQ(data.Fields()[10].Scale, 2);
        ASSERT_NE(files.Blob(), nullptr);
        TIndexFile& index = files.Index();
        EXPECT_FALSE(index.NoPrimaryIndex());
        EXPECT_EQ(index.SecondaryIndexCount(), 4);
        const TIndexDescriptor& primary = index.GetIndexDescriptor(0);
        EXPECT_TRUE(primary.Unique);
        EXPECT_EQ(primary.KeyLength, 10);  // two integers with presence bytes
        const TIndexDescriptor& byBorn = index.GetIndexDescriptor(2);
        EXPECT_EQ(byBorn.Name, "ByBorn");
        EXPECT_TRUE(byBorn.Descending);
        EXPECT_TRUE(byBorn.FieldDescending[1]);
        EXPECT_EQ(byBorn.KeyLength, 5 + 9 + 4);
        EXPECT_EQ(index.GetIndexDescriptor(3).KeyLength, 9);
        for (int i = 0; i <= 4; ++i)
            EXPECT_EQ(index.GetIndexDescriptor(i).KeyLength,
                      IndexKeyLength(index.GetIndexDescriptor(i), data.Fields()))
                << i;
    }

    for (int n = 1; n <= 20; ++n) ASSERT_EQ(table.Append(EveryTypeRow(n)), n);
    std::vector<TRow> rows;
    for (int n = 21; n <= 60; ++n) rows.push_back(EveryTypeRow(n));
    EXPECT_EQ(table.AppendRows(rows).back(), 60);
    for (int n : {5, 17, 40, 41, 59}) table.Delete(n);
    EXPECT_EQ(table.RecordCount(), 55);
    EXPECT_THAT(table.Verify(), IsEmpty());
    // With a primary key deleted slots are reused, last deleted first.
    EXPECT_EQ(table.Append(EveryTypeRow(100)), 59);
    EXPECT_EQ(table.Append(EveryTypeRow(101)), 41);
    EXPECT_THAT(table.Verify(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, CreateEveryType,
                         ::testing::Values(TCreateCase{TFixtureStorage::Disk, false},
                                           TCreateCase{TFixtureStorage::Disk, true},
                                           TCreateCase{TFixtureStorage::Memory, false},
                                           TCreateCase{TFixtureStorage::Memory, true}),
                         [](const auto& info) {
                             return std::string(info.param.Storage == TFixtureStorage::Disk
                                                    ? "Disk"
                                                    : "Memory") +
                                    (info.param.Encrypted ? "Encrypted" : "Clear");
                         });

TEST(CreateTable, WithoutPrimaryKeyOrBlobsAppendsAndNeverReusesSlots) {
    TFixtureTable table({.Fields = {Field("Word", "VARCHAR", 20), Field("N", "INTEGER")},
                         .Indexes = {{.Name = "ByWord", .Fields = {"Word", "N"}}}});
    EXPECT_FALSE(std::filesystem::exists(table.FileNames().Blob));
    for (int n = 1; n <= 5; ++n) table.Append({"w" + std::to_string(n % 2), n});
    table.Delete(2);
    table.Delete(4);
    EXPECT_EQ(table.Append({"again", 6}), 6);
    EXPECT_EQ(table.RecordCount(), 4);
    EXPECT_THAT(table.Verify(), IsEmpty());
    TTableFiles files(table.Location());
    EXPECT_TRUE(files.Index().NoPrimaryIndex());
    EXPECT_EQ(files.Blob(), nullptr);
}

TEST(CreateTable, UniqueKeyViolationChangesNothing) {
    TFixtureTable table({.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20)},
                         .Primary = TIndexDefinition{.Fields = {"Id"}},
                         .Indexes = {{.Name = "ByWord", .Fields = {"Word"}, .Unique = true}}});
    table.Append({1, "one"});
    EXPECT_EQ(CodeOf([&] { table.Append({1, "other"}); }), PIRIN_KEYVIOL);
    EXPECT_EQ(CodeOf([&] { table.Append({2, "one"}); }), PIRIN_KEYVIOL);
    // Within one batch too, and then none of the batch is written.
    EXPECT_EQ(CodeOf([&] {
                  table.AppendRows({{2, "two"}, {3, "three"}, {4, "two"}});
              }),
              PIRIN_KEYVIOL);
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_THAT(table.Verify(), IsEmpty());
}

TEST(CreateTable, RefusesAnExistingTableWhateverTheLetterCaseAndABlankName) {
    TFixtureTable table({.Fields = {Field("Id", "INTEGER")}}, TFixtureStorage::Disk, "Bg_En");
    table.Append({1});
    for (const std::string name : {"Bg_En", "BG_EN", "bg_en.dat"}) {
        EXPECT_EQ(CodeOf([&] {
                      CreateTable({.Directory = table.Directory(), .Name = name},
                                  {.Fields = {Field("X", "INTEGER")}});
                  }),
                  PIRIN_TABLEEXISTS)
            << name;
    }
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_THAT(table.Verify(), IsEmpty());

    for (const std::string name : {"", "  ", ".dat", "sub/"})
        EXPECT_EQ(CodeOf([&] {
                      CreateTable({.Directory = table.Directory(), .Name = name},
                                  {.Fields = {Field("X", "INTEGER")}});
                  }),
                  PIRIN_OSENOENT)
            << "'" << name << "'";

    TFixtureTable memory({.Fields = {Field("Id", "INTEGER")}}, TFixtureStorage::Memory);
    EXPECT_EQ(CodeOf([&] { CreateTable(memory.Location(), {.Fields = {Field("X", "INTEGER")}}); }),
              PIRIN_TABLEEXISTS);
}

TEST(CreateTable, FileNamesReplaceADatExtensionAndKeepOthers) {
    const std::pair<std::string, std::string> cases[] = {{"Bg_En", "/d/Bg_En"},
                                                         {"Bg_En.DAT", "/d/Bg_En"},
                                                         {"Bg_En.dat", "/d/Bg_En"},
                                                         {"Bg_En.txt", "/d/Bg_En.txt"},
                                                         {"x.dat.dat", "/d/x.dat"}};
    for (const auto& [name, base] : cases) {
        const TTableFileNames names = TableFileNames("/d/", name);
        EXPECT_EQ(names.Data, base + ".DAT") << name;
        EXPECT_EQ(names.Index, base + ".IDX") << name;
        EXPECT_EQ(names.Blob, base + ".BLB") << name;
    }
}

// A definition error and the field or index it is about.
struct TDefinitionFault {
    const char* What;
    std::function<void(TTableDefinition&)> Break;
    int Code;
};

TTableDefinition Valid() {
    return {.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20), Field("Memo", "MEMO")},
            .Primary = TIndexDefinition{.Fields = {"Id"}},
            .Indexes = {{.Name = "ByWord", .Fields = {"Word"}}}};
}

TEST(CreateTable, DefinitionErrorsLeaveNoFileBehind) {
    const TDefinitionFault faults[] = {
        {"bad field name", [](auto& d) { d.Fields[1].Name = "1Word"; }, PIRIN_INVALIDFIELDNAME},
        {"repeated field name", [](auto& d) { d.Fields[1].Name = "ID"; }, PIRIN_INVALIDFIELDNAME},
        {"string longer than 250", [](auto& d) { d.Fields[1].Size = 251; }, PIRIN_INVALIDFLDTYPE},
        {"unknown type", [](auto& d) { d.Fields[0].Type = 16; }, PIRIN_INVALIDFLDTYPE},
        {"bad default", [](auto& d) { d.Fields[0].Default = "seven"; }, PIRIN_INVALIDVCHKSTRUCT},
        {"too many fields",
         [](auto& d) {
             for (int i = 0; i < 1025; ++i)
                 d.Fields.push_back(Field("F" + std::to_string(i), "INTEGER"));
         },
         PIRIN_FLDLIMIT},
        {"too many BLOB fields",
         [](auto& d) {
             for (int i = 0; i < 128; ++i)
                 d.Fields.push_back(Field("B" + std::to_string(i), "MEMO"));
         },
         PIRIN_BLOBLIMIT},
        {"record too big",
         [](auto& d) {
             for (int i = 0; i < 270; ++i)
                 d.Fields.push_back(Field("S" + std::to_string(i), "CHAR", 250));
         },
         PIRIN_RECTOOBIG},
        {"primary key on a missing field", [](auto& d) { d.Primary->Fields = {"Nope"}; },
         PIRIN_INVALIDIDXDESC},
        {"primary key on a BLOB", [](auto& d) { d.Primary->Fields = {"Memo"}; },
         PIRIN_SEARCHCOLREQD},
        {"index without name", [](auto& d) { d.Indexes[0].Name = ""; }, PIRIN_INDEXNAMEREQUIRED},
        {"bad index name", [](auto& d) { d.Indexes[0].Name = "9x"; }, PIRIN_INVALIDINDEXNAME},
        {"repeated index name",
         [](auto& d) { d.Indexes.push_back({.Name = "BYWORD", .Fields = {"Id"}}); },
         PIRIN_INDEXEXISTS},
        {"index on a BLOB", [](auto& d) { d.Indexes[0].Fields = {"Memo"}; }, PIRIN_SEARCHCOLREQD},
        {"index on a missing field", [](auto& d) { d.Indexes[0].Fields = {"Nope"}; },
         PIRIN_INVALIDIDXDESC},
        {"seventeen key fields",
         [](auto& d) { d.Indexes[0].Fields = std::vector<std::string>(17, "Id"); },
         PIRIN_INDEXLIMIT},
        {"31 secondary indexes",
         [](auto& d) {
             for (int i = 0; i < 30; ++i)
                 d.Indexes.push_back({.Name = "I" + std::to_string(i), .Fields = {"Id"}});
         },
         PIRIN_INDEXLIMIT},
        {"key too long",
         [](auto& d) {
             for (int i = 0; i < 3; ++i)
                 d.Fields.push_back(Field("L" + std::to_string(i), "CHAR", 250));
             d.Indexes[0].Fields = {"L0", "L1", "L2"};
         },
         PIRIN_INVALIDIDXDESC},
        {"compression 4", [](auto& d) { d.Indexes[0].Compression = 4; }, PIRIN_INVALIDIDXDESC},
        {"descending flags for the wrong field count",
         [](auto& d) {
             d.Indexes[0].FieldDescending = {true, false};
         },
         PIRIN_INVALIDIDXDESC},
        {"a language without collation", [](auto& d) { d.Language = 0x7F7F; },
         PIRIN_CANNOTLOADLDDRV},
        {"BLOB block with no data part", [](auto& d) { d.BlobBlockSize = 18; },
         PIRIN_INVALIDBLOBLEN},
        {"BLOB block size beyond 16 bits", [](auto& d) { d.BlobBlockSize = 70000; },
         PIRIN_INVALIDBLOBLEN},
    };
    for (const bool inMemory : {false, true}) {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("pirin-create-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        for (const TDefinitionFault& fault : faults) {
            TTableDefinition definition = Valid();
            fault.Break(definition);
            const TTableLocation location{.Directory = inMemory ? "" : folder.string() + "/",
                                          .Name = "Broken",
                                          .InMemory = inMemory};
            EXPECT_EQ(CodeOf([&] { CreateTable(location, definition); }), fault.Code)
                << fault.What << (inMemory ? " in memory" : " on disk");
            const TTableFileNames names = TableFileNames(location.Directory, location.Name);
            for (const std::string& name : {names.Data, names.Index, names.Blob}) {
                TFileHandler file(name);
                file.SetInMemory(inMemory);
                EXPECT_FALSE(file.FileExists()) << fault.What << ": " << name;
            }
        }
        std::filesystem::remove_all(folder);
    }
}

}  // namespace
}  // namespace pirin::testing
