#include "platform/single_instance_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "platform/instance_doorbell.h"
#include "support/test_support.h"

extern char** environ;

namespace zorvex {
namespace {

using namespace std::chrono_literals;
using Result = SingleInstanceLock::Result;
using Rang = InstanceDoorbell::Rang;

// What a second process sees when it tries the lock: its exit status is the result.
Result tryInAnotherProcess(const std::string& home) {
    pid_t pid = ::fork();
    if (pid == 0) _exit(static_cast<int>(SingleInstanceLock::acquire(home).result()));
    int status = 0;
    ::waitpid(pid, &status, 0);
    return static_cast<Result>(WEXITSTATUS(status));
}

TEST(SingleInstanceLock, ASecondInstanceIsRefusedUntilTheFirstReleases) {
    test::TempDir dir;
    SingleInstanceLock first = SingleInstanceLock::acquire(dir.path());
    ASSERT_EQ(first.result(), Result::Acquired);
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file(SingleInstanceLock::kFileName)));
    EXPECT_EQ(SingleInstanceLock::acquire(dir.path()).result(), Result::AlreadyRunning);
    EXPECT_EQ(tryInAnotherProcess(dir.path()), Result::AlreadyRunning);

    SingleInstanceLock moved = std::move(first);
    EXPECT_EQ(tryInAnotherProcess(dir.path()), Result::AlreadyRunning);
    moved.release();
    EXPECT_EQ(tryInAnotherProcess(dir.path()), Result::Acquired);
    EXPECT_EQ(SingleInstanceLock::acquire(dir.file("missing")).result(), Result::Unavailable);
}

TEST(SingleInstanceLock, EachHomeFolderHasItsOwnLock) {
    test::TempDir homeA, homeB, links;
    SingleInstanceLock a = SingleInstanceLock::acquire(homeA.path());
    ASSERT_EQ(a.result(), Result::Acquired);
    EXPECT_TRUE(std::filesystem::is_regular_file(homeA.file(SingleInstanceLock::kFileName)));
    // Another home runs beside it.
    EXPECT_EQ(tryInAnotherProcess(homeB.path()), Result::Acquired);
    // The same home by another spelling is the same home.
    const std::string link = links.file("home-link");
    std::filesystem::create_directory_symlink(homeA.path(), link);
    EXPECT_EQ(tryInAnotherProcess(link), Result::AlreadyRunning);
    EXPECT_EQ(tryInAnotherProcess(homeA.path() + "/."), Result::AlreadyRunning);
}

TEST(SingleInstanceLock, ChildrenDoNotInheritTheLock) {
    test::TempDir dir;
    // A child started while we hold the lock (an FFmpeg run) must not inherit it.
    auto lock = SingleInstanceLock::acquire(dir.path());
    ASSERT_TRUE(lock.held());
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    const char* argv[] = {"/bin/sh", "-c", "read line", nullptr};
    pid_t child = -1;
    ASSERT_EQ(
        ::posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    lock.release();
    EXPECT_EQ(SingleInstanceLock::acquire(dir.path()).result(), Result::Acquired);
    ::close(input[1]);
    ::waitpid(child, nullptr, 0);
}

// A restart right after a crash waits out a child of the dead copy that still
// holds the lock (between vfork and exec), but not a copy that lives.
TEST(SingleInstanceLock, ARestartOutlastsWhatADeadCopyLeftButNotALiveCopy) {
    test::TempDir dir;
    pid_t dead = ::fork();
    if (dead == 0) _exit(0);
    ::waitpid(dead, nullptr, 0);
    int hold[2];
    ASSERT_EQ(::pipe(hold), 0);
    // Holds the lock under the record of pid (0: its own) for a moment, or
    // until hold closes.
    auto holder = [&](pid_t named, bool untilClosed) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(hold[1]);
            auto lock = SingleInstanceLock::acquire(dir.path());
            lock.publish({named ? named : ::getpid(), false, {}});
            char byte;
            if (untilClosed)
                (void)!::read(hold[0], &byte, 1);
            else
                std::this_thread::sleep_for(100ms);  // the moment, not a wait
            _exit(0);
        }
        return pid;
    };
    auto published = [&] {
        return test::waitUntil(
            [&] { return SingleInstanceLock::readHolder(dir.path(), 0ms).has_value(); }, 20s);
    };
    pid_t stray = holder(dead, false);
    ASSERT_TRUE(published());
    EXPECT_EQ(SingleInstanceLock::acquireOutlastingTheGone(dir.path(), 30s).result(),
              Result::Acquired);
    ::waitpid(stray, nullptr, 0);

    pid_t live = holder(0, true);
    ASSERT_TRUE(published());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SingleInstanceLock::acquireOutlastingTheGone(dir.path(), 30s).result(),
              Result::AlreadyRunning);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
    ::close(hold[1]);
    ::close(hold[0]);
    ::waitpid(live, nullptr, 0);
}

