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

TEST(WordListTest, SearchMatchesLinearScansOnRandomLists) {
    // Letters with case pairs in both alphabets, a byte outside them, and
    // duplicates, in no particular order.
    const std::string alphabet = "aAbB\xE0\xC0\xE1\xC1\xA8\xB8-";
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), length(0, 4), count(0, 60);
        const auto word = [&] {
            std::string w(length(random), ' ');
            for (char& c : w) c = alphabet[pick(random)];
            return w;
        };
        std::vector<std::string> items(count(random));
        for (std::string& item : items) item = word();
        const TWordList list(items);
        for (int k = 0; k < 200; ++k) {
            const std::string key = word();
            ASSERT_EQ(list.Search(key), key.empty() ? -1 : NaiveSearch(items, key)) << "seed " << seed;
        }
    }
}

}  // namespace
}  // namespace vorlano
