#include "dictdata/dictd_article.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>

#include "dictdata/build_text.h"

namespace vorlano {

namespace {

bool IsCyrillicLetter(UChar32 c) { return c >= 0x0400 && c <= 0x052F; }
bool IsLatinLetter(UChar32 c) {
    return u_isalpha(c) && (c < 0x0250 || (c >= 0x1E00 && c <= 0x1EFF));
}

// The Cyrillic letter a Latin one is mistaken for, or 0.
UChar32 CyrillicLookalike(UChar32 c) {
    static constexpr std::pair<char, UChar32> kLookalikes[] = {
        {'a', 0x0430}, {'c', 0x0441}, {'e', 0x0435}, {'o', 0x043E}, {'p', 0x0440},
        {'x', 0x0445}, {'y', 0x0443}, {'k', 0x043A}, {'A', 0x0410}, {'B', 0x0412},
        {'C', 0x0421}, {'E', 0x0415}, {'H', 0x041D}, {'K', 0x041A}, {'M', 0x041C},
        {'O', 0x041E}, {'P', 0x0420}, {'T', 0x0422}, {'X', 0x0425}, {'Y', 0x0423}};
    for (const auto& [latin, cyrillic] : kLookalikes)
        if (c == static_cast<unsigned char>(latin)) return cyrillic;
    return 0;
}

// True when every letter of `word` is a Latin look-alike of a Cyrillic one.
bool OnlyLookalikes(std::string_view word) {
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(word.size());) {
        UChar32 c = 0;
        U8_NEXT(word.data(), i, static_cast<std::int32_t>(word.size()), c);
        if (u_isalpha(c) && CyrillicLookalike(c) == 0) return false;
    }
    return true;
}

bool IsWordSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == ';'; }

// Calls `visit(word)` for every word of `text` (split at blanks, "," and ";").
template <class TVisit>
void ForEachWord(std::string_view text, TVisit&& visit) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = at;
        while (end < text.size() && !IsWordSeparator(text[end])) ++end;
        if (end > at) visit(text.substr(at, end - at));
        at = end + 1;
    }
}

struct TWordScripts {
    bool Cyrillic = false;
    bool Latin = false;
};

TWordScripts ScriptsOf(std::string_view word) {
    TWordScripts scripts;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(word.size());) {
        UChar32 c = 0;
        U8_NEXT(word.data(), i, static_cast<std::int32_t>(word.size()), c);
        scripts.Cyrillic |= IsCyrillicLetter(c);
        scripts.Latin |= IsLatinLetter(c);
    }
    return scripts;
}

struct TScriptCounts {
    std::size_t Cyrillic = 0;  // words with a Cyrillic letter
    std::size_t Latin = 0;     // words with Latin letters only
    std::size_t Mixed = 0;     // words with both
};

TScriptCounts CountScripts(std::string_view text) {
    TScriptCounts counts;
    ForEachWord(text, [&](std::string_view word) {
        const TWordScripts scripts = ScriptsOf(word);
        counts.Cyrillic += scripts.Cyrillic;
        counts.Latin += scripts.Latin && !scripts.Cyrillic;
        counts.Mixed += scripts.Latin && scripts.Cyrillic;
    });
    return counts;
}

// A line of translations rather than an explanation in the source language.
bool IsTranslationLine(std::string_view line) {
    const TScriptCounts counts = CountScripts(line);
    return counts.Cyrillic > 0 && counts.Cyrillic >= counts.Latin;
}

// The translations of a line, separated by ";" or "," (but a comma between
// digits belongs to the word: "2,4,6-тринитрофенол").
std::vector<std::string> SplitTranslations(std::string_view line) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at = 0; at <= line.size(); ++at) {
        const bool end = at == line.size();
        if (!end && line[at] != ';' &&
            (line[at] != ',' ||
             (at > 0 && at + 1 < line.size() && digit(line[at - 1]) && digit(line[at + 1]))))
            continue;
        if (const std::string_view part = Trim(line.substr(from, at - from)); !part.empty())
            parts.emplace_back(part);
        from = at + 1;
    }
    return parts;
}

// The length of a footnote mark "[12]" at the start of `text`, or 0.
std::size_t FootnoteMarkLength(std::string_view text) {
    std::size_t digits = 1;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    return digits > 1 && digits < text.size() && text[digits] == ']' ? digits + 1 : 0;
}

