// zorvex-window-demo [--home DIR] [--prepare] [--scene NAME] [--address A]... [--phones N]
//                    [--shadow auto|strips|margin] [--tray auto|yes|no] [--exit-type N]
//                    [--check failed|latest|URL] [--version V]
// Opens the real main window with the real fly-screen page over real core
// objects (library, queue, a LAN service on a loopback address) and puts it
// into one scene, so that a desktop can be photographed:
//   main      the library view (default)
//   convert   the conversion view
//   settings  the settings page
//   menu      the library view with the address menu open
//   delete    the library view asking whether to delete two cards
//   checking  the settings page while a check runs (it never ends)
//   check     the settings page, then "检测更新" is clicked (see --check)
//   prompt    the exit prompt (ExitWndType 1)
//   toast     the toast "服务器连接失败"
//   balloon   the tray balloon "转码已完成"
//   hidden    hidden to the tray (or minimised where there is none)
// --prepare fills DIR with a dozen videos made by FFmpeg, shared with their
// thumbnails and one of them converted, and exits; a window over a prepared
// home then converts two of them, one task fails and one is interrupted, so
// the queue shows every state. An unprepared home shows an empty library.
// --address gives the address menu (default 127.84.0.1, .2 and .3, all on
// loopback); the service starts on the first. --phones N connects N phones
// of the demo's own to it. --check URL offers version V (default 9.9.9) at
// URL, so the download dialog runs against it. Prints "window: X Y W H" once
// the scene's content is ready. Nothing is sent anywhere but to loopback
// and to the URL given. SIGTERM and SIGINT end it cleanly (its FFmpeg too).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Before any Qt header: the service's slots() is a Qt keyword.
#include "service/service.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include "core_kit.h"
#include "foundation/log_recorder.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/system_info.h"
#include "library/video_library.h"
#include "platform/utf8_locale.h"
#include "populated_home.h"
#include "scripted_session.h"
#include "service/catalogue_restore.h"
#include "service/link_frame.h"
#include "transcode/conversion_queue.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/menu_dlg.h"
#include "ui/toolkit/msg_box_dlg.h"
#include "ui/toolkit/qt_executor.h"
#include "ui/windows/left_menu_dlg.h"
#include "ui/windows/right_video_dlg.h"
#include "ui/windows/set_content_dlg.h"
#include "ui/windows/zorvex_vr_client_dlg.h"

using namespace zorvex;
using namespace zorvex::ui;

namespace {

std::atomic<bool> stopRequested{false};

QString option(const QStringList& args, const QString& name, const QString& fallback) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

std::vector<std::string> addressesOf(const QStringList& args) {
    std::vector<std::string> out;
    for (qsizetype i = 0; i + 1 < args.size(); ++i)
        if (args[i] == QLatin1String("--address")) out.push_back(args[i + 1].toStdString());
    if (out.empty()) out = {"127.84.0.1", "127.84.0.2", "127.84.0.3"};
    return out;
}

bool pumpUntil(const std::function<bool()>& condition, int seconds) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (condition()) return true;
        if (stopRequested || clock.elapsed() >= qint64{seconds} * 1000) return false;
    }
}

// A phone's end of the link: a connection the service counts.
int connectPhone(const std::string& address) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(wire::kLinkPort);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// Chooses an entry as a click on the left menu would.
void choose(CLeftMenuDlg& menu, int code) {
    if (code == CLeftMenuDlg::MenuConvert) {
        const QPointF at = CLeftMenuDlg::kConvertRect.center();
        QMouseEvent release(QEvent::MouseButtonRelease, at, at, menu.mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&menu, &release);
        return;
    }
    const int id =
        code == CLeftMenuDlg::MenuSettings ? CLeftMenuDlg::IdSettings : CLeftMenuDlg::IdFly;
    emit menu.button(id)->clicked(id);
}

void sendMouse(QWidget& widget, QEvent::Type type, QPoint at) {
    const QPointF local(at);
    QMouseEvent event(type, local, local, widget.mapToGlobal(local), Qt::LeftButton,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
}

void checkOnly(VideoLibrary& library, std::initializer_list<const char*> names) {
    library.SetAllChecked(false);
    for (const auto& item : library.items())
        for (const char* name : names)
            if (item.card->name() == name) library.ToggleChecked(item.itemId);
}

}  // namespace

