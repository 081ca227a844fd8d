#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/log_recorder.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "platform/home_layout.h"
#include "support/test_support.h"
#include "update/update_context.h"

namespace zorvex::test {

// A fresh home folder after the start-up steps, with the log thread running, and no proxy: every
// request of these tests goes straight to 127.0.0.1.
class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
        home_ = dir_.file("home");
        ASSERT_TRUE(InitWorkingDirectories(home_));
        ASSERT_TRUE(StartLogThread());
    }
    void TearDown() override { StopLogThread(); }

    // What app/ hands the update module, over this fixture's home and server.
    UpdateContext context() {
        UpdateContext made;
        made.updateServer = [this] { return updateServer_; };
        made.mac = [] { return std::string("00:1A:2B:3C:4D:5E"); };
        made.downloadFolder = [this] { return HomeLayout(home_).downloadFolder(); };
        return made;
    }

    // Stops the log thread, so every line posted so far is on disk, and
    // returns all of today's logs.
    std::string logText() {
        StopLogThread();
        std::string text;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(home_ + "/PTTLog", error)) {
            text += readFile(entry.path().string());
        }
        return text;
    }

    TempDir dir_;
    std::string home_;
    std::string updateServer_;  // host[:port] the version check asks
};

}  // namespace zorvex::test
