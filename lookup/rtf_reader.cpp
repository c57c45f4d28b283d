#include "lookup/rtf_reader.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "locale/code_page.h"
#include "lookup/rtf_html_writer.h"
#include "lookup/rtf_tables.h"
#include "lookup/rtf_tokenizer.h"
#include "lookup/rtf_words.h"

namespace vorlano {

namespace {

using pirin::TCodePage;

constexpr std::size_t kMaxGroupDepth = 200;
constexpr int kMaxTwips = 31680;  // 22 inches, the widest page RTF allows
constexpr int kMaxHalfPoints = 3276;
constexpr int kMaxFallbackBytes = 255;

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

// Reads one document from start to end. Text is gathered in the current
// style and handed to the writer whenever the style may change (at every
// control word and brace), so runs stay whole.
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
    void OnDocumentWord(ERtfWord word, const TRtfToken& token);
    void OnFormatWord(const TRtfWordInfo& info, const TRtfToken& token);
    void OnControlSymbol(char symbol);
    void OnByte(std::uint8_t byte);
    // The bytes of a text token (line ends in the source are not text).
    void OnText(std::string_view text);
    void AddCharacter(char16_t c);
    void Flush();
    void EndParagraph();

    const TRtfFont* CurrentFont() const;
    const TCodePage& CurrentCodePage() const;
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
    // and the escaped "\\", "\{", "\}". Control words are not fallback, so a
    // \par right after a \uN still ends its paragraph.
    int FSkipFallback = 0;

