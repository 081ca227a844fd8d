#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <array>

class QPainter;

namespace zorvex::ui {

class CClientFrameDlg;

// The soft shadow around one borderless window. Where a client may place its
// top-level windows (X11), four pieces are placed from the window's client
// rectangle in screen coordinates and kept there while the window moves,
// shows and hides. Where it may not (Wayland, whose compositor would scatter
// the pieces), the owner keeps a translucent margin() around its client area
// and paints the same images there with paintMargin(); clicks on the margin
// go through to what lies below. GUI thread only. The pieces are children of
// the owner; Destroy() removes them earlier.
class FrameStrips : public QObject {
    Q_OBJECT
public:
    // sideHeight: height of the left and right pieces. edgeInset: how far the
    // top and bottom pieces start left of the client area; edgeWidth: their width.
    struct Geometry {
        int sideHeight;
        int edgeInset;
        int edgeWidth;
    };
    static constexpr Geometry kMainWindow{630, 16, 1004};
    static constexpr Geometry kConfirmation{300, 8, 476};
    static constexpr Geometry kUpdateDownload{310, 8, 476};

    // None: no shadow, for an X11 desktop without a compositing manager,
    // where translucent windows would show as black slabs.
    enum class Mode { Auto, Pieces, Margin, None };
    static constexpr int kMarginWidth = 16;

    // Auto: a margin where !canPlaceWindows(); else pieces, or none while no
    // compositing manager runs.
    FrameStrips(QWidget* owner, Geometry geometry, Mode mode = Mode::Auto);

    // False on Wayland.
    static bool canPlaceWindows();
    // False on an X11 display whose screen has no compositing manager.
    static bool canBlendWindows();
    // 0 with pieces; the owner's client area starts this far in.
    int margin() const { return margin_; }
    // The client rectangle in the owner's coordinates for a client size.
    QRect clientRect(QSize client) const {
        return {margin_, margin_, client.width(), client.height()};
    }
    // Margin mode: the four images around client (owner coordinates) as the
    // pieces would show them; nothing with pieces. Call from the owner's paint.
    void paintMargin(QPainter& painter, const QRect& client) const;
    // Without a shadow, a hairline that sets a dialog off from the window it
    // covers; nothing otherwise. Call last in the owner's paint.
    void paintOutline(QPainter& painter, const QRect& client) const;

    // Where each piece goes for a client rectangle (L, T, R, B): left, top, right, bottom.
    static std::array<QRect, 4> placement(const QRect& client, Geometry geometry);

    // Places and shows the pieces around the owner, then refreshes them.
    void Place();
    void Hide();
    void Destroy();
    CClientFrameDlg* piece(int kind) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* owner_;
    const Geometry geometry_;
    int margin_ = 0;
    bool shadowless_ = false;
    std::array<QPointer<CClientFrameDlg>, 4> pieces_;
    std::array<QImage, 4> images_;  // margin mode: left, top, right, bottom
};

}  // namespace zorvex::ui
