#include "platform/single_instance_lock.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace
}  // namespace zorvex
