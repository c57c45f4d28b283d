// EDatabaseError: the base of every error the table layer raises. Misuse of
// a component raises it with one of the fixed texts below; engine failures
// are the derived EPirinEngineError (engine_error.h).
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace pirin {

class EDatabaseError : public std::exception {
public:
    explicit EDatabaseError(std::string message, int helpContext = 0)
        : FMessage(std::move(message)), FHelpContext(helpContext) {}

    const std::string& Message() const noexcept { return FMessage; }
    int HelpContext() const noexcept { return FHelpContext; }
    const char* what() const noexcept override { return FMessage.c_str(); }

protected:
    EDatabaseError() = default;
    void SetMessage(std::string message) { FMessage = std::move(message); }

private:
    std::string FMessage;
    int FHelpContext = 0;
};

// Raises EDatabaseError with a fixed text.
[[noreturn]] void DatabaseError(std::string_view message);
// Raises EDatabaseError with a fixed text whose one "%s" place takes `arg`.
[[noreturn]] void DatabaseErrorFmt(std::string_view format, std::string_view arg);

// Fixed texts of the table layer (sessions, databases, tables, BLOB streams).
namespace messages {
inline constexpr std::string_view kInvalidSessionName = "Session name %s is not valid.";
inline constexpr std::string_view kSessionNameMissing = "Session name is missing.";
inline constexpr std::string_view kSessionActive = "Cannot perform this operation on an active session.";
inline constexpr std::string_view kAutoSessionActive =
    "Cannot perform this operation on the active auto-session.";
inline constexpr std::string_view kDuplicateSessionName = "Session name %s already exists.";
inline constexpr std::string_view kAutoSessionExists = "This auto-session already exists.";
inline constexpr std::string_view kAutoSessionExclusive =
    "The active auto-session can be the only active session.";
inline constexpr std::string_view kDatabaseOpen = "Cannot perform this operation on an open database.";
inline constexpr std::string_view kDatabaseNameMissing = "Database name is missing.";
inline constexpr std::string_view kInvalidDatabaseName = "Database name %s is not valid.";
inline constexpr std::string_view kDuplicateDatabaseName = "Database name %s already exists.";
inline constexpr std::string_view kDatabaseClosed = "Cannot perform this operation on a closed database.";
inline constexpr std::string_view kInTransaction = "Database %s already has an active transaction.";
inline constexpr std::string_view kNotInTransaction = "Database %s has no active transaction.";
inline constexpr std::string_view kHandleError = "Error creating table handle.";
inline constexpr std::string_view kNoTableName = "Missing table name.";
inline constexpr std::string_view kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr std::string_view kNoFieldIndexes = "No fields defined for the current index.";
inline constexpr std::string_view kFieldIndexError = "Field index out of range.";
inline constexpr std::string_view kIndexFieldMissing = "Cannot access index field %s.";
inline constexpr std::string_view kNoIndexForFields = "No index for fields '%s'";
inline constexpr std::string_view kNotEditing = "Table is not in edit or insert mode.";
inline constexpr std::string_view kNotIndexField = "Field %s is not in the current index.";
inline constexpr std::string_view kFieldNotFound = "Field '%s' not found";
inline constexpr std::string_view kFieldReadOnly = "Field %s cannot be modified.";
}  // namespace messages

}  // namespace pirin
