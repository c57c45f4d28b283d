// Reading and writing the text index's parameter chain. The chain is walked
// once first, checking every link, so that the bytes it can hold are known
// before any length or count read from it is believed; the values are then
// read across the pages as one run of bytes.
#include "storage/text_index_parameters.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_set>
#include <utility>

#include "errors/engine_error.h"
#include "storage/little_endian.h"

namespace pirin {

namespace {

constexpr int kText = kTextIndexNumber;
constexpr std::size_t kChunk = TPage::kDataSize;
// Reads that keep finding the table changed by another process give up.
constexpr int kReadAttempts = 8;

[[noreturn]] void Fail(const TIndexFile& file, std::uint16_t code) {
    const std::string table = file.TableName();
    RaiseEngineError(code, {.table = table, .index = kTextIndexName});
}

// A fetch came back empty: another process changed the table.
struct TTableChanged {};

TPagePin FetchChainPage(TIndexFile& file, TChangeCheck* cursor, std::int32_t page) {
    TPagePin pin = file.FetchPage(cursor, kText, page);
    if (!pin) throw TTableChanged{};
    if (!pin->IsParameterPage() || pin->Free()) Fail(file, PIRIN_INDEXCORRUPT);
    return pin;
}

// The pages of the chain in order. Every link must name a page of the file
// not seen before, and every page must be a parameter page.
std::vector<std::int32_t> WalkChain(TIndexFile& file, TChangeCheck* cursor) {
    std::vector<std::int32_t> pages;
    std::unordered_set<std::int32_t> seen;
    const std::int32_t last = file.LastPageNumber(kText);
    for (std::int32_t n = file.ParameterPage(kText); n != 0;) {
        if (n < 0 || n > last || !seen.insert(n).second) Fail(file, PIRIN_INDEXCORRUPT);
        pages.push_back(n);
        n = FetchChainPage(file, cursor, n)->Next();
    }
    return pages;
}

// The data bytes of a walked chain as one run.
class TChainReader {
  public:
    TChainReader(TIndexFile& file, TChangeCheck* cursor, std::vector<std::int32_t> pages)
        : FFile(file), FCursor(cursor), FPages(std::move(pages)) {}

    std::size_t Remaining() const noexcept { return (FPages.size() - FPage) * kChunk - FAt; }

    void Read(std::uint8_t* out, std::size_t count) {
        if (count > Remaining()) Fail(FFile, PIRIN_INDEXCORRUPT);
        while (count > 0) {
            if (FAt == kChunk) {
                ++FPage;
                FAt = 0;
                FPin.Release();
            }
            if (!FPin) FPin = FetchChainPage(FFile, FCursor, FPages[FPage]);
            const std::span<const std::uint8_t> data = std::as_const(*FPin).ParameterData();
            if (data.size() != kChunk) Fail(FFile, PIRIN_INDEXCORRUPT);
            const std::size_t take = std::min(count, kChunk - FAt);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(FAt), take, out);
            out += take;
            FAt += take;
            count -= take;
        }
    }

    std::uint32_t ReadU32() {
        std::array<std::uint8_t, 4> bytes{};
        Read(bytes.data(), bytes.size());
        return le::GetU32(bytes, 0);
    }

    TCharacterSet ReadSet() {
        if (ReadU32() != TCharacterSet::kSize) Fail(FFile, PIRIN_INDEXCORRUPT);
        TCharacterSet set;
        Read(set.Bits.data(), set.Bits.size());
        return set;
    }

  private:
    TIndexFile& FFile;
    TChangeCheck* FCursor;
    std::vector<std::int32_t> FPages;
    std::size_t FPage = 0;  // index into FPages
    std::size_t FAt = 0;    // offset within that page's data
    TPagePin FPin;
};

TTextIndexParameters ReadOnce(TIndexFile& file, TChangeCheck* cursor) {
    TTextIndexParameters params;
    TChainReader reader(file, cursor, WalkChain(file, cursor));
    if (reader.Remaining() == 0) return params;
    const std::uint32_t count = reader.ReadU32();
    // Every stop word takes at least its 4-byte length: a count the chain
    // cannot hold is damage, not a reason to allocate.
    if (count > reader.Remaining() / 4) Fail(file, PIRIN_INDEXCORRUPT);
    params.StopWords.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t length = reader.ReadU32();
        if (length > reader.Remaining()) Fail(file, PIRIN_INDEXCORRUPT);
        std::string word(length, '\0');
        reader.Read(reinterpret_cast<std::uint8_t*>(word.data()), length);
        params.StopWords.push_back(std::move(word));
    }
    params.Separators = reader.ReadSet();
    params.WordCharacters = reader.ReadSet();
    return params;
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutSet(std::vector<std::uint8_t>& out, const TCharacterSet& set) {
    PutU32(out, TCharacterSet::kSize);
    out.insert(out.end(), set.Bits.begin(), set.Bits.end());
}

}  // namespace

