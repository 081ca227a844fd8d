#include "platform/keep_awake.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "platform/file_util.h"
#include "support/test_support.h"

namespace zorvex {
namespace {

// Stands in for systemd-inhibit: records its arguments and process id, then
// runs the command it was given, as the real one does.
std::string writeFakeInhibit(const test::TempDir& dir) {
    std::string path = dir.write("fake-inhibit",
                                 "#!/bin/sh\n"
                                 "for last; do :; done\n"
                                 "echo \"$$ $*\" >> \"$(dirname \"$0\")/started\"\n"
                                 "exec $last\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

pid_t startedPid(const std::string& line) {
    return static_cast<pid_t>(std::stol(line.substr(0, line.find(' '))));
}

TEST(KeepAwake, HoldsOneInhibitorUntilReleased) {
    test::TempDir dir;
    std::vector<std::string> logged;
    InhibitKeepAwake::Options options;
    options.program = writeFakeInhibit(dir);
    options.busSocket = dir.write("bus", "");
    options.who = "Zorvex助手";
    options.log = [&](const std::string& line) { logged.push_back(line); };
    InhibitKeepAwake keepAwake(options);

    keepAwake.hold();
    keepAwake.hold();
    ASSERT_TRUE(keepAwake.holding());
    std::string started = dir.file("started");
    ASSERT_TRUE(test::waitUntil([&] { return !test::readFile(started).empty(); }));
    std::string line = test::readFile(started);
    EXPECT_NE(
        line.find(" --what=sleep:idle --who=Zorvex助手 --why=Converting videos --mode=block cat\n"),
        std::string::npos)
        << line;
    pid_t pid = startedPid(line);
    EXPECT_EQ(::kill(pid, 0), 0);

    keepAwake.release();
    EXPECT_FALSE(keepAwake.holding());
    EXPECT_EQ(::kill(pid, 0), -1);  // ended and reaped
    EXPECT_EQ(errno, ESRCH);
    keepAwake.release();

    EXPECT_EQ(keepAwake.obstacle(), KeepAwake::Obstacle::None);
    EXPECT_TRUE(logged.empty());
}

TEST(KeepAwake, WithoutABusDoesNothingAndSaysSoOnce) {
    test::TempDir dir;
    std::vector<std::string> logged;
    InhibitKeepAwake::Options options;
    options.program = writeFakeInhibit(dir);
    options.busSocket = dir.file("no-bus");
    options.log = [&](const std::string& line) { logged.push_back(line); };
    InhibitKeepAwake keepAwake(options);
    keepAwake.hold();
    keepAwake.hold();
    EXPECT_FALSE(keepAwake.holding());
    keepAwake.release();
    EXPECT_FALSE(pathExists(dir.file("started")));
    EXPECT_EQ(keepAwake.obstacle(), KeepAwake::Obstacle::NoSystemBus);
    EXPECT_EQ(logged.size(), 1u);
}

}  // namespace
}  // namespace zorvex
