// EPirinEngineError and the routines that raise engine errors.
//
// Every engine failure goes through RaiseEngineError: it stores the code, the
// calling thread's errno and the seven context names in the process-wide error
// context (error_context.h) and throws an EPirinEngineError built from it. The
// exception copies everything it needs when it is constructed, so later
// raises never change an exception already thrown.
//
// Threads raising at once: RaiseEngineError holds the context lock from
// clearing the context until the exception has copied it, so each exception
// carries exactly the names its own thread stored. Raising by code alone
// (RaiseEngineErrorCode) deliberately reads whatever the latest raise left.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "errors/database_error.h"
#include "errors/engine_error_codes.h"
#include "errors/error_context.h"

namespace pirin {

// The names that describe where an engine error happened, in slot order.
// Use designated initialisers: {.table = "Bg_En", .index = "IdxWord"}.
struct TErrorPlace {
    std::string_view server = {};
    std::string_view user = {};
    std::string_view database = {};
    std::string_view table = {};
    std::string_view field = {};
    std::string_view index = {};
    std::string_view message = {};
};

class EPirinEngineError : public EDatabaseError {
public:
    // Builds the exception for `code` from the current error context.
    explicit EPirinEngineError(std::uint16_t code);

    std::int32_t ErrorCode = 0;
    std::int32_t OSErrorCode = 0;
    std::int32_t SocketErrorCode = 0;
    std::string ErrorRemoteName;
    std::string ErrorUserName;
    std::string ErrorDatabaseName;
    std::string ErrorTableName;
    std::string ErrorFieldName;
    std::string ErrorIndexName;
    std::string ErrorMessage;
};

// Stores the context and raises. Never returns.
[[noreturn]] void RaiseEngineError(std::uint16_t code, const TErrorPlace& place = {});
[[noreturn]] void RaiseEngineError(std::uint16_t code, std::string_view server,
                                   std::string_view user, std::string_view database,
                                   std::string_view table, std::string_view field,
                                   std::string_view index, std::string_view message);

// Raises for `code` without touching the context: the names of the latest
// RaiseEngineError in the process are used.
[[noreturn]] void RaiseEngineErrorCode(std::uint16_t code);

// Longest text EngineErrorText returns.
inline constexpr std::size_t kMaxEngineErrorTextLength = 254;

// The code's text with its "%s" places filled from the current context.
std::string EngineErrorText(std::uint16_t code);

// The engine code of an exception; 11047 for anything not an engine error
// (and 0 for an empty exception pointer: no error at all).
std::int32_t ErrorCodeOf(const std::exception& error);
std::int32_t ErrorCodeOf(const std::exception_ptr& error);

}  // namespace pirin