// -- the doorbell

// A raw caller: connected to path, having said what (maybe nothing). -1 when
// the call did not go through.
int call(const std::string& path, std::string_view what = {}) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        (!what.empty() && ::send(fd, what.data(), what.size(), MSG_NOSIGNAL) < 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True once the doorbell has hung up on this caller (without waiting).
bool hungUp(int fd) {
    pollfd in{fd, POLLIN, 0};
    char byte;
    return ::poll(&in, 1, 0) == 1 && ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

// Runs the doorbell as the window's event loop does (wait until its fd is
// readable, then answer) until done holds; true when asked to come forward.
bool serve(InstanceDoorbell& bell, const std::function<bool()>& done,
           std::chrono::milliseconds bound = 20s) {
    bool shown = false;
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!done() && std::chrono::steady_clock::now() < end) {
        pollfd in{bell.fd(), POLLIN, 0};
        if (::poll(&in, 1, 10) == 1) shown = bell.answer() || shown;
    }
    return shown;
}

// A second start ringing from another thread while this one serves the
// doorbell: what it heard, and whether the window was asked forward.
struct Rung {
    InstanceDoorbell::RingResult result;
    bool shown = false;
};
Rung ringWhileServing(InstanceDoorbell& bell, const std::string& path) {
    auto ringing = std::async(std::launch::async, [path] { return InstanceDoorbell::ring(path); });
    Rung rung;
    rung.shown = serve(bell, [&] { return ringing.wait_for(0s) == std::future_status::ready; });
    rung.result = ringing.get();
    return rung;
}

TEST(InstanceDoorbell, OnlyTheSameUsersSecondStartIsAnswered) {
    test::TempDir dir;
    const std::string path = dir.file(InstanceDoorbell::kFileName);
    EXPECT_EQ(InstanceDoorbell::ring(path).rang, Rang::NobodyListens) << "nobody listens";
    // A crash leaves the socket behind: it neither answers nor blocks a new start.
    int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(stale);
    EXPECT_EQ(InstanceDoorbell::ring(path).rang, Rang::NobodyListens);

    auto bell = InstanceDoorbell::listen({path});
    ASSERT_TRUE(bell.listening()) << bell.problem();
    EXPECT_EQ(bell.path(), path);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(bell.answer()) << "nobody rang";
    Rung rung = ringWhileServing(bell, path);
    EXPECT_EQ(rung.result.rang, Rang::Answered) << rung.result.problem;
    EXPECT_TRUE(rung.shown);

    if (::getuid() == 0) {
        // Another user, even where the socket's mode would let them in.
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
        int done[2];
        ASSERT_EQ(::pipe(done), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            int fd = ::setuid(65534) == 0 ? call(path, "show\n") : -1;
            char byte = fd >= 0 ? 1 : 0;
            (void)!::write(done[1], &byte, 1);
            // Stays on the line until the doorbell hangs up.
            while (fd >= 0 && ::recv(fd, &byte, 1, 0) > 0) {
            }
            _exit(fd >= 0 ? 0 : 1);
        }
        ::close(done[1]);
        char called = 0;
        ASSERT_EQ(::read(done[0], &called, 1), 1);
        ::close(done[0]);
        ASSERT_EQ(called, 1) << "the call itself went through";
        int status = 0;
        EXPECT_FALSE(serve(bell, [&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    InstanceDoorbell moved = std::move(bell);
    EXPECT_FALSE(bell.listening());  // NOLINT(bugprone-use-after-move): moved-from is empty
    { InstanceDoorbell gone = std::move(moved); }
    EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the socket goes with the last owner";
}

TEST(InstanceDoorbell, ACallerThatNeverSpeaksDoesNotHoldUpTheWindow) {
    test::TempDir dir;
    const std::string path = dir.file("bell.sock");
    // A deadline far beyond the test: only not waiting lets the ring through.
    auto bell = InstanceDoorbell::listen({path}, std::chrono::hours(1));
    ASSERT_TRUE(bell.listening()) << bell.problem();
    int silent = call(path);
    ASSERT_GE(silent, 0);
    EXPECT_FALSE(serve(bell, [&] { return bell.callers() == 1; }));
    ASSERT_EQ(bell.callers(), 1u);
    EXPECT_FALSE(bell.answer()) << "returns at once, the silent caller still held";
    EXPECT_FALSE(hungUp(silent));

    Rung rung = ringWhileServing(bell, path);
    EXPECT_EQ(rung.result.rang, Rang::Answered) << rung.result.problem;
    EXPECT_TRUE(rung.shown);
    EXPECT_FALSE(hungUp(silent)) << "answered while the silent caller still waits";
    EXPECT_EQ(bell.callers(), 1u);

    ::close(silent);
}

TEST(InstanceDoorbell, WhatIsNotOursAtItsPlaceIsLeftAloneAndAnotherPlaceTaken) {
    test::TempDir dir;
    const std::string first = dir.file("first.sock"), second = dir.file("second.sock");
    // A folder where the socket should be.
    ASSERT_TRUE(std::filesystem::create_directory(first));
    test::TempDir::writeTo(first + "/kept", "x");
    auto bell = InstanceDoorbell::listen({first, second});
    ASSERT_TRUE(bell.listening()) << bell.problem();
    EXPECT_EQ(bell.path(), second);
    EXPECT_EQ(test::readFile(first + "/kept"), "x");
    EXPECT_EQ(InstanceDoorbell::ring(first).rang, Rang::NobodyListens);
    EXPECT_EQ(ringWhileServing(bell, second).result.rang, Rang::Answered);
    bell = InstanceDoorbell();
    EXPECT_TRUE(std::filesystem::is_directory(first));

    // A file there, and a folder at the other place: nowhere to listen, and it says why.
    std::filesystem::remove_all(first);
    test::TempDir::writeTo(first, "a user's file");
    ASSERT_TRUE(std::filesystem::create_directory(second));
    auto none = InstanceDoorbell::listen({first, second});
    EXPECT_FALSE(none.listening());
    EXPECT_EQ(none.fd(), -1);
    EXPECT_FALSE(none.answer());
    EXPECT_NE(none.problem().find(first + " is a file"), std::string::npos) << none.problem();
    EXPECT_NE(none.problem().find(second + " is a folder"), std::string::npos) << none.problem();
    EXPECT_EQ(test::readFile(first), "a user's file");
    EXPECT_FALSE(InstanceDoorbell::listen({}).listening());

    // A socket in use is not taken over: its own doorbell still answers.
    std::filesystem::remove(first);
    std::filesystem::remove(second);
    auto live = InstanceDoorbell::listen({first});
    ASSERT_TRUE(live.listening());
    auto other = InstanceDoorbell::listen({first, second});
    EXPECT_EQ(other.path(), second);
    EXPECT_EQ(ringWhileServing(live, first).result.rang, Rang::Answered);
}

}  // namespace
}  // namespace zorvex
