#include "ui/toolkit/window_drag.h"

#include <QWidget>
#include <QWindow>

namespace zorvex::ui {

void WindowDrag::press(const QPointF& globalPress) {
    if (window_->windowHandle() && window_->windowHandle()->startSystemMove()) return;
    dragging_ = true;
    offset_ = globalPress.toPoint() - window_->pos();
    if (grabMouse_) window_->grabMouse();
}

void WindowDrag::follow(const QPointF& globalAt) {
    if (dragging_) window_->move(globalAt.toPoint() - offset_);
}

void WindowDrag::release() {
    if (dragging_ && grabMouse_) window_->releaseMouse();
    dragging_ = false;
}

}  // namespace zorvex::ui
