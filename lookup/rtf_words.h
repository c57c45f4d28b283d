// The RTF control words the article reader acts on, and what each one
// does. A word that is not here is ignored, as RTF asks of a reader.
//
// Pure data: any thread. FindRtfWord does not fail.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorlano {

enum class ERtfWord : std::uint8_t {
    AnsiCodePage,
    DefaultFont,
    FallbackCount,
    Unicode,
    Binary,
    FontTable,
    ColorTable,
    SkippedDestination,
    Font,
    Charset,
    FontCodePage,
    Red,
    Green,
    Blue,
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    FontSize,
    ForeColor,
    BackColor,
    Super,
    Sub,
    NoSuperSub,
    ParagraphDefault,
    Paragraph,
    Line,
    Tab,
    AlignCenter,
    AlignRight,
    AlignLeft,
    AlignJustify,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    Character,
};

struct TRtfWordInfo {
    ERtfWord Word;
    char16_t Character = 0;  // for ERtfWord::Character
};

// The word's meaning, or null for a word the reader ignores.
const TRtfWordInfo* FindRtfWord(std::string_view name);

}  // namespace vorlano
