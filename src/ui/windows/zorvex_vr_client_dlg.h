#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <optional>

#include "ui/session/core_session.h"
#include "ui/toolkit/window_drag.h"
#include "ui/windows/down_load_dlg.h"

class QMenu;

namespace zorvex::ui {

class CLeftMenuDlg;
class FrameStrips;
class RightPage;

// How the main window draws its shadow: four separate strip windows placed
// around it (where a client may place top-level windows, as on X11), or a
// translucent margin of its own (Wayland, where it may not).
enum class ShadowMode { Auto, Strips, Margin };

// How the main window meets this desktop (not the core).
struct WindowOptions {
    ShadowMode shadow = ShadowMode::Auto;
    // nullopt: whether QSystemTrayIcon finds a tray, asked again every two
    // seconds, so that the icon follows a tray host started or ended later.
    std::optional<bool> trayAvailable;
};

// The borderless 972 x 630 main window "Zorvex助手": the left menu, the page
// beside it, its shadow, the tray icon, the update check and the rules of
// closing. Any press that no child takes drags it.
//
// It opens centred on the primary screen and stays where its user can reach
// it (FitOnScreen): wholly on the screen's available area where it fits,
// else with its title band's top and its buttons on it. It is put there
// again when it is brought to the front (from the tray, by a second start),
// when its screen's area changes, and when it lands on another screen out
// of reach (its screen went away).
//
// Files dropped where no view takes them (the conversion list, the settings,
// the left menu) go to the library as a drop on its view, which is shown.
//
// Closing: a close request (the page's close button, the tray's "关闭", the
// window manager's close, Alt+F4) goes to the page, which decides by
// ExitWndType. Only a close while closing() is set really closes: the tray
// icon goes and closed() is emitted. The tray keeps the application alive,
// so the window turns quitOnLastWindowClosed off; whoever runs the event
// loop ends it on closed().
//
// The page is the fly-screen page over the session's library, or the
// placeholder where the session has none. The composition root runs the
// start-up sequence before building the window and the shutdown sequence
// after closed(); the session outlives the window.
// GUI thread only; the update check runs on the session's worker.
class CZorvexVRClientDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 972;
    static constexpr int kHeight = 630;
    static constexpr int kMargin = 16;  // the shadow's width around the client area

    explicit CZorvexVRClientDlg(CoreSession& session, WindowOptions options = {});
    ~CZorvexVRClientDlg() override;

    // The tray balloon "转码已完成" titled with the file name (at most 63
    // characters); without a tray, the same notice through the desktop's
    // notification service.
    void ShowConversionBalloon(const QString& title);
    // A tray host came or went: the icon is put in it or taken away. A window
    // hidden into a tray that goes is minimised, so that it stays findable.
    void FollowTray(bool available);
    // Hides the window and its shadow; where there is no tray it minimises instead.
    void HideToTray();
    // Shows the window normally, in front, with its shadow.
    void BringToFront();
    // The tray icon's double-click: hides a shown window, shows a hidden or minimised one.
    void ToggleFromTray();
    // Moves the window where its user can reach it on its screen (see above).
    void KeepOnScreen();
    // The settings page's "检测更新": the check runs on a worker; further
    // requests are ignored until it has ended.
    void CheckForUpdates();
    // The left menu's request: 1 library, 3 conversion list, 4 settings; others nothing.
    void OnMenuRequest(int code);
    // A close request that is not final yet: handed to the page.
    void CloseRequest();

    bool closing() const { return closing_; }
    bool ready() const { return ready_; }
    bool checkRunning() const { return checkRunning_; }
    bool trayAvailable() const { return trayAvailable_; }
    bool usesMarginShadow() const { return margin_ > 0; }
    // The client area (left menu and page) in window coordinates.
    QRect clientRect() const { return QRect(margin_, margin_, kWidth, kHeight); }
    // The title band's right end with minimise and close, in window coordinates.
    QRect titleButtonsRect() const;
    CLeftMenuDlg* leftMenu() const { return leftMenu_; }
    RightPage* page() const { return page_; }
    FrameStrips* strips() const { return strips_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    QMenu* trayMenu() const { return trayMenu_; }
    CDownLoadDlg* downloadDialog() const { return download_; }
    QMessageBox* messageBox() const { return message_; }
    const QString& lastBalloonTitle() const { return balloonTitle_; }
    bool dragging() const { return drag_.dragging(); }

signals:
    // The window has closed for good; the tray icon is gone.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void createTray();
    void createPages();
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void onCheckDone(const UpdateCheck& result);
    void startDownload(const QString& url, const QString& version);
    void onDownloadDone();
    void quitAfterDownload();
    void onPageQuit();
    // Whole: the text is read whole however long its lines (a WholeTextBox),
    // and can be selected and copied.
    enum class MessageLook { Plain, Whole };
    void showMessage(const QString& text, MessageLook look = MessageLook::Plain);
    void watchScreen(QScreen* screen);

    // Constant after construction.
    CoreSession& session_;
    const WindowOptions options_;
    int margin_ = 0;  // set once by the shadow

    bool trayAvailable_ = false;

    CLeftMenuDlg* leftMenu_ = nullptr;
    RightPage* page_ = nullptr;
    FrameStrips* strips_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QPointer<CDownLoadDlg> download_;
    QPointer<QMessageBox> message_;
    QString balloonTitle_;
    bool closing_ = false;
    bool ready_ = false;
    bool checkRunning_ = false;
    WindowDrag drag_;  // by any press that no child takes
    bool screenWatched_ = false;
    QMetaObject::Connection screenArea_;  // the current screen's availableGeometryChanged
};

}  // namespace zorvex::ui
