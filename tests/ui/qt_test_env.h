#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <vector>

// Helpers for widget tests on the offscreen platform. One QApplication lives
// for the whole test program.
namespace zorvex::test {

QImage grab(QWidget& widget);
void enter(QWidget& widget);
void leave(QWidget& widget);
void press(QWidget& widget, QPoint at);
void release(QWidget& widget, QPoint at);
void click(QWidget& widget);  // press and release at the centre
void moveMouse(QWidget& widget, QPoint at);
void dragTo(QWidget& widget, QPoint at);  // a move with the left button held

// Writes a PNG of solid cells stacked vertically, one colour each.
QString writeCells(const QString& path, QSize cell, const std::vector<QColor>& colours);

// The bounding box of pixels that differ from `background` by more than `tolerance`.
QRect inkBox(const QImage& image, const QColor& background, int tolerance = 40);

bool sameColour(QRgb pixel, const QColor& expected, int tolerance = 3);

}  // namespace zorvex::test
