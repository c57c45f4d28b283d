// TChildProcess: a forked child process for the engine's multi-process
// tests, with two pipes through which parent and child signal each other.
// Ownership: the parent joins the child when the object goes. Threads: the
// test thread.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>

namespace pirin::testing {

// A forked child running `body`; the two sides signal each other through
// pipes. The child's exit code is what `body` returned (99: it raised).
class TChildProcess {
  public:
    explicit TChildProcess(std::function<int(TChildProcess&)> body) {
        if (pipe(FToChild) != 0 || pipe(FToParent) != 0) throw std::runtime_error("pipe");
        FPid = fork();
        if (FPid < 0) throw std::runtime_error("fork");
        if (FPid == 0) {
            FInChild = true;
            int code = 99;
            try {
                code = body(*this);
            } catch (...) {
            }
            _exit(code);  // no destructors of the parent's objects in the child
        }
    }
    ~TChildProcess() {
        if (FPid > 0 && !FJoined) (void)Join();
    }

    void Signal() {
        const char byte = 1;
        (void)!write(FInChild ? FToParent[1] : FToChild[1], &byte, 1);
    }
    // False when the other side is gone.
    bool Wait() {
        char byte = 0;
        return read(FInChild ? FToChild[0] : FToParent[0], &byte, 1) == 1;
    }
    bool Running() {
        int status = 0;
        if (FJoined || waitpid(FPid, &status, WNOHANG) == 0) return !FJoined;
        FJoined = true;
        FStatus = status;
        return false;
    }
    int Join() {
        if (!FJoined) {
            (void)waitpid(FPid, &FStatus, 0);
            FJoined = true;
        }
        return WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : -1;
    }

  private:
    int FToChild[2] = {-1, -1};
    int FToParent[2] = {-1, -1};
    pid_t FPid = -1;
    bool FInChild = false;
    bool FJoined = false;
    int FStatus = 0;
};

}  // namespace pirin::testing
