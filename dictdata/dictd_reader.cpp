#include "dictdata/dictd_reader.h"

#include <zlib.h>

#include <filesystem>

#include "dictdata/build_source_error.h"
#include "dictdata/build_text.h"

namespace vorlano {

namespace {

constexpr std::size_t kMaxIndexBytes = 64u << 20;
constexpr std::size_t kMaxDictBytes = 256u << 20;
constexpr std::uint64_t kMaxDictdNumber = std::uint64_t{1} << 48;

int DigitValue(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool IsBookkeeping(std::string_view headword) {
    return headword.starts_with("00-database") || headword.starts_with("00database");
}

}  // namespace

std::optional<std::uint64_t> DecodeDictdNumber(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        const int digit = DigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value * 64 + static_cast<std::uint64_t>(digit);
        if (value > kMaxDictdNumber) return std::nullopt;
    }
    return value;
}

std::vector<TDictdIndexEntry> ParseDictdIndex(std::string_view text, const std::string& name) {
    std::vector<TDictdIndexEntry> entries;
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty()) continue;
        const auto fail = [&](const char* what) { FailSourceLine(name, i + 1, what); };
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos) fail("expected headword, offset and length");
        std::string_view lengthText = line.substr(tab2 + 1);
        // Some indexes carry a fourth column (the original headword): ignored.
        lengthText = lengthText.substr(0, lengthText.find('\t'));
        const auto offset = DecodeDictdNumber(line.substr(tab1 + 1, tab2 - tab1 - 1));
        const auto length = DecodeDictdNumber(lengthText);
        if (!offset || !length) fail("bad offset or length");
        if (tab1 == 0) fail("empty headword");
        entries.push_back({std::string(line.substr(0, tab1)), *offset, *length});
    }
    return entries;
}

std::string InflateDictData(std::string_view bytes, const std::string& name, std::size_t limit) {
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0x1f ||
        static_cast<unsigned char>(bytes[1]) != 0x8b)
        return std::string(bytes);
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        throw EBuildSourceError(name + ": cannot start inflating");
    std::string out;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    char chunk[1 << 16];
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            inflateEnd(&stream);
            throw EBuildSourceError(name + ": corrupt gzip data" +
                                    (stream.msg != nullptr ? std::string(": ") + stream.msg : ""));
        }
        out.append(chunk, sizeof chunk - stream.avail_out);
        if (out.size() > limit) {
            inflateEnd(&stream);
            throw EBuildSourceError(name + ": inflated data too large");
        }
        if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            inflateEnd(&stream);
            throw EBuildSourceError(name + ": truncated gzip data");
        }
    }
    inflateEnd(&stream);
    return out;
}

std::vector<TDictdEntry> ReadDictdDictionary(const std::string& base) {
    const std::string indexName = base + ".index";
    const std::vector<TDictdIndexEntry> index =
        ParseDictdIndex(ReadSourceFile(indexName, kMaxIndexBytes), indexName);
    std::string dictName = base + ".dict.dz";
    if (!std::filesystem::exists(dictName)) dictName = base + ".dict";
    const std::string data =
        InflateDictData(ReadSourceFile(dictName, kMaxDictBytes), dictName, kMaxDictBytes);
    std::vector<TDictdEntry> entries;
    entries.reserve(index.size());
    for (const TDictdIndexEntry& item : index) {
        if (IsBookkeeping(item.Headword)) continue;
        if (item.Offset > data.size() || item.Length > data.size() - item.Offset)
            throw EBuildSourceError(indexName + ": entry \"" + item.Headword +
                                    "\" points past the end of " + dictName);
        entries.push_back({item.Headword, data.substr(item.Offset, item.Length)});
    }
    return entries;
}

}  // namespace vorlano
