#include "lookup/rtf_html_writer.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace vorlano {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

// Printable ASCII that HTML takes as it is.
bool IsPlain(char16_t c) {
    return c >= 0x20 && c < 0x7F && c != u'<' && c != u'>' && c != u'&' && c != u'"' && c != u'\'';
}

void AppendEscaped(std::string& out, std::u16string_view text) {
    out.reserve(out.size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsPlain(c)) {
            // A run of plain characters goes in with one append.
            char plain[64];
            std::size_t n = 0;
            while (n < sizeof plain && i < text.size() && IsPlain(text[i]))
                plain[n++] = static_cast<char>(text[i++]);
            out.append(plain, n);
            --i;
            continue;
        }
        switch (c) {
            case u'<':
                out += "&lt;";
                continue;
            case u'>':
                out += "&gt;";
                continue;
            case u'&':
                out += "&amp;";
                continue;
            case u'"':
                out += "&quot;";
                continue;
            case u'\'':
                out += "&#39;";
                continue;
            case u'\n':
                out += "<br>";
                continue;
            case u'\t':
                out += '\t';
                continue;
            default:
                break;
        }
        if (c < 0x20 || c == 0x7F) continue;
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
}

// The family as a CSS string inside a double-quoted attribute: characters
// that could end the string, the declaration or the attribute are left out.
std::string CssFontFamily(std::u16string_view family) {
    std::u16string kept;
    for (const char16_t c : family)
        if (std::u16string_view(u"'\"\\;<>&{}\t\n").find(c) == std::u16string_view::npos)
            kept.push_back(c);
    std::string quoted = "'";
    AppendEscaped(quoted, kept);
    quoted.push_back('\'');
    return quoted;
}

// Appends "name:value" to a style attribute's declarations.
void AddDeclaration(std::string& css, std::string_view name, std::string_view value) {
    if (!css.empty()) css += ';';
    css.append(name).append(":").append(value);
}

std::string CssColor(std::uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFF));
    return text;
}

// Twips to CSS pixels at 96 per inch (15 twips a pixel).
std::string Pixels(int twips) {
    return std::to_string(static_cast<long>(std::lround(twips / 15.0))) + "px";
}

std::string Points(int halfPoints) {
    return std::to_string(halfPoints / 2) + (halfPoints % 2 ? ".5pt" : "pt");
}

std::string BlockStyle(const TBlockStyle& block, bool keepSpaces) {
    std::string css;
    const auto add = [&css](std::string_view name, std::string_view value) {
        AddDeclaration(css, name, value);
    };
    if (block.SpaceBefore) add("margin-top", Pixels(block.SpaceBefore));
    if (block.SpaceAfter) add("margin-bottom", Pixels(block.SpaceAfter));
    if (block.LeftIndent) add("margin-left", Pixels(block.LeftIndent));
    if (block.RightIndent) add("margin-right", Pixels(block.RightIndent));
    if (block.FirstLineIndent) add("text-indent", Pixels(block.FirstLineIndent));
    switch (block.Align) {
        case TBlockStyle::EAlign::Left:
            break;
        case TBlockStyle::EAlign::Center:
            add("text-align", "center");
            break;
        case TBlockStyle::EAlign::Right:
            add("text-align", "right");
            break;
        case TBlockStyle::EAlign::Justify:
            add("text-align", "justify");
            break;
    }
    if (keepSpaces) add("white-space", "pre-wrap");
    return css;
}

// Whether HTML would collapse or drop some of the paragraph's white space.
bool NeedsKeptSpaces(std::u16string_view text) {
    if (text.empty()) return false;
    return text.find(u'\t') != text.npos || text.find(u"  ") != text.npos ||
           text.find(u" \n") != text.npos || text.find(u"\n ") != text.npos ||
           text.front() == u' ' || text.back() == u' ';
}

}  // namespace

TRtfHtmlWriter::TRtfHtmlWriter(std::u16string baseFontFamily)
    : FBaseFamily(std::move(baseFontFamily)) {}

void TRtfHtmlWriter::AddText(std::u16string_view text, const TTextStyle& style) {
    if (text.empty()) return;
    if (FRuns.empty() || !(FRuns.back().Style == style))
        FRuns.push_back({style, std::u16string(text)});
    else
        FRuns.back().Text.append(text);
}

std::string TRtfHtmlWriter::SpanStyle(const TTextStyle& style) const {
    std::string css;
    const auto add = [&css](std::string_view name, std::string_view value) {
        AddDeclaration(css, name, value);
    };
    if (!style.FontFamily.empty() && style.FontFamily != FBaseFamily)
        add("font-family", CssFontFamily(style.FontFamily));
    if (style.HalfPoints > 0) add("font-size", Points(style.HalfPoints));
    if (style.Bold) add("font-weight", "bold");
    if (style.Italic) add("font-style", "italic");
    if (style.Underline || style.Strike)
        add("text-decoration", style.Underline && style.Strike ? "underline line-through"
                               : style.Underline               ? "underline"
                                                               : "line-through");
    if (style.Vertical == TTextStyle::EVertical::Super) add("vertical-align", "super");
    if (style.Vertical == TTextStyle::EVertical::Sub) add("vertical-align", "sub");
    if (style.Color) add("color", CssColor(*style.Color));
    if (style.Background) add("background-color", CssColor(*style.Background));
    return css;
}

void TRtfHtmlWriter::EndParagraph(const TBlockStyle& block, const TTextStyle& style) {
    if (FRuns.empty()) FRuns.push_back({style, u"\u00A0"});
    // Kept across paragraphs, so that their memory is reused.
    FText.clear();
    for (const TRun& run : FRuns) FText += run.Text;
    const std::string css = BlockStyle(block, NeedsKeptSpaces(FText));
    if (css.empty())
        FBody += "<p>";
    else
        FBody.append("<p style=\"").append(css).append("\">");
    for (const TRun& run : FRuns) {
        const std::string& span = CachedSpanStyle(run.Style);
        if (!span.empty()) FBody.append("<span style=\"").append(span).append("\">");
        AppendEscaped(FBody, run.Text);
        if (!span.empty()) FBody += "</span>";
    }
    FBody += "</p>";
    FRuns.clear();
}

const std::string& TRtfHtmlWriter::CachedSpanStyle(const TTextStyle& style) {
    // An article uses a handful of styles over and over.
    for (const auto& [cached, css] : FSpanStyles)
        if (cached == style) return css;
    if (FSpanStyles.size() == kCachedSpanStyles) FSpanStyles.erase(FSpanStyles.begin());
    FSpanStyles.emplace_back(style, SpanStyle(style));
    return FSpanStyles.back().second;
}

std::string TRtfHtmlWriter::Finish() {
    std::string html = "<html><head><style>p{margin:0}</style></head><body";
    if (!FBaseFamily.empty()) html += " style=\"font-family:" + CssFontFamily(FBaseFamily) + "\"";
    html += ">";
    html += FBody;
    html += "</body></html>";
    return html;
}

}  // namespace vorlano
