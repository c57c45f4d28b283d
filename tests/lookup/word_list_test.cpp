#include <gtest/gtest.h>

#include <random>

#include "lookup/word_list.h"

namespace vorlano {
namespace {

// The search as written down: linear scans from the top.
int NaiveSearch(const std::vector<std::string>& items, std::string key) {
    const auto fold = [](std::string s) {
        for (char& c : s) c = static_cast<char>(FoldCase(static_cast<std::uint8_t>(c)));
        return s;
    };
    for (std::size_t i = 0; i < items.size(); ++i)
        if (fold(items[i]) == fold(key)) return static_cast<int>(i);
    while (!key.empty()) {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (fold(items[i]).starts_with(fold(key))) return static_cast<int>(i);
        key.pop_back();
    }
    return -1;
}

// The first item equal to the key (or beginning with it) ignoring case.
int NaiveFind(const std::vector<std::string>& items, const std::string& key, bool prefix) {
    const auto fold = [](std::string s) {
        for (char& c : s) c = static_cast<char>(FoldCase(static_cast<std::uint8_t>(c)));
        return s;
    };
    for (std::size_t i = 0; i < items.size(); ++i)
        if (prefix ? fold(items[i]).starts_with(fold(key)) : fold(items[i]) == fold(key))
            return static_cast<int>(i);
    return -1;
}

TEST(WordListTest, SearchMatchesLinearScansOnRandomLists) {
    // Letters with case pairs in both alphabets, a byte outside them, a zero
    // byte, and duplicates, in no particular order; short words, and long
    // ones that share their first eight bytes or nearly (the searches order
    // by those bytes first and read the words only where they agree).
    const std::string alphabet("aAbB\xE0\xC0\xE1\xC1\xA8\xB8-\0", 12);
    const std::vector<std::string> stems = {"abab\xE0\xE0", "ABAB\xC0\xC0" "a", "abab\xE0\xE0" "ab",
                                            std::string("abab\0", 5)};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), length(0, 4), count(0, 60),
            stem(0, stems.size() * 2 - 1);
        const auto word = [&] {
            std::string w(length(random), ' ');
            for (char& c : w) c = alphabet[pick(random)];
            const std::size_t s = seed > 20 ? stem(random) : stems.size();
            return s < stems.size() ? stems[s] + w : w;
        };
        std::vector<std::string> items(count(random));
        for (std::string& item : items) item = word();
        const TWordList list(items);
        for (int k = 0; k < 200; ++k) {
            const std::string key = word();
            ASSERT_EQ(list.Search(key), key.empty() ? -1 : NaiveSearch(items, key)) << "seed " << seed;
            ASSERT_EQ(list.FindExact(key), NaiveFind(items, key, false)) << "seed " << seed;
            ASSERT_EQ(list.FindPrefix(key), NaiveFind(items, key, true)) << "seed " << seed;
        }
    }
}

}  // namespace
}  // namespace vorlano
