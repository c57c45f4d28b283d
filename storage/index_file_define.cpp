// TIndexFile: index definitions (primary, secondary, by number) and the
// header check against the table's fields.
#include <string>

#include "errors/engine_error.h"
#include "storage/index_file.h"
#include "storage/unit_cache_owner.h"

namespace pirin {

namespace {

// Index names start with a letter, an underscore or a byte from 128 to 254.
bool IsIndexNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

bool ValidIndexName(std::string_view name) {
    return !name.empty() && name.size() <= kIndexNameLength &&
           IsIndexNameStart(static_cast<unsigned char>(name.front()));
}

const TFieldDescriptor* FieldOf(std::span<const TFieldDescriptor> fields, std::uint16_t number) {
    if (number == 0 || number > fields.size()) return nullptr;
    return &fields[number - 1u];
}

// Key sizes plus one presence byte each, or -1 when a field number does not
// name a field of the table.
int FieldsPart(const TIndexDescriptor& d, std::span<const TFieldDescriptor> fields) {
    int total = 0;
    for (int i = 0; i < d.FieldCount && i < kMaxKeyFields; ++i) {
        const TFieldDescriptor* field = FieldOf(fields, d.FieldNumbers[i]);
        if (field == nullptr) return -1;
        total += field->KeySize() + 1;
    }
    return total;
}

bool NamesBlob(const TIndexDescriptor& d, std::span<const TFieldDescriptor> fields) {
    for (int i = 0; i < d.FieldCount && i < kMaxKeyFields; ++i) {
        const TFieldDescriptor* field = FieldOf(fields, d.FieldNumbers[i]);
        if (field != nullptr && field->IsBlob()) return true;
    }
    return false;
}

bool ValidPage(std::int32_t page, std::int32_t last) { return page >= 0 && page <= last; }

}  // namespace

const TIndexDescriptor& TIndexFile::GetIndexDescriptor(int index) const {
    if (index < 0 || index >= kIndexCount) Fail(PIRIN_INDEXCORRUPT);
    return FHeader.Descriptor(index);
}

void TIndexFile::SetIndexDescriptor(int index, const TIndexDescriptor& descriptor) {
    if (index < 0 || index >= kIndexCount) Fail(PIRIN_INDEXCORRUPT);
    const TPageConfig before = PageConfig(index);
    FHeader.Descriptor(index) = descriptor;
    RebuildKeyDescriptions();
    // Cached pages of another format cannot be attached again: they go to
    // disk in the format they were made in, then leave the cache.
    if (!before.SameFormat(PageConfig(index))) RetirePages(index);
    MarkChanged();
}

void TIndexFile::SetRootPage(int index, std::int32_t page) {
    if (index < 0 || index >= kIndexCount) Fail(PIRIN_INDEXCORRUPT);
    FHeader.Descriptor(index).RootPage = page;
    MarkChanged();
}

void TIndexFile::CheckKeyFields(const TIndexDescriptor& d,
                                std::span<const TFieldDescriptor> fields) const {
    if (d.FieldCount > kMaxKeyFields) Fail(PIRIN_INDEXLIMIT, d.Name);
    const int part = FieldsPart(d, fields);
    // A key field the table lacks, a key length that is not what the fields
    // make, or an unknown compression would give keys the pages cannot hold.
    if (part < 0) Fail(PIRIN_INVALIDIDXDESC, d.Name);
    if (NamesBlob(d, fields)) Fail(PIRIN_SEARCHCOLREQD, d.Name);
    const int suffix = d.Unique ? 0 : kRowSuffixSize;
    if (part < 1 || part > kMaxKeyFieldBytes || d.KeyLength != part + suffix || d.Compression > 3)
        Fail(PIRIN_INVALIDIDXDESC, d.Name);
}

void TIndexFile::DefinePrimaryIndex(const TIndexDescriptor& descriptor,
                                    std::span<const TFieldDescriptor> fields) {
    if (FHeader.Descriptor(kPrimaryIndex).KeyLength != 0) Fail(PIRIN_PRIMARYKEYREDEFINE);
    RetirePages(kPrimaryIndex);
    if (descriptor.FieldCount == 0) {
        FHeader.Descriptor(kPrimaryIndex) = TIndexDescriptor{};
        RebuildKeyDescriptions();
        FHeader.SetNoPrimaryIndex(true);
        MarkChanged();
        return;
    }
    TIndexDescriptor d = descriptor;
    d.Unique = true;  // the primary key orders records by itself
    CheckKeyFields(d, fields);
    TIndexDescriptor& primary = FHeader.Descriptor(kPrimaryIndex);
    primary = TIndexDescriptor{};
    primary.KeyLength = d.KeyLength;
    primary.Descending = d.Descending;
    primary.CaseInsensitive = d.CaseInsensitive;
    primary.Unique = true;
    primary.Compression = d.Compression;
    primary.FieldCount = d.FieldCount;
    primary.FieldDescending = d.FieldDescending;
    primary.FieldNumbers = d.FieldNumbers;
    primary.NoCounts = d.NoCounts;
    RebuildKeyDescriptions();
    FHeader.SetNoPrimaryIndex(false);
    MarkChanged();
}

int TIndexFile::AddIndex(const TIndexDescriptor& descriptor,
                         std::span<const TFieldDescriptor> fields) {
    const int count = FHeader.SecondaryCount();
    if (count >= kMaxSecondaryIndexes || descriptor.FieldCount > kMaxKeyFields)
        Fail(PIRIN_INDEXLIMIT, descriptor.Name);
    if (descriptor.Name.empty()) Fail(PIRIN_INDEXNAMEREQUIRED);
    // A name longer than its place would be cut on disk, where two names
    // could then collide and the header check refuse the file.
    if (!ValidIndexName(descriptor.Name)) Fail(PIRIN_INVALIDINDEXNAME, descriptor.Name);
    for (int i = 1; i <= count; ++i)
        if (SameFieldName(FHeader.Descriptor(i).Name, descriptor.Name))
            Fail(PIRIN_INDEXEXISTS, descriptor.Name);
    CheckKeyFields(descriptor, fields);
    const int number = count + 1;
    RetirePages(number);
    if (descriptor.Temporary) OpenTemporaryFile();
    BindCache(number, descriptor.Temporary);
    TIndexDescriptor& d = FHeader.Descriptor(number);
    d = descriptor;
    d.RootPage = 0;
    d.FirstFreePage = 0;
    d.ParameterPage = 0;
    d.WellFormed = true;
    FHeader.SetSecondaryCount(static_cast<std::uint8_t>(number));
    RebuildKeyDescriptions();
    MarkChanged();
    return number;
}

void TIndexFile::CheckIndexVersion() const {
    if (FHeader.Version() != TIndexFileHeader::kVersion) Fail(PIRIN_OLDVERSION);
}

void TIndexFile::CheckIndexHeader(std::span<const TFieldDescriptor> fields) const {
    CheckIndexVersion();
    const int count = FHeader.SecondaryCount();
    if (count > kMaxSecondaryIndexes) Fail(PIRIN_HEADERCORRUPT);
    const std::int32_t last = LastPageNumber();
    const auto pagesValid = [&](const TIndexDescriptor& d) {
        return ValidPage(d.RootPage, last) && ValidPage(d.FirstFreePage, last) &&
               ValidPage(d.ParameterPage, last);
    };
    const TIndexDescriptor& primary = FHeader.Descriptor(kPrimaryIndex);
    if (!primary.Name.empty()) Fail(PIRIN_HEADERCORRUPT);
    if (primary.FieldCount > 0 && !primary.Unique) Fail(PIRIN_HEADERCORRUPT);
    for (int i = 0; i <= count; ++i) {
        const TIndexDescriptor& d = FHeader.Descriptor(i);
        if (!d.WellFormed || d.FieldCount > kMaxKeyFields || d.Compression > 3 || !pagesValid(d))
            Fail(PIRIN_HEADERCORRUPT, d.Name);
        if (i > 0) {
            if (!ValidIndexName(d.Name)) Fail(PIRIN_HEADERCORRUPT, d.Name);
            for (int j = 1; j < i; ++j)
                if (SameFieldName(FHeader.Descriptor(j).Name, d.Name))
                    Fail(PIRIN_HEADERCORRUPT, d.Name);
        }
        // No gap: once a slot is unused, every later one is too.
        bool ended = false;
        for (int f = 0; f < kMaxKeyFields; ++f) {
            if (d.FieldNumbers[f] == 0)
                ended = true;
            else if (ended)
                Fail(PIRIN_HEADERCORRUPT, d.Name);
        }
        const int part = FieldsPart(d, fields);
        if (part < 0 || NamesBlob(d, fields)) Fail(PIRIN_HEADERCORRUPT, d.Name);
        const bool emptyPrimary = i == kPrimaryIndex && d.FieldCount == 0;
        if (emptyPrimary) {
            if (d.KeyLength != 0 || d.RootPage != 0) Fail(PIRIN_HEADERCORRUPT);
            continue;
        }
        // The key length decides the page layout: it must be what the fields
        // make, or pages would be read with the wrong entry size.
        const int suffix = d.Unique ? 0 : kRowSuffixSize;
        if (part < 1 || part > kMaxKeyFieldBytes || d.KeyLength != part + suffix)
            Fail(PIRIN_HEADERCORRUPT, d.Name);
    }
    for (const int i : {kDeletedIndex, kTextIndexNumber}) {
        const TIndexDescriptor& d = FHeader.Descriptor(i);
        if (!d.WellFormed || d.FieldCount > kMaxKeyFields || d.Compression > 3 || !pagesValid(d) ||
            d.KeyLength < 1 || d.KeyLength > kMaxKeyLength)
            Fail(PIRIN_HEADERCORRUPT, d.Name);
    }
    const TIndexDescriptor& text = FHeader.Descriptor(kTextIndexNumber);
    for (int f = 0; f < text.FieldCount; ++f) {
        const TFieldDescriptor* field = FieldOf(fields, text.FieldNumbers[f]);
        const bool fits =
            field != nullptr && (field->Type == kFieldString ||
                                 (field->Type == kFieldBlob && field->Subtype == kSubtypeMemo));
        if (!fits) Fail(PIRIN_HEADERCORRUPT, text.Name);
    }
}

}  // namespace pirin
