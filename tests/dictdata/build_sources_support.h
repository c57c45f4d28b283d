// A small slice of every source of the dictionary builder, written into a
// folder: dictd dictionaries (English, French and Italian gzip'd, German as
// plain ".dict"), the thesaurus and our three samples.
#pragma once

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vorlano {

inline std::string GzipBytes(const std::string& text) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

inline std::string DictdNumber(std::size_t value) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value % 64]);
        value /= 64;
    } while (value > 0);
    return digits;
}

// Writes base.index and base.dict.dz (or base.dict) from headword/article pairs.
inline void WriteDictd(const std::filesystem::path& base,
                       const std::vector<std::pair<std::string, std::string>>& entries, bool gzip) {
    std::string data;
    std::string index;
    for (const auto& [headword, article] : entries) {
        index +=
            headword + "\t" + DictdNumber(data.size()) + "\t" + DictdNumber(article.size()) + "\n";
        data += article;
    }
    std::ofstream(base.string() + ".index", std::ios::binary) << index;
    std::ofstream(base.string() + (gzip ? ".dict.dz" : ".dict"), std::ios::binary)
        << (gzip ? GzipBytes(data) : data);
}

inline void WriteSourceSlice(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder / "samples");
    WriteDictd(folder / "freedict-eng-bul",
               {{"00-database-info", "This is a test slice.\n"},
                {"a man is known by the company he keeps and the friends he has made",
                 "a man is known by the company he keeps and the friends he has made <phrase>\n"
                 "по приятелите познаваш човека\n"},
                {"be", "be //bi// <v>\nсъм 2.\nexist\n 3.\noccupy a place\n"},
                {"house", "house //haʊs// <n>\n1. къ́ща, къща\nhuman abode\n2. дом\nhome\n"},
                {"house", "house //haʊz// <v>\n1. подслонявам\ntake shelter\n"},
                {"zebra", "zebra /ˈziːbɹə/ <n>\nзебра\n"},
                // Wiki markup, template leftovers and Latin look-alikes, as
                // the real sources carry them.
                {"absolutism",
                 "absolutism <n>\n1. [[абсолютен|абсолю́тна]] [[власт]]\n}}, }}\n"
                 "2. aнтиутопия\ntransliteration of }}\n"},
                {"Anatoli", "Anatoli <pn>\nАнато́лий\ntransliteration of Анатолий\n"},
                // The index is lower-cased; the article keeps the letter case.
                {"aachen", "Aachen //ˈɑkən// <pn>\nАахен\n"},
                {"forty-year-old", "forty-year-old <adj>\n40 годишен, четиридесетгодишен\n"}},
               true);
    WriteDictd(folder / "freedict-deu-bul",
               {{"Apfel", "Apfel <n, masc>\nябълка\n"},
                {"Haus", "Haus /haʊ̯s/ <n, neut>\n1. къща, дом\n"},
                {"Zug", "Zug <n, masc>\nвлак\n"},
                {"über", "über <prep>\nнад\n"}},
               false);
    WriteDictd(folder / "freedict-fra-bul",
               {{"café", "café /ka.fe/ <n, masc>\nкафе\n"},
                {"maison", "maison /mɛ.zɔ̃/ <n, fem>\n1. къща, дом\nBâtiment\n"}},
               true);
    WriteDictd(folder / "freedict-ita-bul",
               {{"casa", "casa //ˈkasa// <n>\n1. дом, къща\ndomicilio\n"}}, true);
    std::ofstream(folder / "th_bg_BG_v2.dat", std::ios::binary)
        << "UTF-8\nдом|2\n(същ.)|къща|жилище\n(същ.)|семейство|род\nкъща|1\n(същ.)|дом|жилище\n";
    std::ofstream(folder / "samples" / "sp_bg.txt", std::ios::binary)
        << "# Spanish to Bulgarian\ncasa | същ. | къща, дом ; семейство\nperro | същ. | куче\n"
           "gato | същ. | котка\n";
    std::ofstream(folder / "samples" / "bg_sp.txt", std::ios::binary)
        << "# Bulgarian to Spanish\nкъща | същ. ж. | casa ; hogar\nкуче | същ. ср. | perro\n"
           "син | същ. м. | hijo\nсин | прил. | azul\n";
    std::ofstream(folder / "samples" / "bg_jd.txt", std::ios::binary)
        << "абсурд | същ. | безсмислица, нелепост\nалиби | същ. | доказателство за отсъствие\n";
}

}  // namespace vorlano
