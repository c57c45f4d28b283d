// Opening and closing the data file, its header and its descriptors.
#include "storage/data_file.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include "locale/date_time.h"
#include "storage/scramble.h"

namespace pirin {

TDataFile::TDataFile(TTableFileContext& context, std::string fileName)
    : TFileHandler(std::move(fileName)), FContext(context) {}

TDataFile::~TDataFile() { TDataFile::CloseFile(); }

void TDataFile::RaiseCode(std::uint16_t code, std::string_view field) const {
    const std::string table = TFileHandler::TableName();
    errno = 0;  // a format error, not an operating-system one
    RaiseEngineError(code, {.table = table, .field = field});
}

std::uint64_t TDataFile::DataOffset() const {
    return kDataHeaderSize + std::uint64_t{kFieldDescriptorSize} * FHeader.FieldCount();
}

void TDataFile::OpenFile() {
    if (IsOpen()) return;
    TFileHandler::OpenFile();
    try {
        ReadHeaderAndDescriptors();
        SizeRecordCache();
    } catch (...) {
        CloseFile();
        throw;
    }
}

void TDataFile::CloseFile() {
    FRecords.DiscardAll();
    FFields.clear();
    FLayoutFixed = false;
    FHeaderModified = false;
    FDescriptorsModified = false;
    TFileHandler::CloseFile();
}

void TDataFile::SizeRecordCache() {
    FRecordsPerRun = UnitsPerRun(kRecordRunBytes, FHeader.RecordSize());
    FRecords.ResetStats();
    FRecords.SetBudget(RecordCacheBudget(FContext.CacheBudgets(), FHeader.RecordSize()));
}

void TDataFile::ValidateHeader(const TDataHeader& header) const {
    const std::int32_t next = header.NextRecordNumber();
    const std::int32_t firstFree = header.FirstFree();
    bool sound = header.FieldCount() <= kMaxFieldCount &&
                 header.RecordSize() >= kRecordHeaderSize &&
                 header.DescriptionLength() <= kTableDescriptionLength &&
                 header.PasswordLength() <= kPasswordLength && next >= 1 &&
                 next - 1 <= kRecordNumberLimit && firstFree >= 0 && firstFree < next;
    if (sound) {
        const std::uint64_t end = kDataHeaderSize +
                                  std::uint64_t{kFieldDescriptorSize} * header.FieldCount() +
                                  std::uint64_t(next - 1) * header.RecordSize();
        sound = end <= kUnitEndOffsetLimit;
    }
    // Once descriptors are read, the layout they describe may not change.
    if (sound && FLayoutFixed)
        sound =
            header.FieldCount() == FFields.size() && header.RecordSize() == FHeader.RecordSize();
    if (!sound) RaiseCode(PIRIN_HEADERCORRUPT);
}

void TDataFile::ReadHeaderBytes(TDataHeader& header) {
    const auto bytes = header.Bytes();
    // A file too short for its header is a damaged header, not a read fault.
    if (ReadAt(0, bytes.data(), bytes.size(), true) != bytes.size()) RaiseCode(PIRIN_HEADERCORRUPT);
}

void TDataFile::ReadHeader() {
    TDataHeader header;
    ReadHeaderBytes(header);
    ValidateHeader(header);
    FHeader = header;
    FHeaderModified = false;
}

bool TDataFile::HeaderChanged() {
    TDataHeader header;
    ReadHeaderBytes(header);
    // The common case (nobody wrote) needs the counter alone; a header
    // another process wrote is checked before it is taken.
    if (header.ChangeCounter() == FHeader.ChangeCounter()) return false;
    ValidateHeader(header);
    FHeader = header;
    FHeaderModified = false;
    return true;
}

bool TDataFile::WriteHeader(bool force) {
    if (!force && !FHeaderModified) return false;
    // Built in a copy, so that a failed write leaves the header as it was.
    TDataHeader header = FHeader;
    header.SetChangeCounter(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(header.ChangeCounter()) + 1));  // wraps, as a counter may
    header.SetBuild(kEngineBuild);
    header.SetField120(0);
    header.SetWriterFlag(0);
    // The stored time is the local day count minus 693594 (as every writer
    // of these files stores it).
    header.SetWriteTime(TimeStampToDayCount(NowTimeStamp()) - double{kDateDelta});
    WriteAt(0, header.Bytes().data(), header.Bytes().size());
    FHeader = header;
    FContext.SetWrittenSinceOpen();
    FHeaderModified = false;
    return true;
}

