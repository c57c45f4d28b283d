#include "storage/index_key_bcd.h"

#include <limits>
#include <string>

namespace pirin {

namespace {

constexpr int kScalePlaces = 4;  // the decimal form keeps four places

int DigitAt(std::span<const std::uint8_t, kBcdStoredSize> bcd, int i) {
    const std::uint8_t byte = bcd[2 + i / 2];
    return (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
}

}  // namespace

std::optional<std::int64_t> BcdToDecimal(std::span<const std::uint8_t, kBcdStoredSize> bcd) {
    const int precision = bcd[0];
    const int places = bcd[1] & 0x3F;
    const bool negative = (bcd[1] & 0x80) != 0;
    if (precision > kBcdMaxDigits || places > precision) return std::nullopt;
    for (int i = 0; i < precision; ++i)
        if (DigitAt(bcd, i) > 9) return std::nullopt;

    // The digits that make up value x 10^4: the whole part and the first four
    // fraction digits (missing ones are 0); the fifth fraction digit rounds.
    const int wholeDigits = precision - places;
    const int keptDigits = wholeDigits + kScalePlaces;
    // Accumulate the magnitude as unsigned, saturating past the int64 range.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    std::uint64_t magnitude = 0;
    bool saturated = false;
    for (int i = 0; i < keptDigits && !saturated; ++i) {
        const int digit = i < precision ? DigitAt(bcd, i) : 0;
        if (magnitude > (limit - digit) / 10) {
            saturated = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (!saturated && keptDigits < precision && DigitAt(bcd, keptDigits) >= 5) {
        if (magnitude == limit) {
            saturated = true;
        } else {
            ++magnitude;
        }
    }
    if (saturated) magnitude = limit;
    if (!negative) return static_cast<std::int64_t>(magnitude);
    // -magnitude, computed without overflowing at 2^63.
    return static_cast<std::int64_t>(~magnitude + 1);
}

std::optional<std::array<std::uint8_t, kBcdStoredSize>> DecimalToBcd(std::int64_t scaled,
                                                                     int places) {
    if (places < 0 || places > kBcdPrecision) return std::nullopt;
    const bool negative = scaled < 0;
    std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(scaled) + 1 : static_cast<std::uint64_t>(scaled);
    // Digits of the magnitude with exactly four fraction digits.
    std::string digits = std::to_string(magnitude);
    if (digits.size() < kScalePlaces + 1) digits.insert(0, kScalePlaces + 1 - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - kScalePlaces);
    std::string fraction = digits.substr(digits.size() - kScalePlaces);
    if (places < kScalePlaces) {
        const bool roundUp = fraction[places] >= '5';
        fraction.resize(places);
        if (roundUp) {
            // Add one unit of the last kept place, carrying into the whole part.
            std::string all = whole + fraction;
            int i = static_cast<int>(all.size()) - 1;
            while (i >= 0 && all[i] == '9') all[i--] = '0';
            if (i >= 0) {
                ++all[i];
            } else {
                all.insert(0, 1, '1');
            }
            whole = all.substr(0, all.size() - places);
            fraction = all.substr(all.size() - places);
        }
    } else {
        fraction.append(places - kScalePlaces, '0');
    }
    // Leading zeros of the whole part are not significant.
    const auto firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? std::string() : whole.substr(firstNonZero);
    const int wholeDigits = kBcdPrecision - places;
    if (static_cast<int>(whole.size()) > wholeDigits) return std::nullopt;
    whole.insert(0, wholeDigits - whole.size(), '0');

    std::array<std::uint8_t, kBcdStoredSize> out{};
    out[0] = kBcdPrecision;
    const bool isZero = (whole + fraction).find_first_not_of('0') == std::string::npos;
    out[1] = static_cast<std::uint8_t>(places | ((negative && !isZero) ? 0x80 : 0));
    const std::string all = whole + fraction;
    for (int i = 0; i < kBcdPrecision; ++i) {
        const auto digit = static_cast<std::uint8_t>(all[i] - '0');
        out[2 + i / 2] |= (i % 2 == 0) ? static_cast<std::uint8_t>(digit << 4) : digit;
    }
    return out;
}

}  // namespace pirin
