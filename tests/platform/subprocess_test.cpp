#include "platform/subprocess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <vector>

#include "platform/error_text.h"
#include "support/test_support.h"

extern char** environ;

namespace zorvex {
namespace {

// A process that has ended is gone even while it waits as a zombie for a
// parent (or an init) to reap it.
bool gone(pid_t pid) {
    if (::kill(pid, 0) != 0) return errno == ESRCH;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    for (int i = 0; i < 3 && stat >> field; ++i) {
    }
    return field == "Z";
}

// Reads the child's output until it holds a whole first line.
std::string firstLine(Subprocess& child) {
    std::string out;
    test::waitUntil([&] {
        child.read(out, std::chrono::milliseconds(100));
        return out.find('\n') != std::string::npos;
    });
    return out.substr(0, out.find('\n'));
}

TEST(Subprocess, TerminateEndsTheWholeGroupAndWaitGivesTheSignal) {
    // The shell prints the pid of the sleep it started, then waits for it.
    auto started = Subprocess::start({"sh", "-c", "sleep 300 & echo $!; wait"});
    ASSERT_TRUE(started.process) << started.error.text();
    Subprocess& shell = *started.process;
    pid_t grandchild = std::stoi(firstLine(shell));
    ASSERT_FALSE(gone(grandchild));
    shell.terminate();
    EXPECT_EQ(shell.wait(), 128 + SIGKILL);
    EXPECT_TRUE(test::waitUntil([&] { return gone(grandchild); }));
    EXPECT_EQ(shell.wait(), 128 + SIGKILL);  // once reaped, the status stays
}

TEST(Subprocess, WaitReapsOnlyItsOwnChild) {
    // A child of this process that no Subprocess knows, still running.
    pid_t bystander = -1;
    char* const sleeper[] = {const_cast<char*>("sleep"), const_cast<char*>("300"), nullptr};
    ASSERT_EQ(::posix_spawnp(&bystander, "sleep", nullptr, nullptr, sleeper, environ), 0);

    auto started = Subprocess::start({"sh", "-c", "exit 7"});
    ASSERT_TRUE(started.process);
    EXPECT_EQ(started.process->wait(), 7);
    started.process.reset();

    int status = 0;
    EXPECT_EQ(::waitpid(bystander, &status, WNOHANG), 0);  // neither reaped nor ended
    ::kill(bystander, SIGKILL);
    EXPECT_EQ(::waitpid(bystander, &status, 0), bystander);
    EXPECT_TRUE(WIFSIGNALED(status));
}

TEST(Subprocess, OutputEndsWhenTheChildClosesItAndDestructionEndsARunningChild) {
    auto printer = Subprocess::start({"sh", "-c", "echo out; echo err >&2"}).process;
    ASSERT_TRUE(printer);
    std::string out;
    while (printer->read(out, std::chrono::milliseconds(1000))) {
    }
    EXPECT_EQ(out, "out\nerr\n");
    EXPECT_EQ(printer->wait(), 0);

    auto sleeper = Subprocess::start({"sleep", "300"}).process;
    ASSERT_TRUE(sleeper);
    pid_t pid = sleeper->pid();
    sleeper.reset();
    EXPECT_TRUE(gone(pid));
}

TEST(Subprocess, TheChildDiesWithItsParent) {
    // The parent is killed the way a crash ends the application: no
    // destructor runs, so only the kernel can end the child.
    auto parent = Subprocess::start({ZORVEX_SUBPROCESS_PARENT}).process;
    ASSERT_TRUE(parent);
    std::string line = firstLine(*parent);
    ASSERT_FALSE(line.empty());
    pid_t child = std::stoi(line);
    ASSERT_FALSE(gone(child));
    ::kill(parent->pid(), SIGKILL);
    EXPECT_EQ(parent->wait(), 128 + SIGKILL);
    EXPECT_TRUE(test::waitUntil([&] { return gone(child); }, std::chrono::seconds(30)));
    ::kill(child, SIGKILL);  // not left running should the test fail
}

TEST(Subprocess, ProgramsAreFoundOnPathAndStartWithDefaultSignalsAndNoneBlocked) {
    // What the headless runner sets up before it starts anything.
    sigset_t blocked, saved;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &saved), 0);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGINT, &ignore, &previous), 0);
    auto started = Subprocess::start({"grep", "-E", "^(SigBlk|SigIgn)", "/proc/self/status"});
    ::sigaction(SIGINT, &previous, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ASSERT_TRUE(started.process) << started.error.text();
    std::string out;
    while (started.process->read(out, std::chrono::milliseconds(1000))) {
    }
    EXPECT_EQ(started.process->wait(), 0);
    EXPECT_NE(out.find("SigBlk:\t0000000000000000\n"), std::string::npos) << out;
    // Bit SIGINT - 1 of the ignored set.
    auto ignored = out.find("SigIgn:\t");
    ASSERT_NE(ignored, std::string::npos) << out;
    unsigned long long mask = std::stoull(out.substr(ignored + 8, 16), nullptr, 16);
    EXPECT_EQ(mask & (1ull << (SIGINT - 1)), 0u) << out;
}

TEST(Subprocess, FailuresToStartSayWhichStepFailedAndWhy) {
    using Kind = SubprocessError::Kind;
    auto none = Subprocess::start({});
    EXPECT_FALSE(none.process);
    EXPECT_EQ(none.error.kind, Kind::NoProgram);

    auto missing = Subprocess::start({"/nonexistent/zorvex-no-such-program"});
    EXPECT_FALSE(missing.process);
    EXPECT_EQ(missing.error.kind, Kind::Spawn);
    EXPECT_EQ(missing.error.error, ENOENT);
    EXPECT_EQ(missing.error.text(), "spawn: " + errorText(ENOENT));
    auto unknown = Subprocess::start({"zorvex-no-such-program"});
    EXPECT_FALSE(unknown.process);
    EXPECT_EQ(unknown.error.error, ENOENT);

    // With every descriptor taken, the pipe is what fails.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken.push_back(fd);
    auto noPipe = Subprocess::start({"true"});
    for (int fd : taken) ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_FALSE(noPipe.process);
    EXPECT_EQ(noPipe.error.kind, Kind::Pipe);
    EXPECT_EQ(noPipe.error.error, EMFILE);
}

TEST(ErrorText, NamesTheErrorOnAnyValue) {
    EXPECT_EQ(errorText(ENOENT), "No such file or directory");
    EXPECT_FALSE(errorText(123456).empty());
}

}  // namespace
}  // namespace zorvex
