#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvex {

// Why a child program could not be started.
struct SubprocessError {
    enum class Kind {
        None,
        NoProgram,  // an empty argument list
        Pipe,       // the output pipe could not be made
        Spawn,      // the process could not be made or the program not run
    };
    Kind kind = Kind::None;
    int error = 0;  // the errno of the failed call; 0 for NoProgram

    // e.g. "pipe: Too many open files"; "" for None.
    std::string text() const;
};

// A child program with its standard output and error in one pipe, run in a
// process group of its own so that it and everything it starts can be ended
// without touching any other process. Standard input reads /dev/null.
// The child is killed (SIGKILL) when the thread that started it ends, and so
// when this process dies however it dies: start it on a thread that lives at
// least as long as the child should.
// One thread uses an instance at a time; terminate() may come from another.
class Subprocess {
public:
    struct Started {
        std::unique_ptr<Subprocess> process;  // null when it could not start
        SubprocessError error;                // why, when process is null
    };
    // argv[0] is searched on PATH when it holds no '/'.
    static Started start(const std::vector<std::string>& argv);
    ~Subprocess();  // ends the group and reaps the child if it still runs
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    // Appends what arrives within the bound to out. False once the output has
    // ended (every writer closed the pipe), true otherwise.
    bool read(std::string& out, std::chrono::milliseconds bound);
    // Sends SIGKILL to the child's process group. Any thread.
    void terminate();
    // Waits for the child; its exit code, or 128 + the signal that ended it.
    int wait();
    pid_t pid() const { return pid_; }

private:
    Subprocess(pid_t pid, int outputFd) : pid_(pid), outputFd_(outputFd) {}

    const pid_t pid_;
    int outputFd_;
    std::atomic<bool> reaped_{false};
    int status_ = -1;
};

// Runs a program to its end, collecting its output; nullopt if it cannot start.
struct SubprocessResult {
    int exitCode = -1;
    std::string output;
};
std::optional<SubprocessResult> runToEnd(const std::vector<std::string>& argv);

}  // namespace zorvex
