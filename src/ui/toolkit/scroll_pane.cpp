#include "ui/toolkit/scroll_pane.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace zorvex::ui {
namespace {

constexpr int kNotch = 120;  // eighths of a degree in one notch of a plain wheel

// A slim bar in the skin's greys: the platform's default would be the only
// unskinned control of the page.
const char* const kBarStyle = R"(
QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }
QScrollBar::handle:vertical { background: #C9CDD2; border-radius: 4px; min-height: 30px; }
QScrollBar::handle:vertical:hover { background: #AEB3B9; }
QScrollBar::handle:vertical:pressed { background: #9A999E; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }
)";

}  // namespace

CScrollPane::CScrollPane(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::ClickFocus);
    QScrollBar* bar = verticalScrollBar();
    bar->setStyleSheet(QString::fromLatin1(kBarStyle));
    bar->setSingleStep(kLine);
    bar->setRange(1, 1);
}

int CScrollPane::scrollPosition() const {
    return verticalScrollBar()->value();
}

int CScrollPane::largestPosition() const {
    return std::max(1, maximum_ - page_ + 1);
}

void CScrollPane::SetScrollRange(int maximum, int page) {
    maximum_ = std::max(1, maximum);
    page_ = std::max(1, page);
    QScrollBar* bar = verticalScrollBar();
    // The bar clamps its value and reports the move through scrollContentsBy.
    bar->setPageStep(page_);
    bar->setRange(1, largestPosition());
}

void CScrollPane::ScrollTo(int position) {
    verticalScrollBar()->setValue(std::clamp(position, 1, largestPosition()));
}

void CScrollPane::Scroll(ScrollRequest request, int track) {
    const int position = scrollPosition();
    switch (request) {
        case LineUp:
            ScrollTo(position - kLine);
            break;
        case LineDown:
            ScrollTo(position + kLine);
            break;
        case PageUp:
            ScrollTo(position - page_);
            break;
        case PageDown:
            ScrollTo(position + page_);
            break;
        case ThumbTrack:
            ScrollTo(track);
            break;
        case Top:
            ScrollTo(1);
            break;
        case Bottom:
            ScrollTo(largestPosition());
            break;
        case ThumbPosition:
        case EndScroll:
            break;
    }
}

void CScrollPane::scrollContentsBy(int, int) {
    placeChildren();
    viewport()->update();
}

void CScrollPane::wheelEvent(QWheelEvent* event) {
    event->accept();
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    // A notch or more in one event is one line; the small steps of a
    // high-resolution wheel or a touchpad add up to a notch first.
    if (std::abs(delta) >= kNotch) {
        wheelRest_ = 0;
        Scroll(delta > 0 ? LineUp : LineDown);
        return;
    }
    if ((wheelRest_ > 0) != (delta > 0)) wheelRest_ = 0;
    wheelRest_ += delta;
    if (std::abs(wheelRest_) < kNotch) return;
    Scroll(wheelRest_ > 0 ? LineUp : LineDown);
    wheelRest_ = 0;
}

void CScrollPane::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up:
            Scroll(LineUp);
            break;
        case Qt::Key_Down:
            Scroll(LineDown);
            break;
        case Qt::Key_PageUp:
            Scroll(PageUp);
            break;
        case Qt::Key_PageDown:
            Scroll(PageDown);
            break;
        case Qt::Key_Home:
            Scroll(Top);
            break;
        case Qt::Key_End:
            Scroll(Bottom);
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

}  // namespace zorvex::ui
