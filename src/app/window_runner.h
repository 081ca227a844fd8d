#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "platform/instance_doorbell.h"
#include "ui/session/core_session.h"
#include "ui/toolkit/qt_executor.h"

namespace zorvex {

namespace ui {
class CZorvexVRClientDlg;
}

// The main window over the application's core, as the window runner runs
// it; the end-to-end tests build it the same way. Needs a QApplication; GUI
// thread only.
class WindowedApplication {
public:
    WindowedApplication();
    ~WindowedApplication();  // shutDown
    WindowedApplication(const WindowedApplication&) = delete;
    WindowedApplication& operator=(const WindowedApplication&) = delete;

    // Starts the core, builds the session and the window over it, restores
    // the library and the queue, and shows the window. Fails as
    // Application::start does.
    StartupResult open(const std::string& home, const std::vector<std::string>& addresses);
    // The window, once open succeeded.
    ui::CZorvexVRClientDlg& window() { return *window_; }
    Application& application() { return application_; }
    ui::CoreSession& session() { return *session_; }
    // The window goes, then the session, then the core shuts down in order.
    // Idempotent.
    void shutDown();

private:
    // Outlives every worker that posts to the executor: the application
    // joins them in its shutDown, before this goes.
    QObject executorContext_;
    QtExecutor executor_{&executorContext_};
    Application application_;
    std::unique_ptr<ui::CoreSession> session_;
    std::unique_ptr<ui::CZorvexVRClientDlg> window_;
};

// Whether Qt can find a display: DISPLAY, WAYLAND_DISPLAY or an explicit
// QT_QPA_PLATFORM. Without one the window cannot open.
bool HasDisplay();

// Opens the main window over the application's core and runs until the
// window closes for good, then shuts down in order. Returns the process
// exit code: 1 when there is no display or the home folder cannot be used.
// A second start ringing the doorbell (when it listens) brings the window
// forward; the doorbell is answered on the GUI thread, never waiting for a
// caller, and goes when the run ends. Called from main() on the main thread,
// once.
int runWindowed(const CommandLine& line, const std::string& home, InstanceDoorbell doorbell,
                int& argc, char** argv);

}  // namespace zorvex
