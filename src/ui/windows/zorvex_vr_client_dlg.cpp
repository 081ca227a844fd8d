#include "ui/windows/zorvex_vr_client_dlg.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include "ui/toolkit/desktop_notice.h"
#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/msg_box_dlg.h"
#include "ui/toolkit/screen_fit.h"
#include "ui/toolkit/skin.h"
#include "ui/toolkit/whole_text_box.h"
#include "ui/windows/down_load_dlg.h"
#include "ui/windows/left_menu_dlg.h"
#include "ui/windows/placeholder_page.h"
#include "ui/windows/right_video_dlg.h"
#include "ui/windows/set_content_dlg.h"
#include "ui/windows/video_wnd_list.h"

namespace zorvex::ui {
namespace {

constexpr const char* kTag = "ZorvexVRClientDlg";
const QString kTitle = QStringLiteral("Zorvex助手");

FrameStrips::Mode stripsMode(ShadowMode mode) {
    switch (mode) {
        case ShadowMode::Strips:
            return FrameStrips::Mode::Pieces;
        case ShadowMode::Margin:
            return FrameStrips::Mode::Margin;
        default:
            return FrameStrips::Mode::Auto;
    }
}

}  // namespace

CZorvexVRClientDlg::CZorvexVRClientDlg(CoreSession& session, WindowOptions options)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowSystemMenuHint),
      session_(session),
      options_(options),
      drag_(
          this, [this](const QPoint& at) { return clientRect().contains(at); }, true) {
    // The tray holds the application while the window is hidden, and a
    // closed prompt or message box must not end it.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // The application icon, rendered at the sizes the window and the tray ask for.
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(skinPath(QStringLiteral("Icon\\app_%1.png").arg(size)), QSize(size, size));
    setWindowIcon(icon);

    setWindowTitle(kTitle);
    // The shadow decides the window's size: with a margin it is drawn inside.
    strips_ = new FrameStrips(this, FrameStrips::kMainWindow, stripsMode(options_.shadow));
    margin_ = strips_->margin();
    setFixedSize(kWidth + 2 * margin_, kHeight + 2 * margin_);

    createTray();
    setAcceptDrops(true);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        zorvex::ui::KeepOnScreen(*this, clientRect(), screen);
    }

    // The start-up sequence and the version check's set-up ran before the
    // window was built (see the header); the pages rely on them.
    createPages();

    // The window manager's Alt+F4 arrives as a close; where none binds it,
    // the key itself asks the same.
    auto* altF4 = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(altF4, &QShortcut::activated, this, &CZorvexVRClientDlg::CloseRequest);

    ready_ = true;
}

CZorvexVRClientDlg::~CZorvexVRClientDlg() {
    // A running check is cut short; its report is dropped with the window.
    if (checkRunning_) session_.cancelCheck();
    strips_->Destroy();
}

void CZorvexVRClientDlg::createTray() {
    if (options_.trayAvailable) {
        FollowTray(*options_.trayAvailable);
        return;
    }
    FollowTray(QSystemTrayIcon::isSystemTrayAvailable());
    // Qt tells nobody when a tray host comes or goes (a panel that starts
    // after us, or restarts). Asking is cheap, and it is the very question
    // QSystemTrayIcon answers for itself, XEmbed or StatusNotifier alike.
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this,
            [this] { FollowTray(QSystemTrayIcon::isSystemTrayAvailable()); });
    watch->start(2000);
}

void CZorvexVRClientDlg::FollowTray(bool available) {
    if (available == (tray_ != nullptr)) return;
    trayAvailable_ = available;
    if (!available) {
        delete tray_;
        tray_ = nullptr;
        if (ready_ && !closing_ && !isVisible()) showMinimized();
        return;
    }
    if (!trayMenu_) {
        trayMenu_ = new QMenu(this);
        trayMenu_->addAction(QStringLiteral("关闭"), this, &CZorvexVRClientDlg::CloseRequest);
        trayMenu_->addAction(QStringLiteral("显示"), this, [this] {
            if (isVisible())
                HideToTray();
            else
                BringToFront();
        });
    }
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(kTitle);
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this, &CZorvexVRClientDlg::onTrayActivated);
    tray_->show();
}

