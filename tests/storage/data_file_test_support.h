// Fixtures for the data-file tests: a small table built with CreateTableFile,
// WriteHeader and WriteFieldDescriptors in memory (or in a scratch folder),
// records appended through the cache, and raw access to the file's bytes for
// damaging it the way a crash or another program would.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/data_file.h"
#include "storage/little_endian.h"
#include "storage/file_handler.h"
#include "tests/storage/file_test_support.h"

namespace pirin::data_test {

using pirin::testing::CodeOf;

inline constexpr std::uint16_t kBulgarian = 0x0402;

inline TFieldDescriptor Field(std::string name, std::uint8_t type, std::uint8_t subtype = 0,
                              std::uint8_t size = 0) {
    TFieldDescriptor field;
    field.Name = std::move(name);
    field.Type = type;
    field.Subtype = subtype;
    field.DeclaredSize = size;
    return field;
}

// Id INTEGER, Word VARCHAR(20), Count WORD, Low SMALLINT, Notes MEMO, Serial AUTOINC.
// Offsets: Id 9, Word 14, Count 36, Low 39, Notes 42, Serial 5; record size 51.
inline std::vector<TFieldDescriptor> SampleFields() {
    return {Field("Id", kFieldInteger),
            Field("Word", kFieldString, 0, 20),
            Field("Count", kFieldWord),
            Field("Low", kFieldSmallInt),
            Field("Notes", kFieldBlob, kSubtypeMemo),
            Field("Serial", kFieldInteger, kSubtypeAutoInc)};
}
inline constexpr int kSampleRecordSize = 51;
inline constexpr std::size_t kWordOffset = 14;

// A table's options with the language given and defaults otherwise.
inline TNewTableOptions Options(std::uint16_t language = kBulgarian) {
    TNewTableOptions options;
    options.Language = language;
    return options;
}

class DataFileTest : public ::testing::Test {
  public:
    DataFileTest() {
        static int counter = 0;
        Name = "Memory/Table" + std::to_string(counter++) + ".DAT";
    }
    ~DataFileTest() override {
        File.reset();
        TFileHandler raw(Name);
        raw.SetInMemory(InMemory);
        if (raw.FileExists()) raw.RemoveFile();
    }

    // Puts the table on disk in `folder` instead of in memory.
    void UseDisk(const pirin::testing::TScratchFolder& folder) {
        InMemory = false;
        Name = folder / "Table.DAT";
    }

    TDataFile& Build(const std::vector<TFieldDescriptor>& fields = SampleFields(),
                     TNewTableOptions options = Options()) {
        File = std::make_unique<TDataFile>(Context, Name);
        File->SetInMemory(InMemory);
        File->CreateTableFile(fields, options);
        File->WriteHeader();
        File->WriteFieldDescriptors();
        return *File;
    }

    // A fresh data file object on the same file, opened shared.
    TDataFile& Reopen() {
        File.reset();
        File = OpenAnother();
        return *File;
    }
    std::unique_ptr<TDataFile> OpenAnother() {
        auto file = std::make_unique<TDataFile>(Context, Name);
        file->SetInMemory(InMemory);
        file->OpenFile();
        return file;
    }

    // Appends `count` records whose Word field holds "w<n>", written back
    // with the header.
    void Append(int count) {
        for (int i = 0; i < count; ++i) {
            TRecordPin pin = File->NewRecordSlot(nullptr);
            ASSERT_TRUE(pin);
            pin->Blank(true);
            FillWord(*pin, "w" + std::to_string(pin->RecordNumber()));
        }
        File->WriteBack();
        File->WriteHeader();
    }
    static void FillWord(TRecord& record, const std::string& word) {
        std::vector<std::uint8_t> fields(record.Image().begin(), record.Image().end());
        fields[kWordOffset] = 1;
        std::copy(word.begin(), word.end(), fields.begin() + kWordOffset + 1);
        record.CopyFields(fields);
    }
    static std::string WordOf(const TRecord& record) {
        const auto* text = reinterpret_cast<const char*>(record.Image().data() + kWordOffset + 1);
        return std::string(text);
    }

    // Raw bytes of the file, read and written through a plain handler (the
    // data file object is closed first).
    std::vector<std::uint8_t> RawBytes() {
        File.reset();
        TFileHandler raw(Name);
        raw.SetInMemory(InMemory);
        raw.OpenFile();
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(raw.FileLength()));
        (void)raw.ReadAt(0, bytes.data(), bytes.size());
        return bytes;
    }
    void PutRaw(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
        File.reset();
        TFileHandler raw(Name);
        raw.SetInMemory(InMemory);
        raw.OpenFile();
        raw.WriteAt(offset, bytes.data(), bytes.size());
    }
    void Truncate(std::uint64_t length) {
        File.reset();
        TFileHandler raw(Name);
        raw.SetInMemory(InMemory);
        raw.OpenFile();
        raw.SeekTo(0, static_cast<std::int64_t>(length));
        raw.WriteBytes(nullptr, 0);
    }
    // Changes the stored header as `change` says.
    void PatchHeader(const std::function<void(TDataHeader&)>& change) {
        TDataHeader header;
        const auto bytes = RawBytes();
        std::copy_n(bytes.begin(), kDataHeaderSize, header.Bytes().begin());
        change(header);
        PutRaw(0, {header.Bytes().begin(), header.Bytes().end()});
    }
    // Changes stored descriptor `index` (0-based) of a clear table.
    void PatchField(std::size_t index, const std::function<void(TFieldDescriptor&)>& change) {
        const auto bytes = RawBytes();
        const std::size_t at = kDataHeaderSize + index * kFieldDescriptorSize;
        TFieldDescriptor field = UnpackFieldDescriptor(
            TConstFieldDescriptorBytes(bytes.data() + at, kFieldDescriptorSize));
        change(field);
        std::vector<std::uint8_t> packed(kFieldDescriptorSize);
        PackFieldDescriptor(field, TFieldDescriptorBytes(packed.data(), kFieldDescriptorSize));
        PutRaw(at, packed);
    }

    // Opens the table anew and runs the structure check; the code raised.
    int OpenAndCheck() {
        return CodeOf([&] {
            Reopen();
            File->CheckStructure();
        });
    }

    TPlainTableContext Context;
    std::string Name;
    bool InMemory = true;
    std::unique_ptr<TDataFile> File;
};

}  // namespace pirin::data_test
