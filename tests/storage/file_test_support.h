// Helpers for the file-layer tests: a scratch folder, files made and read
// with the standard library, engine-error checks, and a forked child process
// driven step by step over a socket pair.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>  // fork and _exit only; files go through the engine

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "errors/engine_error.h"

namespace pirin::testing {

// A fresh folder under the system's temporary folder, removed at the end.
class TScratchFolder {
  public:
    TScratchFolder() {
        static std::atomic<int> counter{0};
        FPath = std::filesystem::temp_directory_path() /
                ("pirin-files-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath);
    }
    ~TScratchFolder() {
        std::error_code ignored;
        // Read-only files inside must not keep the folder alive.
        for (auto& entry : std::filesystem::recursive_directory_iterator(FPath, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(FPath, ignored);
    }
    std::string operator/(const std::string& name) const { return (FPath / name).string(); }
    const std::filesystem::path& Path() const { return FPath; }

  private:
    std::filesystem::path FPath;
};

inline std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed = 1) {
    std::vector<std::uint8_t> bytes(size);
    unsigned x = seed;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

inline void PutFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> GetFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The engine code `action` raised, or 0 when it raised nothing.
inline int CodeOf(const std::function<void()>& action, EPirinEngineError* caught = nullptr) {
    try {
        action();
    } catch (const EPirinEngineError& error) {
        if (caught != nullptr) *caught = error;
        return error.ErrorCode;
    }
    return 0;
}

// A forked child running `body`, which talks to the parent one byte at a
// time. The child's exit status is what body returns (100 if it throws).
class TChildProcess {
  public:
    class TChannel {
      public:
        explicit TChannel(int socket) : FSocket(socket) {}
        void Send(char c) { (void)::send(FSocket, &c, 1, MSG_NOSIGNAL); }
        // The next byte, or '\0' when none comes within ten seconds (a peer
        // that died or is stuck), so a broken test fails instead of hanging.
        char Receive() {
            pollfd ready{FSocket, POLLIN, 0};
            if (::poll(&ready, 1, 10000) != 1) return '\0';
            char c = '\0';
            return ::recv(FSocket, &c, 1, 0) == 1 ? c : '\0';
        }

      private:
        int FSocket;
    };

    explicit TChildProcess(const std::function<int(TChannel&)>& body) {
        int sockets[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0) return;
        FPid = ::fork();
        if (FPid == 0) {
            ::close(sockets[0]);
            TChannel channel(sockets[1]);
            int status = 100;
            try {
                status = body(channel);
            } catch (...) {
            }
            ::_exit(status);
        }
        ::close(sockets[1]);
        FSocket = sockets[0];
    }
    ~TChildProcess() {
        if (FPid > 0 && !FWaited) (void)Wait();
        if (FSocket >= 0) ::close(FSocket);
    }

    bool Started() const { return FPid > 0; }
    void Send(char c) { TChannel(FSocket).Send(c); }
    char Receive() { return TChannel(FSocket).Receive(); }
    // The child's exit status (-1 when it did not exit normally).
    int Wait() {
        if (FPid <= 0) return -1;
        if (FSocket >= 0) ::shutdown(FSocket, SHUT_RDWR);  // a waiting child sees the end
        int status = 0;
        FWaited = true;
        if (::waitpid(FPid, &status, 0) != FPid || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }

  private:
    pid_t FPid = -1;
    int FSocket = -1;
    bool FWaited = false;
};

}  // namespace pirin::testing
