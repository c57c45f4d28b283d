#include "locale/compare_keys.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <vector>

#include "collation_test_support.h"
#include "locale/case_mapping.h"
#include "locale/field_types.h"

namespace pirin {
namespace {

using namespace test;
using namespace std::literals;

// An index key assembled field by field as the cursor builds it.
class TKey {
  public:
    TKey& Text(std::string_view text, int keySize) {
        FBytes.push_back(1);
        std::string value(text.substr(0, static_cast<std::size_t>(keySize)));
        value.resize(static_cast<std::size_t>(keySize), '\0');
        FBytes += value;
        return *this;
    }
    TKey& Null(int keySize) {
        FBytes.append(static_cast<std::size_t>(keySize) + 1, '\0');
        return *this;
    }
    // 32-bit integer key form: big-endian with the sign bit inverted.
    TKey& Integer(std::int32_t value) {
        const auto u = static_cast<std::uint32_t>(value) ^ 0x80000000u;
        FBytes.push_back(1);
        for (int shift = 24; shift >= 0; shift -= 8)
            FBytes.push_back(static_cast<char>(u >> shift));
        return *this;
    }
    TKey& Raw(std::string_view bytes) {
        FBytes += bytes;
        return *this;
    }
    TKey& RowId(std::uint32_t row) {
        for (int shift = 24; shift >= 0; shift -= 8)
            FBytes.push_back(static_cast<char>(row >> shift));
        return *this;
    }
    const std::string& Bytes() const { return FBytes; }

