// The password gate an encrypted table passes before a cursor may open it or
// read its header for its properties. A wrong password is never detected by
// decrypting anything: this comparison is the only check.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pirin {

// What the gate needs of a session.
class TPasswordSource {
public:
    virtual ~TPasswordSource() = default;
    // The registered passwords, in registration order.
    virtual const std::vector<std::string>& Passwords() const = 0;
    // Asks the application for a password (it may register more). False when
    // the user declines or no callback is set.
    virtual bool PromptForPassword() = 0;
};

// Passes when the table is not encrypted or its stored password (clear text)
// equals, case-sensitively, one of the session's passwords; otherwise prompts
// until a registered password fits or the prompt is declined, then raises
// 10498 with the table's name and the database.
void PassPasswordGate(bool encrypted, std::string_view storedPassword, TPasswordSource& session,
                      std::string_view tableName, std::string_view database = {});

}  // namespace pirin
