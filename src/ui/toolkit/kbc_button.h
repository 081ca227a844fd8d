#pragma once

#include <QCursor>
#include <QString>
#include <QWidget>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {

// The one skinned push and check button. It draws one state cell of its image
// (0 normal, 1 hover, 2 pressed or checked, 3 inactive), optionally writes its
// caption over it, and reports a click to whoever listens with its control id.
// A check button never toggles itself: the parent decides and calls SetCheck.
// Tab reaches it, and Space or Enter press it once the keyboard is in use
// (FocusRing); screen readers read its caption, or its accessible name where
// it has no caption. GUI thread only; the parent owns the button, the button owns its image.
class CKbcButton : public QWidget {
    Q_OBJECT
public:
    enum class Mode { Push, Check };

    CKbcButton(int id, Mode mode, QWidget* parent);

    // Loads the image when path is not empty (a missing file leaves none),
    // with its "@2x" sibling for high-DPI screens; always sets the caption.
    void SetImage(const QString& path, const QString& caption);
    // The button's size, also the cell size of layouts 0 and 1; keeps the top-left corner.
    void SetSize(int width, int height);
    // Check mode only.
    void SetCheck(bool on);
    // Inactive: cell 3, light grey caption, presses swallowed, no Tab stop.
    // A check box beside its caption shows its box faded and its caption grey.
    void SetInactive(bool on);

    // How a push button draws its image and caption; the values are the
    // skin's layout numbers.
    enum Layout {
        LayoutCaptioned = 0,       // cells of its own size; the caption placed by its text
        LayoutPlain = 1,           // cells of its own size; no caption
        LayoutWide = 3,            // 90 x 30 cells, scaled; the caption placed by its length
        LayoutCells = 4,           // cells of SetCellSize, scaled; a 12 px caption
        LayoutIcon = 5,            // an icon cell and a 12 px caption beside it
        LayoutText = 6,            // no image: the caption alone, centred
        LayoutCellsCaptioned = 7,  // cells of SetCellSize, scaled; a 14 px caption
    };
    // Push mode: a Layout; any other value draws as LayoutPlain.
    void SetLayout(int layout);
    // The fill behind the button. A check button also draws by it:
    // BackgroundPanel as a 14 px box with its caption beside it,
    // BackgroundDark as a menu entry with a 16 px caption.
    enum Background {
        BackgroundNone = 0,
        BackgroundPanel = 1,       // 0xF2F3F3
        BackgroundLight = 2,       // 0xF8F8F8
        BackgroundGrey = 3,        // 0x57565B
        BackgroundDark = 4,        // 0x3E3D42
        BackgroundPanelPlain = 6,  // 0xF2F3F3, a check button drawn from its cells alone
        BackgroundStone = 7,       // 0xEAE9E6
        BackgroundPale = 8,        // 0xF7F7F7
    };
    void SetBackground(Background background);
    // Fills with this colour instead of the Background's (which
    // still chooses how a check button draws), for a button on a surface of
    // another colour; an invalid colour goes back to the number's.
    void SetBackgroundColour(const QColor& colour);
    // The state-cell size inside the image for layouts 4, 5 and 7.
    void SetCellSize(int width, int height);
    // Shows `cursor` over the button (the pages pass the pointing hand).
    void SetUseCursor(bool on, const QCursor& cursor = QCursor(Qt::PointingHandCursor));

    int id() const { return id_; }
    const QString& caption() const { return caption_; }
    bool isCheckMode() const { return mode_ == Mode::Check; }
    bool checked() const { return checked_; }
    bool inactive() const { return inactive_; }
    bool hovered() const { return hovered_; }
    bool pressed() const { return down_; }
    // The state cell the next paint draws.
    int stateCell() const;
    // A click from the keyboard or a screen reader; an inactive button ignores it.
    void Press();

signals:
    void clicked(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Caption {
        QRect rect;  // empty: not drawn
        int pixelSize = 14;
        int alignment = Qt::AlignLeft | Qt::AlignTop;
        QColor colour;
    };
    void drawCell(QPainter& painter, const QRect& source, const QRect& target) const;
    // What the focus ring goes around.
    QRect ringArea() const;
    void paintCheck(QPainter& painter);
    void paintPush(QPainter& painter);
    Caption pushCaption(int layout, int cell) const;

    // Constant after construction.
    const int id_;
    const Mode mode_;

    QString caption_;
    SkinImage image_;
    int layout_ = 0;
    Background background_ = BackgroundNone;
    QColor backgroundColour_;
    int width_ = 0;
    int height_ = 0;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    bool checked_ = false;
    bool inactive_ = false;
    bool hovered_ = false;
    bool tracking_ = false;  // a press started here and the button is held
    bool down_ = false;      // held and the pointer is over the button
};

}  // namespace zorvex::ui
