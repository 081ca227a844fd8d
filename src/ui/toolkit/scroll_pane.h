#pragma once

#include <QAbstractScrollArea>

namespace zorvex::ui {

// The scrolling rule the card list and the conversion list share. The state
// is that of the platform scroll bar: minimum 1, a maximum (the content's
// height), a page (the client height) and a position; the largest position is
// maximum - page + 1, and the content is shifted up by position - 1 pixels.
// A wheel notch is one 25-pixel line whatever its delta; the keyboard's arrows
// scroll by lines, Page Up/Down by pages, Home/End to the top and the bottom.
// Subclasses place their children at their unscrolled position less
// offset() in placeChildren(), which runs after every change of position.
// GUI thread only.
class CScrollPane : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum ScrollRequest {
        LineUp,
        LineDown,
        PageUp,
        PageDown,
        ThumbTrack,
        Top,
        Bottom,
        ThumbPosition,
        EndScroll,
    };
    static constexpr int kLine = 25;

    explicit CScrollPane(QWidget* parent);

    // Sets maximum and page and keeps the position, clamped into the new range.
    void SetScrollRange(int maximum, int page);
    // Applies one request; track is the thumb's position for ThumbTrack.
    void Scroll(ScrollRequest request, int track = 0);
    // Moves to a position, clamped into the range.
    void ScrollTo(int position);

    int scrollMaximum() const { return maximum_; }
    int scrollPage() const { return page_; }
    int scrollPosition() const;
    int largestPosition() const;
    // Pixels the content is shifted up by.
    int offset() const { return scrollPosition() - 1; }

protected:
    // Also called while the pane itself is being made: does nothing here.
    virtual void placeChildren() {}

    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int maximum_ = 1;
    int page_ = 1;
    int wheelRest_ = 0;  // eighths of a degree not yet turned into a line
};

}  // namespace zorvex::ui
