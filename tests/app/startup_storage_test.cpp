#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/startup.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "support/child_process.h"
#include "support/test_support.h"

// Storage that cannot be used stops the start before anything listens, so
// these tests bind nothing and need no free ports.
namespace zorvex {
namespace {

class StorageFailure : public ::testing::Test {
protected:
    void SetUp() override {
        SetAutostartFolder(autostart.path());
        // Our own lock folder: a Zorvex the user runs must not make ours step aside.
        ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    }

    test::TempDir home, autostart, runtime, logs;
};

TEST_F(StorageFailure, StartUpStopsBeforeTheServiceWithOneLineForTheWindow) {
    home.write("file_root", "a file where the document root belongs");
    AppCore core;
    TaskQueue executor;
    StartupOptions options;
    options.home = home.path();
    options.addresses = {"127.0.0.1"};
    options.executor = &executor;
    StartupResult result = StartUpSequence(core, options);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message,
              "cannot create the folder " + home.file("file_root") + ": Not a directory");
    EXPECT_FALSE(core.service);
    ShutDownSequence(core);
}

TEST_F(StorageFailure, HeadlessPrintsTheLineAndExitsWithOne) {
    home.write("file_root", "a file where the document root belongs");
    test::ChildProcess zorvex(ZORVEX_BINARY,
                              {"--headless", "--address", "127.0.0.1", "--home", home.path()},
                              logs.file("run.log"));
    EXPECT_EQ(zorvex.waitForExit(), 1);
    EXPECT_EQ(zorvex.output(),
              "zorvex: cannot create the folder " + home.file("file_root") + ": Not a directory\n");
}

TEST_F(StorageFailure, AReadOnlyHomeIsNamed) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    std::filesystem::permissions(
        home.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    test::ChildProcess zorvex(ZORVEX_BINARY,
                              {"--headless", "--address", "127.0.0.1", "--home", home.path()},
                              logs.file("run.log"));
    auto status = zorvex.waitForExit();
    std::filesystem::permissions(home.path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(zorvex.output(),
              "zorvex: cannot write to the folder " + home.path() + ": Permission denied\n");
}

}  // namespace
}  // namespace zorvex
