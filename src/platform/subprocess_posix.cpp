#include "platform/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/environment.h"
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

namespace {

// Moves a descriptor above the standard three, so that the child's dup2 onto
// 0, 1 and 2 never overwrites another of its sources. -1 on failure.
int aboveStandardStreams(int fd) {
    if (fd < 0 || fd > 2) return fd;
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    ::close(fd);
    errno = saved;
    return moved;
}

// Closes the descriptor it holds when it goes.
struct OwnedFd {
    int fd = -1;
    OwnedFd() = default;
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int release() { return std::exchange(fd, -1); }
};

// A pipe whose both ends are close-on-exec and whose write end lies above the
// standard streams; false with errno set.
bool makePipe(OwnedFd& readEnd, OwnedFd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.fd = fds[0];
    writeEnd.fd = aboveStandardStreams(fds[1]);
    return writeEnd.fd >= 0;
}

// The vforked child, up to exec. It borrows the parent's memory and stack
// while the parent waits, and another thread may have held any lock at the
// fork: plain system calls only, no allocation, no return. On failure the errno goes
// to the status pipe and the child exits.
[[noreturn]] void execChild(pid_t parent, int nullFd, int outputFd, int statusFd,
                            char* const* candidates, char* const* args) {
    ::setpgid(0, 0);
    // Dies with the thread that started it; a parent already gone before this
    // took effect is caught by the parent id, which init (or a subreaper) has now.
    ::prctl(PR_SET_PDEATHSIG, static_cast<unsigned long>(SIGKILL));
    if (::getppid() != parent) ::_exit(127);

    // The parent's handlers are not ours, and the headless runner ignores or
    // blocks SIGINT and SIGTERM: the program starts with the defaults.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) {
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) != 0) continue;
        bool ignoredOnPurpose = current.sa_handler == SIG_IGN && number != SIGINT &&
                                number != SIGTERM && number != SIGPIPE;
        if (current.sa_handler != SIG_DFL && !ignoredOnPurpose)
            ::sigaction(number, &defaults, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    // The child has one thread; sigprocmask is the call the safe list names.
    ::sigprocmask(SIG_SETMASK, &none, nullptr);  // NOLINT(concurrency-mt-unsafe)

    int error = 0;
    if (::dup2(nullFd, 0) < 0 || ::dup2(outputFd, 1) < 0 || ::dup2(outputFd, 2) < 0) {
        error = errno;
    } else {
        // As execvp: a file that is missing or may not be run passes the turn on.
        error = ENOENT;
        for (char* const* candidate = candidates; *candidate; ++candidate) {
            ::execve(*candidate, args, environ);
            if (errno == EACCES) {
                error = EACCES;
            } else if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP &&
                       errno != ENAMETOOLONG) {
                error = errno;
                break;
            }
        }
    }
    ssize_t ignored = ::write(statusFd, &error, sizeof error);
    (void)ignored;
    ::_exit(127);
}

}  // namespace

Subprocess::Started Subprocess::start(const std::vector<std::string>& argv) {
    using Kind = SubprocessError::Kind;
    if (argv.empty()) return {nullptr, {Kind::NoProgram, 0}};
    OwnedFd outputRead, outputWrite, statusRead, statusWrite, nullFd;
    if (!makePipe(outputRead, outputWrite)) return {nullptr, {Kind::Pipe, errno}};
    // Carries the errno of a failed exec; end of data means the program runs.
    if (!makePipe(statusRead, statusWrite)) return {nullptr, {Kind::Spawn, errno}};
    nullFd.fd = aboveStandardStreams(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (nullFd.fd < 0) return {nullptr, {Kind::Spawn, errno}};

    // Worked out before the fork: the child may make only plain system
    // calls, and the PATH search of execvp allocates.
    std::vector<std::string> candidates = programCandidates(argv[0]);
    std::vector<char*> files, args;
    for (auto& c : candidates) files.push_back(c.data());
    files.push_back(nullptr);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // No handler of ours may run in the child before it has reset them.
    sigset_t all, saved;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &saved);
    const pid_t parent = ::getpid();
    // vfork, as posix_spawn does: a fork would copy the page tables of the
    // whole application (about 0.13 s per GiB resident) for every FFmpeg.
    const pid_t pid = ::vfork();
    if (pid == 0) {
        execChild(parent, nullFd.fd, outputWrite.fd, statusWrite.fd, files.data(), args.data());
    }
    int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    if (pid < 0) return {nullptr, {Kind::Spawn, forkError}};
    // Also here, so that a terminate() right after the start finds the group.
    ::setpgid(pid, pid);
    nullFd.reset();
    outputWrite.reset();
    statusWrite.reset();

    int execError = 0;
    ssize_t got;
    while ((got = ::read(statusRead.fd, &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof execError)) {
        int raw = 0;
        while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        return {nullptr, {Kind::Spawn, execError}};
    }
    return {std::unique_ptr<Subprocess>(new Subprocess(pid, outputRead.release())), {}};
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
