#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "foundation/log_recorder.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "scripted_session.h"
#include "support/test_support.h"
#include "update/update_context.h"
#include "update/update_download.h"

namespace zorvex::test {

// A fresh home folder after the start-up steps (config.ini, the download
// folder), the log thread running, no proxy: every request of these tests
// goes to 127.0.0.1 only. The autostart entry is aimed at the temporary folder.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
        SetAutostartFolder(dir_.file("autostart"));
        home_ = dir_.file("home");
        ASSERT_TRUE(InitWorkingDirectories(home_));
        SetLocalMac("00:1A:2B:3C:4D:5E");
        ASSERT_TRUE(StartLogThread());
    }
    void TearDown() override { StopLogThread(); }

    // The update module's settings as the application wires them, kept for
    // the sessions of the test.
    const UpdateContext* updateContext() {
        update_.updateServer = [] { return g_pSettings()->UpdateServer; };
        update_.mac = [] { return GetLocalMac(); };
        update_.downloadFolder = [] { return GetDownloadDir(); };
        return &update_;
    }

    // The day's log as written so far.
    std::string logText() {
        StopLogThread();  // written out
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(home_ + "/PTTLog"))
            all += test::readFile(entry.path().string());
        StartLogThread();
        return all;
    }

    // Runs the GUI thread's events until the condition holds.
    static bool pump(const std::function<bool()>& condition,
                     std::chrono::milliseconds bound = std::chrono::seconds(20)) {
        return waitUntil(
            [&] {
                QCoreApplication::processEvents();
                return condition();
            },
            bound);
    }

    TempDir dir_;
    std::string home_;
    UpdateContext update_;
    DownloadOptions download_;  // what the test's sessions transfer with
};

}  // namespace zorvex::test
