#include "dictdata/build_entries.h"

#include <algorithm>

#include "dictdata/build_text.h"

namespace vorlano {

void TTableEntries::Add(const std::string& headword, TArticleBlock block, bool sameEntry) {
    const std::string bytes = ToHeadwordBytes(headword, FCodePage);
    if (bytes.empty()) {
        ++FDropped;
        return;
    }
    const std::string key = CutHeadword(bytes);
    if (key.size() != bytes.size() && !sameEntry) ++FShortened;
    auto [at, added] = FArticles.try_emplace(key);
    TArticle& article = at->second;
    if (added) {
        article.Headword = headword;
    } else if (!sameEntry) {
        ++FMerged;
        // A merged entry under another spelling keeps that spelling visible.
        if (WithoutStress(headword) != WithoutStress(article.Headword) && !block.Senses.empty())
            block.Senses.front().Text = headword + ": " + block.Senses.front().Text;
    }
    for (TArticleBlock& existing : article.Blocks)
        if (existing.PartOfSpeech == block.PartOfSpeech) {
            existing.Senses.insert(existing.Senses.end(),
                                   std::make_move_iterator(block.Senses.begin()),
                                   std::make_move_iterator(block.Senses.end()));
            return;
        }
    article.Blocks.push_back(std::move(block));
}

TTableEntries InvertTranslations(const std::vector<TTranslationPair>& pairs, std::size_t maxWords) {
    // Bulgarian word → part of speech → foreign words, in source order.
    std::map<std::string, std::vector<std::pair<std::string, std::vector<std::string>>>> inverted;
    std::size_t phrases = 0;
    for (const TTranslationPair& pair : pairs) {
        const std::size_t words = 1 + static_cast<std::size_t>(std::count(
                                          pair.Bulgarian.begin(), pair.Bulgarian.end(), ' '));
        // A headword of a Bulgarian word list begins with a Cyrillic letter:
        // the look-up tells the direction by its first letters.
        if (words > maxWords || pair.Bulgarian.find('(') != std::string::npos ||
            !StartsWithCyrillic(pair.Bulgarian)) {
            ++phrases;
            continue;
        }
        auto& groups = inverted[pair.Bulgarian];
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const auto& g) { return g.first == pair.PartOfSpeech; });
        if (group == groups.end()) group = groups.insert(groups.end(), {pair.PartOfSpeech, {}});
        if (std::find(group->second.begin(), group->second.end(), pair.Foreign) ==
            group->second.end())
            group->second.push_back(pair.Foreign);
    }
    TTableEntries entries(1251);
    for (auto& [bulgarian, groups] : inverted)
        for (std::size_t g = 0; g < groups.size(); ++g) {
            TArticleBlock block{groups[g].first, {}};
            for (std::string& word : groups[g].second)
                block.Senses.push_back({std::move(word), {}});
            entries.Add(bulgarian, std::move(block), g > 0);
        }
    entries.AddDropped(phrases);
    return entries;
}

}  // namespace vorlano