void CZorvexVRClientDlg::createPages() {
    leftMenu_ = new CLeftMenuDlg(this);
    leftMenu_->setGeometry(margin_, margin_, CLeftMenuDlg::kWidth, kHeight);
    leftMenu_->Layout();
    connect(leftMenu_, &CLeftMenuDlg::viewRequested, this, &CZorvexVRClientDlg::OnMenuRequest);

    if (session_.hasLibrary())
        page_ = new CRightVideoDlg(this, session_);
    else
        page_ = new PlaceholderPage(this, session_);
    page_->setGeometry(margin_ + RightPage::kLeft, margin_, kWidth - RightPage::kLeft, kHeight);
    page_->Layout();
    connect(page_, &RightPage::hideToTrayRequested, this, &CZorvexVRClientDlg::HideToTray);
    connect(page_, &RightPage::quitRequested, this, &CZorvexVRClientDlg::onPageQuit);
    connect(page_, &RightPage::minimiseRequested, this, &QWidget::showMinimized);
    connect(page_, &RightPage::conversionFinished, this,
            &CZorvexVRClientDlg::ShowConversionBalloon);
    if (CSetContentDlg* settings = page_->settingsPage())
        connect(settings, &CSetContentDlg::updateCheckRequested, this,
                &CZorvexVRClientDlg::CheckForUpdates);
}

void CZorvexVRClientDlg::OnMenuRequest(int code) {
    switch (code) {
        case CLeftMenuDlg::MenuLibrary:
            page_->SwitchView(RightPage::ViewLibrary);
            return;
        case CLeftMenuDlg::MenuConvert:
            page_->SwitchView(RightPage::ViewConvert);
            return;
        case CLeftMenuDlg::MenuSettings:
            page_->SwitchView(RightPage::ViewSettings);
            return;
        default:
            return;
    }
}

void CZorvexVRClientDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (page_->TakesDrops() && !DroppedFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void CZorvexVRClientDlg::dragMoveEvent(QDragMoveEvent* event) {
    if (page_->TakesDrops() && !DroppedFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void CZorvexVRClientDlg::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = DroppedFiles(event->mimeData());
    if (!page_->TakesDrops() || paths.empty()) return;
    event->acceptProposedAction();
    leftMenu_->Mark(CLeftMenuDlg::MenuLibrary);
    page_->AddDropped(paths);
}

void CZorvexVRClientDlg::CloseRequest() {
    if (closing_) {
        close();
        return;
    }
    page_->CloseRequest();
}

void CZorvexVRClientDlg::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        event->ignore();
        page_->CloseRequest();
        return;
    }
    event->accept();
    if (tray_) tray_->hide();
    // Queued: whoever listens may delete the window.
    QMetaObject::invokeMethod(
        this, [this] { emit closed(); }, Qt::QueuedConnection);
}

void CZorvexVRClientDlg::onPageQuit() {
    closing_ = true;
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

void CZorvexVRClientDlg::HideToTray() {
    // Without a tray a hidden window could not be found again.
    if (!trayAvailable_) {
        showMinimized();
        return;
    }
    hide();  // the strips follow
}

QRect CZorvexVRClientDlg::titleButtonsRect() const {
    const QRect client = clientRect();
    return QRect(client.right() + 1 - 70, client.top(), 70, CRightVideoDlg::kTitleBand);
}

void CZorvexVRClientDlg::KeepOnScreen() {
    zorvex::ui::KeepOnScreen(*this, clientRect(), screen());
}

void CZorvexVRClientDlg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (screenWatched_ || !windowHandle()) return;
    screenWatched_ = true;
    connect(windowHandle(), &QWindow::screenChanged, this, [this](QScreen* screen) {
        watchScreen(screen);
        // Dragged over to another screen, it stays where the user put it;
        // left where a screen went away, it comes back.
        if (!OnSomeScreen(titleButtonsRect().translated(pos()))) KeepOnScreen();
    });
    watchScreen(windowHandle()->screen());
}

void CZorvexVRClientDlg::watchScreen(QScreen* screen) {
    disconnect(screenArea_);
    if (screen)
        screenArea_ =
            connect(screen, &QScreen::availableGeometryChanged, this, [this] { KeepOnScreen(); });
}

void CZorvexVRClientDlg::BringToFront() {
    // A Wayland client can neither raise itself (without an activation token)
    // nor learn that the compositor minimised it; a surface mapped anew comes
    // up in front, and the compositor gives it the focus.
    if (isVisible() && QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) hide();
    // The screens may have changed while it was hidden.
    KeepOnScreen();
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    strips_->Place();
}

