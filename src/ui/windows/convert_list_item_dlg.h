#pragma once

#include <QDeadlineTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "ui/session/session_views.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {

class CKbcButton;
class CMyProgressBar;
class DiskWorker;

// The row's skin pictures, loaded once by the list and shared by its rows.
struct RowArt {
    SkinImage placeholder;  // "Convert\\NoVideoSrc.png"
    SkinImage converted;    // "Convert\\Converted.png", 18 x 18
    SkinImage error;        // "Convert\\Error.png", 14 x 14
    SkinImage tip;          // "Convert\\Tip.png", 13 x 13
    static std::shared_ptr<const RowArt> Load();
};

// One task of the conversion queue as an 80-pixel row: thumbnail, name and
// size, the output mode, the progress bar, the status of its state, the
// cancel/delete button and, for waiting tasks from the third row on, "置顶"
// while the mouse is over the row. It draws a copy of the task (TaskRowView) that
// the list gives it and reports its buttons; the list talks to the queue.
// Tab reaches the row, then its buttons ("置顶" is offered while the row or
// the button has the keyboard focus, as while hovered); screen readers hear
// the name and the state with its progress ("a.mp4，已转码 42%"). A failed
// row retries on Space or Enter, and offers screen readers the retry as its
// action. A row the list has just moved to another place ignores presses
// for kSettleMs, so that a click aimed at the row that was there does not
// land on it. GUI thread only; the list owns it.
class CConvertListItemDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 80;
    static constexpr int kTopButtonId = 1082;
    static constexpr int kCancelButtonId = 1043;
    static constexpr int kSettleMs = 500;

    CConvertListItemDlg(std::shared_ptr<const RowArt> art, DiskWorker& disk, QWidget* parent);
    ~CConvertListItemDlg() override;

    // Takes the task's data and state; the thumbnail is read again (off the
    // GUI thread) when its path changed. A finished task hides the bar and
    // offers "删除".
    void SetTask(const TaskRowView& task);
    // The running task's progress: the bar and the status line only.
    void SetProgress(std::uint32_t percent);
    // Position in the list from 1; the "置顶" rule looks at it. A new
    // position for a row already placed is a move.
    void SetIndex(unsigned index);
    // Moved within the last kSettleMs: presses are ignored.
    bool moving() const { return !settled_.hasExpired(); }
    // The tooltip at a point of the row: why a failed task failed over its
    // status, else the full name and the output path.
    QString toolTipAt(const QPoint& at) const;
    // Over "任务失败" and its icon: a click there converts the task again.
    static QRect failedStatusArea();

    const std::string& taskKey() const { return task_.key; }
    TaskLook state() const { return task_.look; }
    unsigned index() const { return index_; }
    bool hovered() const { return hovered_; }
    bool hasThumbnail() const { return !thumbnail_.isNull(); }
    CKbcButton* topButton() const { return top_; }
    CKbcButton* cancelButton() const { return cancel_; }
    CMyProgressBar* progressBar() const { return bar_; }
    // What the row writes: "1.5G", the status line of its state.
    const QString& sizeText() const { return sizeText_; }
    QString statusText() const;
    // What screen readers hear for the row.
    QString accessibleText() const;

    // "%.1fM" below 1024 MiB, else "%.1fG".
    static QString FormatSize(std::int64_t bytes);

signals:
    // The cancel/delete button; the list stops a running task or removes it.
    void cancelClicked(const std::string& taskKey);
    void pinClicked(const std::string& taskKey);
    // A click on the failed status.
    void retryClicked(const std::string& taskKey);
    void focusRequested();
    // The keyboard focus came to the row; the list shows it whole.
    void focused();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void dropPinUnlessHeld();
    void setUpKeyboard();
    void followAccessible();
    void hover();
    void loadThumbnail(const QString& path);

    // constant after construction
    const std::shared_ptr<const RowArt> art_;
    DiskWorker& disk_;

    TaskRowView task_;
    QString name_, sizeText_, mode_;
    QString thumbnailPath_;
    QImage thumbnail_;
    unsigned index_ = 0;
    QDeadlineTimer settled_;  // expired: not moved lately
    bool hovered_ = false;
    CMyProgressBar* bar_ = nullptr;
    CKbcButton* top_ = nullptr;
    CKbcButton* cancel_ = nullptr;
};

}  // namespace zorvex::ui
