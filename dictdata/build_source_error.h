// EBuildSourceError: a source file of the dictionary builder that cannot be
// read or is malformed. The message names the file and, where it helps, the
// line or byte offset.
//
// Plain exception type: any thread.
#pragma once

#include <stdexcept>
#include <string>

namespace vorlano {

class EBuildSourceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Raises EBuildSourceError for line `line` (1-based) of source `name`.
[[noreturn]] void FailSourceLine(const std::string& name, std::size_t line,
                                 const std::string& what);

// Reads a whole file; EBuildSourceError when it cannot be read or is larger
// than `limit` bytes.
std::string ReadSourceFile(const std::string& path, std::size_t limit);

}  // namespace vorlano
