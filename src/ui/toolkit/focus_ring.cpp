#include "ui/toolkit/focus_ring.h"

#include <QApplication>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <map>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

constexpr int kBar = 2;  // the ring's width
constexpr int kGap = 1;  // between the ring and the control

bool keyboardInUse = false;

bool movesFocus(int key) {
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            return true;
        default:
            return false;
    }
}

// Four bars rather than a stroked rectangle: exact pixels at every scale.
void paintBars(QPainter& painter, const QRect& r) {
    painter.save();
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(FocusRing::Accent());
    painter.drawRect(QRect(r.left(), r.top(), r.width(), kBar));
    painter.drawRect(QRect(r.left(), r.bottom() + 1 - kBar, r.width(), kBar));
    painter.drawRect(QRect(r.left(), r.top() + kBar, kBar, r.height() - 2 * kBar));
    painter.drawRect(QRect(r.right() + 1 - kBar, r.top() + kBar, kBar, r.height() - 2 * kBar));
    painter.restore();
}

// The ring around a surrounded control. A QFocusFrame, which is what
// screen readers and Qt's own tools know to pass over; placed by the
// watcher rather than by the style, whose margins would not keep clear.
class Ring : public QFocusFrame {
public:
    using QFocusFrame::QFocusFrame;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintBars(painter, rect());
    }
};

// Sees every key and press before the widgets do, and the surrounded
// control's moves; consumes nothing.
class Watcher : public QObject {
public:
    explicit Watcher(QObject* parent) : QObject(parent) {
        connect(qApp, &QApplication::focusChanged, this, &Watcher::follow);
    }

    void setKeyboardInUse(bool on) {
        if (on == keyboardInUse) return;
        keyboardInUse = on;
        // The focused control draws or drops its ring without a focus change.
        if (QWidget* focused = QApplication::focusWidget()) focused->update();
        follow();
    }

    void surround(QWidget* widget, std::function<QRect()> area) {
        if (!areas_.count(widget))
            connect(widget, &QObject::destroyed, this, [this, widget] { areas_.erase(widget); });
        areas_[widget] = std::move(area);
        follow();
    }

    QRect ringRect() const { return ring_ && ring_->isVisible() ? ring_->geometry() : QRect(); }

    // Puts the ring around the focused control, or takes it away.
    void follow() {
        QWidget* focused = QApplication::focusWidget();
        const auto it = focused ? areas_.find(focused) : areas_.end();
        QWidget* parent = focused ? focused->parentWidget() : nullptr;
        if (!keyboardInUse || it == areas_.end() || !parent || !focused->isVisible()) {
            target_ = nullptr;
            if (ring_) ring_->hide();
            return;
        }
        target_ = focused;
        const QRect part = it->second ? it->second() : QRect();
        const QRect around = (part.isEmpty() ? focused->rect() : part)
                                 .translated(focused->pos())
                                 .adjusted(-kGap - kBar, -kGap - kBar, kGap + kBar, kGap + kBar)
                                 .intersected(parent->rect());
        if (!ring_)
            ring_ = new Ring(parent);
        else if (ring_->parentWidget() != parent)
            ring_->setParent(parent);
        ring_->setGeometry(around);
        ring_->raise();
        ring_->show();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
                if (movesFocus(static_cast<QKeyEvent*>(event)->key())) setKeyboardInUse(true);
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                setKeyboardInUse(false);
                break;
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
            case QEvent::Hide:
                if (watched == target_) follow();
                break;
            default:
                break;
        }
        return false;
    }

private:
    std::map<const QObject*, std::function<QRect()>> areas_;
    QPointer<QWidget> target_;
    QPointer<Ring> ring_;
};

QPointer<Watcher> watcher;

}  // namespace

QColor FocusRing::Accent() {
    return colorref(0x318EEE);
}

void FocusRing::Track() {
    if (watcher || !qApp) return;
    watcher = new Watcher(qApp);
    qApp->installEventFilter(watcher);
}

bool FocusRing::KeyboardInUse() {
    return keyboardInUse;
}

bool FocusRing::Visible(const QWidget* widget) {
    return keyboardInUse && widget && widget->hasFocus();
}

void FocusRing::Paint(QPainter& painter, const QWidget* widget, const QRect& area) {
    if (!Visible(widget)) return;
    paintBars(painter, area.isEmpty() ? widget->rect() : area);
}

void FocusRing::Surround(QWidget* widget, std::function<QRect()> area) {
    Track();
    if (watcher && widget) watcher->surround(widget, std::move(area));
}

QRect FocusRing::SurroundRect() {
    return watcher ? watcher->ringRect() : QRect();
}

}  // namespace zorvex::ui
