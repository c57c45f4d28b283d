#include "locale/number_text.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>
#include <type_traits>

#include "locale/convert_error.h"

namespace pirin {
namespace {

// ---- whole numbers ---------------------------------------------------------

struct TWhole {
    bool Negative = false;
    std::uint64_t Magnitude = 0;
};

int DigitValue(char c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

std::optional<TWhole> ReadWhole(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    TWhole whole;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) whole.Negative = text[i++] == '-';
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0) return std::nullopt;
        if (whole.Magnitude > (kMax - static_cast<unsigned>(digit)) / base) return std::nullopt;
        whole.Magnitude = whole.Magnitude * base + static_cast<unsigned>(digit);
    }
    return whole;
}

template <class T>
std::optional<T> ReadWholeOf(std::string_view text) {
    using Limits = std::numeric_limits<T>;
    auto whole = ReadWhole(text);
    if (!whole) return std::nullopt;
    if (!whole->Negative || whole->Magnitude == 0) {
        if (whole->Magnitude > static_cast<std::uint64_t>(Limits::max())) return std::nullopt;
        return static_cast<T>(whole->Magnitude);
    }
    if constexpr (std::is_unsigned_v<T>) {
        return std::nullopt;
    } else {
        // |min| = max + 1; the negation wraps modulo 2^64 onto the value.
        if (whole->Magnitude > static_cast<std::uint64_t>(Limits::max()) + 1) return std::nullopt;
        return static_cast<T>(static_cast<std::int64_t>(0 - whole->Magnitude));
    }
}

template <class T>
T StrToWholeOf(std::string_view text) {
    if (auto value = ReadWholeOf<T>(text)) return *value;
    ConvertError(messages::kInvalidInteger, text);
}

// ---- decimal numbers (floats and four-place decimals) ----------------------

struct TDecimalText {
    std::string_view Body;  // the text without blanks around and without a "+" sign
    bool Negative = false;
    std::string_view IntDigits;
    std::string_view FracDigits;
    std::int64_t Exponent = 0;  // saturated at +-kExponentCap
};

// Far beyond any double or decimal, small enough to add digit counts to.
constexpr std::int64_t kExponentCap = 1'000'000'000'000'000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<TDecimalText> ScanDecimal(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    TDecimalText scan;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        scan.Negative = text[i] == '-';
        if (text[i] == '+')
            text.remove_prefix(1);
        else
            ++i;
    }
    scan.Body = text;
    std::size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    scan.IntDigits = text.substr(start, i - start);
    if (i < text.size() && text[i] == '.') {
        start = ++i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        scan.FracDigits = text.substr(start, i - start);
    }
    if (scan.IntDigits.empty() && scan.FracDigits.empty()) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        if (i == text.size() || !IsDigit(text[i])) return std::nullopt;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            scan.Exponent = std::min(scan.Exponent * 10 + (text[i] - '0'), kExponentCap);
        }
        if (negative) scan.Exponent = -scan.Exponent;
    }
    if (i != text.size()) return std::nullopt;
    return scan;
}

// The significant digits (no leading zeros) of a scanned number, and the
// power of ten of its first digit.
struct TSignificand {
    std::string Digits;
    std::int64_t FirstPower = 0;
};

TSignificand Significand(const TDecimalText& scan) {
    std::string digits;
    digits.reserve(scan.IntDigits.size() + scan.FracDigits.size());
    digits.append(scan.IntDigits).append(scan.FracDigits);
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return {};
    const auto intCount = static_cast<std::int64_t>(scan.IntDigits.size());
    return {digits.substr(first), scan.Exponent + intCount - static_cast<std::int64_t>(first) - 1};
}

// mag * 10 + digit, false when that passes 2^63.
bool AppendDigit(std::uint64_t& mag, unsigned digit) {
    constexpr std::uint64_t kCap = std::uint64_t{1} << 63;
    if (mag > (kCap - digit) / 10) return false;
    mag = mag * 10 + digit;
    return true;
}

}  // namespace

// ---- whole numbers ---------------------------------------------------------

