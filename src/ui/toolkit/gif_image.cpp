#include "ui/toolkit/gif_image.h"

#include <QImageReader>
#include <QPainter>
#include <QTimerEvent>

namespace zorvex::ui {

CGIFImage::CGIFImage(QWidget* parent) : QWidget(parent) {}

int CGIFImage::effectiveDelay(int fileDelayMs) {
    return fileDelayMs <= 10 ? 100 : fileDelayMs;
}

void CGIFImage::Load(const QString& path) {
    Stop();
    frames_.clear();
    delays_.clear();
    current_ = 0;
    QImageReader reader(path);
    QImage frame;
    while (reader.read(&frame)) {
        frames_.push_back(frame.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        delays_.push_back(effectiveDelay(reader.nextImageDelay()));
        if (!reader.canRead()) break;
    }
    playing_ = true;
    // One frame is drawn once and never again.
    if (frames_.size() > 1) timer_.start(delays_.front(), Qt::PreciseTimer, this);
    update();
}

void CGIFImage::SetKind(int kind) {
    kind_ = kind;
    update();
}

void CGIFImage::Stop() {
    timer_.stop();
}

void CGIFImage::ShowFrame(int frame) {
    Stop();
    if (frame < 0 || frame >= frameCount()) return;
    current_ = frame;
    update();
}

int CGIFImage::frameDelay(int frame) const {
    if (frame < 0 || frame >= frameCount()) return 0;
    return delays_[static_cast<std::size_t>(frame)];
}

void CGIFImage::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    current_ = (current_ + 1) % frameCount();
    timer_.start(delays_[static_cast<std::size_t>(current_)], Qt::PreciseTimer, this);
    update();
}

void CGIFImage::paintEvent(QPaintEvent*) {
    if (!playing_ || frames_.empty()) return;
    const QImage& frame = frames_[static_cast<std::size_t>(current_)];
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (kind_ == 2) {
        painter.drawImage(QRectF(0, 0, 50, 16), frame, QRectF(0, 0, frame.width(), frame.height()));
        return;
    }
    const int upperHalf = frame.height() / 2;  // whole rows of the sheet
    painter.drawImage(QRectF(rect()), frame, QRectF(0, 0, frame.width(), upperHalf));
}

}  // namespace zorvex::ui
