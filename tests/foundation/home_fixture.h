#pragma once

#include <gtest/gtest.h>

#include <string>

#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "support/test_support.h"

namespace zorvex::test {

// A fresh home folder per test, with the process-wide values reset and the
// autostart entry aimed at the temporary folder, never the user's own.
class HomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = dir_.file("home");
        SetModuleDir(home_);
        SetLocalMac("");
        SetAutostartFolder(dir_.file("autostart"));
    }

    std::string homeFile(const std::string& relative) const { return home_ + "/" + relative; }
    std::string autostartEntry() const { return dir_.file("autostart/ZorvexVRClient.desktop"); }

    TempDir dir_;
    std::string home_;
};

}  // namespace zorvex::test
