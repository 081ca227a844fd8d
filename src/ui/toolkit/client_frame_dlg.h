#pragma once

#include <QImage>
#include <QWidget>

namespace zorvex::ui {

// One piece of the soft shadow around a borderless window: a frameless,
// translucent top-level window owned by that window. It never takes focus,
// activation or input. It draws a fixed source rectangle of its frame image
// stretched over itself at 200/255 opacity, so pieces of other lengths show
// the same shadow squeezed. The owner places it (see FrameStrips).
// GUI thread only; the owner's widget tree owns the piece.
class CClientFrameDlg : public QWidget {
    Q_OBJECT
public:
    enum Kind { Left = 1, Top = 2, Right = 3, Bottom = 4, Whole = 5 };

    CClientFrameDlg(QWidget* owner, int kind);

    int kind() const { return kind_; }
    // Pushes the image again; the owner calls it once after placing the piece.
    void RefreshLayered();

    // The source rectangle each kind cuts from its image.
    static QRect sourceRect(int kind);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static QString imageName(int kind);

    const int kind_;
    // Its kind's image only: the whole frame's is 2.6 MiB decoded.
    const QImage image_;
};

}  // namespace zorvex::ui
