#include "lookup/rtf_reader.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "locale/code_page.h"
#include "lookup/rtf_html_writer.h"
#include "lookup/rtf_tokenizer.h"

namespace vorlano {

namespace {

using pirin::TCodePage;

constexpr std::size_t kMaxGroupDepth = 200;
constexpr int kMaxTwips = 31680;  // 22 inches, the widest page RTF allows
constexpr int kMaxHalfPoints = 3276;
constexpr int kMaxFallbackBytes = 255;

bool IsSingleByteCodePage(int codePage) {
    return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

// A byte the code page leaves undefined shows as the replacement character.
char16_t DecodeByte(const TCodePage& page, std::uint8_t byte) {
    const char16_t c = page.ToUnicode(byte);
    return c >= pirin::kUndefinedByteBase && c <= pirin::kUndefinedByteBase + 0xFF ? u'\uFFFD'
                                                                                    : c;
}

enum class EDestination : std::uint8_t { Text, Skip, FontTable, ColorTable };

struct TCharState {
    int Font = -1;  // -1: the document's default font
    int HalfPoints = 0;
    int Color = 0;       // colour table index; 0 is the automatic colour
    int Background = 0;  // colour table index; 0 is none
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    TTextStyle::EVertical Vertical = TTextStyle::EVertical::Baseline;
};

// What a group saves and restores.
struct TGroupState {
    EDestination Destination = EDestination::Text;
    TCharState Char;
    TBlockStyle Block;
    int FallbackBytes = 1;  // \ucN
};

struct TFont {
    std::string RawName;  // bytes in the font's own code page
    bool NameDone = false;
    std::u16string Family;
    int CharsetCodePage = 0;
    int CodePage = 0;  // \cpgN, which wins over the charset
};

enum class EWord : std::uint8_t {
    AnsiCodePage, DefaultFont, FallbackCount, Unicode, Binary,
    FontTable, ColorTable, SkippedDestination,
    Font, Charset, FontCodePage, Red, Green, Blue,
    Plain, Bold, Italic, Underline, UnderlineNone, Strike, FontSize,
    ForeColor, BackColor, Super, Sub, NoSuperSub,
    ParagraphDefault, Paragraph, Line, Tab,
    AlignCenter, AlignRight, AlignLeft, AlignJustify,
    LeftIndent, RightIndent, FirstIndent, SpaceBefore, SpaceAfter,
    Character,
};

struct TWordInfo {
    EWord Word;
    char16_t Character = 0;  // for EWord::Character
};

const std::unordered_map<std::string_view, TWordInfo>& Words() {
    static const std::unordered_map<std::string_view, TWordInfo> words = {
        {"ansicpg", {EWord::AnsiCodePage}}, {"deff", {EWord::DefaultFont}},
        {"uc", {EWord::FallbackCount}}, {"u", {EWord::Unicode}}, {"bin", {EWord::Binary}},
        {"fonttbl", {EWord::FontTable}}, {"colortbl", {EWord::ColorTable}},
        // Destinations that hold no article text.
        {"stylesheet", {EWord::SkippedDestination}}, {"info", {EWord::SkippedDestination}},
        {"pict", {EWord::SkippedDestination}}, {"object", {EWord::SkippedDestination}},
        {"nonshppict", {EWord::SkippedDestination}}, {"fldinst", {EWord::SkippedDestination}},
        {"header", {EWord::SkippedDestination}}, {"headerl", {EWord::SkippedDestination}},
        {"headerr", {EWord::SkippedDestination}}, {"headerf", {EWord::SkippedDestination}},
        {"footer", {EWord::SkippedDestination}}, {"footerl", {EWord::SkippedDestination}},
        {"footerr", {EWord::SkippedDestination}}, {"footerf", {EWord::SkippedDestination}},
        {"footnote", {EWord::SkippedDestination}}, {"annotation", {EWord::SkippedDestination}},
        {"listtable", {EWord::SkippedDestination}},
        {"listoverridetable", {EWord::SkippedDestination}},
        {"revtbl", {EWord::SkippedDestination}}, {"rsidtbl", {EWord::SkippedDestination}},
        {"filetbl", {EWord::SkippedDestination}}, {"generator", {EWord::SkippedDestination}},
        {"xmlnstbl", {EWord::SkippedDestination}}, {"themedata", {EWord::SkippedDestination}},
        {"colorschememapping", {EWord::SkippedDestination}},
        {"latentstyles", {EWord::SkippedDestination}}, {"datastore", {EWord::SkippedDestination}},
        {"f", {EWord::Font}}, {"fcharset", {EWord::Charset}}, {"cpg", {EWord::FontCodePage}},
        {"red", {EWord::Red}}, {"green", {EWord::Green}}, {"blue", {EWord::Blue}},
        {"plain", {EWord::Plain}}, {"b", {EWord::Bold}}, {"i", {EWord::Italic}},
        {"ul", {EWord::Underline}}, {"uld", {EWord::Underline}}, {"uldb", {EWord::Underline}},
        {"ulw", {EWord::Underline}}, {"ulwave", {EWord::Underline}},
        {"uldash", {EWord::Underline}}, {"ulnone", {EWord::UnderlineNone}},
        {"strike", {EWord::Strike}}, {"striked", {EWord::Strike}}, {"fs", {EWord::FontSize}},
        {"cf", {EWord::ForeColor}}, {"cb", {EWord::BackColor}},
        {"highlight", {EWord::BackColor}}, {"super", {EWord::Super}}, {"sub", {EWord::Sub}},
        {"nosupersub", {EWord::NoSuperSub}}, {"pard", {EWord::ParagraphDefault}},
        {"par", {EWord::Paragraph}}, {"sect", {EWord::Paragraph}}, {"page", {EWord::Paragraph}},
        {"row", {EWord::Paragraph}}, {"line", {EWord::Line}}, {"tab", {EWord::Tab}},
        {"cell", {EWord::Tab}}, {"qc", {EWord::AlignCenter}}, {"qr", {EWord::AlignRight}},
        {"ql", {EWord::AlignLeft}}, {"qj", {EWord::AlignJustify}},
        {"li", {EWord::LeftIndent}}, {"ri", {EWord::RightIndent}},
        {"fi", {EWord::FirstIndent}}, {"sb", {EWord::SpaceBefore}},
        {"sa", {EWord::SpaceAfter}},
        {"emdash", {EWord::Character, u'\u2014'}}, {"endash", {EWord::Character, u'\u2013'}},
        {"bullet", {EWord::Character, u'\u2022'}}, {"lquote", {EWord::Character, u'\u2018'}},
        {"rquote", {EWord::Character, u'\u2019'}}, {"ldblquote", {EWord::Character, u'\u201C'}},
        {"rdblquote", {EWord::Character, u'\u201D'}}, {"emspace", {EWord::Character, u'\u2003'}},
        {"enspace", {EWord::Character, u'\u2002'}}, {"qmspace", {EWord::Character, u'\u2005'}},
    };
    return words;
}

class TRtfInterpreter {
  public:
    TRtfInterpreter(std::string_view rtf, int defaultCodePage)
        : FTokens(rtf), FDocumentCodePage(defaultCodePage) {}

    std::string Run();

  private:
    bool Step();  // false at the end of the document
    void StartGroup();
    bool EndGroup();  // false once the outermost group has closed
    void OnControlWord(const TRtfToken& token);
    void OnControlSymbol(char symbol);
    void OnByte(std::uint8_t byte);
    void AddCharacter(char16_t c);
    void Flush();
    void EndParagraph();
    void FinishFontEntry();
    void FinishColor();

    const TFont* FontOf(int number) const;
    const TCodePage& CurrentCodePage();
    TTextStyle ResolveStyle() const;
    TRtfHtmlWriter& Writer();

    TRtfTokenizer FTokens;
    int FDocumentCodePage;
    int FDefaultFont = 0;
    TGroupState FState;
    std::vector<TGroupState> FStack;
    std::size_t FOverflowDepth = 0;  // groups past kMaxGroupDepth, not saved
    bool FGroupJustStarted = false;
    // Fallback characters of the last \uN still to skip: text bytes, "\'hh"
    // and the escaped "\\", "\{", "\}"; control words are not fallback, so a
    // \par right after a \uN still ends its paragraph.
    int FSkipFallback = 0;

    std::map<int, TFont> FFonts;
    int FFontEntry = -1;  // the font table entry being read
    std::vector<std::optional<std::uint32_t>> FColors;
    std::uint32_t FRed = 0, FGreen = 0, FBlue = 0;
    bool FColorGiven = false;

    std::u16string FText;  // text not yet handed to the writer, all in the current style
    std::optional<TRtfHtmlWriter> FWriter;
};

std::string TRtfInterpreter::Run() {
    while (Step()) {
    }
    Flush();
    if (!Writer().ParagraphIsEmpty()) EndParagraph();  // text after the last \par
    return Writer().Finish();
}

bool TRtfInterpreter::Step() {
    const TRtfToken token = FTokens.Next();
    const bool groupStart = FGroupJustStarted;
    FGroupJustStarted = false;
    switch (token.Kind) {
        case TRtfToken::EKind::End:
            return false;
        case TRtfToken::EKind::GroupStart:
            StartGroup();
            return true;
        case TRtfToken::EKind::GroupEnd:
            return EndGroup();
        case TRtfToken::EKind::ControlWord:
            OnControlWord(token);
            return true;
        case TRtfToken::EKind::ControlSymbol:
            if (token.Symbol == '*' && groupStart)
                FState.Destination = EDestination::Skip;
            else
                OnControlSymbol(token.Symbol);
            return true;
        case TRtfToken::EKind::HexByte:
            OnByte(token.Byte);
            return true;
        case TRtfToken::EKind::Text:
            for (const char c : token.Text)
                if (c != '\r' && c != '\n') OnByte(static_cast<std::uint8_t>(c));
            return true;
    }
    return false;
}

void TRtfInterpreter::StartGroup() {
    Flush();
    FSkipFallback = 0;
    FGroupJustStarted = true;
    if (FStack.size() < kMaxGroupDepth)
        FStack.push_back(FState);
    else
        ++FOverflowDepth;
}

bool TRtfInterpreter::EndGroup() {
    Flush();
    FSkipFallback = 0;
    if (FOverflowDepth > 0) {
        --FOverflowDepth;
        return true;
    }
    if (FState.Destination == EDestination::FontTable) FinishFontEntry();
    if (FStack.empty()) return false;  // a stray closing brace ends the document too
    FState = FStack.back();
    FStack.pop_back();
    return !FStack.empty();
}

void TRtfInterpreter::OnControlWord(const TRtfToken& token) {
    const auto found = Words().find(token.Text);
    if (found == Words().end()) return;
    const EWord word = found->second.Word;
    const int value = token.Parameter;
    const bool on = !token.HasParameter || value != 0;
    const auto twips = [&](int low) { return std::clamp(value, low, kMaxTwips); };

    // Binary data is skipped wherever it stands, or its bytes would be read as RTF.
    if (word == EWord::Binary) {
        if (token.HasParameter) FTokens.SkipBinary(value);
        return;
    }
    Flush();
    if (FState.Destination == EDestination::Skip) return;
    switch (word) {
        case EWord::AnsiCodePage:
            if (IsSingleByteCodePage(value)) FDocumentCodePage = value;
            return;
        case EWord::DefaultFont:
            FDefaultFont = value;
            return;
        case EWord::FallbackCount:
            FState.FallbackBytes = std::clamp(value, 0, kMaxFallbackBytes);
            return;
        case EWord::Unicode:
            // Negative values stand for the upper half of the 16-bit range.
            if (token.HasParameter && value >= -32768 && value <= 65535 &&
                FState.Destination == EDestination::Text)
                AddCharacter(static_cast<char16_t>(value < 0 ? value + 65536 : value));
            FSkipFallback = FState.FallbackBytes;
            return;
        case EWord::FontTable:
            FState.Destination = EDestination::FontTable;
            return;
        case EWord::ColorTable:
            FState.Destination = EDestination::ColorTable;
            FColors.clear();
            return;
        case EWord::SkippedDestination:
            FState.Destination = EDestination::Skip;
            return;
        default:
            break;
    }
    if (FState.Destination == EDestination::FontTable) {
        if (word == EWord::Font) {
            FinishFontEntry();
            FFontEntry = value;
            FFonts[value] = TFont{};
        } else if (FFontEntry >= 0 && word == EWord::Charset) {
            FFonts[FFontEntry].CharsetCodePage = CodePageOfCharset(value);
        } else if (FFontEntry >= 0 && word == EWord::FontCodePage && IsSingleByteCodePage(value)) {
            FFonts[FFontEntry].CodePage = value;
        }
        return;
    }
    if (FState.Destination == EDestination::ColorTable) {
        const std::uint32_t component = static_cast<std::uint32_t>(std::clamp(value, 0, 255));
        if (word == EWord::Red) FRed = component;
        if (word == EWord::Green) FGreen = component;
        if (word == EWord::Blue) FBlue = component;
        FColorGiven = FColorGiven || word == EWord::Red || word == EWord::Green ||
                      word == EWord::Blue;
        return;
    }

    TCharState& chr = FState.Char;
    TBlockStyle& block = FState.Block;
    switch (word) {
        case EWord::Font: chr.Font = value; break;
        case EWord::Plain: chr = TCharState{}; break;
        case EWord::Bold: chr.Bold = on; break;
        case EWord::Italic: chr.Italic = on; break;
        case EWord::Underline: chr.Underline = on; break;
        case EWord::UnderlineNone: chr.Underline = false; break;
        case EWord::Strike: chr.Strike = on; break;
        case EWord::FontSize:
            chr.HalfPoints = token.HasParameter ? std::clamp(value, 0, kMaxHalfPoints) : 24;
            break;
        case EWord::ForeColor: chr.Color = value; break;
        case EWord::BackColor: chr.Background = value; break;
        case EWord::Super: chr.Vertical = TTextStyle::EVertical::Super; break;
        case EWord::Sub: chr.Vertical = TTextStyle::EVertical::Sub; break;
        case EWord::NoSuperSub: chr.Vertical = TTextStyle::EVertical::Baseline; break;
        case EWord::ParagraphDefault: block = TBlockStyle{}; break;
        case EWord::Paragraph: EndParagraph(); break;
        case EWord::Line: AddCharacter(u'\n'); break;
        case EWord::Tab: AddCharacter(u'\t'); break;
        case EWord::Character: AddCharacter(found->second.Character); break;
        case EWord::AlignCenter: block.Align = TBlockStyle::EAlign::Center; break;
        case EWord::AlignRight: block.Align = TBlockStyle::EAlign::Right; break;
        case EWord::AlignLeft: block.Align = TBlockStyle::EAlign::Left; break;
        case EWord::AlignJustify: block.Align = TBlockStyle::EAlign::Justify; break;
        case EWord::LeftIndent: block.LeftIndent = twips(-kMaxTwips); break;
        case EWord::RightIndent: block.RightIndent = twips(-kMaxTwips); break;
        case EWord::FirstIndent: block.FirstLineIndent = twips(-kMaxTwips); break;
        case EWord::SpaceBefore: block.SpaceBefore = twips(0); break;
        case EWord::SpaceAfter: block.SpaceAfter = twips(0); break;
        default: break;  // table words outside their table
    }
}

void TRtfInterpreter::OnControlSymbol(char symbol) {
    switch (symbol) {
        case '\\':
        case '{':
        case '}':
            OnByte(static_cast<std::uint8_t>(symbol));
            return;
        default:
            break;
    }
    if (FState.Destination != EDestination::Text) return;
    switch (symbol) {
        case '~': AddCharacter(u'\u00A0'); break;
        case '_': AddCharacter(u'\u2011'); break;
        case '\n': EndParagraph(); break;
        default: break;  // "\-" (optional hyphen), "\|", "\:" and a broken "\'"
    }
}

void TRtfInterpreter::OnByte(std::uint8_t byte) {
    if (FSkipFallback > 0) {
        --FSkipFallback;
        return;
    }
    switch (FState.Destination) {
        case EDestination::Skip:
            return;
        case EDestination::FontTable:
            if (FFontEntry < 0) return;
            if (byte == ';')
                FinishFontEntry();
            else if (!FFonts[FFontEntry].NameDone)
                FFonts[FFontEntry].RawName.push_back(static_cast<char>(byte));
            return;
        case EDestination::ColorTable:
            if (byte == ';') FinishColor();
            return;
        case EDestination::Text:
            AddCharacter(byte < 0x80 ? char16_t{byte} : DecodeByte(CurrentCodePage(), byte));
            return;
    }
}

void TRtfInterpreter::AddCharacter(char16_t c) {
    if (FState.Destination == EDestination::Text) FText.push_back(c);
}

void TRtfInterpreter::Flush() {
    if (FText.empty()) return;
    Writer().AddText(FText, ResolveStyle());
    FText.clear();
}

void TRtfInterpreter::EndParagraph() {
    Flush();
    Writer().EndParagraph(FState.Block, ResolveStyle());
}

void TRtfInterpreter::FinishFontEntry() {
    if (FFontEntry < 0) return;
    TFont& font = FFonts[FFontEntry];
    if (font.NameDone) return;
    font.NameDone = true;
    std::string_view name = font.RawName;
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    const int codePage = font.CodePage     ? font.CodePage
                         : font.CharsetCodePage ? font.CharsetCodePage
                                                : FDocumentCodePage;
    const TCodePage& page = TCodePage::Of(codePage);
    for (const char c : name) font.Family.push_back(DecodeByte(page, static_cast<std::uint8_t>(c)));
}

void TRtfInterpreter::FinishColor() {
    FColors.push_back(FColorGiven ? std::optional((FRed << 16) | (FGreen << 8) | FBlue)
                                  : std::nullopt);
    FRed = FGreen = FBlue = 0;
    FColorGiven = false;
}

const TFont* TRtfInterpreter::FontOf(int number) const {
    const auto found = FFonts.find(number < 0 ? FDefaultFont : number);
    return found == FFonts.end() ? nullptr : &found->second;
}

const TCodePage& TRtfInterpreter::CurrentCodePage() {
    const TFont* font = FontOf(FState.Char.Font);
    if (font && font->CodePage) return TCodePage::Of(font->CodePage);
    if (font && font->CharsetCodePage) return TCodePage::Of(font->CharsetCodePage);
    return TCodePage::Of(FDocumentCodePage);
}

TTextStyle TRtfInterpreter::ResolveStyle() const {
    const TCharState& chr = FState.Char;
    const auto color = [this](int index) -> std::optional<std::uint32_t> {
        if (index <= 0 || static_cast<std::size_t>(index) >= FColors.size()) return std::nullopt;
        return FColors[static_cast<std::size_t>(index)];
    };
    TTextStyle style;
    if (const TFont* font = FontOf(chr.Font)) style.FontFamily = font->Family;
    style.HalfPoints = chr.HalfPoints;
    style.Color = color(chr.Color);
    style.Background = color(chr.Background);
    style.Bold = chr.Bold;
    style.Italic = chr.Italic;
    style.Underline = chr.Underline;
    style.Strike = chr.Strike;
    style.Vertical = chr.Vertical;
    return style;
}

// Made at the first text, when the font table has been read, so that the
// default font can go on the body.
TRtfHtmlWriter& TRtfInterpreter::Writer() {
    if (!FWriter) {
        const TFont* font = FontOf(-1);
        FWriter.emplace(font ? font->Family : std::u16string());
    }
    return *FWriter;
}

}  // namespace

int CodePageOfCharset(int charset) {
    switch (charset) {
        case 0: return 1252;
        case 161: return 1253;
        case 162: return 1254;
        case 163: return 1258;
        case 177: return 1255;
        case 178: return 1256;
        case 186: return 1257;
        case 204: return 1251;
        case 222: return 874;
        case 238: return 1250;
        default: return 0;
    }
}

bool IsRtfArticle(std::string_view article) { return article.starts_with("{\\rtf"); }

std::string RtfToHtml(std::string_view rtf, int defaultCodePage) {
    (void)TCodePage::Of(defaultCodePage);  // a wrong default fails before any reading
    return TRtfInterpreter(rtf, defaultCodePage).Run();
}

std::string PlainTextToHtml(std::string_view text, int codePage) {
    const TCodePage& page = TCodePage::Of(codePage);
    TRtfHtmlWriter writer;
    std::u16string line;
    const auto endLine = [&] {
        writer.AddText(line, {});
        writer.EndParagraph({}, {});
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endLine();
        } else {
            line.push_back(DecodeByte(page, static_cast<std::uint8_t>(c)));
        }
    }
    if (!line.empty()) endLine();
    return writer.Finish();
}

std::string ArticleToHtml(std::string_view article, int defaultCodePage) {
    return IsRtfArticle(article) ? RtfToHtml(article, defaultCodePage)
                                 : PlainTextToHtml(article, defaultCodePage);
}

}  // namespace vorlano
