#include "lookup/article_text.h"

#include <array>
#include <utility>

namespace vorlano {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kEntities{{
    {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&nbsp;", " "},
}};

bool IsTag(std::string_view tag, std::string_view name) {
    // "<name" followed by ">" or a blank.
    if (tag.size() <= name.size() + 1 || tag.substr(1, name.size()) != name) return false;
    const char next = tag[name.size() + 1];
    return next == '>' || next == ' ' || next == '/';
}

}  // namespace

std::string HtmlToPlainText(std::string_view html) {
    // The style sheet in the head is not text.
    if (const std::size_t head = html.find("</head>"); head != std::string_view::npos)
        html.remove_prefix(head + 7);
    std::string text;
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            const std::size_t end = html.find('>', i);
            if (end == std::string_view::npos) break;
            const std::string_view tag = html.substr(i, end - i + 1);
            if (IsTag(tag, "br") || IsTag(tag, "/p")) text += '\n';
            i = end + 1;
            continue;
        }
        if (c == '&') {
            bool replaced = false;
            for (const auto& [entity, character] : kEntities) {
                if (html.substr(i, entity.size()) == entity) {
                    text += character;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
            if (replaced) continue;
        }
        text += c;
        ++i;
    }
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string ArticleToPlainText(std::string_view article, int defaultCodePage) {
    return HtmlToPlainText(ArticleToHtml(article, defaultCodePage));
}

}  // namespace vorlano
