// TRtfTokenizer: splits RTF bytes into group braces, control words, control
// symbols, "\'hh" bytes and runs of plain text. It knows nothing of what a
// control word means; the reader (rtf_reader.cpp) gives the tokens meaning.
//
// Every input is tokenised to the end without failing: a control word's
// number saturates at the 32-bit limits, a name is cut to 32 letters, a
// "\'" without two hex digits comes out as the control symbol '\'' (which
// the reader ignores), and a backslash at the very end is dropped. Each call
// consumes at least one byte until End, so reading never loops.
//
// Ownership: the tokenizer and its tokens view the caller's bytes, which
// must outlive them. Threads: one thread at a time per tokenizer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vorlano {

struct TRtfToken {
    enum class EKind { End, GroupStart, GroupEnd, ControlWord, ControlSymbol, HexByte, Text };
    EKind Kind = EKind::End;
    std::string_view Text;  // the control word's name, or the run of plain text
    bool HasParameter = false;
    std::int32_t Parameter = 0;
    char Symbol = 0;  // a control symbol's character; a backslash before a line end gives '\n'
    std::uint8_t Byte = 0;  // the value of "\'hh"
};

class TRtfTokenizer {
  public:
    explicit TRtfTokenizer(std::string_view rtf) : FRtf(rtf) {}

    TRtfToken Next();
    // Skips the raw bytes of "\binN" (as many as there are, at most count).
    void SkipBinary(std::int64_t count);

  private:
    TRtfToken ReadControl();

    std::string_view FRtf;
    std::size_t FPos = 0;
};

}  // namespace vorlano
