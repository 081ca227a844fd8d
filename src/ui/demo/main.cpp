// zorvex-window-demo [--scene NAME] [--shadow auto|strips|margin] [--tray auto|yes|no]
//                    [--exit-type N] [--check failed|latest|URL] [--version V]
//                    [--home DIR]
// Opens the real main window with the placeholder page and no core behind
// it, and puts it into one scene, so that a desktop can be photographed:
//   main      the library view (default)
//   convert   the conversion view
//   settings  the settings page
//   checking  the settings page while a check runs (it never ends)
//   check     the settings page, then "检测更新" is clicked (see --check)
//   prompt    the exit prompt (ExitWndType 1)
//   toast     the toast "服务器连接失败"
//   balloon   the tray balloon "转码已完成"
//   hidden    hidden to the tray (or minimised where there is none)
// --check URL offers version V (default 9.9.9) at URL, so the download dialog
// runs against it. Prints "window: X Y W H" once shown. Nothing is sent
// anywhere but to the URL given. --home keeps config.ini and the download
// there (default: a temporary folder).
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "foundation/paths.h"
#include "foundation/system_info.h"
#include "ui/kbc_button.h"
#include "ui/left_menu_dlg.h"
#include "ui/right_page.h"
#include "ui/set_content_dlg.h"
#include "ui/zorvex_vr_client_dlg.h"

using namespace zorvex;
using namespace zorvex::ui;

namespace {

QString option(const QStringList& args, const QString& name, const QString& fallback) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
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

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString scene = option(args, QStringLiteral("--scene"), QStringLiteral("main"));
    const QString shadow = option(args, QStringLiteral("--shadow"), QStringLiteral("auto"));
    const QString tray = option(args, QStringLiteral("--tray"), QStringLiteral("auto"));
    const int exitType = option(args, QStringLiteral("--exit-type"), QStringLiteral("1")).toInt();
    const QString check = option(args, QStringLiteral("--check"), QStringLiteral("failed"));
    const std::string version =
        option(args, QStringLiteral("--version"), QStringLiteral("9.9.9")).toStdString();

    QTemporaryDir temporary;
    const QString home = option(args, QStringLiteral("--home"), temporary.path());
    // config.ini with its first-start values, and the download folder.
    InitWorkingDirectories(home.toStdString());
    SetLocalIP("127.0.0.1");  // what the title band shows; nothing listens
    static std::atomic<bool> quitting{false};
    WindowContext context;
    context.exitWndType = [exitType] { return exitType; };
    context.checkVersion = [check, scene, version] {
        VersionCheckResult result;
        if (scene == QLatin1String("checking")) {
            while (!quitting) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (check == QLatin1String("latest")) {
            result.outcome = VersionCheckResult::Outcome::UpToDate;
        } else if (check.startsWith(QLatin1String("http"))) {
            result.outcome = VersionCheckResult::Outcome::UpdateOffered;
            result.downloadUrl = check.toStdString();
            result.versionName = version;
        }
        return result;
    };
    context.openFile = [](const std::string& path) {
        std::printf("would open: %s\n", path.c_str());
        std::fflush(stdout);
        return true;
    };
    if (shadow == QLatin1String("strips")) context.shadow = ShadowMode::Strips;
    if (shadow == QLatin1String("margin")) context.shadow = ShadowMode::Margin;
    if (tray == QLatin1String("yes")) context.trayAvailable = true;
    if (tray == QLatin1String("no")) context.trayAvailable = false;

    CZorvexVRClientDlg window(context);
    QObject::connect(&window, &CZorvexVRClientDlg::closed, &app, &QCoreApplication::quit);
    window.show();

    QTimer::singleShot(300, &window, [&] {
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
        if (scene == QLatin1String("prompt")) window.CloseRequest();
        if (scene == QLatin1String("toast")) window.page()->ShowToast(10);
        if (scene == QLatin1String("balloon"))
            window.ShowConversionBalloon(QStringLiteral("holiday_in_rome.mp4"));
        if (scene == QLatin1String("hidden")) window.HideToTray();
    });
    const int code = app.exec();
    quitting = true;
    return code;
}
