// Index keys built from record images and from values: byte order equals the
// values' order for every numeric type, null handling, case-insensitive text,
// the row suffix, language-0 descending fields, multi-field layout, the key
// size limits and the errors for bad definitions and damaged records.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "locale/compare_keys.h"
#include "storage/index_key_bcd.h"
#include "storage/index_key_builder.h"
#include "storage/index_key_layout.h"
#include "storage/little_endian.h"
#include "storage/record.h"
#include "tests/storage/file_test_support.h"

namespace pirin {
namespace {

using pirin::testing::CodeOf;
using TKey = std::vector<std::uint8_t>;

constexpr std::uint16_t kBulgarian = 0x0402;

// A table's fields with their offsets laid out as the data file does, and
// record images written field by field in stored form.
class TKeyTable {
  public:
    // Adds a field; returns its number.
    std::uint16_t Add(std::uint8_t type, std::uint8_t declared = 0, std::uint8_t subtype = 0) {
        TFieldDescriptor f;
        f.Number = static_cast<std::uint16_t>(Fields.size() + 1);
        f.Name = "F" + std::to_string(f.Number);
        f.Type = type;
        f.Subtype = subtype;
        f.DeclaredSize = declared;
        f.StoredSize = static_cast<std::uint8_t>(FieldStoredSize(type, declared));
        if (f.IsAutoInc()) {
            f.Offset = kAutoIncOffset;
        } else {
            f.Offset = static_cast<std::uint16_t>(RecordSize);
            RecordSize += f.StoredSize + 1;
        }
        Fields.push_back(f);
        return f.Number;
    }

    std::vector<std::uint8_t> Blank(std::int32_t autoInc = 1) const {
        std::vector<std::uint8_t> image(RecordSize, 0);
        le::PutI32(image, kAutoIncOffset, autoInc);
        return image;
    }
    static void Set(std::vector<std::uint8_t>& image, const TFieldDescriptor& f,
                    std::span<const std::uint8_t> stored) {
        image[f.Offset] = 1;
        std::copy(stored.begin(), stored.end(), image.begin() + f.Offset + 1);
    }
    void SetText(std::vector<std::uint8_t>& image, std::uint16_t field,
                 std::string_view text) const {
        std::vector<std::uint8_t> stored(Fields[field - 1].StoredSize, 0);
        std::copy(text.begin(), text.end(), stored.begin());
        Set(image, Fields[field - 1], stored);
    }
    template <typename T>
    void SetValue(std::vector<std::uint8_t>& image, std::uint16_t field, T value) const {
        std::array<std::uint8_t, sizeof(T)> stored{};
        std::memcpy(stored.data(), &value, sizeof(T));  // little-endian host
        Set(image, Fields[field - 1], stored);
    }

    TIndexKeyLayout Layout(std::vector<std::uint16_t> numbers, bool unique = true,
                           std::uint16_t language = kBulgarian, bool caseInsensitive = false,
                           std::vector<bool> descending = {}, bool indexDescending = false) const {
        TIndexDescriptor d;
        d.Name = "IdxTest";
        d.Unique = unique;
        d.CaseInsensitive = caseInsensitive;
        d.Descending = indexDescending;
        d.FieldCount = static_cast<std::uint8_t>(numbers.size());
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            d.FieldNumbers[i] = numbers[i];
            d.FieldDescending[i] = i < descending.size() && descending[i];
        }
        return TIndexKeyLayout::Make(d, 1, Fields, language, 0, "KeyTable");
    }