// Appends `text` to `out`, collapsing blanks and dropping a blank before a
// separator and a separator that follows another one.
void AppendCleaned(std::string& out, std::string_view text) {
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\t';
        const bool separator = c == ',' || c == ';';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        if (separator) {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            if (out.empty() || out.back() == ',' || out.back() == ';') continue;
        }
        out += blank ? ' ' : c;
    }
}

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
        const std::string cleaned = WithoutWikiMarkup(lines[i]);
        const std::string_view line = StripSenseNumbers(cleaned);
        if (std::none_of(line.begin(), line.end(), [](char c) {
                return (c & 0x80) != 0 || std::isalpha(static_cast<unsigned char>(c));
            }))
            continue;  // numbers and punctuation left over from the markup
        if (IsTranslationLine(line)) {
            TArticleSense sense;
            std::vector<std::string> shown;
            for (std::string& word : SplitTranslations(WithCyrillicLookalikes(line))) {
                const std::string plain = WithoutStress(word);
                if (IsBulgarianText(plain) &&
                    std::find(result.Translations.begin(), result.Translations.end(), plain) ==
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

std::string DictdHeadword(std::string_view indexHeadword, std::string_view article) {
    const std::string index = WithoutWikiMarkup(indexHeadword);
    std::string_view first = article.substr(0, article.find('\n'));
    // The headword ends where the pronunciation ("/.../") or the part of
    // speech ("<...>") begins.
    first = first.substr(0, std::min(first.find(" /"), first.find(" <")));
    const std::string written = WithoutWikiMarkup(first);
    const auto folded = [](const std::string& utf8) {
        return icu::UnicodeString::fromUTF8(utf8).foldCase();
    };
    return !written.empty() && folded(written) == folded(index) ? written : index;
}

std::string WithoutWikiMarkup(std::string_view text) {
    std::string out;
    std::size_t plainFrom = 0;  // start of the text not yet appended
    const auto flush = [&](std::size_t to) {
        AppendCleaned(out, text.substr(plainFrom, to - plainFrom));
    };
    for (std::size_t at = 0; at < text.size();) {
        const std::string_view rest = text.substr(at);
        if (rest.starts_with("[[")) {
            const std::size_t close = rest.find("]]");
            if (close != std::string_view::npos) {
                flush(at);
                std::string_view link = rest.substr(2, close - 2);
                if (const std::size_t bar = link.rfind('|'); bar != std::string_view::npos)
                    link.remove_prefix(bar + 1);
                AppendCleaned(out, link);
                at = plainFrom = at + close + 2;
                continue;
            }
        }
        if (rest.starts_with("{{")) {
            // A template with its arguments, nested ones included; unclosed,
            // only the braces go.
            std::size_t depth = 0;
            std::size_t end = 0;
            for (std::size_t i = 0; i + 1 < rest.size(); ++i) {
                if (rest.substr(i, 2) == "{{") {
                    ++depth;
                    ++i;
                } else if (rest.substr(i, 2) == "}}") {
                    ++i;
                    if (--depth == 0) {
                        end = i + 1;
                        break;
                    }
                }
            }
            flush(at);
            at = plainFrom = at + (end != 0 ? end : 2);
            continue;
        }
        const std::size_t mark = rest.starts_with("}}")  ? 2
                                 : rest.starts_with('[') ? FootnoteMarkLength(rest)
                                                         : 0;
        if (mark != 0) {
            flush(at);
            at = plainFrom = at + mark;
            continue;
        }
        ++at;
    }
    flush(text.size());
    const std::string_view trimmed = [&] {
        std::string_view view = out;
        const auto edge = [](char c) { return c == ' ' || c == ',' || c == ';'; };
        while (!view.empty() && edge(view.front())) view.remove_prefix(1);
        while (!view.empty() && edge(view.back())) view.remove_suffix(1);
        return view;
    }();
    return std::string(trimmed);
}

std::string WithCyrillicLookalikes(std::string_view utf8) {
    // A Latin word made only of look-alikes ("Mapc" beside "Марс") is taken
    // as Cyrillic only when no other word of the text is really Latin.
    bool cyrillicText = false;
    bool latinText = false;
    ForEachWord(utf8, [&](std::string_view word) {
        const TWordScripts scripts = ScriptsOf(word);
        cyrillicText |= scripts.Cyrillic;
        latinText |= scripts.Latin && !scripts.Cyrillic && !OnlyLookalikes(word);
    });
    const bool wholeWords = cyrillicText && !latinText;
    std::string out;
    out.reserve(utf8.size());
    std::size_t copied = 0;
    ForEachWord(utf8, [&](std::string_view word) {
        const TWordScripts scripts = ScriptsOf(word);
        if (!scripts.Latin && !(scripts.Cyrillic && word.front() == '0')) return;
        if (!scripts.Cyrillic && !wholeWords) return;
        const std::size_t start = static_cast<std::size_t>(word.data() - utf8.data());
        out.append(utf8.substr(copied, start - copied));
        copied = start + word.size();
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(word.size());) {
            const std::int32_t from = i;
            UChar32 c = 0;
            U8_NEXT(word.data(), i, static_cast<std::int32_t>(word.size()), c);
            // A leading zero typed for "о" ("0ценявам").
            const UChar32 cyrillic = from == 0 && c == '0' ? 0x043E : CyrillicLookalike(c);
            if (cyrillic == 0) {
                out.append(word.substr(static_cast<std::size_t>(from),
                                       static_cast<std::size_t>(i - from)));
                continue;
            }
            char bytes[U8_MAX_LENGTH];
            std::int32_t length = 0;
            U8_APPEND_UNSAFE(bytes, length, cyrillic);
            out.append(bytes, static_cast<std::size_t>(length));
        }
    });
    out.append(utf8.substr(copied));
    return out;
}

bool IsBulgarianText(std::string_view utf8) {
    const TScriptCounts counts = CountScripts(utf8);
    return counts.Mixed == 0 && counts.Cyrillic > 0 && counts.Cyrillic >= counts.Latin;
}

}  // namespace vorlano
