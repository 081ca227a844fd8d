#pragma once

#include <QDialog>
#include <QImage>
#include <QRect>
#include <QString>

#include <string>

#include "ui/session/core_session.h"
#include "ui/toolkit/window_drag.h"

namespace zorvex::ui {

class CMyProgressBar;
class FrameStrips;

// The 460 x 310 update download dialog: a banner, the progress bar and a
// status line while the session's download fetches the installer. When it
// reports (a complete installer handed to the desktop already), the dialog
// ends itself; Result() and InstallerOpened() then say what happened. Escape and the window
// manager's close cancel the transfer, which removes what it had written, and the dialog ends as
// soon as the worker has said so (rejected, Result() DownloadEnd::Cancelled); Enter does nothing.
// Open it with open() or exec(); the download starts when it is first shown, and ends with the
// dialog. GUI thread only; the session must outlive the dialog.
class CDownLoadDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 460;
    static constexpr int kHeight = 310;
    static constexpr QRect kBanner{0, 0, 460, 140};

    CDownLoadDlg(QWidget* owner, CoreSession& session);
    ~CDownLoadDlg() override;

    // Before the dialog is shown.
    void SetDownloadTarget(const QString& url, const QString& version);

    // DownloadEnd::Succeeded once the installer is complete, DownloadEnd::Cancelled
    // after a cancel, else DownloadEnd::Failed.
    DownloadEnd Result() const;
    // True when the complete installer was handed to a program that took it.
    bool InstallerOpened() const { return opened_; }
    // Where the complete installer is; empty before it is.
    const QString& InstallerPath() const { return installerPath_; }
    bool Finished() const { return finished_; }
    bool Downloading() const { return downloading_; }
    CMyProgressBar* progressBar() const { return bar_; }
    // "升级文件下载完毕" once finished, else "VR助手升级中，请稍后..."
    QString statusText() const;
    FrameStrips* strips() const { return strips_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void onProgress(int percent);
    void onFinished(DownloadEnd result, const std::string& path, bool installerOpened);

    CoreSession& session_;
    QString url_;
    QString version_;
    QImage banner_;
    CMyProgressBar* bar_ = nullptr;
    QRect status_;
    FrameStrips* strips_ = nullptr;
    bool finished_ = false;
    bool started_ = false;
    bool downloading_ = false;  // from the start until the worker reported
    bool opened_ = false;
    QString installerPath_;
    WindowDrag drag_;  // by the banner
};

}  // namespace zorvex::ui
