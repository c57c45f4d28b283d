// Fuzzes the article reader: any bytes, as RTF (with "{\rtf" put in front
// when missing, so that the RTF paths get most of the runs) and as plain
// text. The reader never fails on its input; a crash, exception, hang or
// undefined behaviour is a finding.
#include <cstdint>
#include <string>
#include <string_view>

#include "lookup/rtf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (vorlano::IsRtfArticle(input)) {
        (void)vorlano::ArticleToHtml(input);
    } else {
        (void)vorlano::RtfToHtml("{\\rtf1" + std::string(input));
        (void)vorlano::PlainTextToHtml(input, 1251);
    }
    return 0;
}
