#include "platform/single_instance_lock.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/instance_doorbell.h"
#include "support/test_support.h"

extern char** environ;

namespace zorvex {
namespace {

using Result = SingleInstanceLock::Result;

// What a second process sees when it tries the lock: its exit status is the result.
Result tryInAnotherProcess(const std::string& folder) {
    pid_t pid = ::fork();
    if (pid == 0) _exit(static_cast<int>(SingleInstanceLock::acquire(folder).result()));
    int status = 0;
    ::waitpid(pid, &status, 0);
    return static_cast<Result>(WEXITSTATUS(status));
}

TEST(SingleInstanceLock, ASecondInstanceIsRefusedUntilTheFirstReleases) {
    test::TempDir dir;
    SingleInstanceLock first = SingleInstanceLock::acquire(dir.path());
    ASSERT_EQ(first.result(), Result::Acquired);
    EXPECT_TRUE(first.held());
    EXPECT_EQ(SingleInstanceLock::acquire(dir.path()).result(), Result::AlreadyRunning);
    EXPECT_EQ(tryInAnotherProcess(dir.path()), Result::AlreadyRunning);

    SingleInstanceLock moved = std::move(first);
    EXPECT_EQ(tryInAnotherProcess(dir.path()), Result::AlreadyRunning);
    moved.release();
    EXPECT_EQ(tryInAnotherProcess(dir.path()), Result::Acquired);
    EXPECT_EQ(SingleInstanceLock::acquire(dir.file("missing")).result(), Result::Unavailable);
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

TEST(InstanceDoorbell, OnlyTheSameUsersSecondStartIsAnswered) {
    test::TempDir dir;
    const std::string path = dir.file(InstanceDoorbell::kFileName);
    EXPECT_FALSE(InstanceDoorbell::ring(dir.path())) << "nobody listens";
    // A crash leaves the socket behind: it neither answers nor blocks a new start.
    int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(stale);
    EXPECT_FALSE(InstanceDoorbell::ring(dir.path()));

    auto bell = InstanceDoorbell::listen(dir.path());
    ASSERT_TRUE(bell.listening());
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(bell.answer()) << "nobody rang";
    EXPECT_TRUE(InstanceDoorbell::ring(dir.path()));
    EXPECT_TRUE(bell.answer());

    if (::getuid() == 0) {
        // Another user, even where the socket's mode would let them in.
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
        pid_t pid = ::fork();
        if (pid == 0) _exit(::setuid(65534) == 0 && InstanceDoorbell::ring(dir.path()) ? 0 : 1);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_EQ(WEXITSTATUS(status), 0) << "the call itself went through";
        EXPECT_FALSE(bell.answer());
    }
    InstanceDoorbell moved = std::move(bell);
    { InstanceDoorbell gone = std::move(moved); }
    EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the socket goes with the last owner";
}

}  // namespace
}  // namespace zorvex
