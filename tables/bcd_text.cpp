#include "tables/bcd_text.h"

#include <stdexcept>

namespace pirin {

namespace {

constexpr std::uint8_t kSignBit = 0x80;
constexpr std::uint8_t kPlacesMask = 0x3F;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string> BcdToText(std::span<const std::uint8_t, kBcdStoredSize> bcd) {
    const int precision = bcd[0];
    const int places = bcd[1] & kPlacesMask;
    if (precision > kBcdMaxDigits || places > precision) return std::nullopt;
    std::string digits;
    for (int i = 0; i < precision; ++i) {
        const std::uint8_t byte = bcd[2 + static_cast<std::size_t>(i / 2)];
        const int digit = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
        if (digit > 9) return std::nullopt;
        digits.push_back(static_cast<char>('0' + digit));
    }
    std::string whole = digits.substr(0, static_cast<std::size_t>(precision - places));
    std::string fraction = digits.substr(static_cast<std::size_t>(precision - places));
    whole.erase(0, whole.find_first_not_of('0'));
    if (whole.empty()) whole = "0";
    fraction.erase(fraction.find_last_not_of('0') + 1);
    std::string text = whole;
    if (!fraction.empty()) text += "." + fraction;
    if (text != "0" && (bcd[1] & kSignBit) != 0) text.insert(0, "-");
    return text;
}

std::array<std::uint8_t, kBcdStoredSize> TextToBcd(std::string_view text, int places) {
    if (places < 0 || places > kBcdPrecision)
        throw std::invalid_argument("the field's scale " + std::to_string(places) + " is above " +
                                    std::to_string(kBcdPrecision));
    std::string_view rest = text;
    bool negative = false;
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    const std::size_t point = rest.find('.');
    std::string whole(rest.substr(0, point));
    std::string fraction(point == std::string_view::npos ? "" : rest.substr(point + 1));
    const auto allDigits = [](const std::string& part) {
        for (char c : part)
            if (!IsDigit(c)) return false;
        return true;
    };
    if ((whole.empty() && fraction.empty()) || !allDigits(whole) || !allDigits(fraction) ||
        (point != std::string_view::npos && fraction.empty() && whole.empty()))
        throw std::invalid_argument("not a decimal number");
    whole.erase(0, whole.find_first_not_of('0'));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (fraction.size() > static_cast<std::size_t>(places))
        throw std::invalid_argument("more than " + std::to_string(places) + " decimals");
    if (whole.size() > static_cast<std::size_t>(kBcdPrecision - places))
        throw std::invalid_argument("more than " + std::to_string(kBcdPrecision - places) +
                                    " whole digits");
    fraction.resize(static_cast<std::size_t>(places), '0');
    const std::string digits =
        std::string(static_cast<std::size_t>(kBcdPrecision - places) - whole.size(), '0') + whole +
        fraction;
    std::array<std::uint8_t, kBcdStoredSize> bcd{};
    bcd[0] = static_cast<std::uint8_t>(kBcdPrecision);
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    bcd[1] = static_cast<std::uint8_t>(places | (negative && !zero ? kSignBit : 0));
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const auto digit = static_cast<std::uint8_t>(digits[i] - '0');
        bcd[2 + i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? digit << 4 : digit);
    }
    return bcd;
}

}  // namespace pirin