std::vector<std::uint8_t> EncodeTextIndexParameters(const TTextIndexParameters& params) {
    std::vector<std::uint8_t> out;
    PutU32(out, static_cast<std::uint32_t>(params.StopWords.size()));
    for (const std::string& word : params.StopWords) {
        PutU32(out, static_cast<std::uint32_t>(word.size()));
        out.insert(out.end(), word.begin(), word.end());
    }
    PutSet(out, params.Separators);
    PutSet(out, params.WordCharacters);
    return out;
}

TTextIndexParameters ReadTextIndexParameters(TIndexFile& file, TChangeCheck* cursor) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        try {
            return ReadOnce(file, cursor);
        } catch (const TTableChanged&) {
            // The caches were emptied and the header reread: walk again.
        }
    }
    Fail(file, PIRIN_KEYORRECDELETED);
}

void WriteTextIndexParameters(TIndexFile& file, TChangeCheck* cursor,
                              const TTextIndexParameters& params) {
    if (params.StopWords.size() > std::numeric_limits<std::uint32_t>::max())
        Fail(file, PIRIN_INDEXCORRUPT);
    for (const std::string& word : params.StopWords)
        if (word.size() > std::numeric_limits<std::uint32_t>::max()) Fail(file, PIRIN_INDEXCORRUPT);
    const std::vector<std::uint8_t> bytes = EncodeTextIndexParameters(params);
    const std::size_t needed = (bytes.size() + kChunk - 1) / kChunk;

    std::vector<std::int32_t> pages;
    try {
        pages = WalkChain(file, cursor);
    } catch (const TTableChanged&) {
        Fail(file, PIRIN_KEYORRECDELETED);
    }
    const std::unordered_set<std::int32_t> chain(pages.begin(), pages.end());

    // New pages first, so that a failed allocation leaves the chain as it
    // was; what was taken goes back to the free chain.
    const std::size_t reused = pages.size();
    try {
        while (pages.size() < needed) {
            // A free chain that runs into the parameter chain would hand out
            // one of its pages a second time.
            if (chain.count(file.FirstFreePage(kText)) != 0) Fail(file, PIRIN_INDEXCORRUPT);
            TPagePin pin = file.AllocatePage(cursor, kText, TPageType::Parameter);
            pages.push_back(pin->UnitNumber());
        }
    } catch (...) {
        for (std::size_t i = pages.size(); i > reused; --i) {
            try {
                TPagePin pin = file.FetchPageForWrite(cursor, kText, pages[i - 1]);
                file.FreePage(cursor, kText, *pin);
            } catch (...) {
                // The first failure is the one to report.
            }
        }
        throw;
    }

    for (std::size_t i = 0; i < needed; ++i) {
        TPagePin pin = file.FetchPageForWrite(cursor, kText, pages[i]);
        if (!pin->IsParameterPage() || pin->Free()) Fail(file, PIRIN_INDEXCORRUPT);
        const std::span<std::uint8_t> data = pin->ParameterData();
        const std::size_t from = i * kChunk;
        const std::size_t take = std::min(kChunk, bytes.size() - from);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), take, data.begin());
        std::fill(data.begin() + static_cast<std::ptrdiff_t>(take), data.end(), std::uint8_t{0});
        pin->SetPrevious(0);
        pin->SetNext(i + 1 < needed ? pages[i + 1] : 0);
    }
    for (std::size_t i = needed; i < pages.size(); ++i) {
        TPagePin pin = file.FetchPageForWrite(cursor, kText, pages[i]);
        file.FreePage(cursor, kText, *pin);
    }

    TIndexDescriptor d = file.GetIndexDescriptor(kText);
    d.ParameterPage = pages.front();
    file.SetIndexDescriptor(kText, d);
}

}  // namespace pirin
