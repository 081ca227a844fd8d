#include "ui/windows/convert_list.h"

#include <QPainter>
#include <QTimerEvent>

#include <algorithm>

#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/tab_chain.h"
#include "ui/windows/convert_list_item_dlg.h"

namespace zorvex::ui {
namespace {
const QColor kBackground(242, 242, 243);
constexpr int kScrollFrom = 6;  // tasks from which the range is the rows' height
}  // namespace

CConvertList::CConvertList(CoreSession& session, QWidget* parent)
    : CScrollPane(parent), session_(session) {
    connect(&session_, &CoreSession::progress, this, &CConvertList::onProgress);
    // A task added without a refresh yet (the page lays out after a batch)
    // still shows its state once the batch is done.
    connect(&session_, &CoreSession::taskEvent, this, &CConvertList::layoutSoon);
    connect(&session_, &CoreSession::queueChanged, this, &CConvertList::LayoutRows);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    art_ = RowArt::Load();
    LayoutRows();
}

CConvertList::~CConvertList() {
    for (CConvertListItemDlg* row : order_) delete row;
}

CConvertListItemDlg* CConvertList::rowAt(int index) const {
    if (index < 0 || index >= rowCount()) return nullptr;
    return order_[static_cast<std::size_t>(index)];
}

CConvertListItemDlg* CConvertList::row(const std::string& taskKey) const {
    auto it = rows_.find(taskKey);
    return it == rows_.end() ? nullptr : it->second;
}

std::vector<std::string> CConvertList::heldOrder(const std::vector<std::string>& queued) const {
    std::vector<std::string> shown;
    for (const CConvertListItemDlg* widget : order_) {
        if (std::find(queued.begin(), queued.end(), widget->taskKey()) != queued.end())
            shown.push_back(widget->taskKey());
    }
    for (const std::string& key : queued) {
        if (!rows_.count(key)) shown.push_back(key);
    }
    return shown;
}

void CConvertList::LayoutRows() {
    layout(isVisible() && viewport()->underMouse());
}

void CConvertList::layout(bool hold) {
    pendingLayout_.cancel();
    const std::vector<TaskRowView> tasks = session_.tasks();
    std::vector<std::string> queued;
    std::map<std::string, const TaskRowView*> byKey;
    for (const TaskRowView& task : tasks) {
        queued.push_back(task.key);
        byKey[task.key] = &task;
    }
    const std::vector<std::string> shown = hold ? heldOrder(queued) : queued;
    held_ = shown != queued;
    std::map<std::string, CConvertListItemDlg*> kept;
    std::vector<CConvertListItemDlg*> order;
    for (const std::string& key : shown) {
        const TaskRowView& task = *byKey[key];
        CConvertListItemDlg* widget = nullptr;
        auto it = rows_.find(key);
        if (it != rows_.end()) {
            widget = it->second;
            rows_.erase(it);
        } else {
            widget = new CConvertListItemDlg(art_, disk_, viewport());
            connect(widget, &CConvertListItemDlg::cancelClicked, this, &CConvertList::onCancel);
            connect(widget, &CConvertListItemDlg::pinClicked, this, &CConvertList::onPin);
            connect(widget, &CConvertListItemDlg::retryClicked, &session_, &CoreSession::retryTask);
            connect(widget, &CConvertListItemDlg::focusRequested, this,
                    [this] { setFocus(Qt::MouseFocusReason); });
            connect(widget, &CConvertListItemDlg::focused, this,
                    [this, widget] { showRow(widget); });
        }
        widget->SetTask(task);
        progress_.erase(key);  // the task's own value is newer
        kept[key] = widget;
        order.push_back(widget);
    }
    // Later: the change may come from inside one of these rows' own clicks.
    for (auto& [key, widget] : rows_) {
        widget->hide();
        widget->deleteLater();
    }
    rows_ = std::move(kept);
    order_ = std::move(order);

    const int count = rowCount();
    const int page = viewport()->height();
    SetScrollRange(count >= kScrollFrom ? count * kRowHeight : page, page);
    for (int i = 0; i < count; ++i)
        order_[static_cast<std::size_t>(i)]->SetIndex(static_cast<unsigned>(i + 1));
    placeChildren();
    for (CConvertListItemDlg* widget : order_) widget->show();
    orderTabs();
    viewport()->update();
}

void CConvertList::placeChildren() {
    const int width = viewport()->width();
    for (int i = 0; i < rowCount(); ++i) {
        order_[static_cast<std::size_t>(i)]->setGeometry(0, i * kRowHeight - offset(), width,
                                                         kRowHeight);
    }
}

void CConvertList::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kBackground);
}

