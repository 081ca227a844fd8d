#include "qt_test_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>
#include <memory>

namespace zorvex::test {
namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "ui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

void sendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held) {
    const QPointF local(at);
    const QPointF global = widget.mapToGlobal(local);
    QMouseEvent event(type, local, local, global, button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
}

}  // namespace

QImage grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

void enter(QWidget& widget) {
    const QPointF at(1, 1);
    QEnterEvent event(at, at, widget.mapToGlobal(at));
    QCoreApplication::sendEvent(&widget, &event);
}

void leave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &event);
}

void press(QWidget& widget, QPoint at) {
    sendMouse(widget, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}

void release(QWidget& widget, QPoint at) {
    sendMouse(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void click(QWidget& widget) {
    const QPoint centre = widget.rect().center();
    press(widget, centre);
    release(widget, centre);
}

void moveMouse(QWidget& widget, QPoint at) {
    sendMouse(widget, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
}

void dragTo(QWidget& widget, QPoint at) {
    sendMouse(widget, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
}

QString writeCells(const QString& path, QSize cell, const std::vector<QColor>& colours) {
    QImage image(cell.width(), cell.height() * static_cast<int>(colours.size()),
                 QImage::Format_ARGB32);
    QPainter painter(&image);
    for (std::size_t i = 0; i < colours.size(); ++i)
        painter.fillRect(QRect(0, cell.height() * static_cast<int>(i), cell.width(), cell.height()),
                         colours[i]);
    painter.end();
    QDir().mkpath(QFileInfo(path).absolutePath());
    image.save(path, "PNG");
    return path;
}

QRect inkBox(const QImage& image, const QColor& background, int tolerance) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!sameColour(image.pixel(x, y), background, tolerance)) box |= QRect(x, y, 1, 1);
    return box;
}

bool sameColour(QRgb pixel, const QColor& expected, int tolerance) {
    return std::abs(qRed(pixel) - expected.red()) <= tolerance &&
           std::abs(qGreen(pixel) - expected.green()) <= tolerance &&
           std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

}  // namespace zorvex::test
