#include "ui/toolkit/focus_ring.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QWidget>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

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

void setKeyboardInUse(bool on) {
    if (on == keyboardInUse) return;
    keyboardInUse = on;
    // The focused control draws or drops its ring without a focus change.
    if (QWidget* focused = QApplication::focusWidget()) focused->update();
}

// Sees every key and press before the widgets do; consumes nothing.
class Watcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
                if (movesFocus(static_cast<QKeyEvent*>(event)->key())) setKeyboardInUse(true);
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                setKeyboardInUse(false);
                break;
            default:
                break;
        }
        return false;
    }
};

}  // namespace

QColor FocusRing::Accent() {
    return colorref(0x318EEE);
}

void FocusRing::Track() {
    static Watcher* watcher = nullptr;
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
    const QRect r = area.isEmpty() ? widget->rect() : area;
    painter.save();
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Accent());
    // Four bars rather than a stroked rectangle: exact pixels at every scale.
    painter.drawRect(QRect(r.left(), r.top(), r.width(), 2));
    painter.drawRect(QRect(r.left(), r.bottom() - 1, r.width(), 2));
    painter.drawRect(QRect(r.left(), r.top() + 2, 2, r.height() - 4));
    painter.drawRect(QRect(r.right() - 1, r.top() + 2, 2, r.height() - 4));
    painter.restore();
}

}  // namespace zorvex::ui
