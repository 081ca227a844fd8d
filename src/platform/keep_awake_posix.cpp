#include "platform/keep_awake.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/environment.h"
#include "platform/file_util.h"

extern char** environ;

namespace zorvex {

namespace {

std::string systemBusSocket() {
    std::string address = environmentVariable("DBUS_SYSTEM_BUS_ADDRESS").value_or("");
    std::string_view text = address;
    constexpr std::string_view kPath = "unix:path=";
    if (text.starts_with(kPath)) {
        text.remove_prefix(kPath.size());
        return std::string(text.substr(0, text.find(',')));
    }
    if (!text.empty()) return {};  // another transport: nothing to look at
    return "/run/dbus/system_bus_socket";
}

std::string findProgram(const std::string& program) {
    for (const std::string& candidate : programCandidates(program)) {
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

void waitForChild(pid_t pid, int* status) {
    while (::waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

InhibitKeepAwake::InhibitKeepAwake(Options options) : options_(std::move(options)) {}

InhibitKeepAwake::~InhibitKeepAwake() {
    std::lock_guard lock(mutex_);
    stopChild();
}

KeepAwake::Obstacle InhibitKeepAwake::check() {
    if (obstacle_) return *obstacle_;
    std::string bus = options_.busSocket.empty() ? systemBusSocket() : options_.busSocket;
    programPath_ = findProgram(options_.program);
    std::string reason;
    obstacle_ = Obstacle::None;
    if (!bus.empty() && !pathExists(bus)) {
        obstacle_ = Obstacle::NoSystemBus;
        reason = "no system bus";
    } else if (programPath_.empty()) {
        obstacle_ = Obstacle::NoInhibitor;
        reason = options_.program + " not found";
    }
    if (!reason.empty() && options_.log) {
        options_.log("keep-awake unavailable (" + reason + "); the computer may sleep");
    }
    return *obstacle_;
}

KeepAwake::Obstacle InhibitKeepAwake::obstacle() {
    std::lock_guard lock(mutex_);
    return check();
}

void InhibitKeepAwake::hold() {
    std::lock_guard lock(mutex_);
    if (child_ > 0) {
        int status = 0;
        if (::waitpid(child_, &status, WNOHANG) == 0) return;  // still holding
        // It ended on its own (logind refused, or someone killed it): try again.
        child_ = -1;
        ::close(pipeWrite_);
        pipeWrite_ = -1;
        if (options_.log) options_.log("keep-awake inhibitor ended early; holding again");
    }
    if (check() != Obstacle::None) return;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    std::string what = "--what=sleep:idle";
    std::string who = "--who=" + options_.who;
    std::string why = "--why=" + options_.why;
    std::string mode = "--mode=block";
    std::string command = "cat";  // lives until the pipe's write end closes
    std::vector<char*> argv = {programPath_.data(), what.data(),    who.data(), why.data(),
                               mode.data(),         command.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so release() signals only this child and its command;
    // a clean signal state, since a headless runner may block SIGTERM in its threads.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, programPath_.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (rc != 0) {
        ::close(fds[1]);
        if (options_.log) options_.log("keep-awake: cannot start " + programPath_);
        return;
    }
    child_ = pid;
    pipeWrite_ = fds[1];
}

void InhibitKeepAwake::release() {
    std::lock_guard lock(mutex_);
    stopChild();
}

bool InhibitKeepAwake::holding() const {
    std::lock_guard lock(mutex_);
    return child_ > 0;
}

void InhibitKeepAwake::stopChild() {
    if (child_ <= 0) return;
    ::close(pipeWrite_);  // the command sees end of input
    pipeWrite_ = -1;
    ::kill(-child_, SIGTERM);  // our child's own group, nothing else
    int status = 0;
    waitForChild(child_, &status);
    child_ = -1;
}

std::unique_ptr<KeepAwake> makeSystemKeepAwake(std::string who,
                                               std::function<void(const std::string&)> log) {
    InhibitKeepAwake::Options options;
    options.who = std::move(who);
    options.log = std::move(log);
    return std::make_unique<InhibitKeepAwake>(std::move(options));
}

}  // namespace zorvex
