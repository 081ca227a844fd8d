#include "ui/toolkit/window_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace zorvex::ui {

WindowDrag::WindowDrag(QWidget* window, Area area, bool grabMouse)
    : window_(window), area_(std::move(area)), grabMouse_(grabMouse) {
    window_->installEventFilter(this);
}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched != window_ || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
                               type != QEvent::MouseButtonRelease))
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (type) {
        case QEvent::MouseButtonPress:
            if (mouse->button() != Qt::LeftButton || !area_(mouse->position().toPoint()))
                return false;
            if (window_->windowHandle() && window_->windowHandle()->startSystemMove()) return true;
            dragging_ = true;
            offset_ = mouse->globalPosition().toPoint() - window_->pos();
            if (grabMouse_) window_->grabMouse();
            return true;
        case QEvent::MouseMove:
            if (!dragging_) return false;
            window_->move(mouse->globalPosition().toPoint() - offset_);
            return true;
        case QEvent::MouseButtonRelease:
            if (dragging_ && grabMouse_) window_->releaseMouse();
            dragging_ = false;
            return false;
        default:
            return false;
    }
}

}  // namespace zorvex::ui
