#include "engine/data_session.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/data_directory.h"

namespace pirin {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    // Names are mostly without outer blanks (and names are compared per
    // record): those need no search.
    if (text.empty() || (text.front() != ' ' && text.back() != ' ')) return text;
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Capped(std::string_view text) {
    return std::string(text.substr(0, kMaxEngineStringLength));
}

std::string ProcessCurrentDir() {
    std::error_code error;
    const auto path = std::filesystem::current_path(error);
    return error ? std::string() : NormalizePath(path.string());
}

std::string TemporaryDir() {
    std::error_code error;
    const auto path = std::filesystem::temp_directory_path(error);
    return NormalizePath(error ? std::string("/tmp") : path.string());
}

}  // namespace

std::string NormalizePath(std::string_view path) {
    std::string result(TrimBlanks(path));
    std::replace(result.begin(), result.end(), '\\', '/');
    if (!result.empty() && result.back() != '/') result.push_back('/');
    return Capped(result);
}

bool SameEngineName(std::string_view a, std::string_view b) {
    a = TrimBlanks(a);
    b = TrimBlanks(b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

TDataSession::TDataSession(bool serverSide)
    : FServerSide(serverSide), FCurrentDir(ProcessCurrentDir()), FPrivateDir(TemporaryDir()) {}

TDataSession::~TDataSession() {
    RemoveAllPasswords();
    // Last opened first: a directory never outlives one opened before it.
    while (!FDirectories.empty()) FDirectories.pop_back();
}

void TDataSession::AddPassword(std::string_view password) {
    if (password.empty()) return;
    const std::string copy = Capped(password);
    if (HasPassword(copy)) return;
    FPasswords.push_back(copy);
}

void TDataSession::RemovePassword(std::string_view password) {
    const auto it = std::find(FPasswords.begin(), FPasswords.end(), password);
    if (it != FPasswords.end()) FPasswords.erase(it);
}

void TDataSession::RemoveAllPasswords() {
    while (!FPasswords.empty()) FPasswords.pop_back();
}

bool TDataSession::HasPassword(std::string_view password) const {
    return std::find(FPasswords.begin(), FPasswords.end(), password) != FPasswords.end();
}

const std::string& TDataSession::PrivateDir() const noexcept {
    return FPrivateDir.empty() ? FCurrentDir : FPrivateDir;
}

void TDataSession::SetPrivateDir(std::string_view path) { FPrivateDir = NormalizePath(path); }

TDataDirectory& TDataSession::OpenDatabase(std::string_view databaseName,
                                           std::string_view directory, bool /*remote*/) {
    std::string path = NormalizePath(directory);
    if (path.empty() && !SameEngineName(databaseName, "Memory")) path = FCurrentDir;
    for (const auto& open : FDirectories) {
        if (SameEngineName(open->Path(), path)) {
            open->AddReference();
            return *open;
        }
    }
    FDirectories.push_back(std::make_unique<TDataDirectory>(*this, Capped(databaseName), path));
    return *FDirectories.back();
}

void TDataSession::CloseDatabase(TDataDirectory& directory, bool /*keepRemote*/) {
    const auto it = std::find_if(FDirectories.begin(), FDirectories.end(),
                                 [&](const auto& owned) { return owned.get() == &directory; });
    if (it == FDirectories.end()) return;
    if (directory.ReleaseReference() > 0) return;
    auto closed = std::move(*it);
    FDirectories.erase(it);
}

}  // namespace pirin
