#pragma once

#include <QBasicTimer>
#include <QPointer>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/session/core_session.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/toolkit/qt_executor.h"
#include "ui/toolkit/scroll_pane.h"

namespace zorvex::ui {

class CConvertListItemDlg;
struct RowArt;

// The conversion queue as a scrolling list of 80-pixel rows in queue order.
// The rows follow the queue through the session, progress repaints at most
// ten times a second, and the rows' buttons cancel and pin their tasks.
// While the pointer rests on the list the rows keep their order (a finished
// task does not drop away under it; new tasks come at the end, a removed
// one closes up) and take the queue's order when it leaves; a pin, which
// the user asks for, moves its row at once. The session must outlive the
// list. GUI thread only.
class CConvertList : public CScrollPane {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 80;
    static constexpr int kProgressIntervalMs = 100;

    CConvertList(CoreSession& session, QWidget* parent);
    ~CConvertList() override;

    // Brings the rows in line with the queue, places them and keeps the
    // scroll position (clamped).
    void LayoutRows();
    // The rows stand in another order than the queue's: the pointer holds them.
    bool holding() const { return held_; }

    int rowCount() const { return static_cast<int>(order_.size()); }
    // Row i from 0, in queue order.
    CConvertListItemDlg* rowAt(int index) const;
    CConvertListItemDlg* row(const std::string& taskKey) const;
    // Progress repaints since the list was made (for benchmarks).
    int progressRepaints() const { return progressRepaints_; }
    int diskJobs() const { return disk_.outstanding(); }
    // Tab comes to the rows from this widget (the page's last title button).
    void SetTabAnchor(QWidget* anchor) { tabAnchor_ = anchor; }

protected:
    void placeChildren() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool viewportEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Held: the rows in the order shown now, new tasks last.
    std::vector<std::string> heldOrder(const std::vector<std::string>& queued) const;
    void layout(bool hold);
    void onProgress(const std::string& taskKey, std::uint32_t percent);
    void onCancel(const std::string& taskKey);
    void onPin(const std::string& taskKey);
    void showProgress();
    void layoutSoon();
    void orderTabs();
    void showRow(const CConvertListItemDlg* row);

    CoreSession& session_;
    DiskWorker disk_;
    std::shared_ptr<const RowArt> art_;
    std::map<std::string, CConvertListItemDlg*> rows_;  // by task key; children of the viewport
    std::vector<CConvertListItemDlg*> order_;           // queue order
    std::map<std::string, std::uint32_t> progress_;     // latest values not yet shown
    QBasicTimer progressTimer_;
    int progressRepaints_ = 0;
    QtExecutor gui_{this};
    CoalescedPost pendingLayout_{gui_, [this] { LayoutRows(); }};
    bool held_ = false;
    QPointer<QWidget> tabAnchor_;
};

}  // namespace zorvex::ui