    std::vector<TFieldDescriptor> Fields;
    std::size_t RecordSize = kRecordHeaderSize;
};

// ---- numeric order: one table-driven property test over every type ----

// A key type under test: how to draw a random value, write its stored form
// into a record, and order two values numerically.
struct TNumericCase {
    const char* Name;
    std::uint8_t Type;
    // Values that must be among the samples (ends of the range, signs).
    std::vector<double> Fixed;
    std::function<double(std::mt19937_64&)> Draw;
    std::function<void(const TKeyTable&, std::vector<std::uint8_t>&, std::uint16_t, double)> Store;
};

template <typename T>
std::function<double(std::mt19937_64&)> DrawInt() {
    return [](std::mt19937_64& rng) {
        return static_cast<double>(std::uniform_int_distribution<T>(
            std::numeric_limits<T>::min(), std::numeric_limits<T>::max())(rng));
    };
}
template <typename T>
auto StoreAs() {
    return [](const TKeyTable& t, std::vector<std::uint8_t>& image, std::uint16_t field,
              double value) { t.SetValue(image, field, static_cast<T>(value)); };
}

std::vector<TNumericCase> NumericCases() {
    const double inf = std::numeric_limits<double>::infinity();
    auto drawFloat = [](std::mt19937_64& rng) {
        // Mixed magnitudes, both signs, some subnormals.
        const double mantissa = std::uniform_real_distribution<double>(-1, 1)(rng);
        return std::ldexp(mantissa, std::uniform_int_distribution<int>(-1070, 1000)(rng));
    };
    return {
        {"SmallInt",
         kFieldSmallInt,
         {-32768, -1, 0, 1, 32767},
         DrawInt<std::int16_t>(),
         StoreAs<std::int16_t>()},
        {"Word",
         kFieldWord,
         {0, 1, 255, 256, 65535},
         DrawInt<std::uint16_t>(),
         StoreAs<std::uint16_t>()},
        {"Boolean",
         kFieldBoolean,
         {0, 1},
         [](std::mt19937_64& rng) { return double(rng() & 1); },
         StoreAs<std::uint16_t>()},
        {"Integer",
         kFieldInteger,
         {-2147483648.0, -1, 0, 1, 2147483647.0},
         DrawInt<std::int32_t>(),
         StoreAs<std::int32_t>()},
        {"Date",
         kFieldDate,
         {-1, 0, 693594, 2958465},
         DrawInt<std::int32_t>(),
         StoreAs<std::int32_t>()},
        {"Time", kFieldTime, {0, 1, 86399999}, DrawInt<std::int32_t>(), StoreAs<std::int32_t>()},
        // Large integers go through double here: the draw keeps them exact.
        {"LargeInt",
         kFieldLargeInt,
         {-9223372036854775808.0, -1, 0, 1, 9007199254740992.0},
         [](std::mt19937_64& rng) {
             return std::ldexp(double(std::int32_t(rng())),
                               std::uniform_int_distribution<int>(0, 30)(rng));
         },
         StoreAs<std::int64_t>()},
        {"Float",
         kFieldFloat,
         {-inf, -1.5, -0.0, 0, 2.25, inf, -4.9e-324, 4.9e-324},
         drawFloat,
         StoreAs<double>()},
        {"TimeStamp", kFieldTimeStamp, {-1, -0.0, 0, 1}, drawFloat, StoreAs<double>()},
        {"Bcd",
         kFieldBcd,
         {-922337203685477.0, -0.0001, 0, 0.0001, 922337203685477.0},
         [](std::mt19937_64& rng) {
             // Four-place decimals of mixed magnitudes.
             const auto whole = std::int64_t(rng() % 1000000000) * (rng() & 1 ? 1 : -1) /
                                (std::int64_t(1) << (rng() % 30));
             return double(whole) + double(rng() % 10000) / 10000.0 * (whole < 0 ? -1 : 1);
         },
         [](const TKeyTable& t, std::vector<std::uint8_t>& image, std::uint16_t field,
            double value) {
             const auto bcd = DecimalToBcd(std::llround(value * 10000), 4);
             ASSERT_TRUE(bcd.has_value()) << value;
             TKeyTable::Set(image, t.Fields[field - 1], *bcd);
         }},
    };
}

TEST(IndexKeyTest, ByteOrderOfKeysIsNumericOrderForEveryType) {
    for (const TNumericCase& c : NumericCases()) {
        SCOPED_TRACE(c.Name);
        const unsigned seed = 20261210;
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937_64 rng(seed);
        TKeyTable table;
        const auto field = table.Add(c.Type);
        const TIndexKeyLayout layout = table.Layout({field});

        std::vector<double> values = c.Fixed;
        for (int i = 0; i < 300; ++i) values.push_back(c.Draw(rng));
        std::vector<std::pair<double, TKey>> keyed;
        for (double v : values) {
            auto image = table.Blank();
            c.Store(table, image, field, v);
            keyed.emplace_back(v, RecordKey(layout, image));
        }
        for (const auto& [a, keyA] : keyed) {
            for (const auto& [b, keyB] : keyed) {
                // Bytes as unsigned numbers, as the language-0 comparison does.
                const bool less = std::lexicographical_compare(keyA.begin(), keyA.end(),
                                                               keyB.begin(), keyB.end());
                ASSERT_EQ(less, a < b) << a << " vs " << b;
                ASSERT_EQ(keyA == keyB, a == b) << a << " vs " << b;
            }
        }
    }
}

TEST(IndexKeyTest, SignBitAndFloatForms) {
    TKeyTable table;
    const auto i = table.Add(kFieldInteger);
    const auto f = table.Add(kFieldFloat);
    const TIndexKeyLayout ints = table.Layout({i});
    const TIndexKeyLayout floats = table.Layout({f});

    auto image = table.Blank();
    table.SetValue<std::int32_t>(image, i, -1);
    EXPECT_EQ(RecordKey(ints, image), (TKey{1, 0x7F, 0xFF, 0xFF, 0xFF}));
    table.SetValue<std::int32_t>(image, i, 0);
    EXPECT_EQ(RecordKey(ints, image), (TKey{1, 0x80, 0x00, 0x00, 0x00}));

    std::vector<TKey> keys;
    for (double v : {-1.5, 0.0, 2.25}) {
        table.SetValue(image, f, v);
        keys.push_back(RecordKey(floats, image));
    }
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(keys[1], (TKey{1, 0x80, 0, 0, 0, 0, 0, 0, 0}));

    // Every NaN is one key, after +infinity; -0.0 is the key of 0.
    auto keyOf = [&](double v) {
        table.SetValue(image, f, v);
        return RecordKey(floats, image);
    };
    const double negativeNan = -std::numeric_limits<double>::quiet_NaN();
    const double payloadNan = std::bit_cast<double>(std::uint64_t{0x7FF0000000000123});
    EXPECT_EQ(keyOf(negativeNan), keyOf(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(keyOf(payloadNan), keyOf(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_GT(keyOf(negativeNan), keyOf(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(keyOf(-0.0), keyOf(0.0));
}

TEST(IndexKeyTest, NullSortsBeforeEveryValue) {
    TKeyTable table;
    const auto i = table.Add(kFieldInteger);
    const auto s = table.Add(kFieldString, 10);
    for (auto field : {i, s}) {
        const TIndexKeyLayout layout = table.Layout({field});
        auto image = table.Blank();
        const TKey null = RecordKey(layout, image);
        EXPECT_EQ(null, TKey(layout.KeyLength, 0));
        if (field == i) {
            table.SetValue(image, i, std::numeric_limits<std::int32_t>::min());
        } else {
            table.SetText(image, s, "");  // an empty text that is not null
        }
        EXPECT_LT(null, RecordKey(layout, image));
    }
}

// Windows-1251: "ябълка" and "ЯБЪЛКА".
const std::string kLowerApple = "\xFF\xE1\xFA\xEB\xEA\xE0";
const std::string kUpperApple = "\xDF\xC1\xDA\xCB\xCA\xC0";

TEST(IndexKeyTest, CaseInsensitiveIndexUpperCasesBulgarianText) {
    TKeyTable table;
    const auto s = table.Add(kFieldString, 20);
    auto lower = table.Blank();
    auto upper = table.Blank();
    table.SetText(lower, s, kLowerApple);
    table.SetText(upper, s, kUpperApple);

    const TIndexKeyLayout insensitive = table.Layout({s}, true, kBulgarian, true);
    const TKey key = RecordKey(insensitive, lower);
    EXPECT_EQ(key, RecordKey(insensitive, upper));
    EXPECT_EQ(std::string(key.begin() + 1, key.begin() + 7), kUpperApple);
    EXPECT_EQ(key.size(), 22u);
    EXPECT_TRUE(std::all_of(key.begin() + 7, key.end(), [](auto b) { return b == 0; }));

    const TIndexKeyLayout sensitive = table.Layout({s});
    const TKey a = RecordKey(sensitive, lower);
    const TKey b = RecordKey(sensitive, upper);
    EXPECT_NE(a, b);
    EXPECT_NE(CompareKeys(sensitive.Description(), a.data(), b.data(), a.size()), 0);
}

TEST(IndexKeyTest, StoredTextAfterTheTerminatorIsNotPartOfTheKey) {
    TKeyTable table;
    const auto s = table.Add(kFieldString, 8);
    const TIndexKeyLayout layout = table.Layout({s});
    auto clean = table.Blank();
    table.SetText(clean, s, "abc");
    auto dirty = clean;
    dirty[table.Fields[0].Offset + 1 + 5] = 'Z';  // leftover after the zero
    dirty[table.Fields[0].Offset + 1 + 8] = 'Q';  // the terminator's place
    EXPECT_EQ(RecordKey(layout, dirty), RecordKey(layout, clean));
}

TEST(IndexKeyTest, NonUniqueKeysDifferOnlyInTheRowSuffix) {
    TKeyTable table;
    const auto s = table.Add(kFieldString, 10);
    const auto n = table.Add(kFieldInteger);
    const TIndexKeyLayout layout = table.Layout({s, n}, /*unique=*/false);
    ASSERT_EQ(layout.KeyLength, 11 + 1 + 4 + 1 + 4);

    std::vector<TKey> keys;
    for (std::int32_t autoInc : {300, 7, -2}) {
        auto image = table.Blank(autoInc);
        table.SetText(image, s, "same");
        table.SetValue<std::int32_t>(image, n, 42);
        keys.push_back(RecordKey(layout, image));
    }
    for (const TKey& key : keys)
        EXPECT_TRUE(std::equal(key.begin(), key.end() - 4, keys[0].begin()));
    EXPECT_EQ(TKey(keys[1].end() - 4, keys[1].end()), (TKey{0x80, 0, 0, 7}));
    EXPECT_LT(keys[2], keys[1]);
    EXPECT_LT(keys[1], keys[0]);
    const TKeyDescription description = layout.Description();
    EXPECT_LT(CompareKeys(description, keys[1].data(), keys[0].data(), keys[0].size()), 0);
    // Over the fields alone they are one key.
    EXPECT_EQ(CompareKeys(description, keys[1].data(), keys[0].data(), layout.FieldBytes), 0);
}

TEST(IndexKeyTest, LanguageZeroInvertsDescendingFieldsOnly) {
    TKeyTable table;
    const auto s = table.Add(kFieldString, 4);
    const auto n = table.Add(kFieldInteger);
    auto image = table.Blank();
    table.SetText(image, s, "AB");
    table.SetValue<std::int32_t>(image, n, 0);

    const TKey plain = RecordKey(table.Layout({s, n}, true, 0), image);
    EXPECT_EQ(plain, (TKey{1, 'A', 'B', 0, 0, 0, 1, 0x80, 0, 0, 0}));
    const TKey inverted = RecordKey(table.Layout({s, n}, true, 0, false, {true, true}), image);
    // The string's terminating zero stays zero.
    EXPECT_EQ(inverted, (TKey{0xFE, 0xBE, 0xBD, 0xFF, 0xFF, 0, 0xFE, 0x7F, 0xFF, 0xFF, 0xFF}));
    // A descending index, or another language, orders by comparison instead.
    EXPECT_EQ(RecordKey(table.Layout({s, n}, true, 0, false, {true, true}, true), image), plain);
    EXPECT_EQ(RecordKey(table.Layout({s, n}, true, kBulgarian, false, {true, true}), image), plain);

    // Byte order is then descending, nulls last.
    const TIndexKeyLayout descending = table.Layout({n}, true, 0, false, {true});
    std::vector<TKey> keys;
    auto other = table.Blank();
    keys.push_back(RecordKey(descending, other));  // null
    for (std::int32_t v : {-5, 3, 1000}) {
        table.SetValue(other, n, v);
        keys.push_back(RecordKey(descending, other));
    }
    EXPECT_TRUE(std::is_sorted(keys.rbegin(), keys.rend()));
}

TEST(IndexKeyTest, MultiFieldKeysLayFieldsInIndexOrder) {
    TKeyTable table;
    const auto w = table.Add(kFieldWord);
    const auto s = table.Add(kFieldString, 3);
    const auto a = table.Add(kFieldInteger, 0, kSubtypeAutoInc);
    const auto b = table.Add(kFieldBcd);
    // Index order differs from field order.
    const TIndexKeyLayout layout = table.Layout({a, s, w, b});
    ASSERT_EQ(layout.KeyLength, 5 + 5 + 3 + 9);
    EXPECT_EQ(layout.Parts[1].KeyOffset, 5);
    EXPECT_EQ(layout.Parts[3].KeySize, 8);

    auto image = table.Blank(0x01020304);
    table.SetValue<std::uint16_t>(image, w, 0x0A0B);
    table.SetText(image, s, "xy");
    // BCD left null.
    EXPECT_EQ(RecordKey(layout, image), (TKey{1,    0x81, 0x02, 0x03, 0x04, 1, 'x', 'y', 0, 0, 1,
                                              0x0A, 0x0B, 0,    0,    0,    0, 0,   0,   0, 0, 0}));

    // The first field decides before later ones.
    auto smaller = table.Blank(0x01020303);
    table.SetValue<std::uint16_t>(smaller, w, 0xFFFF);
    EXPECT_LT(RecordKey(layout, smaller), RecordKey(layout, image));
    const TKeyDescription d = layout.Description();
    ASSERT_EQ(d.Fields.size(), 4u);
    EXPECT_EQ(d.Fields[0].Type, kFieldInteger);
    EXPECT_EQ(d.Fields[1].KeySize, 4);
    EXPECT_EQ(d.Fields[3].KeySize, 8);
}

TEST(IndexKeyTest, ValuesGivenDirectlyMatchTheRecordKey) {
    TKeyTable table;
    const auto s = table.Add(kFieldString, 20);
    const auto n = table.Add(kFieldSmallInt);
    const TIndexKeyLayout layout = table.Layout({s, n}, false, kBulgarian, true);
    auto image = table.Blank(9);
    table.SetText(image, s, kLowerApple);
    table.SetValue<std::int16_t>(image, n, -3);

    TIndexKeyBuilder builder(layout);
    builder.AppendString(kUpperApple);
    EXPECT_EQ(builder.AppendedLength(), 22);  // a prefix search compares this much
    const std::array<std::uint8_t, 2> stored{0xFD, 0xFF};
    builder.AppendStored(stored);
    builder.AppendRowSuffix(9);
    EXPECT_EQ(TKey(builder.Key().begin(), builder.Key().end()), RecordKey(layout, image));

    builder.Clear();
    builder.AppendNull();
    builder.AppendNull();
    EXPECT_EQ(builder.FieldsAppended(), 2);
    EXPECT_EQ(CodeOf([&] { builder.AppendNull(); }), PIRIN_INVALIDKEY);
    builder.Clear();
    EXPECT_EQ(CodeOf([&] { builder.AppendStored(stored); }), PIRIN_INVALIDKEY);  // wrong size
    EXPECT_EQ(CodeOf([&] { builder.AppendRowSuffix(1); }), PIRIN_INVALIDKEY);    // too early
}

TEST(IndexKeyTest, KeyLengthAndItsLimits) {
    TKeyTable table;
    const auto big = table.Add(kFieldString, 250);  // key part 252
    const auto i = table.Add(kFieldInteger);        // 5
    const auto d = table.Add(kFieldFloat);          // 9
    const auto t = table.Add(kFieldString, 2);      // 4
    const auto blob = table.Add(kFieldBlob, 0, kSubtypeMemo);

    // 252 + 252 + 9 + 5 + 4 = 522 exactly.
    EXPECT_EQ(table.Layout({big, big, d, i, t}).KeyLength, kMaxKeyFieldBytes);
    EXPECT_EQ(table.Layout({big, big, d, i, t}, false).KeyLength, kMaxKeyLength);
    EXPECT_EQ(CodeOf([&] { table.Layout({big, big, d, i, i}); }), PIRIN_INVALIDKEY);

    EPirinEngineError error(0);
    EXPECT_EQ(CodeOf([&] { table.Layout({big, big, d, d, t}); }, &error), PIRIN_INVALIDKEY);
    EXPECT_EQ(error.ErrorIndexName, "IdxTest");
    EXPECT_EQ(error.ErrorTableName, "KeyTable");
    EXPECT_EQ(CodeOf([&] { table.Layout({i, blob}); }, &error), PIRIN_SEARCHCOLREQD);
    EXPECT_EQ(error.ErrorFieldName, "F5");
    EXPECT_EQ(CodeOf([&] { table.Layout({i, 9}); }), PIRIN_INVALIDIDXDESC);
    EXPECT_EQ(CodeOf([&] { table.Layout({0}); }), PIRIN_INVALIDIDXDESC);
    EXPECT_EQ(CodeOf([&] { table.Layout(std::vector<std::uint16_t>(17, i)); }), PIRIN_INDEXLIMIT);

    // A damaged definition must not make the key read past the value.
    table.Fields[i - 1].StoredSize = 2;
    EXPECT_EQ(CodeOf([&] { table.Layout({i}); }), PIRIN_INVALIDFLDTYPE);
    table.Fields[i - 1].StoredSize = 4;

    // A stored key length must be the one the fields give.
    TIndexDescriptor desc;
    desc.Unique = false;
    desc.FieldCount = 1;
    desc.FieldNumbers[0] = i;
    EXPECT_EQ(IndexKeyLength(desc, table.Fields), 9);
    desc.KeyLength = 9;
    EXPECT_EQ(TIndexKeyLayout::Make(desc, 3, table.Fields, 0, 0).KeyLength, 9);
    desc.KeyLength = 5;
    EXPECT_EQ(CodeOf([&] { TIndexKeyLayout::Make(desc, 3, table.Fields, 0, 0); }),
              PIRIN_INVALIDKEY);
    // Keys of the internal indexes are not made from fields.
    desc.KeyLength = 0;
    EXPECT_EQ(CodeOf([&] { TIndexKeyLayout::Make(desc, kDeletedIndex, table.Fields, 0, 0); }),
              PIRIN_INVALIDKEY);
}

TEST(IndexKeyTest, DamagedRecordsRaiseInsteadOfReadingPastTheImage) {
    TKeyTable table;
    const auto n = table.Add(kFieldInteger);
    const auto b = table.Add(kFieldBcd);
    auto image = table.Blank();
    image.resize(table.Fields[0].Offset + 3);  // cut inside the integer
    EXPECT_EQ(CodeOf([&] { RecordKey(table.Layout({n}), image); }), PIRIN_FILECORRUPT);
    EXPECT_EQ(CodeOf([&] { RecordKey(table.Layout({n}), TKey(4, 0)); }), PIRIN_FILECORRUPT);

    image = table.Blank();
    std::array<std::uint8_t, kBcdStoredSize> bcd{};
    bcd[0] = 2;
    bcd[2] = 0x1A;  // a nibble above 9
    TKeyTable::Set(image, table.Fields[b - 1], bcd);
    EXPECT_EQ(CodeOf([&] { RecordKey(table.Layout({b}), image); }), PIRIN_FILECORRUPT);
}

TEST(IndexKeyTest, KeyDescriptionForEveryIndexKind) {
    TKeyTable table;
    const auto s = table.Add(kFieldString, 30);
    const auto n = table.Add(kFieldInteger);
    TIndexDescriptor d;
    d.FieldCount = 2;
    d.FieldNumbers = {s, n};
    d.FieldDescending[1] = true;
    d.Descending = true;
    const TKeyDescription k = KeyDescriptionOf(d, 4, table.Fields, kBulgarian, 0);
    EXPECT_EQ(k.IndexNumber, 4);
    EXPECT_TRUE(k.Descending);
    EXPECT_EQ(k.Language, kBulgarian);
    ASSERT_EQ(k.Fields.size(), 2u);
    EXPECT_EQ(k.Fields[0].Type, kFieldString);
    EXPECT_EQ(k.Fields[0].KeySize, 31);
    EXPECT_FALSE(k.Fields[0].Descending);
    EXPECT_TRUE(k.Fields[1].Descending);

    // With a language the keys stay as they are and the comparison orders the
    // descending field: same text, larger number first.
    d.Descending = false;
    const TIndexKeyLayout layout = TIndexKeyLayout::Make(d, 4, table.Fields, kBulgarian, 0);
    auto one = table.Blank();
    table.SetText(one, s, kLowerApple);
    auto two = one;
    table.SetValue<std::int32_t>(one, n, 1);
    table.SetValue<std::int32_t>(two, n, 2);
    const TKey k1 = RecordKey(layout, one);
    const TKey k2 = RecordKey(layout, two);
    EXPECT_LT(k1, k2);
    EXPECT_GT(CompareKeys(KeyDescriptionOf(d, 4, table.Fields, kBulgarian, 0), k1.data(), k2.data(),
                          k1.size()),
              0);

    // The text index names fields but compares by its number alone.
    const TKeyDescription text = KeyDescriptionOf(d, kTextIndex, table.Fields, kBulgarian, 0);
    EXPECT_EQ(text.IndexNumber, kTextIndex);
    EXPECT_TRUE(text.Fields.empty());
}

TEST(IndexKeyTest, DeletedIndexKeysPutDeletedSlotsLast) {
    EXPECT_EQ(DeletedIndexKey(kRecordActive, -1),
              (std::array<std::uint8_t, 5>{0, 0x7F, 0xFF, 0xFF, 0xFF}));
    EXPECT_LT(DeletedIndexKey(kRecordActive, 5), DeletedIndexKey(kRecordActive, 6));
    EXPECT_LT(DeletedIndexKey(kRecordActive, 1000), DeletedIndexKey(kRecordDeleted, 1));

    TKeyTable table;
    table.Add(kFieldInteger);
    auto image = table.Blank(77);
    image[0] = kRecordDeleted;
    EXPECT_EQ(DeletedIndexKey(image), DeletedIndexKey(kRecordDeleted, 77));
    EXPECT_EQ(CodeOf([&] { DeletedIndexKey(TKey(8, 0)); }), PIRIN_FILECORRUPT);
}

}  // namespace
}  // namespace pirin
