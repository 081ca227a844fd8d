#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "../service/phone_link.h"
#include "core_kit.h"
#include "support/test_support.h"
#include "ui/session/core_session.h"
#include "ui/toolkit/qt_executor.h"

namespace zorvex::test {

// Real core objects on the GUI thread for the views: the kit's library and
// queue run on a QtExecutor, as in the application, and the views reach
// them through a session.
class ViewFixture : public ::testing::Test {
protected:
    // The page's content area in the 972 x 630 window: 808 x 526.
    static constexpr int kWidth = 808;
    static constexpr int kHeight = 526;

    // Runs the GUI thread's events until the condition holds.
    static bool pump(const std::function<bool()>& condition,
                     std::chrono::milliseconds bound = std::chrono::minutes(2)) {
        return waitUntil(
            [&] {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                return condition();
            },
            bound);
    }

    std::string copyClip(const std::string& from, const std::string& name) {
        std::string to = videos.file(name);
        std::filesystem::create_directories(std::filesystem::path(to).parent_path());
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        return to;
    }

    TempDir home, videos;
    QObject context;
    QtExecutor executor{&context};
    std::unique_ptr<CoreKit> kit =
        std::make_unique<CoreKit>(home.path(), executor, test::runAddress(1));
    std::unique_ptr<ui::CoreSession> session = std::make_unique<ui::CoreSession>(kit->parts());
};

}  // namespace zorvex::test
