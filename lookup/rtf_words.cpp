#include "lookup/rtf_words.h"

#include <unordered_map>

namespace vorlano {

namespace {

const std::unordered_map<std::string_view, TRtfWordInfo>& Words() {
    static const std::unordered_map<std::string_view, TRtfWordInfo> words = {
        {"ansicpg", {ERtfWord::AnsiCodePage}},
        {"deff", {ERtfWord::DefaultFont}},
        {"uc", {ERtfWord::FallbackCount}},
        {"u", {ERtfWord::Unicode}},
        {"bin", {ERtfWord::Binary}},
        {"fonttbl", {ERtfWord::FontTable}},
        {"colortbl", {ERtfWord::ColorTable}},
        // Destinations that hold no article text.
        {"stylesheet", {ERtfWord::SkippedDestination}},
        {"info", {ERtfWord::SkippedDestination}},
        {"pict", {ERtfWord::SkippedDestination}},
        {"object", {ERtfWord::SkippedDestination}},
        {"nonshppict", {ERtfWord::SkippedDestination}},
        {"fldinst", {ERtfWord::SkippedDestination}},
        {"header", {ERtfWord::SkippedDestination}},
        {"headerl", {ERtfWord::SkippedDestination}},
        {"headerr", {ERtfWord::SkippedDestination}},
        {"headerf", {ERtfWord::SkippedDestination}},
        {"footer", {ERtfWord::SkippedDestination}},
        {"footerl", {ERtfWord::SkippedDestination}},
        {"footerr", {ERtfWord::SkippedDestination}},
        {"footerf", {ERtfWord::SkippedDestination}},
        {"footnote", {ERtfWord::SkippedDestination}},
        {"annotation", {ERtfWord::SkippedDestination}},
        {"listtable", {ERtfWord::SkippedDestination}},
        {"listoverridetable", {ERtfWord::SkippedDestination}},
        {"revtbl", {ERtfWord::SkippedDestination}},
        {"rsidtbl", {ERtfWord::SkippedDestination}},
        {"filetbl", {ERtfWord::SkippedDestination}},
        {"generator", {ERtfWord::SkippedDestination}},
        {"xmlnstbl", {ERtfWord::SkippedDestination}},
        {"themedata", {ERtfWord::SkippedDestination}},
        {"colorschememapping", {ERtfWord::SkippedDestination}},
        {"latentstyles", {ERtfWord::SkippedDestination}},
        {"datastore", {ERtfWord::SkippedDestination}},
        {"f", {ERtfWord::Font}},
        {"fcharset", {ERtfWord::Charset}},
        {"cpg", {ERtfWord::FontCodePage}},
        {"red", {ERtfWord::Red}},
        {"green", {ERtfWord::Green}},
        {"blue", {ERtfWord::Blue}},
        {"plain", {ERtfWord::Plain}},
        {"b", {ERtfWord::Bold}},
        {"i", {ERtfWord::Italic}},
        {"ul", {ERtfWord::Underline}},
        {"uld", {ERtfWord::Underline}},
        {"uldb", {ERtfWord::Underline}},
        {"ulw", {ERtfWord::Underline}},
        {"ulwave", {ERtfWord::Underline}},
        {"uldash", {ERtfWord::Underline}},
        {"ulnone", {ERtfWord::UnderlineNone}},
        {"strike", {ERtfWord::Strike}},
        {"striked", {ERtfWord::Strike}},
        {"fs", {ERtfWord::FontSize}},
        {"cf", {ERtfWord::ForeColor}},
        {"cb", {ERtfWord::BackColor}},
        {"highlight", {ERtfWord::BackColor}},
        {"super", {ERtfWord::Super}},
        {"sub", {ERtfWord::Sub}},
        {"nosupersub", {ERtfWord::NoSuperSub}},
        {"pard", {ERtfWord::ParagraphDefault}},
        {"par", {ERtfWord::Paragraph}},
        {"sect", {ERtfWord::Paragraph}},
        {"page", {ERtfWord::Paragraph}},
        {"row", {ERtfWord::Paragraph}},
        {"line", {ERtfWord::Line}},
        {"tab", {ERtfWord::Tab}},
        {"cell", {ERtfWord::Tab}},
        {"qc", {ERtfWord::AlignCenter}},
        {"qr", {ERtfWord::AlignRight}},
        {"ql", {ERtfWord::AlignLeft}},
        {"qj", {ERtfWord::AlignJustify}},
        {"li", {ERtfWord::LeftIndent}},
        {"ri", {ERtfWord::RightIndent}},
        {"fi", {ERtfWord::FirstIndent}},
        {"sb", {ERtfWord::SpaceBefore}},
        {"sa", {ERtfWord::SpaceAfter}},
        {"emdash", {ERtfWord::Character, u'\u2014'}},
        {"endash", {ERtfWord::Character, u'\u2013'}},
        {"bullet", {ERtfWord::Character, u'\u2022'}},
        {"lquote", {ERtfWord::Character, u'\u2018'}},
        {"rquote", {ERtfWord::Character, u'\u2019'}},
        {"ldblquote", {ERtfWord::Character, u'\u201C'}},
        {"rdblquote", {ERtfWord::Character, u'\u201D'}},
        {"emspace", {ERtfWord::Character, u'\u2003'}},
        {"enspace", {ERtfWord::Character, u'\u2002'}},
        {"qmspace", {ERtfWord::Character, u'\u2005'}},
    };
    return words;
}

}  // namespace

const TRtfWordInfo* FindRtfWord(std::string_view name) {
    const auto found = Words().find(name);
    return found == Words().end() ? nullptr : &found->second;
}

}  // namespace vorlano
