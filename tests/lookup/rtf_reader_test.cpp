#include "lookup/rtf_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "errors/engine_error.h"

namespace vorlano {
namespace {

// The HTML between the body tags: what the cases compare.
std::string BodyOf(const std::string& html) {
    const auto open = html.find("<body");
    const auto start = html.find('>', open) + 1;
    const auto end = html.rfind("</body>");
    if (open == std::string::npos || end == std::string::npos || end < start) return "?" + html;
    return html.substr(start, end - start);
}

// An article head as a Bulgarian word processor writes it: Arial with the
// Cyrillic charset as default font, a Latin font and a colour table.
constexpr std::string_view kHead =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}"
    "{\\f1\\froman\\fcharset0 Times New Roman;}{\\f2\\fnil\\fcharset238 Tahoma;}}"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\n";

std::string Article(std::string_view body) { return std::string(kHead) + std::string(body) + "}"; }

TEST(RtfReader, ControlWords) {
    const struct {
        const char* name;
        const char* rtf;
        const char* html;
    } cases[] = {
        {"bold", "\\b A\\b0 B", "<p><span style=\"font-weight:bold\">A</span>B</p>"},
        {"italic", "\\i A\\i0 B", "<p><span style=\"font-style:italic\">A</span>B</p>"},
        {"underline", "\\ul A\\ulnone B\\ul C\\ul0 D",
         "<p><span style=\"text-decoration:underline\">A</span>B"
         "<span style=\"text-decoration:underline\">C</span>D</p>"},
        {"strike", "\\strike\\ul A",
         "<p><span style=\"text-decoration:underline line-through\">A</span></p>"},
        {"size", "\\fs21 A\\fs32 B",
         "<p><span style=\"font-size:10.5pt\">A</span><span style=\"font-size:16pt\">B</span></p>"},
        {"font", "\\f1 A\\f0 B", "<p><span style=\"font-family:'Times New Roman'\">A</span>B</p>"},
        {"colours", "\\cf1 A\\cf0 B\\cb2 C\\highlight1 D\\highlight0 E",
         "<p><span style=\"color:#ff0000\">A</span>B<span style=\"background-color:#0000ff\">C"
         "</span><span style=\"background-color:#ff0000\">D</span>E</p>"},
        {"colour out of the table", "\\cf9 A", "<p>A</p>"},
        {"super and sub", "x\\super 2\\sub i\\nosupersub y",
         "<p>x<span style=\"vertical-align:super\">2</span>"
         "<span style=\"vertical-align:sub\">i</span>y</p>"},
        {"plain", "\\b\\i\\f1\\fs30 A\\plain B",
         "<p><span style=\"font-family:'Times New Roman';font-size:15pt;font-weight:bold;"
         "font-style:italic\">A</span>B</p>"},
        {"groups restore", "{\\b A{\\i B}C}D",
         "<p><span style=\"font-weight:bold\">A</span>"
         "<span style=\"font-weight:bold;font-style:italic\">B</span>"
         "<span style=\"font-weight:bold\">C</span>D</p>"},
        {"unchanged runs share a span", "\\b A\\i0 B{\\b C}",
         "<p><span style=\"font-weight:bold\">ABC</span></p>"},
        {"paragraphs", "A\\par B\\par\\par C", "<p>A</p><p>B</p><p>\xC2\xA0</p><p>C</p>"},
        {"final \\par adds no empty paragraph", "A\\par\n", "<p>A</p>"},
        {"alignment", "\\qc A\\par\\qr B\\par\\qj C\\par\\ql D",
         "<p style=\"text-align:center\">A</p><p style=\"text-align:right\">B</p>"
         "<p style=\"text-align:justify\">C</p><p>D</p>"},
        {"indents in twips", "\\li300\\ri150\\fi-300\\sb60\\sa120 A\\par\\pard B",
         "<p style=\"margin-top:4px;margin-bottom:8px;margin-left:20px;margin-right:10px;"
         "text-indent:-20px\">A</p><p>B</p>"},
        {"paragraph format at the paragraph end wins", "A\\qc\\par",
         "<p style=\"text-align:center\">A</p>"},
        {"line and tab", "A\\line B\\tab C", "<p style=\"white-space:pre-wrap\">A<br>B\tC</p>"},
        {"spaces HTML would collapse", "A  B", "<p style=\"white-space:pre-wrap\">A  B</p>"},
        {"escaped text", "<a href=\"x\">&'</a>",
         "<p>&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;</p>"},
        {"control symbols", "\\{x\\}\\\\ a\\~b\\_c\\-d\\|",
         "<p>{x}\\ a\xC2\xA0"
         "b\xE2\x80\x91"
         "cd</p>"},
        {"named characters", "\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote",
         "<p>\xE2\x80\x94\xE2\x80\x93\xE2\x80\xA2\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C"
         "\xE2\x80\x9D</p>"},
        {"unknown words are ignored", "\\foo A\\bar12 B\\expndtw-20 C", "<p>ABC</p>"},
        {"line ends in RTF are not text", "A\r\nB\nC", "<p>ABC</p>"},
        {"a line end after a backslash is a paragraph", "A\\\nB", "<p>A</p><p>B</p>"},
        {"starred destinations", "A{\\*\\generator Riched20;}B{\\*\\unknown{x}y}C", "<p>ABC</p>"},
        {"picture", "A{\\pict\\wmetafile8\\picw10 0102ff}B", "<p>AB</p>"},
        {"binary data", "A{\\pict\\bin4 }{\\}}B", "<p>AB</p>"},
        {"info and style sheet", "{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author X}}A",
         "<p>A</p>"},
        {"field result only", "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt see}}", "<p>see</p>"},
    };
    for (const auto& c : cases) EXPECT_EQ(BodyOf(RtfToHtml(Article(c.rtf))), c.html) << c.name;
}

TEST(RtfReader, DefaultFontGoesOnTheBody) {
    const std::string html = RtfToHtml(Article("A"));
    EXPECT_EQ(html,
              "<html><head><style>p{margin:0}</style></head>"
              "<body style=\"font-family:'Arial'\"><p>A</p></body></html>");
    // Without a font table the view's own font shows.
    EXPECT_EQ(RtfToHtml("{\\rtf1 A}"),
              "<html><head><style>p{margin:0}</style></head><body><p>A</p></body></html>");
    // \deff picks the body font; a font name cannot break out of its CSS string.
    EXPECT_EQ(BodyOf(RtfToHtml("{\\rtf1\\deff1{\\fonttbl{\\f0 A;}{\\f1 B'\"<x>;}}\\f0 a\\f1 b}")),
              "<p><span style=\"font-family:'A'\">a</span>b</p>");
    EXPECT_NE(RtfToHtml("{\\rtf1\\deff1{\\fonttbl{\\f0 A;}{\\f1 B'\"<x>;}}\\f0 a\\f1 b}")
                  .find("<body style=\"font-family:'Bx'\">"),
              std::string::npos);
}

TEST(RtfReader, FontTableForms) {
    // Entries without groups of their own.
    EXPECT_EQ(
        BodyOf(RtfToHtml("{\\rtf1{\\fonttbl\\f0\\fcharset204 Arial;\\f1\\fcharset0 Courier New;}"
                         "\\f1 caf\\'e9\\f0 \\'e4}")),
        "<p><span style=\"font-family:'Courier New'\">café</span>д</p>");
    // A name without ';', an alternative name in a starred group, a font defined twice.
    const std::string html = RtfToHtml(
        "{\\rtf1{\\fonttbl{\\f0\\fcharset0 Verdana{\\*\\falt Tahoma}}{\\f1 Old;}{\\f1 New;}}"
        "x\\f1 y}");
    EXPECT_EQ(html,
              "<html><head><style>p{margin:0}</style></head><body style=\"font-family:'Verdana'\">"
              "<p>x<span style=\"font-family:'New'\">y</span></p></body></html>");
}

TEST(RtfReader, HexBytesFollowTheFontCodePage) {
    const struct {
        const char* name;
        std::string rtf;
        int defaultCodePage;
        const char* text;
    } cases[] = {
        {"Cyrillic font", Article("\\'ea\\'ee\\'f8\\'ea\\'e0"), 1252, "кошка"},
        {"Western font", Article("\\f1 caf\\'e9"), 1251, "café"},
        {"Central European font", Article("\\f2 \\'b9\\'9a"), 1251, "ąš"},
        {"Greek charset", "{\\rtf1{\\fonttbl{\\f0\\fcharset161 G;}}\\'e1}", 1251, "α"},
        {"Turkish charset", "{\\rtf1{\\fonttbl{\\f0\\fcharset162 T;}}\\'fd}", 1251, "ı"},
        {"charset 1 takes \\ansicpg", "{\\rtf1\\ansicpg1253{\\fonttbl{\\f0\\fcharset1 X;}}\\'e1}",
         1251, "α"},
        {"no font table: \\ansicpg", "{\\rtf1\\ansicpg1250 \\'b9}", 1251, "ą"},
        {"no \\ansicpg: the default code page", "{\\rtf1 \\'e9}", 1252, "é"},
        {"no \\ansicpg: the default code page", "{\\rtf1 \\'e9}", 1251, "й"},
        {"an unusable \\ansicpg is ignored", "{\\rtf1\\ansicpg65001 \\'e9}", 1251, "й"},
        {"\\cpg wins over the charset", "{\\rtf1{\\fonttbl{\\f0\\fcharset0\\cpg1251 X;}}\\'e9}",
         1252, "й"},
        {"unmapped charset falls back",
         "{\\rtf1\\ansicpg1251{\\fonttbl{\\f0\\fcharset128 X;}}\\'e9}", 1252, "й"},
        {"raw bytes above 127 decode too", "{\\rtf1\\ansicpg1251 \xE4\xE0}", 1252, "да"},
        {"a byte the code page leaves undefined", "{\\rtf1\\ansicpg1253 \\'d2}", 1251, "\uFFFD"},
    };
    for (const auto& c : cases) {
        const std::string body = BodyOf(RtfToHtml(c.rtf, c.defaultCodePage));
        EXPECT_NE(body.find(std::string(">") + c.text + "<"), std::string::npos)
            << c.name << ": " << body;
    }
    EXPECT_NE(RtfToHtml("{\\rtf1{\\fonttbl{\\f0\\fcharset204 \\'c0\\'f0;}}x}", 1252)
                  .find("font-family:'Ар'"),
              std::string::npos);
}

TEST(RtfReader, UnicodeCharactersSkipTheirFallback) {
    const struct {
        const char* name;
        const char* rtf;
        const char* text;
    } cases[] = {
        {"one fallback byte by default", "{\\rtf1 \\u1076?\\u1072\\'3f!}", "да!"},
        {"negative values", "{\\rtf1 \\u-1279?}", "\xEF\xAC\x81"},  // U+FB01
        {"\\uc2", "{\\rtf1\\uc2 \\u1076\\'e4\\'e4X}", "дX"},
        {"\\uc0", "{\\rtf1\\uc0 \\u1076X}", "дX"},
        {"\\uc is scoped to its group", "{\\rtf1 {\\uc2 \\u1076??}\\u1076??}", "дд?"},
        {"a brace ends the fallback", "{\\rtf1 \\u1076{X}}", "дX"},
        {"a surrogate pair", "{\\rtf1 \\u-10179?\\u-8704?}", "\xF0\x9F\x98\x80"},
        {"a lone surrogate", "{\\rtf1 \\u-10179?x}", "\xEF\xBF\xBDx"},
        {"out of range values give nothing", "{\\rtf1 a\\u70000?b\\u-40000?c}", "abc"},
        {"control words are not fallback", "{\\rtf1 \\u1076\\~?x}", "д\xC2\xA0x"},
        {"escaped characters are", "{\\rtf1 \\u1076\\{x}", "дx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BodyOf(RtfToHtml(c.rtf)), std::string("<p>") + c.text + "</p>") << c.name;
}

// A whole entry of a bilingual dictionary: headword bold, transcription in a
// Latin font with a stress mark outside the code page, part of speech italic
// and coloured, numbered senses in Cyrillic under \fcharset204.
TEST(RtfReader, DictionaryArticle) {
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1026{\\fonttbl{\\f0\\fnil\\fcharset204 "
        "Arial;}{\\f1\\fnil\\fcharset0 Arial;}}\r\n"
        "{\\colortbl ;\\red0\\green0\\blue128;}\r\n"
        "{\\*\\generator Riched20 5.50.99.2050;}\\viewkind4\\uc1\\pard\\lang1026\\f0\\fs20 "
        "{\\b apple} \\f1 [\\u712?\\'e6pl]\\f0  {\\i\\cf1 \\'f1\\'fa\\'f9.}\\par\r\n"
        "\\li200 1. \\'FF\\'E1\\'FA\\'EB\\'EA\\'E0\\par\r\n"
        "2. \\'FF\\'E1\\'FA\\'EB\\'EA\\'EE\\'E2\\'E8\\'E4\\'E5\\'ED \\u1086\\'e0\\par\r\n}\r\n";
    EXPECT_EQ(
        RtfToHtml(rtf),
        "<html><head><style>p{margin:0}</style></head><body style=\"font-family:'Arial'\">"
        "<p><span style=\"font-size:10pt;font-weight:bold\">apple</span>"
        "<span style=\"font-size:10pt\"> [\xCB\x88\xC3\xA6pl] </span>"
        "<span style=\"font-size:10pt;font-style:italic;color:#000080\">същ.</span></p>"
        "<p style=\"margin-left:13px\"><span style=\"font-size:10pt\">1. ябълка</span></p>"
        "<p style=\"margin-left:13px\"><span style=\"font-size:10pt\">2. ябълковиден о</span></p>"
        "</body></html>");
}

TEST(RtfReader, PlainTextArticle) {
    EXPECT_FALSE(IsRtfArticle("ябълка"));
    EXPECT_FALSE(IsRtfArticle(" {\\rtf1 x}"));
    EXPECT_TRUE(IsRtfArticle("{\\rtf1 x}"));
    // Windows-1251 bytes, lines ended three ways, an empty line, markup characters.
    const std::string text = "\xFF\xE1\xFA\xEB\xEA\xE0\r\n1. \xEF\xEB\xEE\xE4\n\n<b>&\r\tx  y";
    EXPECT_EQ(ArticleToHtml(text),
              "<html><head><style>p{margin:0}</style></head><body>"
              "<p>ябълка</p><p>1. плод</p><p>\xC2\xA0</p><p>&lt;b&gt;&amp;</p>"
              "<p style=\"white-space:pre-wrap\">\tx  y</p></body></html>");
    EXPECT_EQ(BodyOf(ArticleToHtml("caf\xE9\n", 1252)), "<p>café</p>");
    EXPECT_EQ(BodyOf(ArticleToHtml("")), "");
}

TEST(RtfReader, UnknownDefaultCodePageRaises) {
    for (const auto call : {&RtfToHtml, &PlainTextToHtml}) {
        try {
            (void)call("{\\rtf1 x}", 65001);
            ADD_FAILURE() << "no error";
        } catch (const pirin::EPirinEngineError& e) {
            EXPECT_EQ(e.ErrorCode, 15878);
        }
    }
}

TEST(RtfReader, HostileInputGivesBestEffortHtml) {
    const std::string deep =
        "{\\rtf1 " + std::string(100000, '{') + "\\b deep" + std::string(100000, '}') + " after}";
    const struct {
        const char* name;
        std::string rtf;
        const char* body;
    } cases[] = {
        {"unclosed groups", "{\\rtf1 {\\b abc",
         "<p><span style=\"font-weight:bold\">abc</span></p>"},
        {"text after the document", "{\\rtf1 a}}} b{c}", "<p>a</p>"},
        {"a stray closing brace", "}x", ""},
        {"truncated control word", "{\\rtf1 a\\", "<p>a</p>"},
        {"truncated hex byte", "{\\rtf1 a\\'4", "<p>a4</p>"},
        {"hex byte with bad digits", "{\\rtf1 a\\'zzb", "<p>azzb</p>"},
        {"truncated \\u", "{\\rtf1 a\\u", "<p>a</p>"},
        {"huge numbers", "{\\rtf1\\fs99999999999999999999 a\\li-99999999999999\\par}",
         "<p style=\"margin-left:-2112px\"><span style=\"font-size:1638pt\">a</span></p>"},
        {"huge \\u and \\uc", "{\\rtf1\\uc99999999999 \\u99999999999 abc\\par}", "<p>\xC2\xA0</p>"},
        {"\\bin past the end", "{\\rtf1 a{\\bin99999999999 }}}}", "<p>a</p>"},
        {"a negative \\bin", "{\\rtf1 a\\bin-5 b}", "<p>ab</p>"},
        {"font and colour words out of their tables", "{\\rtf1 \\fcharset204\\red9 a}", "<p>a</p>"},
        {"colour index far out", "{\\rtf1{\\colortbl;}\\cf2147483647\\cb-5 a}", "<p>a</p>"},
        {"undefined font", "{\\rtf1\\f99 a}", "<p>a</p>"},
        {"control bytes are dropped",
         std::string("{\\rtf1 a\x01\x00"
                     "b\\'00c}",
                     16),
         "<p>abc</p>"},
        {"deep nesting", deep, "<p><span style=\"font-weight:bold\">deep</span> after</p>"},
    };
    for (const auto& c : cases) EXPECT_EQ(BodyOf(RtfToHtml(c.rtf)), c.body) << c.name;
}

// Random byte soup over RTF's special characters and words: every input must
// give a complete document. A failure prints the seed of the input.
TEST(RtfReader, RandomInputAlwaysGivesADocument) {
    const char* const pieces[] = {"{",          "}",   "\\",    "\\'",       "\\u",        "-",
                                  "9",          "\\b", "\\*",   "\\fonttbl", "\\colortbl", "\\f",
                                  "\\fcharset", ";",   "\\par", "\\bin",     "\\uc",       "\\'e9",
                                  "a",          " ",   "\xE9",  "\\pict",    "\r\n"};
    std::uint32_t state = 12345;
    const auto next = [&state] { return state = state * 1103515245u + 12345u; };
    for (int round = 0; round < 2000; ++round) {
        const std::uint32_t seed = state;
        std::string rtf = "{\\rtf1 ";
        const int length = static_cast<int>(next() >> 16) % 200;
        for (int i = 0; i < length; ++i) rtf += pieces[(next() >> 16) % std::size(pieces)];
        const std::string html = RtfToHtml(rtf);
        ASSERT_TRUE(html.starts_with("<html>") && html.ends_with("</body></html>")) << seed;
    }
}

}  // namespace
}  // namespace vorlano
