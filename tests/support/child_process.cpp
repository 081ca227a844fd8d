#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"

extern char** environ;

namespace zorvex::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outputFile)
    : outputFile_(outputFile) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        pid_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void ChildProcess::signal(int number) {
    if (pid_ > 0 && !reaped_) ::kill(pid_, number);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds bound) {
    if (pid_ <= 0) return std::nullopt;
    int status = 0;
    bool ended = waitUntil(
        [&] {
            if (reaped_) return true;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
            return reaped_;
        },
        bound);
    if (!ended || !WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
}

std::string ChildProcess::output() const {
    return readFile(outputFile_);
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds bound) const {
    return waitUntil([&] { return output().find(text) != std::string::npos; }, bound);
}

}  // namespace zorvex::test
