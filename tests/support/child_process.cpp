#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"

namespace zorvex::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outputFile)
    : outputFile_(outputFile) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return;
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid == 0) {
        // A test killed by its runner must not leave a server holding the ports.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out);
    if (pid > 0) pid_ = pid;
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
