// An encrypted table: the header stays readable except the description and
// password characters, while descriptors and record slots are scrambled on
// disk and read back clear.
#include <gtest/gtest.h>

#include <set>

#include "storage/scramble.h"
#include "tests/storage/data_file_test_support.h"

namespace pirin::data_test {
namespace {

constexpr const char* kDescription = "Bulgarian-English";
constexpr const char* kPassword20 = "Parola-za-rechnika20";  // 20 characters

TNewTableOptions TableOptions(bool encrypted) {
    TNewTableOptions options = Options();
    options.Description = kDescription;
    options.Password = kPassword20;
    options.Encrypted = encrypted;
    return options;
}

// The data file's header written with every counter set the same way.
std::vector<std::uint8_t> HeaderOfTable(DataFileTest& t, bool encrypted) {
    t.Build(SampleFields(), TableOptions(encrypted));
    t.Append(2);
    t.PatchHeader([](TDataHeader& h) { h.SetWriteTime(0); });
    const auto bytes = t.RawBytes();
    return {bytes.begin(), bytes.begin() + kDataHeaderSize};
}

TEST_F(DataFileTest, OnlyDescriptionAndPasswordCharactersOfTheHeaderAreScrambled) {
    const auto clear = HeaderOfTable(*this, false);
    const auto scrambled = HeaderOfTable(*this, true);

    std::set<std::size_t> differing;
    for (std::size_t i = 0; i < kDataHeaderSize; ++i)
        if (clear[i] != scrambled[i]) differing.insert(i);
    const std::size_t descriptionLength = std::string(kDescription).size();
    std::set<std::size_t> expected{86, 87};  // encrypted flag, password length 0 -> 15
    for (std::size_t i = 0; i < descriptionLength; ++i) expected.insert(36 + i);
    for (std::size_t i = 0; i < kPasswordLength; ++i) expected.insert(88 + i);
    EXPECT_EQ(differing, expected);

    const std::string stored(scrambled.begin() + 36, scrambled.begin() + 36 + descriptionLength);
    EXPECT_EQ(stored, ScrambleString(kDescription));
    EXPECT_EQ(scrambled[87], 15);

    TDataFile& file = Reopen();
    EXPECT_TRUE(file.Encrypted());
    EXPECT_EQ(file.GetPassword(), std::string(kPassword20).substr(0, 15));
    EXPECT_EQ(file.Description(), kDescription);
}

TEST_F(DataFileTest, AClearTableStoresNoPasswordAndItsDescriptionInClear) {
    const auto clear = HeaderOfTable(*this, false);
    EXPECT_EQ(clear[87], 0);
    EXPECT_EQ(std::string(clear.begin() + 36, clear.begin() + 36 + 17), kDescription);
    EXPECT_EQ(Reopen().GetPassword(), "");
}

TEST_F(DataFileTest, DescriptorsAndRecordsAreScrambledOnDiskAndReadBackClear) {
    Build(SampleFields(), TableOptions(true));
    Append(3);
    const auto raw = RawBytes();

    // The descriptors are one run.
    std::vector<std::uint8_t> descriptors(6 * kFieldDescriptorSize);
    const auto fields = SampleFields();
    TDataFile& file = Reopen();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        PackFieldDescriptor(file.Fields()[i],
                            TFieldDescriptorBytes(descriptors.data() + i * kFieldDescriptorSize,
                                                  kFieldDescriptorSize));
        EXPECT_EQ(file.Fields()[i].Name, fields[i].Name);
    }
    const std::vector<std::uint8_t> storedDescriptors(raw.begin() + kDataHeaderSize,
                                                      raw.begin() + file.DataOffset());
    EXPECT_NE(storedDescriptors, descriptors);
    ScrambleBytes(descriptors.data(), descriptors.size(), kDataSeeds);
    EXPECT_EQ(storedDescriptors, descriptors);

    // Each slot is a run of its own.
    for (std::int32_t n = 1; n <= 3; ++n) {
        TRecordPin pin = file.FetchRecord(nullptr, n);
        EXPECT_EQ(WordOf(*pin), "w" + std::to_string(n));
        std::vector<std::uint8_t> slot(pin->Image().begin(), pin->Image().end());
        ScrambleBytes(slot.data(), slot.size(), kDataSeeds);
        const auto at = static_cast<std::ptrdiff_t>(file.UnitOffset(n));
        EXPECT_TRUE(std::equal(slot.begin(), slot.end(), raw.begin() + at)) << n;
        const std::string word = "w" + std::to_string(n);
        EXPECT_EQ(std::search(raw.begin(), raw.end(), word.begin(), word.end()), raw.end());
    }
    EXPECT_EQ(CodeOf([&] { file.CheckStructure(); }), 0);
}

TEST_F(DataFileTest, ALiveSlotReadsItsOwnNumberWhateverItsLinkBytesHold) {
    Build(SampleFields(), TableOptions(true));
    Append(2);
    // Garbage in the link bytes of slot 2, scrambled as the file would hold it.
    const auto raw = RawBytes();
    std::vector<std::uint8_t> slot(raw.begin() + 127 + 768 * 6 + kSampleRecordSize,
                                   raw.begin() + 127 + 768 * 6 + 2 * kSampleRecordSize);
    ScrambleBytes(slot.data(), slot.size(), kDataSeeds);
    slot[1] = 0x77;
    slot[4] = 0x55;
    ScrambleBytes(slot.data(), slot.size(), kDataSeeds);
    PutRaw(127 + 768 * 6 + kSampleRecordSize, slot);
    TRecordPin pin = Reopen().FetchRecord(nullptr, 2);
    EXPECT_EQ(pin->NextDeleted(), 2);
    EXPECT_EQ(WordOf(*pin), "w2");
}

}  // namespace
}  // namespace pirin::data_test
