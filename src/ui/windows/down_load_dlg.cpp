#include "ui/windows/down_load_dlg.h"

#include "ui/session/core_session.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QWindow>

#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/my_progress_bar.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {

// Hands the worker's news to the dialog's thread.
class CDownLoadDlg::Listener final : public UpdateDownloadListener {
public:
    Listener(CDownLoadDlg* dialog, Executor& executor) : dialog_(dialog), executor_(executor) {}

    void onProgress(int percent) override {
        executor_.post([dialog = dialog_, percent] { dialog->onProgress(percent); });
    }
    void onFinished(int result, const std::string& path) override {
        executor_.post([dialog = dialog_, result, path] { dialog->onFinished(result, path); });
    }

private:
    CDownLoadDlg* const dialog_;  // tasks for a dialog that is gone are dropped
    Executor& executor_;
};

CDownLoadDlg::CDownLoadDlg(QWidget* owner, Options options)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      options_(std::move(options)),
      executor_(this),
      listener_(std::make_unique<Listener>(this, executor_)) {
    // The shadow first: where it is a margin of the dialog, it decides the size.
    strips_ = new FrameStrips(this, FrameStrips::kUpdateDownload);
    const int m = strips_->margin();
    setFixedSize(kWidth + 2 * m, kHeight + 2 * m);
    setModal(true);
    setWindowTitle(QStringLiteral("Zorvex助手"));
    banner_ = loadSkinImage(QStringLiteral("Update\\Update.png"));

    const int cx = kWidth / 2;
    bar_ = new CMyProgressBar(this);
    bar_->SetRange(0, 100);
    bar_->setAccessibleName(QStringLiteral("下载进度"));
    bar_->setGeometry(m + cx - 163, m + 206, 326, 10);
    status_ = QRect(QPoint(cx - 193, 230), QPoint(2 * cx - 30 - 1, 250 - 1));

    const QWidget* over = owner ? owner->window() : nullptr;
    const QRect area = over ? over->frameGeometry()
                            : (QGuiApplication::primaryScreen()
                                   ? QGuiApplication::primaryScreen()->availableGeometry()
                                   : QRect(0, 0, kWidth, kHeight));
    move(area.center() - QPoint(width() / 2, height() / 2));
}

CDownLoadDlg::~CDownLoadDlg() {
    // Cancelled and joined while the dialog is whole; its last reports are dropped.
    download_.reset();
}

void CDownLoadDlg::SetDownloadTarget(const QString& url, const QString& version) {
    url_ = url;
    version_ = version;
}

int CDownLoadDlg::Result() const {
    return download_ ? download_->Result() : kDownloadFailed;
}

QString CDownLoadDlg::statusText() const {
    return finished_ ? QStringLiteral("升级文件下载完毕")
                     : QStringLiteral("VR助手升级中，请稍后...");
}

void CDownLoadDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (download_) return;
    download_ = std::make_unique<UpdateDownload>(*listener_, options_.update, options_.download);
    download_->SetDownloadTarget(url_.toStdString(), version_.toStdString());
    downloading_ = download_->start();
}

void CDownLoadDlg::onProgress(int percent) {
    if (percent == kProgressUnknown) {
        bar_->SetIndeterminate(true);
        return;
    }
    bar_->SetIndeterminate(false);
    bar_->SetPos(percent);
    if (percent >= 100 && !finished_) {
        finished_ = true;
        update(status_.translated(strips_->margin(), strips_->margin()));
    }
}

void CDownLoadDlg::onFinished(int result, const std::string& path) {
    downloading_ = false;
    bar_->SetIndeterminate(false);
    if (result == kDownloadSucceeded) {
        installerPath_ = QString::fromStdString(path);
        auto open = options_.open;
        if (!open) {
            open = [](const std::string& file) {
                return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file)));
            };
        }
        opened_ = OpenInstaller(path, open);
    }
    if (result == kDownloadCancelled) {
        PostLog("取消下载", kDownLoadDlgTag);
        QDialog::reject();
        return;
    }
    accept();
}

void CDownLoadDlg::reject() {
    if (!downloading_) {
        QDialog::reject();
        return;
    }
    // The worker removes its partial file and reports; the dialog ends then,
    // so nothing writes on for a dialog that is gone.
    download_->cancel();
}

void CDownLoadDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            reject();
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();  // no default button to press
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CDownLoadDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint() - QPoint(strips_->margin(), strips_->margin());
    if (event->button() != Qt::LeftButton || !kBanner.contains(at)) {
        QDialog::mousePressEvent(event);
        return;
    }
    // The banner drags the dialog: by the window manager where it can, else by hand.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void CDownLoadDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) move(event->globalPosition().toPoint() - dragOffset_);
}

void CDownLoadDlg::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}

void CDownLoadDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const int m = strips_->margin();
    strips_->paintMargin(painter, QRect(m, m, kWidth, kHeight));
    painter.translate(m, m);
    painter.fillRect(QRect(0, 0, kWidth, kHeight), Qt::white);
    if (!banner_.isNull()) painter.drawImage(QRectF(kBanner), banner_, QRectF(kBanner));
    painter.setFont(skinFont(14));
    painter.setPen(argb(0xFF6B6B6B));
    painter.drawText(status_, Qt::AlignCenter, statusText());
    strips_->paintOutline(painter, QRect(0, 0, kWidth, kHeight));
}

}  // namespace zorvex::ui
