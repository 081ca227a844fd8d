#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QWidget;

namespace zorvex::ui {

// Moves a frameless top-level window by a left press on the part that drags
// it: by the window manager where it can (X11 and Wayland alike), else by
// hand while the button is held. It watches the window's own mouse events;
// a press it takes goes no further. GUI thread; the window owns it.
class WindowDrag final : public QObject {
public:
    // Whether a press at a point (the window's coordinates) drags it.
    using Area = std::function<bool(const QPoint& at)>;
    // grabMouse: a drag by hand keeps the mouse, so that a fast move past the
    // window's edge does not lose it.
    WindowDrag(QWidget* window, Area area, bool grabMouse = false);

    bool dragging() const { return dragging_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* const window_;
    const Area area_;
    const bool grabMouse_;
    bool dragging_ = false;
    QPoint offset_;
};

}  // namespace zorvex::ui
