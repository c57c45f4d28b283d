#include "app/settings_file.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>

namespace vorlano {
namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// "[name]" gives name (blanks inside the brackets dropped); other lines nullopt.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

struct TKeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<TKeyLine> KeyLine(std::string_view line) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const auto key = Trim(line.substr(0, eq));
    if (key.empty() || key.front() == ';') return std::nullopt;
    auto value = Trim(line.substr(eq + 1));
    // A value in matching quotes loses them, as the profile reader does.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return TKeyLine{key, value};
}

std::vector<std::string> ReadLines(const std::string& path, bool& readable) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    readable = bool(in);
    if (!in) return lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

std::optional<long> ParseIniInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    // Hexadecimal takes the full unsigned 32-bit range (0xFFFFFFFF is -1).
    if (base == 16 && value <= 0xFFFFFFFFull) {
        const auto v =
            static_cast<long>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
        return negative ? -v : v;
    }
    if (value > static_cast<unsigned long long>(INT_MAX) + (negative ? 1 : 0)) return std::nullopt;
    return negative ? -static_cast<long>(value) : static_cast<long>(value);
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    bool readable = false;
    const auto lines = ReadLines(FPath, readable);
    bool inSection = false;
    for (const auto& line : lines) {
        if (const auto name = SectionName(line)) {
            inSection = SameName(*name, section);
            continue;
        }
        if (!inSection) continue;
        if (const auto kv = KeyLine(line); kv && SameName(kv->key, key))
            return std::string(kv->value);
    }
    return std::string(defaultValue);
}

long TIniFile::ReadInteger(std::string_view section, std::string_view key,
                           long defaultValue) const {
    const auto text = ReadString(section, key, "");
    return ParseIniInteger(text).value_or(defaultValue);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key,
                           std::string_view value) const {
    bool readable = false;
    auto lines = ReadLines(FPath, readable);
    const std::string newLine = std::string(key) + "=" + std::string(value);

    std::optional<std::size_t> sectionEnd;  // index after the section's last key line
    bool inSection = false;
    bool written = false;
    for (std::size_t i = 0; i < lines.size() && !written; ++i) {
        if (const auto name = SectionName(lines[i])) {
            inSection = SameName(*name, section);
            if (inSection) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        const auto kv = KeyLine(lines[i]);
        if (kv && SameName(kv->key, key)) {
            lines[i] = newLine;
            written = true;
        } else if (kv) {
            sectionEnd = i + 1;
        }
    }
    if (!written) {
        if (sectionEnd) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*sectionEnd), newLine);
        } else {
            if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + std::string(section) + "]");
            lines.push_back(newLine);
        }
    }
    std::ostringstream text;
    for (const auto& line : lines) text << line << "\r\n";
    const std::string bytes = text.str();
    std::ofstream out(FPath, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return bool(out);
}

}  // namespace vorlano
