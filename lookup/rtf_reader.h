// The article reader: turns a dictionary article as stored (single-byte
// text, either RTF or plain text) into UTF-8 HTML for the article view.
//
// RTF: groups; the font table with each font's "\fcharset" (or "\cpg") code
// page; "\ansicpg"; "\'hh" bytes decoded by the current font's code page
// (charset 1 and unknown charsets: the document's "\ansicpg", else the
// default code page); "\uN" with "\ucN" fallback skipping; the colour table;
// character formatting (\b \i \ul \ulnone \strike \fs \f \cf \cb \highlight
// \super \sub \nosupersub \plain) and paragraph formatting (\pard \par \line
// \tab \qc \qr \ql \qj \li \ri \fi \sb \sa). "\*" destinations, pictures,
// the style sheet, the information group and other destinations that hold no
// article text are skipped. Unknown control words are ignored, and so is
// anything after the brace that closes the document.
//
// Content that does not start with "{\rtf" is plain text in the default
// code page: one paragraph per line (CR LF, LF or CR), shown in the view's
// own font.
//
// No input makes the reader fail, loop or run out of stack: unbalanced
// braces, truncated input, huge numbers, deep nesting (groups beyond 200
// levels only keep the formatting of the levels above) and binary data
// sizes past the end give best-effort HTML of what was read.
//
// Pure functions: any thread. The one failure is a default code page with
// no single-byte Windows table (TCodePage::Of), which raises the engine's
// 15878 (no language driver) before anything is read.
#pragma once

#include <string>
#include <string_view>

namespace vorlano {

inline constexpr int kDefaultArticleCodePage = 1251;

// Whether the article is RTF (starts with "{\rtf").
bool IsRtfArticle(std::string_view article);

// RTF or plain text, as IsRtfArticle tells.
std::string ArticleToHtml(std::string_view article, int defaultCodePage = kDefaultArticleCodePage);

std::string RtfToHtml(std::string_view rtf, int defaultCodePage = kDefaultArticleCodePage);
std::string PlainTextToHtml(std::string_view text, int codePage = kDefaultArticleCodePage);

}  // namespace vorlano
