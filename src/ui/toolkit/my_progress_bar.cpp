#include "ui/toolkit/my_progress_bar.h"

#include <QPainter>
#include <QTimerEvent>

#include <algorithm>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {

CMyProgressBar::CMyProgressBar(QWidget* parent) : QWidget(parent) {}

void CMyProgressBar::SetRange(int low, int high) {
    low_ = low;
    high_ = high;
    SetPos(position_);
}

void CMyProgressBar::SetPos(int position) {
    const int clamped = std::clamp(position, std::min(low_, high_), std::max(low_, high_));
    if (clamped == position_) return;
    position_ = clamped;
    update();
}

int CMyProgressBar::fillWidth() const {
    // An empty range would divide by zero; it shows no fill.
    if (high_ == low_) return 0;
    const double scale = static_cast<double>(width()) / (high_ - low_);
    // The low end is not subtracted, as on the platform control this replaces.
    return std::clamp(static_cast<int>(position_ * scale), 0, width());
}

namespace {
constexpr int kSweepSteps = 60;  // one pass in 60 steps of 25 ms
}

void CMyProgressBar::SetIndeterminate(bool on) {
    if (on == indeterminate()) return;
    step_ = 0;
    if (on)
        sweep_.start(25, this);
    else
        sweep_.stop();
    update();
}

QRect CMyProgressBar::sweepRect() const {
    // A quarter of the bar enters on the left and leaves on the right.
    const int segment = std::max(1, width() / 4);
    const int travel = width() + segment;
    const int left = step_ * travel / kSweepSteps - segment;
    return QRect(left, 0, segment, height()).intersected(rect());
}

void CMyProgressBar::timerEvent(QTimerEvent* event) {
    if (event->timerId() != sweep_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    step_ = (step_ + 1) % (kSweepSteps + 1);
    update();
}

void CMyProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colorref(0xF7F7F7));
    painter.setPen(argb(0xFFD6D6D6));
    painter.drawRect(0, 0, width() - 1, height() - 1);
    const QRect fill = indeterminate() ? sweepRect() : QRect(0, 0, fillWidth(), height());
    painter.fillRect(fill, colorref(0x318EEE));
}

}  // namespace zorvex::ui
