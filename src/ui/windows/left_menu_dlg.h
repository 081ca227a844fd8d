#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

namespace zorvex::ui {

class CGIFImage;
class CKbcButton;
class CKeyTarget;

// The dark navigation column left of the page: the logo and the entries
// "飞屏", "转码" and "设置", exactly one of them marked. Choosing an entry
// that is not marked marks it and asks for its view; the marked one sends
// nothing. A press between "设置" and the bottom 35 pixels is left to the
// main window, which starts dragging itself. Tab reaches the three entries in
// their order, and Space or Enter chooses one as a click does; screen readers
// hear them as tabs. GUI thread only; the main window owns it.
class CLeftMenuDlg : public QWidget {
    Q_OBJECT
public:
    // What viewRequested carries: the library, the conversion list, the settings.
    enum MenuCode { MenuLibrary = 1, MenuConvert = 3, MenuSettings = 4 };
    enum ControlId { IdFly = 1011, IdSettings = 1076, IdGif = 1078 };
    static constexpr int kWidth = 160;
    static constexpr QRect kLogoRect{0, 0, 160, 51};
    static constexpr QRect kFlyRect{0, 51, 160, 48};
    static constexpr QRect kConvertRect{0, 99, 160, 48};
    static constexpr QRect kSettingsRect{0, 147, 160, 48};

    explicit CLeftMenuDlg(QWidget* owner);

    // Places the entries, marks "飞屏" and repaints.
    void Layout();
    // Marks the entry of a MenuCode, as when the window shows its view by
    // itself; asks for nothing.
    void Mark(int code);

    // The code of the marked entry.
    int marked() const;
    bool convertSelected() const { return convertSelected_; }
    bool convertHovered() const { return convertHovered_; }
    // Inside the drag area: 195 < y < height - 35.
    bool inDragArea(const QPoint& point) const;
    CKbcButton* button(int id) const;
    // What the keyboard and screen readers reach "转码" through.
    CKeyTarget* convertTarget() const { return convertTarget_; }

signals:
    void viewRequested(int code);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onButton(int id);
    void setConvertHovered(bool on);
    void chooseConvert();

    CKbcButton* fly_;
    CKbcButton* settings_;
    CKeyTarget* convertTarget_;
    CGIFImage* gif_;  // loaded, kept hidden
    QImage logo_;
    QImage convertEntry_;  // three 160 x 48 cells: normal, hover, selected
    bool convertSelected_ = false;
    bool convertHovered_ = false;
};

}  // namespace zorvex::ui
