#include "ui/my_progress_bar.h"

#include <QPainter>

#include <algorithm>

#include "ui/skin.h"

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

void CMyProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colorref(0xF7F7F7));
    painter.setPen(argb(0xFFD6D6D6));
    painter.drawRect(0, 0, width() - 1, height() - 1);
    painter.fillRect(QRect(0, 0, fillWidth(), height()), colorref(0x318EEE));
}

}  // namespace zorvex::ui
