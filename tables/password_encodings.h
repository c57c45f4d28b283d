// PasswordEncodings: the byte forms a typed password may have in a table.
// A table keeps its password in the single-byte code page of its language,
// which is not known before the table is open, so a password typed as
// Unicode text is offered in every such code page that can hold all of its
// characters (each distinct form once; plain ASCII gives one form).
//
// Threads: any. Failures: none raised; a code page missing from ICU or one
// that cannot hold the text contributes nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pirin {

std::vector<std::string> PasswordEncodings(std::u16string_view password);

}  // namespace pirin
