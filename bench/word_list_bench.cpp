// The word-list search on a list of 100,000 words, per key typed: the time
// per search must stay well under a millisecond.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "lookup/word_list.h"

namespace {

std::vector<std::string> RandomWords(std::size_t count) {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> length(2, 14), letter(0, 25);
    std::vector<std::string> words;
    words.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string word(static_cast<std::size_t>(length(random)), 'a');
        for (char& c : word) c = static_cast<char>('a' + letter(random));
        words.push_back(std::move(word));
    }
    return words;
}

const vorlano::TWordList& List() {
    static const vorlano::TWordList list(RandomWords(100'000));
    return list;
}

// Keys with no equal item: the search goes through ever shorter prefixes.
void BM_SearchMissingKey(benchmark::State& state) {
    const vorlano::TWordList& list = List();
    const std::vector<std::string> keys = RandomWords(1000);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.Search(keys[i++ % keys.size()] + "zzzzzzzzzz"));
    }
}
BENCHMARK(BM_SearchMissingKey);

// Typing an existing word letter by letter.
void BM_SearchWhileTyping(benchmark::State& state) {
    const vorlano::TWordList& list = List();
    const std::string& word = list.Item(12345);
    std::size_t length = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.Search(std::string_view(word).substr(0, length)));
        length = length % word.size() + 1;
    }
}
BENCHMARK(BM_SearchWhileTyping);

void BM_BuildList(benchmark::State& state) {
    const std::vector<std::string> words = RandomWords(100'000);
    for (auto _ : state) benchmark::DoNotOptimize(vorlano::TWordList(words));
}
BENCHMARK(BM_BuildList)->Unit(benchmark::kMillisecond);

}  // namespace
