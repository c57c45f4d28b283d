// The 120-byte index descriptor: exact offsets both ways, what a damaged
// descriptor unpacks to, and the internal indexes a new file starts with.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "storage/index_descriptor.h"

namespace pirin {
namespace {

using TBytes = std::array<std::uint8_t, kIndexDescriptorSize>;

TIndexDescriptor Sample() {
    TIndexDescriptor d;
    d.Name = "IdxWord";
    d.KeyLength = 0x0203;
    d.Descending = true;
    d.CaseInsensitive = true;
    d.Unique = true;
    d.Compression = 3;
    d.FieldCount = 2;
    d.FieldDescending[1] = true;
    d.FieldNumbers[0] = 0x0105;
    d.FieldNumbers[1] = 7;
    d.RootPage = 0x11223344;
    d.FirstFreePage = 0x01020304;
    d.ParameterPage = 0x0A0B0C0D;
    d.NoCounts = true;
    d.Temporary = true;
    return d;
}

TEST(IndexDescriptorTest, PacksEveryFieldAtItsOffset) {
    TBytes bytes;
    bytes.fill(0xEE);  // Pack must clear the reserved bytes
    Sample().Pack(bytes);

    TBytes expected{};
    expected[0] = 7;
    std::copy_n("IdxWord", 7, expected.begin() + 1);
    expected[31] = 0x03, expected[32] = 0x02;
    expected[33] = expected[34] = expected[35] = 1;
    expected[36] = 3;
    expected[37] = 2;
    expected[39] = 1;  // second field descending
    expected[54] = 0x05, expected[55] = 0x01, expected[56] = 7;
    expected[86] = 0x44, expected[87] = 0x33, expected[88] = 0x22, expected[89] = 0x11;
    expected[90] = 0x04, expected[91] = 0x03, expected[92] = 0x02, expected[93] = 0x01;
    expected[96] = 0x0D, expected[97] = 0x0C, expected[98] = 0x0B, expected[99] = 0x0A;
    expected[100] = 1;
    expected[101] = 1;
    EXPECT_EQ(bytes, expected);

    const TIndexDescriptor back = TIndexDescriptor::Unpack(bytes);
    EXPECT_EQ(back, Sample());
    EXPECT_TRUE(back.WellFormed);
}

TEST(IndexDescriptorTest, DamagedCountsStayInsideTheDescriptor) {
    TBytes bytes{};
    bytes[0] = 200;  // name length beyond its 30 characters
    for (int i = 1; i <= 30; ++i) bytes[i] = 'A';
    bytes[31] = 'X';  // first byte of the key length: must not join the name
    bytes[37] = 40;   // more key fields than there are slots
    bytes[36] = 9;    // compression out of range is kept for the header check
    const TIndexDescriptor d = TIndexDescriptor::Unpack(bytes);
    EXPECT_FALSE(d.WellFormed);
    EXPECT_EQ(d.Name, std::string(30, 'A'));
    EXPECT_EQ(d.FieldCount, 40);
    EXPECT_EQ(d.Compression, 9);

    // Writing it back never claims more than the places hold.
    TBytes out{};
    d.Pack(out);
    EXPECT_EQ(out[0], 30);
    EXPECT_EQ(out[37], kMaxKeyFields);
}

TEST(IndexDescriptorTest, InternalIndexesOfANewFile) {
    TBytes bytes{};
    DeletedIndexDescriptor().Pack(bytes);
    TIndexDescriptor d = TIndexDescriptor::Unpack(bytes);
    EXPECT_EQ(d.Name, "Sys Deleted");
    EXPECT_EQ(d.KeyLength, 5);
    EXPECT_EQ(d.CompressionKind(), TIndexCompression::None);

    TextIndexDescriptor().Pack(bytes);
    d = TIndexDescriptor::Unpack(bytes);
    EXPECT_EQ(d.Name, "Sys Text");
    EXPECT_EQ(d.KeyLength, 68);
    EXPECT_EQ(d.CompressionKind(), TIndexCompression::Full);
    EXPECT_EQ(d.FieldCount, 0);
    EXPECT_EQ(d.RootPage, 0);
}

}  // namespace
}  // namespace pirin
