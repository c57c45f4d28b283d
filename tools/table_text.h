// Table text and UTF-8: what the tools print is UTF-8, what a table stores is
// single-byte text in its language's code page. A byte the code page leaves
// undefined is shown as the character with the same number (U+0080 to
// U+009F) and encodes back to that byte, so no stored byte is lost.
//
// Pure functions: any thread. Failures: EncodeTableText throws
// ETableTextError for input that is not UTF-8 or holds a character the code
// page cannot store (the tools never store a silent "?").
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "locale/code_page.h"

namespace pirin::tools {

class ETableTextError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string DecodeTableText(const TCodePage& codePage, std::string_view bytes);
std::string EncodeTableText(const TCodePage& codePage, std::string_view utf8);

}  // namespace pirin::tools
