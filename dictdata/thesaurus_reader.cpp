#include "dictdata/thesaurus_reader.h"

#include <unicode/unistr.h>

#include "dictdata/build_source_error.h"
#include "dictdata/build_text.h"
#include "locale/code_page.h"

namespace vorlano {

namespace {

constexpr std::size_t kMaxThesaurusBytes = 256u << 20;
constexpr unsigned long kMaxMeanings = 1000;

// 0 for UTF-8, else the Windows code page the encoding line names.
int EncodingCodePage(std::string_view encoding, const std::string& name) {
    std::string upper;
    for (const char c : encoding)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "UTF-8" || upper == "UTF8") return 0;
    for (const std::string_view prefix : {"CP", "WINDOWS-", "MICROSOFT-CP"})
        if (upper.starts_with(prefix)) {
            const std::string digits = upper.substr(prefix.size());
            if (digits.size() == 4 && digits.find_first_not_of("0123456789") == std::string::npos) {
                const int page = std::stoi(digits);
                if (page >= 1250 && page <= 1258) return page;
            }
        }
    FailSourceLine(name, 1, "unsupported encoding \"" + std::string(encoding) + "\"");
}

}  // namespace

std::vector<TThesaurusEntry> ParseThesaurus(std::string_view text, const std::string& name) {
    const std::vector<std::string_view> lines = SplitLines(text);
    if (lines.empty()) throw EBuildSourceError(name + ": empty file");
    const int codePage = EncodingCodePage(Trim(lines[0]), name);
    const auto toUtf8 = [&](std::string_view bytes) {
        if (codePage == 0) return std::string(bytes);
        const std::u16string wide = pirin::TCodePage::Of(codePage).Decode(bytes);
        std::string out;
        icu::UnicodeString(wide.data(), static_cast<int32_t>(wide.size())).toUTF8String(out);
        return out;
    };
    std::vector<TThesaurusEntry> entries;
    std::size_t i = 1;
    while (i < lines.size()) {
        const std::size_t lineNo = i + 1;
        const std::string_view head = lines[i++];
        if (Trim(head).empty()) continue;
        const auto fail = [&](std::size_t at, const std::string& what) {
            FailSourceLine(name, at, what);
        };
        const std::size_t bar = head.rfind('|');
        if (bar == std::string_view::npos || bar == 0) fail(lineNo, "expected \"word|count\"");
        const std::string_view countText = head.substr(bar + 1);
        if (countText.empty() || countText.size() > 4 ||
            countText.find_first_not_of("0123456789") != std::string_view::npos)
            fail(lineNo, "bad meaning count");
        const unsigned long count = std::stoul(std::string(countText));
        if (count > kMaxMeanings || count > lines.size() - i)
            fail(lineNo, "meaning count past the end");
        TThesaurusEntry entry{toUtf8(head.substr(0, bar)), {}};
        for (unsigned long m = 0; m < count; ++m, ++i) {
            const std::string_view line = lines[i];
            if (line.empty() || line.front() != '(')
                fail(i + 1, "expected \"(part of speech)|...\"");
            std::vector<std::string> fields = SplitList(toUtf8(line), "|");
            TThesaurusMeaning meaning;
            if (!fields.empty() && fields.front().front() == '(') {
                std::string pos = fields.front();
                pos.erase(0, 1);
                if (!pos.empty() && pos.back() == ')') pos.pop_back();
                meaning.PartOfSpeech = std::move(pos);
                fields.erase(fields.begin());
            }
            meaning.Synonyms = std::move(fields);
            entry.Meanings.push_back(std::move(meaning));
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<TThesaurusEntry> ReadThesaurus(const std::string& path) {
    return ParseThesaurus(ReadSourceFile(path, kMaxThesaurusBytes), path);
}

}  // namespace vorlano
