#include "dictdata/dictd_article.h"

#include <algorithm>

#include "dictdata/build_text.h"

namespace vorlano {

namespace {

// Drops a leading "12. " and trailing " 13." sense numbers.
std::string_view StripSenseNumbers(std::string_view line) {
    line = Trim(line);
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
    if (digits > 0 && digits < line.size() && line[digits] == '.')
        line = Trim(line.substr(digits + 1));
    else if (digits > 0 && digits + 1 == line.size() && line[digits] == '.')
        return {};
    const std::size_t blank = line.rfind(' ');
    if (blank != std::string_view::npos && line.back() == '.') {
        const std::string_view tail = line.substr(blank + 1, line.size() - blank - 2);
        if (!tail.empty() &&
            std::all_of(tail.begin(), tail.end(), [](char c) { return c >= '0' && c <= '9'; }))
            line = Trim(line.substr(0, blank));
    }
    return line;
}

std::string PartOfSpeech(std::string_view firstLine) {
    const std::size_t open = firstLine.rfind('<');
    const std::size_t close = firstLine.rfind('>');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return {};
    return std::string(Trim(firstLine.substr(open + 1, close - open - 1)));
}

}  // namespace

TDictdArticle ParseDictdArticle(std::string_view article) {
    TDictdArticle result;
    const std::vector<std::string_view> lines = SplitLines(article);
    if (lines.empty()) return result;
    result.Block.PartOfSpeech = PartOfSpeech(lines.front());
    std::vector<TArticleSense>& senses = result.Block.Senses;
    std::vector<std::string> notes;  // glosses of senses without a translation
    bool lastWasTranslation = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = StripSenseNumbers(lines[i]);
        if (line.empty()) continue;
        if (HasCyrillic(line)) {
            TArticleSense sense;
            std::vector<std::string> shown;
            for (std::string& word : SplitList(line, ",;")) {
                const std::string plain = WithoutStress(word);
                if (std::find(result.Translations.begin(), result.Translations.end(), plain) ==
                    result.Translations.end())
                    result.Translations.push_back(plain);
                // "къ́ща, къща": the stressed form is shown once.
                if (std::none_of(shown.begin(), shown.end(),
                                 [&](const std::string& s) { return WithoutStress(s) == plain; }))
                    shown.push_back(std::move(word));
            }
            for (const std::string& word : shown)
                sense.Text += (sense.Text.empty() ? "" : ", ") + word;
            senses.push_back(std::move(sense));
            lastWasTranslation = true;
        } else if (lastWasTranslation) {
            senses.back().Note = std::string(line);
            lastWasTranslation = false;
        } else {
            notes.emplace_back(line);
        }
    }
    if (senses.empty())
        for (std::string& note : notes) senses.push_back({std::move(note), {}});
    return result;
}

}  // namespace vorlano