    TRtfFontTable FFonts;
    TRtfColorTable FColors;
    std::u16string FText;  // not yet handed to the writer, all in the current style
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
            // "{\*" marks a destination that a reader may skip; we skip them all.
            if (token.Symbol == '*' && groupStart)
                FState.Destination = EDestination::Skip;
            else
                OnControlSymbol(token.Symbol);
            return true;
        case TRtfToken::EKind::HexByte:
            OnByte(token.Byte);
            return true;
        case TRtfToken::EKind::Text:
            OnText(token.Text);
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
    if (FState.Destination == EDestination::FontTable) FFonts.EndEntry(FDocumentCodePage);
    if (FStack.empty()) return false;  // a stray closing brace ends the document too
    FState = FStack.back();
    FStack.pop_back();
    return !FStack.empty();
}

void TRtfInterpreter::OnControlWord(const TRtfToken& token) {
    const TRtfWordInfo* info = FindRtfWord(token.Text);
    if (!info) return;
    // Binary data is skipped wherever it stands, or its bytes would be read as RTF.
    if (info->Word == ERtfWord::Binary) {
        if (token.HasParameter) FTokens.SkipBinary(token.Parameter);
        return;
    }
    Flush();
    switch (FState.Destination) {
        case EDestination::Skip:
            return;
        case EDestination::FontTable:
            if (info->Word == ERtfWord::Font)
                FFonts.StartEntry(token.Parameter, FDocumentCodePage);
            else if (info->Word == ERtfWord::Charset)
                FFonts.SetCharset(token.Parameter);
            else if (info->Word == ERtfWord::FontCodePage)
                FFonts.SetCodePage(token.Parameter);
            else
                OnDocumentWord(info->Word, token);
            return;
        case EDestination::ColorTable:
            if (info->Word == ERtfWord::Red) FColors.SetRed(token.Parameter);
            if (info->Word == ERtfWord::Green) FColors.SetGreen(token.Parameter);
            if (info->Word == ERtfWord::Blue) FColors.SetBlue(token.Parameter);
            return;
        case EDestination::Text:
            OnDocumentWord(info->Word, token);
            OnFormatWord(*info, token);
            return;
    }
}

// Words that set up the document or open a destination.
void TRtfInterpreter::OnDocumentWord(ERtfWord word, const TRtfToken& token) {
    const int value = token.Parameter;
    switch (word) {
        case ERtfWord::AnsiCodePage:
            if (IsSingleByteCodePage(value)) FDocumentCodePage = value;
            break;
        case ERtfWord::DefaultFont:
            FDefaultFont = value;
            break;
        case ERtfWord::FallbackCount:
            FState.FallbackBytes = std::clamp(value, 0, kMaxFallbackBytes);
            break;
        case ERtfWord::Unicode:
            // Negative values stand for the upper half of the 16-bit range.
            if (token.HasParameter && value >= -32768 && value <= 65535)
                AddCharacter(static_cast<char16_t>(value < 0 ? value + 65536 : value));
            FSkipFallback = FState.FallbackBytes;
            break;
        case ERtfWord::FontTable:
            FState.Destination = EDestination::FontTable;
            break;
        case ERtfWord::ColorTable:
            FState.Destination = EDestination::ColorTable;
            FColors.Clear();
            break;
        case ERtfWord::SkippedDestination:
            FState.Destination = EDestination::Skip;
            break;
        default:
            break;
    }
}

void TRtfInterpreter::OnFormatWord(const TRtfWordInfo& info, const TRtfToken& token) {
    const int value = token.Parameter;
    const bool on = !token.HasParameter || value != 0;
    const auto twips = [value](int low) { return std::clamp(value, low, kMaxTwips); };
    TCharState& chr = FState.Char;
    TBlockStyle& block = FState.Block;
    switch (info.Word) {
        case ERtfWord::Font:
            chr.Font = value;
            break;
        case ERtfWord::Plain:
            chr = TCharState{};
            break;
        case ERtfWord::Bold:
            chr.Bold = on;
            break;
        case ERtfWord::Italic:
            chr.Italic = on;
            break;
        case ERtfWord::Underline:
            chr.Underline = on;
            break;
        case ERtfWord::UnderlineNone:
            chr.Underline = false;
            break;
        case ERtfWord::Strike:
            chr.Strike = on;
            break;
        case ERtfWord::FontSize:
            chr.HalfPoints = token.HasParameter ? std::clamp(value, 0, kMaxHalfPoints) : 24;
            break;
        case ERtfWord::ForeColor:
            chr.Color = value;
            break;
        case ERtfWord::BackColor:
            chr.Background = value;
            break;
        case ERtfWord::Super:
            chr.Vertical = TTextStyle::EVertical::Super;
            break;
        case ERtfWord::Sub:
            chr.Vertical = TTextStyle::EVertical::Sub;
            break;
        case ERtfWord::NoSuperSub:
            chr.Vertical = TTextStyle::EVertical::Baseline;
            break;
        case ERtfWord::ParagraphDefault:
            block = TBlockStyle{};
            break;
        case ERtfWord::Paragraph:
            EndParagraph();
            break;
        case ERtfWord::Line:
            AddCharacter(u'\n');
            break;
        case ERtfWord::Tab:
            AddCharacter(u'\t');
            break;
        case ERtfWord::Character:
            AddCharacter(info.Character);
            break;
        case ERtfWord::AlignCenter:
            block.Align = TBlockStyle::EAlign::Center;
            break;
        case ERtfWord::AlignRight:
            block.Align = TBlockStyle::EAlign::Right;
            break;
        case ERtfWord::AlignLeft:
            block.Align = TBlockStyle::EAlign::Left;
            break;
        case ERtfWord::AlignJustify:
            block.Align = TBlockStyle::EAlign::Justify;
            break;
        case ERtfWord::LeftIndent:
            block.LeftIndent = twips(-kMaxTwips);
            break;
        case ERtfWord::RightIndent:
            block.RightIndent = twips(-kMaxTwips);
            break;
        case ERtfWord::FirstIndent:
            block.FirstLineIndent = twips(-kMaxTwips);
            break;
        case ERtfWord::SpaceBefore:
            block.SpaceBefore = twips(0);
            break;
        case ERtfWord::SpaceAfter:
            block.SpaceAfter = twips(0);
            break;
        default:
            break;  // document words, and table words outside their table
    }
}

void TRtfInterpreter::OnControlSymbol(char symbol) {
    if (symbol == '\\' || symbol == '{' || symbol == '}') {
        OnByte(static_cast<std::uint8_t>(symbol));
        return;
    }
    if (FState.Destination != EDestination::Text) return;
    switch (symbol) {
        case '~':
            AddCharacter(u'\u00A0');
            break;
        case '_':
            AddCharacter(u'\u2011');
            break;
        case '\n':
            EndParagraph();
            break;
        default:
            break;  // "\-" (optional hyphen), "\|", "\:" and a broken "\'"
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
            FFonts.AddNameByte(byte, FDocumentCodePage);
            return;
        case EDestination::ColorTable:
            if (byte == ';') FColors.EndEntry();
            return;
        case EDestination::Text:
            AddCharacter(byte < 0x80 ? char16_t{byte} : DecodeByte(CurrentCodePage(), byte));
            return;
    }
}

void TRtfInterpreter::OnText(std::string_view text) {
    // Byte by byte as OnByte takes them; in running text the code page is
    // looked up once (only control words change the font).
    const TCodePage* page = nullptr;
    FText.reserve(FText.size() + text.size());
    for (const char c : text) {
        if (c == '\r' || c == '\n') continue;
        const auto byte = static_cast<std::uint8_t>(c);
        if (FSkipFallback > 0 || FState.Destination != EDestination::Text) {
            OnByte(byte);
        } else if (byte < 0x80) {
            FText.push_back(char16_t{byte});
        } else {
            if (page == nullptr) page = &CurrentCodePage();
            FText.push_back(DecodeByte(*page, byte));
        }
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

const TRtfFont* TRtfInterpreter::CurrentFont() const {
    return FFonts.Find(FState.Char.Font < 0 ? FDefaultFont : FState.Char.Font);
}

const TCodePage& TRtfInterpreter::CurrentCodePage() const {
    const TRtfFont* font = CurrentFont();
    return TCodePage::Of(font && font->CodePage ? font->CodePage : FDocumentCodePage);
}

TTextStyle TRtfInterpreter::ResolveStyle() const {
    const TCharState& chr = FState.Char;
    TTextStyle style;
    if (const TRtfFont* font = CurrentFont()) style.FontFamily = font->Family;
    style.HalfPoints = chr.HalfPoints;
    style.Color = FColors.Find(chr.Color);
    style.Background = FColors.Find(chr.Background);
    style.Bold = chr.Bold;
    style.Italic = chr.Italic;
    style.Underline = chr.Underline;
    style.Strike = chr.Strike;
    style.Vertical = chr.Vertical;
    return style;
}

// Made at the first text, once the font table has been read, so that the
// default font can go on the body.
TRtfHtmlWriter& TRtfInterpreter::Writer() {
    if (!FWriter) {
        const TRtfFont* font = FFonts.Find(FDefaultFont);
        FWriter.emplace(font ? font->Family : std::u16string());
    }
    return *FWriter;
}

}  // namespace

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