void CZorvexVRClientDlg::ToggleFromTray() {
    if (isVisible() && !isMinimized())
        HideToTray();
    else
        BringToFront();
}

void CZorvexVRClientDlg::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) ToggleFromTray();
}

void CZorvexVRClientDlg::ShowConversionBalloon(const QString& title) {
    balloonTitle_ = title.left(63);
    if (tray_)
        tray_->showMessage(balloonTitle_, QStringLiteral("转码已完成"),
                           QSystemTrayIcon::Information, 2000);
    else
        ShowDesktopNotice(balloonTitle_, QStringLiteral("转码已完成"));
}

void CZorvexVRClientDlg::CheckForUpdates() {
    if (checkRunning_) return;
    checkRunning_ = true;
    if (CSetContentDlg* settings = page_->settingsPage()) settings->SetCheckRunning(true);
    session_.log("检测更新", kTag);
    session_.checkVersion(this, [this](const UpdateCheck& result) { onCheckDone(result); });
}

void CZorvexVRClientDlg::onCheckDone(const UpdateCheck& result) {
    checkRunning_ = false;
    if (CSetContentDlg* settings = page_->settingsPage()) settings->SetCheckRunning(false);
    switch (result.outcome) {
        case UpdateCheck::Outcome::Failed:
            // Only here did the server not answer at all.
            session_.log("检测更新------FALSE", kTag);
            page_->ShowToast(TOAST_SERVER_UNREACHABLE);
            return;
        case UpdateCheck::Outcome::UpToDate:
        case UpdateCheck::Outcome::NoOffer:
            session_.log("检测更新------FALSE", kTag);
            showMessage(QStringLiteral("已是最新版"));
            return;
        case UpdateCheck::Outcome::UpdateOffered:
            session_.log("开始下载", kTag);
            startDownload(QString::fromStdString(result.downloadUrl),
                          QString::fromStdString(result.versionName));
            return;
    }
}

void CZorvexVRClientDlg::startDownload(const QString& url, const QString& version) {
    if (download_) return;
    download_ = new CDownLoadDlg(this, session_);
    download_->SetDownloadTarget(url, version);
    connect(download_, &QDialog::finished, this, &CZorvexVRClientDlg::onDownloadDone);
    download_->open();
}

void CZorvexVRClientDlg::onDownloadDone() {
    if (!download_) return;
    const DownloadEnd result = download_->Result();
    const bool opened = download_->InstallerOpened();
    const QString installer = download_->InstallerPath();
    download_->strips()->Destroy();
    download_->deleteLater();
    download_ = nullptr;
    // Quit only while the installer runs: gone without it, the user would
    // be left with neither the application nor its update.
    if (result == DownloadEnd::Succeeded && opened) {
        quitAfterDownload();
        return;
    }
    closing_ = false;
    if (result == DownloadEnd::Cancelled) return;
    if (result == DownloadEnd::Succeeded) {
        session_.log("安装程序未能打开: " + installer.toStdString(), kTag);
        showMessage(QStringLiteral("升级文件下载完毕，但没有可以打开它的程序。\n"
                                   "请手动运行安装程序：\n%1")
                        .arg(installer),
                    MessageLook::Whole);
        return;
    }
    showMessage(QStringLiteral("下载失败"));
}

void CZorvexVRClientDlg::quitAfterDownload() {
    // The installer runs already: stop everything and go without asking.
    closing_ = true;
    if (session_.anyRunning()) {
        session_.log("停止转码", kTag);
        session_.stopAll();
    }
    page_->PrepareQuit();
    session_.stopService();
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

void CZorvexVRClientDlg::showMessage(const QString& text, MessageLook look) {
    if (message_) message_->close();
    QMessageBox* box =
        look == MessageLook::Whole
            ? new WholeTextBox(kTitle, text, this)
            : new QMessageBox(QMessageBox::Information, kTitle, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowIcon(windowIcon());
    box->button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box->button(QMessageBox::Ok)->setIcon({});
    // Wide enough for the title bar to show the application's name.
    if (look == MessageLook::Plain)
        box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: 200px; }"));
    message_ = box;
    box->open();
}

void CZorvexVRClientDlg::paintEvent(QPaintEvent*) {
    if (margin_ == 0) return;  // the pages cover the whole window
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    strips_->paintMargin(painter, clientRect());
}

}  // namespace zorvex::ui
