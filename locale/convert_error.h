// EConvertError: the conversion error of the text and value conversions.
// It is raised when a text does not read as the value asked for,
// and carries the message only.
//
// It derives from std::exception and not from EDatabaseError: it is the
// platform's conversion error, not a misuse of a component or an engine
// failure, so ErrorCodeOf (errors/engine_error.h) reports it like any other
// foreign exception. Callers that want an engine error (the structure check,
// the write path) use the validity tests, which never raise, and raise their
// own engine code.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace pirin {

class EConvertError : public std::exception {
  public:
    explicit EConvertError(std::string message) : FMessage(std::move(message)) {}

    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }

  private:
    std::string FMessage;
};

// Raises EConvertError with `format` whose first "%s" takes `text`.
[[noreturn]] void ConvertError(std::string_view format, std::string_view text);

// Messages of the conversions. The date, time, date-and-time and boolean
// wordings are the engine's fixed texts; the number wordings are this layer's own.
namespace messages {
inline constexpr std::string_view kInvalidDate = "'%s' is not a valid date";
inline constexpr std::string_view kInvalidTime = "'%s' is not a valid time";
inline constexpr std::string_view kInvalidDateTime = "'%s' is not a valid date and time";
inline constexpr std::string_view kInvalidBoolean = "'%s' is not a valid boolean";
inline constexpr std::string_view kInvalidInteger = "'%s' is not a valid integer value";
inline constexpr std::string_view kInvalidFloat = "'%s' is not a valid floating point value";
inline constexpr std::string_view kInvalidDecimal = "'%s' is not a valid decimal value";
// Encoding a date or time from out-of-range parts (the text is the parts).
inline constexpr std::string_view kInvalidDateEncode = "Invalid argument to date encode: %s";
inline constexpr std::string_view kInvalidTimeEncode = "Invalid argument to time encode: %s";
}  // namespace messages

}  // namespace pirin