int main(int argc, char** argv) {
    EnsureUtf8Locale();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString scene = option(args, QStringLiteral("--scene"), QStringLiteral("main"));
    const QString shadow = option(args, QStringLiteral("--shadow"), QStringLiteral("auto"));
    const QString tray = option(args, QStringLiteral("--tray"), QStringLiteral("auto"));
    const int exitType = option(args, QStringLiteral("--exit-type"), QStringLiteral("1")).toInt();
    const int phoneCount = option(args, QStringLiteral("--phones"), QStringLiteral("0")).toInt();
    const QString check = option(args, QStringLiteral("--check"), QStringLiteral("failed"));
    const std::string version =
        option(args, QStringLiteral("--version"), QStringLiteral("9.9.9")).toStdString();
    const std::vector<std::string> addresses = addressesOf(args);

    std::signal(SIGTERM, [](int) { stopRequested = true; });
    std::signal(SIGINT, [](int) { stopRequested = true; });
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &app, [] {
        // exit, not quit: quit asks the windows to close, which asks the user.
        if (stopRequested) QCoreApplication::exit(0);
    });
    stopWatch.start(100);

    QTemporaryDir temporary;
    const std::string home = option(args, QStringLiteral("--home"), temporary.path()).toStdString();
    const bool prepare = args.contains(QStringLiteral("--prepare"));
    // An interrupted task the queue file will give back at the start.
    if (!prepare && demo::IsPrepared(home)) demo::AddUnfinishedTask(home);

    // The application's start-up sequence, its service on the first address.
    QObject guiContext;
    QtExecutor executor(&guiContext);
    test::CoreKit kit(home, executor, addresses.front());

    if (prepare) {
        try {
            if (!demo::IsPrepared(home)) demo::Prepare(home, kit.library(), kit.queue(), pumpUntil);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zorvex-window-demo: %s\n", e.what());
            return 1;
        }
        std::printf("prepared: %s\n", home.c_str());
        return 0;
    }

    VideoLibrary& library = kit.library();
    ConversionQueue& queue = kit.queue();

    static std::atomic<bool> quitting{false};
    g_pSettings()->ExitWndType = exitType;
    CoreParts parts = kit.parts();
    parts.addresses = addresses;
    test::ScriptedSession session(parts);
    session.checkScript = [check, scene, version] {
        UpdateCheck result;
        if (scene == QLatin1String("checking")) {
            while (!quitting) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (check == QLatin1String("latest")) {
            result.outcome = UpdateCheck::Outcome::UpToDate;
        } else if (check.startsWith(QLatin1String("http"))) {
            result.outcome = UpdateCheck::Outcome::UpdateOffered;
            result.downloadUrl = check.toStdString();
            result.versionName = version;
        }
        return result;
    };
    session.openScript = [](const std::string& path) {
        std::printf("would open: %s\n", path.c_str());
        std::fflush(stdout);
        return true;
    };
    WindowOptions options;
    if (shadow == QLatin1String("strips")) options.shadow = ShadowMode::Strips;
    if (shadow == QLatin1String("margin")) options.shadow = ShadowMode::Margin;
    if (tray == QLatin1String("yes")) options.trayAvailable = true;
    if (tray == QLatin1String("no")) options.trayAvailable = false;

    std::vector<int> phones;
    int code = 0;
    {
        CZorvexVRClientDlg window(session, options);
        QObject::connect(&window, &CZorvexVRClientDlg::closed, &app, &QCoreApplication::quit);
        auto* page = static_cast<CRightVideoDlg*>(window.page());
        window.show();

        QTimer::singleShot(300, &window, [&] {
            // The scene's content first: cards examined, conversions running, phones in.
            pumpUntil(
                [&] {
                    for (const auto& item : library.items())
                        if (!item.card->examined()) return false;
                    return !library.examining();
                },
                60);
            if (demo::IsPrepared(home) &&
                !demo::StartConversions(
                    home, library, queue, [page] { page->OnConvert(); }, pumpUntil))
                std::fprintf(stderr, "zorvex-window-demo: the conversions did not start\n");
            while (static_cast<int>(phones.size()) < phoneCount && !stopRequested) {
                const int fd = connectPhone(addresses.front());
                if (fd >= 0)
                    phones.push_back(fd);
                else
                    pumpUntil([] { return false; }, 0);
            }
            pumpUntil([&] { return page->titleState().phones == phoneCount; }, 10);

            const QRect g = window.geometry();
            std::printf("window: %d %d %d %d tray: %s shadow: %s\n", g.x(), g.y(), g.width(),
                        g.height(), window.trayAvailable() ? "yes" : "no",
                        window.usesMarginShadow() ? "margin" : "strips");
            std::fflush(stdout);
            if (scene == QLatin1String("convert"))
                choose(*window.leftMenu(), CLeftMenuDlg::MenuConvert);
            if (scene == QLatin1String("settings") || scene == QLatin1String("checking") ||
                scene == QLatin1String("check"))
                choose(*window.leftMenu(), CLeftMenuDlg::MenuSettings);
            if (scene == QLatin1String("checking") || scene == QLatin1String("check"))
                window.CheckForUpdates();
            if (scene == QLatin1String("menu")) {
                sendMouse(*page, QEvent::MouseMove, page->addressBoxRect().center());
                sendMouse(*page, QEvent::MouseButtonPress, page->addressBoxRect().center());
                sendMouse(*page, QEvent::MouseButtonRelease, page->addressBoxRect().center());
                sendMouse(*page->addressMenu(), QEvent::MouseMove, QPoint(60, 33));
            }
            if (scene == QLatin1String("delete")) {
                checkOnly(library, {"forest_walk.mp4", "kids_party.mp4"});
                QCoreApplication::processEvents();  // the buttons follow the selection
                CKbcButton& remove = *page->button(CRightVideoDlg::IdDelete);
                sendMouse(remove, QEvent::MouseButtonPress, remove.rect().center());
                sendMouse(remove, QEvent::MouseButtonRelease, remove.rect().center());
            }
            if (scene == QLatin1String("prompt")) window.CloseRequest();
            if (scene == QLatin1String("toast")) window.page()->ShowToast(TOAST_SERVER_UNREACHABLE);
            if (scene == QLatin1String("balloon"))
                window.ShowConversionBalloon(QStringLiteral("holiday_in_rome.mp4"));
            if (scene == QLatin1String("hidden")) window.HideToTray();
        });
        code = app.exec();
        quitting = true;
        stopRequested = true;  // a scene still setting up stops waiting
    }
    for (int fd : phones) ::close(fd);
    StopLogThread();
    return code;
}
