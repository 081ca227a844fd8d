#pragma once

#include <QPoint>
#include <QRect>

class QScreen;
class QWidget;

namespace zorvex::ui {

// Where a borderless window goes so that its user can reach it. `window` is
// the part of it a user sees (global coordinates, without a shadow margin);
// `available` the screen's area left by its panels. Wholly on the area where
// it fits, moved as little as that takes; where it is wider or taller, its
// top edge and its right end stay on the area: every title band of ours
// carries its minimise and close buttons there, and the band drags the
// window to show the rest. Returns the new top-left corner of `window`.
QPoint FitOnScreen(const QRect& window, const QRect& available);

// Whether `part` (global coordinates) lies wholly on one screen's available area.
bool OnSomeScreen(const QRect& part);

// Moves the top-level `window` by FitOnScreen onto `screen` (the primary
// screen when null). `visible`: the part a user sees, in window coordinates.
void KeepOnScreen(QWidget& window, const QRect& visible, const QScreen* screen);

}  // namespace zorvex::ui
