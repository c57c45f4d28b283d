// Fixture pieces for the index file and tree tests: a small table schema,
// descriptors built from it, and an in-memory index file with verbs to
// reopen it and read its raw bytes.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "storage/field_descriptor.h"
#include "storage/file_handler.h"
#include "storage/index_file.h"
#include "tests/storage/file_test_support.h"

namespace pirin::index_test {

using pirin::testing::CodeOf;

inline std::string MemoryName() {
    static int counter = 0;
    return "Memory/IndexTest" + std::to_string(counter++) + ".IDX";
}

inline TFieldDescriptor Field(std::uint16_t number, std::string name, std::uint8_t type,
                              std::uint8_t declared = 0, std::uint8_t subtype = 0) {
    TFieldDescriptor f;
    f.Number = number;
    f.Name = std::move(name);
    f.Type = type;
    f.Subtype = subtype;
    f.DeclaredSize = declared;
    f.StoredSize = static_cast<std::uint8_t>(FieldStoredSize(type, declared));
    return f;
}

// Id INTEGER, Word VARCHAR(20), Article MEMO, Note VARCHAR(10), Price BCD,
// Long VARCHAR(250), Amount FLOAT.
inline std::vector<TFieldDescriptor> Schema() {
    return {Field(1, "Id", kFieldInteger),
            Field(2, "Word", kFieldString, 20),
            Field(3, "Article", kFieldBlob, 0, kSubtypeMemo),
            Field(4, "Note", kFieldString, 10),
            Field(5, "Price", kFieldBcd),
            Field(6, "Long", kFieldString, 250),
            Field(7, "Amount", kFieldFloat)};
}

// A descriptor over `numbers` with the key length those fields make.
inline TIndexDescriptor Describe(std::string name, const std::vector<std::uint16_t>& numbers,
                                 bool unique = true, std::uint8_t compression = 0) {
    const std::vector<TFieldDescriptor> fields = Schema();
    TIndexDescriptor d;
    d.Name = std::move(name);
    d.Unique = unique;
    d.Compression = compression;
    int length = unique ? 0 : kRowSuffixSize;
    for (const std::uint16_t n : numbers) {
        d.FieldNumbers[d.FieldCount++] = n;
        if (n >= 1 && n <= fields.size()) length += fields[n - 1u].KeySize() + 1;
    }
    d.KeyLength = static_cast<std::uint16_t>(length);
    return d;
}

// Every byte of an in-memory file.
inline std::vector<std::uint8_t> RawBytes(const std::string& name) {
    TFileHandler handler(name);
    handler.SetInMemory(true);
    handler.OpenFile();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(handler.FileLength()));
    if (!bytes.empty()) handler.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
}

inline void PutRawBytes(const std::string& name, std::uint64_t offset,
                        const std::vector<std::uint8_t>& bytes) {
    TFileHandler handler(name);
    handler.SetInMemory(true);
    handler.OpenFile();
    handler.WriteAt(offset, bytes.data(), bytes.size());
}

// A new in-memory index file with its header written, open again.
struct TIndexTable {
    explicit TIndexTable(bool encrypted = false)
        : Name(MemoryName()), File(Context, Name, encrypted) {
        File.SetInMemory(true);
        File.CreateNewFile();
        (void)File.WriteIndexHeader();
        Reopen();
    }
    ~TIndexTable() {
        File.CloseFile();
        TFileHandler remover(Name);
        remover.SetInMemory(true);
        try {
            remover.RemoveFile();
        } catch (...) {
        }
    }
    void Reopen() {
        File.CloseFile();
        File.OpenFile();
    }

    TPlainTableContext Context;
    std::string Name;
    TIndexFile File;
};

}  // namespace pirin::index_test