void TDataFile::TouchHeader() {
    FHeader.SetChangeCounter(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(FHeader.ChangeCounter()) + 1));
    FHeaderModified = true;
    FContext.SetWrittenSinceOpen();
}

void TDataFile::ReadHeaderAndDescriptors() {
    // One read for both where the descriptors fit in it (up to five fields).
    std::array<std::uint8_t, kOpenReadSize> bytes;
    // A file the open saw shorter than the read is read up to that length:
    // a read to the very end needs no second call to find it. A file that
    // has grown since has its descriptors read apart below where they
    // reach further.
    std::size_t want = bytes.size();
    if (const auto length = LengthAtOpen(); length && *length >= std::int64_t{kDataHeaderSize})
        want = std::min(want, static_cast<std::size_t>(*length));
    const std::size_t got = ReadAt(0, bytes.data(), want, true);
    // A file too short for its header is a damaged header, not a read fault.
    if (got < kDataHeaderSize) RaiseCode(PIRIN_HEADERCORRUPT);
    TDataHeader header;
    std::copy_n(bytes.begin(), kDataHeaderSize, header.Bytes().begin());
    ValidateHeader(header);
    FHeader = header;
    FHeaderModified = false;
    const std::size_t descriptors = std::size_t{FHeader.FieldCount()} * kFieldDescriptorSize;
    if (FHeader.FieldCount() > kMaxFieldCount || kDataHeaderSize + descriptors > got) {
        ReadFieldDescriptors();
        return;
    }
    UnpackFieldDescriptors(std::span(bytes.data() + kDataHeaderSize, descriptors));
}

void TDataFile::ReadFieldDescriptors() {
    const std::size_t count = FHeader.FieldCount();
    if (count > kMaxFieldCount) RaiseCode(PIRIN_HEADERCORRUPT);
    std::vector<std::uint8_t> bytes(count * kFieldDescriptorSize);
    // A file shorter than its descriptors is damaged.
    if (ReadAt(kDataHeaderSize, bytes.data(), bytes.size(), true) != bytes.size())
        RaiseCode(PIRIN_HEADERCORRUPT);
    UnpackFieldDescriptors(bytes);
}

void TDataFile::UnpackFieldDescriptors(std::span<std::uint8_t> bytes) {
    if (FHeader.Encrypted()) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    const std::size_t count = bytes.size() / kFieldDescriptorSize;
    std::vector<TFieldDescriptor> fields;
    fields.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const TConstFieldDescriptorBytes one(bytes.data() + i * kFieldDescriptorSize,
                                             kFieldDescriptorSize);
        fields.push_back(UnpackFieldDescriptor(one));
    }
    FFields = std::move(fields);
    FLayoutFixed = true;
    FDescriptorsModified = false;
}

void TDataFile::WriteFieldDescriptors() {
    if (!FDescriptorsModified) return;
    std::vector<std::uint8_t> bytes(FFields.size() * kFieldDescriptorSize);
    for (std::size_t i = 0; i < FFields.size(); ++i)
        PackFieldDescriptor(
            FFields[i],
            TFieldDescriptorBytes(bytes.data() + i * kFieldDescriptorSize, kFieldDescriptorSize));
    if (FHeader.Encrypted()) ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    WriteAt(kDataHeaderSize, bytes.data(), bytes.size());
    FContext.SetWrittenSinceOpen();
    FDescriptorsModified = false;
    if (FContext.ForceFlush()) FlushFile();
}

std::string TDataFile::GetPassword() const {
    if (!FHeader.Encrypted()) return {};
    // Never written by this engine; a damaged header, not a longer password.
    if (FHeader.PasswordLength() > kPasswordLength) RaiseCode(PIRIN_HEADERCORRUPT);
    return FHeader.Password();
}

std::optional<TFieldMatch> TDataFile::FindField(int number) const {
    for (std::size_t i = 0; i < FFields.size(); ++i)
        if (FFields[i].Number == number && number > 0)
            return TFieldMatch{FFields[i], static_cast<int>(i + 1)};
    return std::nullopt;
}

std::optional<TFieldMatch> TDataFile::FindField(std::string_view name) const {
    for (std::size_t i = 0; i < FFields.size(); ++i)
        if (SameFieldName(FFields[i].Name, name))
            return TFieldMatch{FFields[i], static_cast<int>(i + 1)};
    return std::nullopt;
}

}  // namespace pirin
