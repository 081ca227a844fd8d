#pragma once

#include <QColor>
#include <QRect>

#include <functional>

class QPainter;
class QWidget;

namespace zorvex::ui {

// The keyboard focus as desktop users expect it: a thin ring in the skin's
// accent. It shows only once the keyboard has moved the focus (Tab,
// Shift+Tab, the arrows) and goes again at the next mouse press, so someone
// using the mouse alone sees every window exactly as drawn without it.
// GUI thread only.
class FocusRing {
public:
    // The accent of the skin (the progress fill and the menu's highlight).
    static QColor Accent();
    // Starts watching keys and presses for the whole application (once);
    // every control that can take the keyboard focus calls it when made.
    static void Track();
    // The keyboard has moved the focus since the last mouse press.
    static bool KeyboardInUse();
    // widget holds the focus and the keyboard is in use.
    static bool Visible(const QWidget* widget);
    // Draws the 2-pixel ring inside area (the widget's rectangle when
    // empty) when Visible(widget), for a control whose edges stay clear.
    static void Paint(QPainter& painter, const QWidget* widget, const QRect& area = {});
    // Rings `widget` from outside, a pixel clear of it, so that the ring
    // covers none of its text or icons; where its parent's edge leaves no
    // room, that side runs along the widget's own edge. `area` gives the part
    // to ring (widget coordinates; the whole widget when empty or unset).
    // Also Tracks. The ring is drawn by a sibling laid over the widget's
    // parent, which screen readers do not see.
    static void Surround(QWidget* widget, std::function<QRect()> area = {});
    // The ring's rectangle in the widget's parent while it shows, else empty.
    static QRect SurroundRect();
};

}  // namespace zorvex::ui
