// Text forms of whole numbers, Booleans, floats and four-place decimals.
// Every form is the same on every machine: nothing here reads
// the C or C++ locale (the numbers go through std::from_chars and
// std::to_chars, letters are compared as ASCII), so "1.5" reads as one and a
// half, and one and a half writes as "1.5", even when the process runs under
// a locale whose decimal separator is a comma. The engine's "system decimal
// separator" is therefore always "."; a comma is never accepted.
//
// Each reader comes in three forms: Try... gives nothing for a text that does
// not fit, StrTo... raises EConvertError (convert_error.h) naming the text,
// IsValid... answers true or false and never raises.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pirin {

// Whole numbers: leading blanks, an optional "+" or "-", then decimal digits,
// or "$" and hexadecimal digits (either letter case). Nothing may follow the
// digits, not even blanks. A hexadecimal number is a magnitude like a decimal
// one: "$FFFF" is 65535 (a valid word, not a small integer) and "-$8000" is
// -32768. Out-of-range values do not fit. The error message is
// "'%s' is not a valid integer value".
std::optional<std::int16_t> TryStrToSmallInt(std::string_view text);  // -32768 to 32767
std::optional<std::uint16_t> TryStrToWord(std::string_view text);     // 0 to 65535
std::optional<std::int32_t> TryStrToInteger(std::string_view text);   // 32-bit
std::optional<std::int64_t> TryStrToLargeInt(std::string_view text);  // 64-bit
std::int16_t StrToSmallInt(std::string_view text);
std::uint16_t StrToWord(std::string_view text);
std::int32_t StrToInteger(std::string_view text);
std::int64_t StrToLargeInt(std::string_view text);
bool IsValidSmallInt(std::string_view text);
bool IsValidWord(std::string_view text);
bool IsValidInteger(std::string_view text);
bool IsValidLargeInt(std::string_view text);

// Booleans: "TRUE" or "FALSE" in any letter case, nothing else (no blanks,
// no numbers). Written as "True" and "False".
// Error: "'%s' is not a valid boolean".
std::optional<bool> TryStrToBool(std::string_view text);
bool StrToBool(std::string_view text);
bool IsValidBoolean(std::string_view text);
std::string BoolToStr(bool value);

// Floats: blanks, an optional sign, digits with an optional "." (at least one
// digit before or after it: "1.", ".5"), an optional exponent ("e" or "E", an
// optional sign, digits), blanks. No "inf", "nan" or hexadecimal forms. A value too
// large for a double does not fit; one too small becomes zero.
// Error: "'%s' is not a valid floating point value".
std::optional<double> TryStrToFloat(std::string_view text);
double StrToFloat(std::string_view text);
bool IsValidFloat(std::string_view text);
// The general format with up to 15 significant digits, as printf's "%.15g"
// in the C locale: "1.5", "0.1", "1e+20", "1.23456789012346e+17", "-0";
// infinities and NaN write as "inf", "-inf" and "nan".
std::string FloatToStr(double value);

// Decimals (BCD and currency values) are held with four decimal places as a
// 64-bit integer scaled by kDecimalScale: 1.5 is 15000. This is the form the
// index keys use for BCD fields.
inline constexpr std::int64_t kDecimalScale = 10'000;
// The float syntax above, read exactly (not through a double): a fifth and
// further decimal places are rounded half away from zero ("0.00005" is 1,
// "-0.00005" is -1). Values outside -922337203685477.5808 to
// 922337203685477.5807 do not fit.
// Error: "'%s' is not a valid decimal value".
std::optional<std::int64_t> TryStrToDecimal(std::string_view text);
std::int64_t StrToDecimal(std::string_view text);
bool IsValidDecimal(std::string_view text);
// Plain decimal text: no exponent, no trailing zeros after the point, no
// point for whole values, "0" for zero: 15000 is "1.5", -5 is "-0.0005".
std::string DecimalToStr(std::int64_t scaled);

}  // namespace pirin
