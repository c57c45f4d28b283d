// TRtfHtmlWriter: builds the HTML of an article from runs of text with their
// character style and paragraph ends with their paragraph style, in the
// subset of HTML and CSS that a rich-text document view understands.
//
// Output shape: one <html> document whose style sheet sets paragraph margins
// to zero (article paragraphs have no spacing unless they ask for it), a body
// that carries the article's default font family when it has one, and one
// <p> per paragraph. A paragraph's tag carries only the properties that are
// not defaults, and "white-space:pre-wrap" only when its text holds tabs or
// spaces that plain HTML would collapse. Runs of one style share one <span>;
// text in the default style has none. An empty paragraph holds a no-break
// space so that it keeps the height of a line. No whitespace is written
// between tags, since a view would show it.
//
// Text arrives as UTF-16 code units (so that a "\u" surrogate pair from RTF
// joins up); a lone surrogate becomes U+FFFD. '\t' is a tab, '\n' a line
// break inside the paragraph; other control characters are dropped.
//
// Ownership: a value type. Threads: one thread at a time. Does not fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorlano {

struct TTextStyle {
    enum class EVertical : std::uint8_t { Baseline, Super, Sub };
    std::u16string FontFamily;                // empty: the default family
    int HalfPoints = 0;                       // 0: the default size
    std::optional<std::uint32_t> Color;       // 0xRRGGBB
    std::optional<std::uint32_t> Background;  // 0xRRGGBB
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    EVertical Vertical = EVertical::Baseline;

    bool operator==(const TTextStyle&) const = default;
};

struct TBlockStyle {
    enum class EAlign : std::uint8_t { Left, Center, Right, Justify };
    EAlign Align = EAlign::Left;
    // In twips (1/20 point), as RTF gives them.
    int LeftIndent = 0;
    int RightIndent = 0;
    int FirstLineIndent = 0;
    int SpaceBefore = 0;
    int SpaceAfter = 0;

    bool operator==(const TBlockStyle&) const = default;
};

class TRtfHtmlWriter {
  public:
    // baseFontFamily (may be empty) goes on the body; runs in that family
    // need no font of their own.
    explicit TRtfHtmlWriter(std::u16string baseFontFamily = {});

    void AddText(std::u16string_view text, const TTextStyle& style);
    bool ParagraphIsEmpty() const { return FRuns.empty(); }
    // Closes the paragraph; an empty one gets a no-break space in `style`.
    void EndParagraph(const TBlockStyle& block, const TTextStyle& style);
    // The whole document; call once, after the last EndParagraph.
    std::string Finish();

  private:
    struct TRun {
        TTextStyle Style;
        std::u16string Text;
    };

    std::string SpanStyle(const TTextStyle& style) const;
    // SpanStyle through a small cache of the styles met last.
    const std::string& CachedSpanStyle(const TTextStyle& style);
    static constexpr std::size_t kCachedSpanStyles = 8;

    std::u16string FBaseFamily;
    std::vector<TRun> FRuns;  // of the open paragraph
    std::string FBody;
    std::u16string FText;  // the open paragraph's text, for the block style
    std::vector<std::pair<TTextStyle, std::string>> FSpanStyles;
};

}  // namespace vorlano
