#include "dictdata/build_sounds.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unicode/unistr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "locale/code_page.h"

extern char** environ;

namespace vorlano {

namespace {

constexpr const char* kPipeline =
    "printf '%s' \"$2\" | espeak-ng -v \"$1\" --stdout | lame --quiet -V 9 - \"$3\"";

bool OnPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::filesystem::path candidate = std::filesystem::path(rest.substr(0, colon)) / tool;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

bool RunPipeline(const std::string& voice, const std::string& word, const std::string& file) {
    const char* argv[] = {"/bin/sh",     "-c",         kPipeline,    "sh",
                          voice.c_str(), word.c_str(), file.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ToUtf8(const std::string& bytes, int codePage) {
    const std::u16string wide = pirin::TCodePage::Of(codePage).Decode(bytes);
    std::string out;
    icu::UnicodeString(wide.data(), static_cast<int32_t>(wide.size())).toUTF8String(out);
    return out;
}

}  // namespace

bool SoundToolsAvailable() { return OnPath("espeak-ng") && OnPath("lame"); }

TSoundOutcome MakeSounds(const TSoundRequest& request, std::size_t limit, unsigned jobs,
                         double budgetSeconds) {
    std::filesystem::create_directories(request.Folder);
    const std::size_t total = request.Words.size();
    const std::size_t first = limit == 0 ? total : std::min(limit, total);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> end{first};
    std::atomic<std::size_t> written{0};
    std::atomic<std::size_t> failed{0};
    const auto start = std::chrono::steady_clock::now();
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < end.load();) {
            const std::string file = (request.Folder / (std::to_string(i + 1) + ".mp3")).string();
            if (RunPipeline(request.Voice, ToUtf8(request.Words[i], request.CodePage), file))
                ++written;
            else
                ++failed;
        }
    };
    const auto runAll = [&] {
        std::vector<std::thread> workers;
        for (unsigned j = 0; j < std::max(1u, jobs); ++j) workers.emplace_back(work);
        for (std::thread& worker : workers) worker.join();
    };
    runAll();
    if (first < total && first > 0) {
        const double spent =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double perWord = spent / static_cast<double>(first);
        if (perWord * static_cast<double>(total) <= budgetSeconds) {
            next = first;
            end = total;
            runAll();
        }
    }
    return {written.load(), failed.load()};
}

}  // namespace vorlano
