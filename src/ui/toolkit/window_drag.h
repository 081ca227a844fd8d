#pragma once

#include <QPoint>
#include <QPointF>

class QWidget;

namespace zorvex::ui {

// Moves a frameless top-level window by a left press on the part that drags
// it: by the window manager where it can (X11 and Wayland alike), else by
// hand while the button is held. GUI thread; the window owns it.
class WindowDrag {
public:
    // grabMouse: a drag by hand keeps the mouse, so that a fast move past the
    // window's edge does not lose it.
    explicit WindowDrag(QWidget* window, bool grabMouse = false)
        : window_(window), grabMouse_(grabMouse) {}

    // The left button went down on the dragging part (global position).
    void press(const QPointF& globalPress);
    // The mouse moved; the window follows while dragged by hand.
    void follow(const QPointF& globalAt);
    void release();
    bool dragging() const { return dragging_; }

private:
    QWidget* const window_;
    const bool grabMouse_;
    bool dragging_ = false;
    QPoint offset_;
};

}  // namespace zorvex::ui
