#include "dictdata/build_source_error.h"

#include <cstdio>
#include <filesystem>

namespace vorlano {

void FailSourceLine(const std::string& name, std::size_t line, const std::string& what) {
    throw EBuildSourceError(name + ": line " + std::to_string(line) + ": " + what);
}

std::string ReadSourceFile(const std::string& path, std::size_t limit) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) throw EBuildSourceError(path + ": cannot read: " + error.message());
    if (size > limit) throw EBuildSourceError(path + ": file too large");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw EBuildSourceError(path + ": cannot open");
    std::string bytes(size, '\0');
    const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (read != bytes.size()) throw EBuildSourceError(path + ": short read");
    return bytes;
}

}  // namespace vorlano
