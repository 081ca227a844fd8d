#include "app/window_runner.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/application.h"
#include "foundation/constants.h"
#include "foundation/home_folder.h"
#include "platform/environment.h"
#include "platform/file_util.h"
#include "platform/instance_doorbell.h"
#include "platform/termination_signal.h"
#include "ui/session/core_session.h"
#include "ui/toolkit/qt_executor.h"
#include "ui/toolkit/qt_translations.h"
#include "ui/toolkit/skin.h"
#include "ui/windows/zorvex_vr_client_dlg.h"

namespace zorvex {

namespace {

constexpr const char* kNoDisplay =
    "zorvex: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set);\n"
    "        to share videos without a window, run: zorvex --headless\n";

// Qt ends the process when its platform plugin cannot reach the display it
// was given; say what happened and how to go on instead of dumping core.
void platformMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(1);
    }
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(ui::skinPath(QStringLiteral("Icon/app_%1.png").arg(size)), QSize(size, size));
    }
    return icon;
}

}  // namespace

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        auto value = environmentVariable(name);
        if (value && !value->empty()) return true;
    }
    return false;
}

WindowedApplication::WindowedApplication() = default;

WindowedApplication::~WindowedApplication() {
    shutDown();
}

StartupResult WindowedApplication::open(const std::string& home,
                                        const std::vector<std::string>& addresses) {
    Application::Options options;
    options.home = home;
    options.addresses = addresses;
    options.executor = &executor_;
    StartupResult started = application_.start(options);
    if (!started) return started;
    // The skin the start-up found for this home (a --home folder may ship its own).
    if (std::string skin = FindResourceFolder("SkinRes"); isDirectory(skin))
        ui::setSkinRoot(QString::fromStdString(skin));
    session_ = std::make_unique<ui::CoreSession>(application_.frontParts());
    window_ = std::make_unique<ui::CZorvexVRClientDlg>(*session_);
    application_.restore();
    window_->show();
    return started;
}

void WindowedApplication::shutDown() {
    window_.reset();
    session_.reset();
    application_.shutDown();
}

int runWindowed(const CommandLine& line, const std::string& home, InstanceDoorbell doorbell,
                int& argc, char** argv) {
    if (!HasDisplay()) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    // SIGTERM (a logout, systemctl) and SIGINT end the run as quitting does:
    // conversions stop quietly, link files are rewritten. Watched from the
    // first moment: one that comes during the start waits for the loop
    // rather than kill the process halfway.
    const int terminationFd = WatchTerminationSignals();
    QtMessageHandler previous = qInstallMessageHandler(platformMessages);
    QApplication qtApp(argc, argv);
    qInstallMessageHandler(previous);
    QApplication::setApplicationName(QStringLiteral("zorvex"));
    QApplication::setApplicationDisplayName(QString::fromUtf8(kProductName));
    // Wayland compositors find the menu entry, and so the icon, by this name.
    QApplication::setDesktopFileName(QStringLiteral("com.zorvex.assistant"));
    QApplication::setWindowIcon(applicationIcon());
    if (!ui::InstallQtTranslations(qtApp))
        std::fputs(
            "zorvex: Qt's Chinese translations are missing (qt6-translations-l10n); "
            "Qt's own dialogs show English\n",
            stderr);

    WindowedApplication running;
    if (StartupResult started = running.open(home, line.addresses); !started) {
        QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kProductName),
                        QString::fromStdString(started.message));
        box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
        box.exec();
        std::fprintf(stderr, "zorvex: %s\n", started.message.c_str());
        return 1;
    }
    // exit, not quit: Qt's quit would first ask every window to close, and
    // the main window answers a close with its exit prompt.
    QObject::connect(&running.window(), &ui::CZorvexVRClientDlg::closed, &qtApp,
                     [] { QCoreApplication::exit(0); });

    std::unique_ptr<QSocketNotifier> ringing;
    if (doorbell.listening()) {
        // Readable for callers, their words and their deadlines alike;
        // answer() takes what is there and returns at once.
        ringing = std::make_unique<QSocketNotifier>(doorbell.fd(), QSocketNotifier::Read);
        QObject::connect(ringing.get(), &QSocketNotifier::activated, &qtApp, [&] {
            if (doorbell.answer()) running.window().BringToFront();
        });
    }

    std::unique_ptr<QSocketNotifier> termination;
    if (terminationFd >= 0) {
        termination = std::make_unique<QSocketNotifier>(terminationFd, QSocketNotifier::Read);
        QObject::connect(termination.get(), &QSocketNotifier::activated, &qtApp,
                         [] { QCoreApplication::exit(0); });
    }
    const int code = QApplication::exec();
    running.shutDown();
    return code;
}

}  // namespace zorvex
