#include "lookup/rtf_tokenizer.h"

#include <algorithm>
#include <limits>

namespace vorlano {

namespace {

constexpr std::size_t kMaxWordLength = 32;

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

TRtfToken TRtfTokenizer::Next() {
    TRtfToken token;
    if (FPos >= FRtf.size()) return token;
    const char c = FRtf[FPos];
    if (c == '{' || c == '}') {
        ++FPos;
        token.Kind = c == '{' ? TRtfToken::EKind::GroupStart : TRtfToken::EKind::GroupEnd;
        return token;
    }
    if (c == '\\') return ReadControl();
    const std::size_t end = FRtf.find_first_of("\\{}", FPos);
    const std::size_t stop = end == std::string_view::npos ? FRtf.size() : end;
    token.Kind = TRtfToken::EKind::Text;
    token.Text = FRtf.substr(FPos, stop - FPos);
    FPos = stop;
    return token;
}

TRtfToken TRtfTokenizer::ReadControl() {
    TRtfToken token;
    ++FPos;  // the backslash
    if (FPos >= FRtf.size()) return token;
    const char first = FRtf[FPos];
    if (!IsLetter(first)) {
        ++FPos;
        if (first == '\'') {
            const int high = FPos < FRtf.size() ? HexValue(FRtf[FPos]) : -1;
            const int low = FPos + 1 < FRtf.size() ? HexValue(FRtf[FPos + 1]) : -1;
            if (high >= 0 && low >= 0) {
                FPos += 2;
                token.Kind = TRtfToken::EKind::HexByte;
                token.Byte = static_cast<std::uint8_t>(high * 16 + low);
                return token;
            }
        }  // a broken "\'" stays a control symbol, which the reader ignores
        token.Kind = TRtfToken::EKind::ControlSymbol;
        token.Symbol = first == '\r' ? '\n' : first;
        return token;
    }
    const std::size_t start = FPos;
    while (FPos < FRtf.size() && IsLetter(FRtf[FPos])) ++FPos;
    token.Kind = TRtfToken::EKind::ControlWord;
    token.Text = FRtf.substr(start, std::min(FPos - start, kMaxWordLength));

    const bool negative = FPos + 1 < FRtf.size() && FRtf[FPos] == '-' && IsDigit(FRtf[FPos + 1]);
    if (negative) ++FPos;
    if (FPos < FRtf.size() && IsDigit(FRtf[FPos])) {
        // Saturate rather than overflow: a hostile number of any length stays in range.
        constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
        std::int64_t value = 0;
        while (FPos < FRtf.size() && IsDigit(FRtf[FPos])) {
            value = std::min(value * 10 + (FRtf[FPos] - '0'), kLimit + 1);
            ++FPos;
        }
        value = negative ? -value : std::min(value, kLimit);
        token.HasParameter = true;
        token.Parameter = static_cast<std::int32_t>(value);
    }
    if (FPos < FRtf.size() && FRtf[FPos] == ' ') ++FPos;  // the delimiter belongs to the word
    return token;
}

void TRtfTokenizer::SkipBinary(std::int64_t count) {
    if (count <= 0) return;
    const auto left = static_cast<std::int64_t>(FRtf.size() - FPos);
    FPos += static_cast<std::size_t>(std::min(count, left));
}

}  // namespace vorlano