  private:
    std::string FBytes;
};

TKeyDescription Index(std::uint16_t language, std::initializer_list<TKeyField> fields,
                      bool descending = false, int number = 1) {
    return {.IndexNumber = number,
            .Fields = fields,
            .Descending = descending,
            .Language = language,
            .Sort = 0};
}

constexpr TKeyField kText10{kFieldString, 10, false};
constexpr TKeyField kText10Desc{kFieldString, 10, true};
constexpr TKeyField kInteger{kFieldInteger, 4, false};
constexpr TKeyField kIntegerDesc{kFieldInteger, 4, true};

// Compares copies of exactly `count` bytes, so nothing beyond them can be read
// unnoticed by a sanitiser. count 0 means the whole (equal-length) keys. A
// search for b (TKeySearch) must give the same answer.
int Compare(const TKeyDescription& index, const TKey& a, const TKey& b, std::size_t count = 0) {
    if (count == 0) count = a.Bytes().size();
    const std::vector<char> x(a.Bytes().begin(), a.Bytes().begin() + static_cast<long>(count));
    const std::vector<char> y(b.Bytes().begin(), b.Bytes().begin() + static_cast<long>(count));
    const int result = CompareKeys(index, x.data(), y.data(), count);
    EXPECT_EQ(TKeySearch(index, y.data(), count)(x.data()), result)
        << "'" << a.Bytes() << "' '" << b.Bytes() << "' " << count;
    return result;
}

TEST(CompareKeys, NullsFirstAscendingAndLastDescending) {
    const struct {
        TKeyField field;
        bool indexDescending;
        int nullVersusValue;
    } cases[] = {
        {kText10, false, -1},  {kText10, true, 1},  {kText10Desc, false, 1},
        {kInteger, false, -1}, {kInteger, true, 1}, {kIntegerDesc, false, 1},
    };
    for (const auto& c : cases) {
        for (std::uint16_t language : {kAnsi, kBulgarian}) {
            // Language 0 stores descending fields of an ascending index bit-inverted,
            // so only the whole index's direction applies to it.
            if (language == kAnsi && c.field.Descending) continue;
            const TKeyDescription index = Index(language, {c.field}, c.indexDescending);
            TKey null;
            TKey value;
            if (c.field.Type == kFieldString) {
                null.Null(10);
                value.Text("a", 10);
            } else {
                null.Null(4);
                value.Integer(-5);  // a negative value still sorts after null
            }
            EXPECT_EQ(Compare(index, null, value), c.nullVersusValue)
                << language << " " << int(c.field.Type) << " " << c.indexDescending;
            EXPECT_EQ(Compare(index, value, null), -c.nullVersusValue);
            EXPECT_EQ(Compare(index, null, null), 0);
        }
    }
}

TEST(CompareKeys, TextByLocaleOrByBytesForLanguage0) {
    const struct {
        std::uint16_t language;
        std::string first;
        std::string second;
        bool descending;
        int expected;
    } cases[] = {
        {kAnsi, "Z", "a", false, -1},
        {kAnsi, "\xE0", "z", false, 1},  // Cyrillic after Latin
        {kAnsi, "Z", "a", true, 1},
        {kEnglish, "Z", "a", false, 1},
        {kEnglish, "Z", "a", true, -1},
        {kBulgarian, Cp1251(u"бял"), Cp1251(u"ябълка"), false, -1},
        {kBulgarian, Cp1251(u"ъгъл"), Cp1251(u"щит"), false, 1},
        {kFrench, Cp1252(u"café"), "cafe", false, 0},  // accents do not count
        {kFrench, "co-op", "coop", false, -1},         // hyphens do
    };
    for (const auto& c : cases) {
        const TKeyDescription index = Index(c.language, {kText10}, c.descending);
        EXPECT_EQ(Compare(index, TKey().Text(c.first, 10), TKey().Text(c.second, 10)), c.expected)
            << c.language << " '" << c.first << "' '" << c.second << "' " << c.descending;
    }
}

TEST(CompareKeys, CaseInsensitiveIndexStoresUpperCaseAndCompares) {
    const TKeyDescription index = Index(kBulgarian, {kText10});
    std::string lower = Cp1251(u"кошка");
    std::string upper = Cp1251(u"КОШКА");
    // A case-sensitive index keeps the text as it is: two keys.
    EXPECT_EQ(Compare(index, TKey().Text(lower, 10), TKey().Text(upper, 10)), -1);
    // A case-insensitive one upper-cases it: one key.
    UpperCaseLocale(kBulgarian, 0, lower);
    UpperCaseLocale(kBulgarian, 0, upper);
    EXPECT_EQ(Compare(index, TKey().Text(lower, 10), TKey().Text(upper, 10)), 0);
}

TEST(CompareKeys, TrailingRowIdentifierDecidesBetweenEqualValues) {
    for (bool descending : {false, true}) {
        const TKeyDescription index = Index(kFrench, {kText10, kInteger}, descending);
        const TKey a = TKey().Text(Cp1252(u"été"), 10).Integer(7).RowId(1);
        const TKey b = TKey().Text("ete", 10).Integer(7).RowId(2);
        EXPECT_EQ(Compare(index, a, b), descending ? 1 : -1);
        EXPECT_EQ(Compare(index, a, a), 0);
    }
}

TEST(CompareKeys, EachFieldInItsOwnDirection) {
    const TKeyDescription index = Index(kEnglish, {kInteger, kText10Desc});
    EXPECT_EQ(Compare(index, TKey().Integer(1).Text("a", 10), TKey().Integer(1).Text("b", 10)), 1);
    EXPECT_EQ(Compare(index, TKey().Integer(1).Text("z", 10), TKey().Integer(2).Text("a", 10)), -1);
    EXPECT_EQ(Compare(index, TKey().Integer(-1).Text("a", 10), TKey().Integer(1).Text("a", 10)),
              -1);
    const TKeyDescription reversed = Index(kEnglish, {kInteger, kText10}, true);
    EXPECT_EQ(Compare(reversed, TKey().Integer(1).Text("a", 10), TKey().Integer(2).Text("a", 10)),
              1);
}

TEST(CompareKeys, CountShorterThanTheKeyComparesTheLeadingPart) {
    const TKeyDescription index = Index(kEnglish, {kText10, kText10});
    const TKey a = TKey().Text("abcX", 10).Text("one", 10);
    const TKey b = TKey().Text("abcY", 10).Text("two", 10);
    const struct {
        std::size_t count;
        int expected;
    } cases[] = {
        {1, 0},   // the null flags only
        {4, 0},   // "abc" of the first text
        {5, -1},  // X < Y
    };
    for (const auto& c : cases) EXPECT_EQ(Compare(index, a, b, c.count), c.expected) << c.count;

    const TKey c = TKey().Text("same", 10).Text("one", 10);
    const TKey d = TKey().Text("same", 10).Text("two", 10);
    EXPECT_EQ(Compare(index, c, d, 11), 0);  // the first field only
    // The second field's null flag but none of its text: equal, and nothing
    // past the count is read as a zero-terminated text.
    EXPECT_EQ(Compare(index, c, d, 12), 0);
    EXPECT_EQ(Compare(index, c, d, 13), -1);  // "o" < "t"
    EXPECT_EQ(Compare(index, c, d), -1);
}

TEST(CompareKeys, DeletedRecordsAndTextIndexes) {
    // Index 31: bytes, ascending, whatever the locale and direction.
    const TKeyDescription deleted = Index(kEnglish, {kText10}, true, kDeletedRecordsIndex);
    EXPECT_EQ(Compare(deleted, TKey().Text("Z", 10), TKey().Text("a", 10)), -1);

    // Index 32: 3-byte prefix, 61-byte word by the locale, 4-byte row identifier.
    const TKeyDescription text = Index(kEnglish, {}, true, kTextIndex);
    auto key = [](std::string_view prefix, std::string_view word, std::uint32_t row) {
        std::string w(word);
        w.resize(61, '\0');
        return TKey().Raw(prefix).Raw(w).RowId(row);
    };
    const struct {
        TKey first;
        TKey second;
        std::size_t count;
        int expected;
    } cases[] = {
        {key("\1\0\1"sv, "zz", 9), key("\1\0\2"sv, "aa", 1), 0, -1},  // prefix first
        {key("\1\0\1"sv, "a", 9), key("\1\0\1"sv, "B", 1), 0, -1},    // word by locale, not bytes
        {key("\1\0\1"sv, "a", 1), key("\1\0\1"sv, "A", 1), 0, -1},    // case-sensitive
        {key("\1\0\1"sv, "word", 1), key("\1\0\1"sv, "word", 2), 0, -1},
        {key("\1\0\1"sv, "word", 1), key("\1\0\1"sv, "wore", 0), 6, 0},   // cut in the word
        {key("\1\0\1"sv, "word", 1), key("\1\0\1"sv, "word", 2), 66, 0},  // cut in the row
    };
    for (const auto& c : cases)
        EXPECT_EQ(Compare(text, c.first, c.second, c.count), c.expected) << &c - cases;
}

// The search's shortcuts (start at the first differing byte, skip the
// characters before it, end inline in the first text it compared) against
// the whole comparison: random keys of two texts around an integer, and of a
// word index (one text, then the row identifier), over letters that share
// prefixes, with contractions (Czech "ch", the "l" of "l" with a middle dot)
// and accents, cut at every count, in both directions; each pair alone, and
// one search against every key as a binary search of a page uses it.
TEST(CompareKeys, SearchAgreesWithTheWholeComparison) {
    std::mt19937 random(12);
    const struct {
        std::uint16_t language;
        std::string letters;
    } locales[] = {
        {kBulgarian, Cp1251(u"абвгдеж-' АБВ")},
        {kEnglish, Cp1252(u"achlé-\u00B7 ALS")},
        {0x0405, "chCHaz\xE1\x9A "},  // Czech, Windows-1250
        {kGerman, Cp1252(u"aäbsßSü")},
    };
    const auto check = [&](const TKeyDescription& index, const std::vector<TKey>& keys) {
        const std::size_t size = keys.front().Bytes().size();
        for (const TKey& a : keys)
            for (const TKey& b : keys)
                for (std::size_t count = 1; count <= size; count += 1 + random() % 4)
                    (void)Compare(index, a, b, count);
        // What the first comparisons of a search learn about its key must
        // hold for all that follow.
        for (const TKey& b : keys)
            for (std::size_t count = 1; count <= size; count += 1 + random() % 4) {
                const TKeySearch search(index, b.Bytes().data(), count);
                for (const TKey& a : keys)
                    ASSERT_EQ(search(a.Bytes().data()),
                              CompareKeys(index, a.Bytes().data(), b.Bytes().data(), count))
                        << "'" << a.Bytes() << "' '" << b.Bytes() << "' " << count;
            }
    };
    for (const auto& locale : locales) {
        auto text = [&] {
            std::string t(random() % 10, ' ');  // up to the whole key size
            for (char& c : t) c = locale.letters[random() % locale.letters.size()];
            return t;
        };
        for (const bool descending : {false, true}) {
            std::vector<TKey> keys;
            std::vector<TKey> words;
            for (int i = 0; i < 40; ++i) {
                const std::string head = text();
                TKey key;
                // Nulls, and keys that share the first text.
                if (i % 13 == 0)
                    key.Null(9);
                else
                    key.Text(i % 3          ? head
                             : keys.empty() ? head
                                            : keys.back().Bytes().substr(1, 9),
                             9);
                key.Integer(static_cast<std::int32_t>(random() % 3))
                    .Text(text(), 9)
                    .RowId(random() % 2);
                keys.push_back(key);
                // Words that repeat under other row identifiers.
                words.push_back(TKey()
                                    .Text(i % 4           ? head
                                          : words.empty() ? head
                                                          : words.back().Bytes().substr(1, 9),
                                          9)
                                    .RowId(static_cast<std::uint32_t>(random())));
            }
            check(Index(locale.language,
                        {{kFieldString, 9, false}, kInteger, {kFieldString, 9, descending}},
                        descending),
                  keys);
            check(Index(locale.language, {{kFieldString, 9, false}}, descending), words);
        }
    }
}
TEST(CompareKeys, MalformedDescriptionsReadOnlyTheCount) {
    // A string field of key size 0 takes its flag byte; the rest is trailing bytes.
    const TKeyDescription empty = Index(kEnglish, {{kFieldString, 0, false}});
    EXPECT_EQ(Compare(empty, TKey().Raw("\1x"), TKey().Raw("\1y")), -1);
    // A negative key size is treated as 0.
    const TKeyDescription negative = Index(kEnglish, {{kFieldInteger, -3, false}});
    EXPECT_EQ(Compare(negative, TKey().Raw("\1b"), TKey().Raw("\1a")), 1);
    // Absent keys compare as BinaryCompare does.
    const std::string k = TKey().Text("a", 10).Bytes();
    EXPECT_EQ(CompareKeys(empty, nullptr, k.data(), k.size()), 1);
    EXPECT_EQ(CompareKeys(empty, k.data(), nullptr, k.size()), -1);
    EXPECT_EQ(CompareKeys(empty, k.data(), k.data(), 0), 0);
}

}  // namespace
}  // namespace pirin