std::optional<std::int16_t> TryStrToSmallInt(std::string_view text) {
    return ReadWholeOf<std::int16_t>(text);
}
std::optional<std::uint16_t> TryStrToWord(std::string_view text) {
    return ReadWholeOf<std::uint16_t>(text);
}
std::optional<std::int32_t> TryStrToInteger(std::string_view text) {
    return ReadWholeOf<std::int32_t>(text);
}
std::optional<std::int64_t> TryStrToLargeInt(std::string_view text) {
    return ReadWholeOf<std::int64_t>(text);
}
std::int16_t StrToSmallInt(std::string_view text) { return StrToWholeOf<std::int16_t>(text); }
std::uint16_t StrToWord(std::string_view text) { return StrToWholeOf<std::uint16_t>(text); }
std::int32_t StrToInteger(std::string_view text) { return StrToWholeOf<std::int32_t>(text); }
std::int64_t StrToLargeInt(std::string_view text) { return StrToWholeOf<std::int64_t>(text); }
bool IsValidSmallInt(std::string_view text) { return TryStrToSmallInt(text).has_value(); }
bool IsValidWord(std::string_view text) { return TryStrToWord(text).has_value(); }
bool IsValidInteger(std::string_view text) { return TryStrToInteger(text).has_value(); }
bool IsValidLargeInt(std::string_view text) { return TryStrToLargeInt(text).has_value(); }

// ---- Booleans --------------------------------------------------------------

namespace {
bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i]) return false;
    }
    return true;
}
}  // namespace

std::optional<bool> TryStrToBool(std::string_view text) {
    if (EqualsIgnoringAsciiCase(text, "TRUE")) return true;
    if (EqualsIgnoringAsciiCase(text, "FALSE")) return false;
    return std::nullopt;
}

bool StrToBool(std::string_view text) {
    if (auto value = TryStrToBool(text)) return *value;
    ConvertError(messages::kInvalidBoolean, text);
}

bool IsValidBoolean(std::string_view text) { return TryStrToBool(text).has_value(); }

std::string BoolToStr(bool value) { return value ? "True" : "False"; }

// ---- floats ----------------------------------------------------------------

std::optional<double> TryStrToFloat(std::string_view text) {
    auto scan = ScanDecimal(text);
    if (!scan) return std::nullopt;
    double value = 0;
    const char* first = scan->Body.data();
    const char* last = first + scan->Body.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // Too small for a double is zero; too large does not fit.
        if (Significand(*scan).FirstPower >= 0) return std::nullopt;
        return scan->Negative ? -0.0 : 0.0;
    }
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
}

double StrToFloat(std::string_view text) {
    if (auto value = TryStrToFloat(text)) return *value;
    ConvertError(messages::kInvalidFloat, text);
}

bool IsValidFloat(std::string_view text) { return TryStrToFloat(text).has_value(); }

std::string FloatToStr(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

// ---- four-place decimals ---------------------------------------------------

std::optional<std::int64_t> TryStrToDecimal(std::string_view text) {
    auto scan = ScanDecimal(text);
    if (!scan) return std::nullopt;
    const TSignificand significand = Significand(*scan);
    const std::string& digits = significand.Digits;
    if (digits.empty()) return 0;
    // Digits of the scaled value: those with a power of ten of -4 or more.
    const std::int64_t kept = significand.FirstPower + 4 + 1;
    if (kept > 19) return std::nullopt;  // at least 10^19 > 2^63
    std::uint64_t mag = 0;
    bool roundUp = false;
    if (kept >= 0) {
        for (std::int64_t i = 0; i < kept; ++i) {
            const std::size_t at = static_cast<std::size_t>(i);
            const unsigned digit = at < digits.size() ? static_cast<unsigned>(digits[at] - '0') : 0;
            if (!AppendDigit(mag, digit)) return std::nullopt;
        }
        const auto next = static_cast<std::size_t>(kept);
        roundUp = next < digits.size() && digits[next] >= '5';
    }
    if (roundUp) ++mag;  // half away from zero; mag <= 2^63 before, so no wrap
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) +
        (scan->Negative ? 1 : 0);
    if (mag > limit) return std::nullopt;
    if (!scan->Negative) return static_cast<std::int64_t>(mag);
    return static_cast<std::int64_t>(0 - mag);
}

std::int64_t StrToDecimal(std::string_view text) {
    if (auto value = TryStrToDecimal(text)) return *value;
    ConvertError(messages::kInvalidDecimal, text);
}

bool IsValidDecimal(std::string_view text) { return TryStrToDecimal(text).has_value(); }

std::string DecimalToStr(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::uint64_t mag =
        negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string text = negative ? "-" : "";
    text += std::to_string(mag / kDecimalScale);
    if (std::uint64_t fraction = mag % kDecimalScale; fraction != 0) {
        std::string places = std::to_string(fraction);
        places.insert(0, 4 - places.size(), '0');
        places.erase(places.find_last_not_of('0') + 1);
        text += '.' + places;
    }
    return text;
}

}  // namespace pirin
