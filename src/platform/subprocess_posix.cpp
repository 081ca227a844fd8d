#include "platform/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error_text.h"

extern char** environ;

namespace zorvex {

std::string SubprocessError::text() const {
    switch (kind) {
        case Kind::None:
            return {};
        case Kind::NoProgram:
            return "no program";
        case Kind::Pipe:
            return "pipe: " + errorText(error);
        case Kind::Spawn:
            return "spawn: " + errorText(error);
    }
    return {};
}

Subprocess::Started Subprocess::start(const std::vector<std::string>& argv) {
    using Kind = SubprocessError::Kind;
    if (argv.empty()) return {nullptr, {Kind::NoProgram, 0}};
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {nullptr, {Kind::Pipe, errno}};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, default signal handling and nothing blocked: the
    // headless runner blocks SIGINT and SIGTERM in every thread.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int result = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (result != 0) {
        ::close(fds[0]);
        return {nullptr, {Kind::Spawn, result}};
    }
    return {std::unique_ptr<Subprocess>(new Subprocess(pid, fds[0])), {}};
}

Subprocess::~Subprocess() {
    if (!reaped_) {
        terminate();
        wait();
    }
    if (outputFd_ >= 0) ::close(outputFd_);
}

bool Subprocess::read(std::string& out, std::chrono::milliseconds bound) {
    if (outputFd_ < 0) return false;
    pollfd in{outputFd_, POLLIN, 0};
    int ready = ::poll(&in, 1, static_cast<int>(bound.count()));
    if (ready <= 0) return true;
    char chunk[4096];
    ssize_t n = ::read(outputFd_, chunk, sizeof chunk);
    if (n > 0) {
        out.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    ::close(outputFd_);
    outputFd_ = -1;
    return false;
}

void Subprocess::terminate() {
    if (!reaped_.load()) ::kill(-pid_, SIGKILL);
}

int Subprocess::wait() {
    if (!reaped_.load()) {
        int raw = 0;
        while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        reaped_ = true;
    }
    return status_;
}

std::optional<SubprocessResult> runToEnd(const std::vector<std::string>& argv) {
    auto child = Subprocess::start(argv).process;
    if (!child) return std::nullopt;
    SubprocessResult result;
    while (child->read(result.output, std::chrono::milliseconds(1000))) {
    }
    result.exitCode = child->wait();
    return result;
}

}  // namespace zorvex
