#include "ui/toolkit/menu_dlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

// A Wayland client cannot place a window of its own, only a popup relative
// to its parent: there the menu is one, so it still opens below its box.
Qt::WindowType menuWindowType() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ? Qt::ToolTip
                                                                                : Qt::Tool;
}

}  // namespace

CMenuDlg::CMenuDlg(int style, QWidget* owner)
    : QWidget(owner, menuWindowType() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      style_(style) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMouseTracking(true);
    check_ = loadSkinImage(QStringLiteral("Comm\\Select.png"));
    hide();
}

void CMenuDlg::SetTexts(const QStringList& texts) {
    texts_ = texts;
}

void CMenuDlg::SetCurrent(const QString& current) {
    current_ = current;
    update();
}

void CMenuDlg::Rebuild() {
    items_.clear();
    for (int i = 0; i < texts_.size(); ++i)
        items_.push_back({texts_[i], QRect(0, kRowHeight * i, 125, kRowHeight), 0});
    hoverIndex_ = 0;
    update();
}

int CMenuDlg::itemAt(const QPoint& point) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].rect.contains(point)) return static_cast<int>(i);
    return -1;
}

void CMenuDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(QRect(0, 0, 17, height()), colorref(0xE9E9E9));
    painter.fillRect(QRect(17, 0, width() - 17, height()), colorref(0xF8F8F8));
    painter.setFont(skinFont(12));
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const int y = 3 + kRowHeight * static_cast<int>(i);
        const bool hot = hoverIndex_ == static_cast<int>(i) + 1;
        if (hot) painter.fillRect(QRect(0, y - 3, width(), kRowHeight), colorref(0x318EEE));
        if (items_[i].text == current_ && !check_.isNull())
            painter.drawImage(QRectF(2, y + 2, 12, 12), check_, QRectF(0, hot ? 12 : 0, 12, 12));
        painter.setPen(hot ? argb(0xFFFFFFFF) : argb(0xFF3E3D42));
        painter.drawText(QRect(19, y, 100, 20), Qt::AlignLeft | Qt::AlignTop, items_[i].text);
    }
    painter.setPen(argb(0xFFD6D6D6));
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

void CMenuDlg::mouseMoveEvent(QMouseEvent* event) {
    const int hover = itemAt(event->position().toPoint()) + 1;
    if (hover != hoverIndex_) {
        hoverIndex_ = hover;
        update();
    }
}

void CMenuDlg::leaveEvent(QEvent* event) {
    hoverIndex_ = 0;
    update();
    QWidget::leaveEvent(event);
}

void CMenuDlg::showEvent(QShowEvent* event) {
    hoverIndex_ = 0;  // a highlight left from the last opening is not the mouse's now
    // The menu never takes activation: the keys reach it past whatever holds the focus.
    qApp->installEventFilter(this);
    QWidget::showEvent(event);
}

void CMenuDlg::hideEvent(QHideEvent* event) {
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
}

bool CMenuDlg::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) || !watched->isWidgetType())
        return false;
    // Keys of another window (a dialog, the tray's menu) are theirs.
    const QWidget* to = static_cast<QWidget*>(watched)->window();
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (to != this && to != owner) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (type == QEvent::ShortcutOverride) {
        key->accept();  // no shortcut fires behind the menu
        return true;
    }
    takeKey(key);
    return true;
}

void CMenuDlg::takeKey(const QKeyEvent* event) {
    const int count = static_cast<int>(items_.size());
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Backtab:
            MoveHover(-1);
            return;
        case Qt::Key_Down:
        case Qt::Key_Tab:
            MoveHover(1);
            return;
        case Qt::Key_Home:
        case Qt::Key_PageUp:
            hoverIndex_ = std::min(1, count);
            update();
            return;
        case Qt::Key_End:
        case Qt::Key_PageDown:
            hoverIndex_ = count;
            update();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (ChooseHovered()) return;
            [[fallthrough]];  // nothing highlighted: closes as Escape does
        case Qt::Key_Escape:
            hoverIndex_ = 0;
            hide();
            emit dismissed();
            return;
        default:
            return;
    }
}

void CMenuDlg::MoveHover(int delta) {
    const int count = static_cast<int>(items_.size());
    if (count == 0) return;
    const int from = hoverIndex_ == 0 ? (delta > 0 ? 0 : count + 1) : hoverIndex_;
    hoverIndex_ = std::clamp(from + delta, 1, count);
    update();
}

bool CMenuDlg::ChooseHovered() {
    if (hoverIndex_ == 0) return false;
    choose(hoverIndex_ - 1);
    return true;
}

void CMenuDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int index = itemAt(event->position().toPoint());
    if (index < 0) return;
    choose(index);
}

void CMenuDlg::choose(int index) {
    MENU_ITEM_ST& item = items_[static_cast<std::size_t>(index)];
    item.chosen = 1;
    chosen_ = item.text;
    current_ = item.text;
    hoverIndex_ = 0;
    hide();
    emit itemChosen(chosen_);
}

}  // namespace zorvex::ui
