// TIndexFile: opening, creating and closing, the header and its change
// counter. Definitions and the header check are in index_file_define.cpp,
// pages in index_file_pages.cpp.
#include "storage/index_file.h"

#include <array>
#include <cerrno>
#include <utility>

#include "errors/engine_error.h"
#include "storage/scramble.h"
#include "storage/unit_cache_owner.h"

namespace pirin {

namespace {
// The header's change counter: its first four bytes.
constexpr std::size_t kLeadingHeaderBytes = 4;
}  // namespace

// No key descriptions yet: pages exist only once the file is opened or
// created, and both build them from the header they bring.
TIndexFile::TIndexFile(TTableFileContext& context, std::string fileName, bool encrypted)
    : TFileHandler(std::move(fileName)), FContext(context), FRequestedEncrypted(encrypted) {}

TIndexFile::~TIndexFile() { TIndexFile::CloseFile(); }

void TIndexFile::Fail(std::uint16_t code, std::string_view index) const {
    const std::string table = TableName();
    errno = 0;  // a format error or a misuse, not an operating-system one
    RaiseEngineError(code, {.table = table, .index = index});
}

void TIndexFile::OpenFile() {
    if (IsOpen()) return;
    OpenFileOnly();
    LoadHeader();
}

void TIndexFile::OpenFileOnly() {
    if (IsOpen()) return;
    FEncrypted = FRequestedEncrypted;
    TFileHandler::OpenFile();
}

void TIndexFile::LoadHeader() {
    try {
        // Reading the header empties the page caches.
        ReadIndexHeader();
        SizeCaches();
    } catch (...) {
        CloseFile();
        throw;
    }
}

void TIndexFile::CloseFile() {
    DiscardPages();
    DropTemporaryIndexes();
    FHeaderChanged = false;
    TFileHandler::CloseFile();
}

void TIndexFile::CreateNewFile() {
    FEncrypted = FRequestedEncrypted;
    DiscardPages();
    DropTemporaryIndexes();
    TFileHandler::CreateNewFile();
    FHeader = TIndexFileHeader::New();
    RebuildKeyDescriptions();
    FHeaderChanged = true;
    SizeCaches();
}

std::span<const std::uint8_t, TIndexFileHeader::kSize> TIndexFile::ReadHeaderBytes() {
    // A file too short for its header is a damaged header, not a read fault.
    if (ReadAt(0, FHeaderRead.data(), FHeaderRead.size(), true) != FHeaderRead.size())
        Fail(PIRIN_HEADERCORRUPT);
    return FHeaderRead;
}

void TIndexFile::AdoptHeader(std::span<const std::uint8_t, TIndexFileHeader::kSize> bytes) {
    // The page caches and every descriptor loop rely on these two; the rest
    // waits for CheckIndexHeader. A header refused here changes nothing.
    const auto lead = TIndexFileHeader::LeadingFieldsOnDisk(bytes, FEncrypted);
    if (lead.SecondaryCount > kIndexCount - 1 || lead.NextPage < 1 ||
        std::int64_t{lead.NextPage} - 1 > kPageNumberLimit)
        Fail(PIRIN_HEADERCORRUPT);
    // The cached pages belong to the old header (and hold views of its
    // names): drop them before anything can fetch against the new one.
    const std::vector<TIndexDescriptor> temporary = SetTemporaryAside();
    DiscardPages();
    FHeader.FromDisk(bytes, FEncrypted);
    FHeaderChanged = false;
    PutTemporaryBack(temporary);
}

void TIndexFile::ReadIndexHeader() { AdoptHeader(ReadHeaderBytes()); }

bool TIndexFile::IndexHeaderChanged() {
    // The common case (nobody wrote) needs the counter alone: read only the
    // header's leading bytes, and the whole 4096-byte page when the counter
    // moved. A file cut shorter than its header while the counter stands is
    // not noticed here; the first page read past its end refuses it.
    std::array<std::uint8_t, kLeadingHeaderBytes> lead;
    if (ReadAt(0, lead.data(), lead.size(), true) != lead.size()) Fail(PIRIN_HEADERCORRUPT);
    if (LeadingCounter(lead, FEncrypted) == FHeader.ChangeCounter()) return false;
    AdoptHeader(ReadHeaderBytes());
    return true;
}

bool TIndexFile::WriteIndexHeader(bool force) {
    if (!force && !FHeaderChanged) return false;
    TIndexFileHeader written = FHeader;
    written.SetChangeCounter(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(FHeader.ChangeCounter()) + 1u));  // wraps, never overflows
    const auto bytes = written.ToDisk(FEncrypted, FHeaderChanged);
    WriteAt(0, bytes.data(), bytes.size());
    // Only a header that reached the disk counts as written.
    FHeader.SetChangeCounter(written.ChangeCounter());
    FContext.SetWrittenSinceOpen();
    FHeaderChanged = false;
    return true;
}

void TIndexFile::TouchIndexHeader() {
    FHeader.SetChangeCounter(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(FHeader.ChangeCounter()) + 1u));
    FHeaderChanged = true;
    FContext.SetWrittenSinceOpen();
}

void TIndexFile::IncrementRecordCount() {
    FHeader.SetRecordCount(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(FHeader.RecordCount()) + 1u));
    MarkChanged();
}

void TIndexFile::DecrementRecordCount() {
    // Never below 0: a count that went wrong must not turn negative.
    if (FHeader.RecordCount() > 0) FHeader.SetRecordCount(FHeader.RecordCount() - 1);
    MarkChanged();
}

void TIndexFile::SetNoPrimaryIndex(bool value) {
    FHeader.SetNoPrimaryIndex(value);
    MarkChanged();
}

}  // namespace pirin
