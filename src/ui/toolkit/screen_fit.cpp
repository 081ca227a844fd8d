#include "ui/toolkit/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace zorvex::ui {
namespace {

// Along one axis: inside [low, high] when `size` fits; else `keep` (the
// start or the end of the window) on it.
int fitAxis(int start, int size, int low, int high, bool keepEnd) {
    const int room = high - low + 1;
    if (size > room) return keepEnd ? high + 1 - size : low;
    return std::clamp(start, low, high + 1 - size);
}

}  // namespace

QPoint FitOnScreen(const QRect& window, const QRect& available) {
    if (!available.isValid()) return window.topLeft();
    return {fitAxis(window.x(), window.width(), available.left(), available.right(), true),
            fitAxis(window.y(), window.height(), available.top(), available.bottom(), false)};
}

bool OnSomeScreen(const QRect& part) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&part](const QScreen* screen) {
        return screen->availableGeometry().contains(part);
    });
}

void KeepOnScreen(QWidget& window, const QRect& visible, const QScreen* screen) {
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect seen = visible.translated(window.pos());
    const QPoint to = FitOnScreen(seen, screen->availableGeometry());
    if (to != seen.topLeft()) window.move(window.pos() + (to - seen.topLeft()));
}

}  // namespace zorvex::ui
