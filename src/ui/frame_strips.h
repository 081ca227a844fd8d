#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

#include <array>

namespace zorvex::ui {

class CClientFrameDlg;

// The four shadow pieces around one borderless window, placed from the
// window's client rectangle in screen coordinates and kept there while the
// window moves, shows and hides. GUI thread only. The pieces are children of
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

    FrameStrips(QWidget* owner, Geometry geometry);

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
    std::array<QPointer<CClientFrameDlg>, 4> pieces_;
};

}  // namespace zorvex::ui
