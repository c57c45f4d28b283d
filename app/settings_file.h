// The settings file: a Windows INI text file read and written with the
// semantics of the Windows profile functions. Sections in square brackets,
// "key=value" lines; section and key names compare ignoring ASCII case;
// blanks around names and values are dropped. Writing one key rewrites the
// file keeping every other line as it was (comments, unknown sections,
// malformed lines), creating the section or the file when missing.
//
// Ownership: holds only the path; the file is opened and closed within each
// call, so no handle stays open. Threads: one object per thread.
// Failures: reads never fail (a missing or unreadable file, section or key
// gives the default; any bytes, NULs or overlong lines are tolerated);
// WriteString returns false when the file cannot be written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorlano {

class TIniFile {
  public:
    explicit TIniFile(std::string path) : FPath(std::move(path)) {}

    const std::string& FileName() const noexcept { return FPath; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // A decimal integer or "0x" followed by hexadecimal digits, with an
    // optional sign; anything else (or a value out of the 32-bit range) gives
    // the default.
    long ReadInteger(std::string_view section, std::string_view key, long defaultValue) const;
    // 0 is false, any other integer true, anything else the default.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    bool WriteString(std::string_view section, std::string_view key, std::string_view value) const;
    bool WriteBool(std::string_view section, std::string_view key, bool value) const {
        return WriteString(section, key, value ? "1" : "0");
    }

  private:
    std::string FPath;
};

// The integer forms the settings file accepts; nullopt for anything else.
std::optional<long> ParseIniInteger(std::string_view text);

}  // namespace vorlano