void CConvertList::resizeEvent(QResizeEvent* event) {
    CScrollPane::resizeEvent(event);
    LayoutRows();
}

void CConvertList::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    CScrollPane::mousePressEvent(event);
}

void CConvertList::onCancel(const std::string& taskKey) {
    session_.cancelTask(taskKey);
}

void CConvertList::onPin(const std::string& taskKey) {
    session_.pinToTop(taskKey);
    layout(false);  // the move the user asked for
}

bool CConvertList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave && held_) layout(false);
    return CScrollPane::viewportEvent(event);
}

void CConvertList::hideEvent(QHideEvent* event) {
    CScrollPane::hideEvent(event);
    if (held_) layout(false);
}

void CConvertList::onProgress(const std::string& taskKey, std::uint32_t percent) {
    progress_[taskKey] = percent;
    // The first value shows at once; later ones at most every 100 ms.
    if (!progressTimer_.isActive()) {
        showProgress();
        progressTimer_.start(kProgressIntervalMs, this);
    }
}

void CConvertList::timerEvent(QTimerEvent* event) {
    if (event->timerId() != progressTimer_.timerId()) {
        CScrollPane::timerEvent(event);
        return;
    }
    if (progress_.empty()) {
        progressTimer_.stop();
        return;
    }
    showProgress();
}

void CConvertList::showProgress() {
    for (const auto& [key, percent] : progress_) {
        if (CConvertListItemDlg* widget = row(key)) {
            widget->SetProgress(percent);
            ++progressRepaints_;
        }
    }
    progress_.clear();
}

void CConvertList::layoutSoon() {
    pendingLayout_.request();
}

void CConvertList::orderTabs() {
    // Screen readers list the children in their order: the queue's.
    std::vector<CConvertListItemDlg*> stacked;
    for (QObject* child : viewport()->children()) {
        if (auto* row = qobject_cast<CConvertListItemDlg*>(child);
            row && rows_.count(row->taskKey()))
            stacked.push_back(row);
    }
    if (stacked != order_) {
        for (CConvertListItemDlg* row : order_) row->raise();
    }
    QWidget* previous = tabAnchor_;
    for (CConvertListItemDlg* row : order_) {
        QWidget* const chain[] = {row, row->topButton(), row->cancelButton()};
        for (QWidget* next : chain) {
            if (previous) QWidget::setTabOrder(previous, next);
            previous = next;
        }
    }
}

// After a click on the list, Tab goes on to its first row, and Shift+Tab
// to what comes before the rows.
bool CConvertList::focusNextPrevChild(bool next) {
    if (!hasFocus() || order_.empty() || !order_.front()->isVisible())
        return CScrollPane::focusNextPrevChild(next);
    if (next) {
        order_.front()->setFocus(Qt::TabFocusReason);
        return true;
    }
    return FocusTabStopBefore(order_.front()) || CScrollPane::focusNextPrevChild(next);
}

void CConvertList::showRow(const CConvertListItemDlg* row) {
    const auto at = std::find(order_.begin(), order_.end(), row);
    if (at == order_.end()) return;
    const int top = static_cast<int>(at - order_.begin()) * kRowHeight;
    const int page = viewport()->height();
    if (top < offset())
        ScrollTo(top + 1);
    else if (top + kRowHeight > offset() + page)
        ScrollTo(top + kRowHeight - page + 1);
}

}  // namespace zorvex::ui
