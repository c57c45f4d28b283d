#include "bench/bench_data.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <unordered_set>

namespace vorlano::bench {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string RandomWord(std::mt19937& random, int minLength, int maxLength) {
    std::uniform_int_distribution<int> length(minLength, maxLength);
    std::uniform_int_distribution<int> letter(0, 25);
    std::string word(static_cast<std::size_t>(length(random)), 'a');
    for (char& c : word) c = static_cast<char>('a' + letter(random));
    return word;
}

}  // namespace

TBenchData MakeBenchData(std::size_t rowCount, std::size_t memoBytes, std::uint32_t seed) {
    std::mt19937 random(seed);
    // Memos come from a stream of their own, so that the words do not depend
    // on the memo length (a look-up process makes the words alone).
    std::mt19937 memoRandom(seed + 1);
    TBenchData data;
    std::unordered_set<std::string> taken;  // lower-case forms
    std::bernoulli_distribution capital(0.1);
    data.Rows.reserve(rowCount);
    while (data.Rows.size() < rowCount) {
        std::string word = RandomWord(random, 4, 14);
        if (!taken.insert(word).second) continue;
        if (capital(random)) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
        std::string desc;
        while (desc.size() < memoBytes) desc += RandomWord(memoRandom, 2, 9) + ' ';
        desc.resize(memoBytes);
        data.Rows.push_back({static_cast<std::int32_t>(data.Rows.size() + 1), std::move(word), std::move(desc)});
    }
    std::bernoulli_distribution lowered(0.2);
    for (const TBenchRow& row : data.Rows)
        data.Present.push_back(lowered(random) ? Lower(row.Word) : row.Word);
    while (data.Missing.size() < 10000) {
        std::string word = RandomWord(random, 4, 14);
        if (!taken.contains(word)) data.Missing.push_back(std::move(word));
    }
    std::shuffle(data.Present.begin(), data.Present.end(), random);
    std::shuffle(data.Missing.begin(), data.Missing.end(), random);
    return data;
}

}  // namespace vorlano::bench
