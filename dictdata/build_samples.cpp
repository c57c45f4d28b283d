#include "dictdata/build_samples.h"

#include "dictdata/build_source_error.h"
#include "dictdata/build_text.h"

namespace vorlano {

std::vector<TSampleEntry> ParseSamples(std::string_view text, const std::string& name) {
    std::vector<TSampleEntry> entries;
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = Trim(lines[i]);
        if (line.empty() || line.front() == '#') continue;
        const auto fail = [&](const char* what) { FailSourceLine(name, i + 1, what); };
        const std::size_t bar1 = line.find('|');
        const std::size_t bar2 = bar1 == std::string_view::npos ? bar1 : line.find('|', bar1 + 1);
        if (bar2 == std::string_view::npos) fail("expected \"headword | part of speech | senses\"");
        TSampleEntry entry;
        entry.Headword = std::string(Trim(line.substr(0, bar1)));
        entry.Block.PartOfSpeech = std::string(Trim(line.substr(bar1 + 1, bar2 - bar1 - 1)));
        for (std::string& sense : SplitList(line.substr(bar2 + 1), ";"))
            entry.Block.Senses.push_back({std::move(sense), {}});
        if (entry.Headword.empty()) fail("empty headword");
        if (entry.Block.Senses.empty()) fail("no senses");
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<TSampleEntry> ReadSamples(const std::string& path) {
    return ParseSamples(ReadSourceFile(path, 16u << 20), path);
}

}  // namespace vorlano
