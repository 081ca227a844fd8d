#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

namespace zorvex::ui {

// One row of the popup menu.
struct MENU_ITEM_ST {
    QString text;
    QRect rect;  // hit rectangle in client coordinates, 125 x 22
    int chosen = 0;
};

// A borderless list of text rows, 22 pixels each, that marks the current
// choice with a check image, highlights the row under the mouse, reports a
// clicked row's text and hides itself. The owner fills, sizes, places, shows
// and hides it; style 2 (the address menu) stays shown when it loses
// activation. While shown it takes the keys meant for its owner's window,
// however it was opened: the arrows, Tab, Home and End move the highlight,
// Enter or Space chooses, Escape closes it (dismissed()); other keys do
// nothing until it is closed. GUI thread only; the owner's widget tree owns the menu.
class CMenuDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 22;

    CMenuDlg(int style, QWidget* owner);

    void SetTexts(const QStringList& texts);
    void SetCurrent(const QString& current);
    // Rebuilds the rows from the texts.
    void Rebuild();

    int style() const { return style_; }
    const QString& current() const { return current_; }
    const QString& chosen() const { return chosen_; }
    const std::vector<MENU_ITEM_ST>& items() const { return items_; }
    // 1-based index of the row under the mouse, 0 for none.
    int hoverIndex() const { return hoverIndex_; }
    // The keyboard's way through the menu: the highlight moves by delta rows
    // (from none: the first or the last), and the highlighted row is chosen
    // as a click chooses it. Returns false when no row is highlighted.
    void MoveHover(int delta);
    bool ChooseHovered();

signals:
    // Emitted after a click on a row, with the row's text; the menu is hidden by then.
    void itemChosen(const QString& text);
    // Closed from the keyboard without a choice; the menu is hidden by then.
    void dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A key meant for the owner's window, taken while shown.
    void takeKey(const QKeyEvent* event);
    int itemAt(const QPoint& point) const;  // 0-based, -1 for none
    void choose(int index);                 // 0-based

    // Constant after construction.
    const int style_;
    QImage check_;

    QStringList texts_;
    std::vector<MENU_ITEM_ST> items_;
    QString current_;
    QString chosen_;
    int hoverIndex_ = 0;
};

}  // namespace zorvex::ui
