#include "ui/windows/down_load_dlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/my_progress_bar.h"
#include "ui/toolkit/screen_fit.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {

CDownLoadDlg::CDownLoadDlg(QWidget* owner, CoreSession& session)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      session_(session),
      drag_(this, [this](const QPoint& at) {
          return kBanner.contains(at - QPoint(strips_->margin(), strips_->margin()));
      }) {
    connect(&session_, &CoreSession::downloadProgress, this, &CDownLoadDlg::onProgress);
    connect(&session_, &CoreSession::downloadFinished, this, &CDownLoadDlg::onFinished);
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
    // Over a window larger than its screen, the centre may lie off it.
    KeepOnScreen(*this, strips_->clientRect(QSize(kWidth, kHeight)),
                 over ? over->screen() : nullptr);
}

CDownLoadDlg::~CDownLoadDlg() {
    // Cancelled and joined while the dialog is whole; its last reports are dropped.
    if (started_) session_.endDownload();
}

void CDownLoadDlg::SetDownloadTarget(const QString& url, const QString& version) {
    url_ = url;
    version_ = version;
}

DownloadEnd CDownLoadDlg::Result() const {
    return started_ ? session_.downloadResult() : DownloadEnd::Failed;
}

QString CDownLoadDlg::statusText() const {
    return finished_ ? QStringLiteral("升级文件下载完毕")
                     : QStringLiteral("VR助手升级中，请稍后...");
}

void CDownLoadDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    downloading_ = session_.startDownload(url_.toStdString(), version_.toStdString());
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

void CDownLoadDlg::onFinished(DownloadEnd result, const std::string& path, bool installerOpened) {
    downloading_ = false;
    bar_->SetIndeterminate(false);
    if (result == DownloadEnd::Succeeded) {
        installerPath_ = QString::fromStdString(path);
        opened_ = installerOpened;
    }
    if (result == DownloadEnd::Cancelled) {
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
    session_.cancelDownload();
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
