#pragma once

#include <QFileDialog>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {

class CKbcButton;
class CKeyTarget;
class CoreSession;

// The conversion view's bottom bar, 52 pixels high: "保存至:" and the save
// folder, the icon that opens the folder, "修改", which chooses another
// folder in a dialog, and "清空已完成". It gives those commands to the session
// itself; a folder the session refuses is reported for the page's toast.
// Presses, releases and moves go on to the page once the bar has seen them,
// so that the page closes its address menu and takes the focus as it does
// anywhere else on it. The session must outlive the bar. GUI thread only;
// the page owns it.
class CSaveFolderBar : public QWidget {
    Q_OBJECT
public:
    enum ControlId { IdModifyPath = 1034, IdClean = 1057 };
    static constexpr int kHeight = 52;
    // Longer save folders are shown cut to this many characters and "...".
    static constexpr int kPathCharacters = 40;

    CSaveFolderBar(CoreSession& session, QWidget* parent);

    // The save folder as the bar shows it.
    static QString ShownPath(const QString& path);

    // Tab comes to the bar's controls from this widget, and goes on in
    // their order on screen: the folder icon, "修改", "清空已完成".
    void SetTabAnchor(QWidget* anchor);

    // Rectangles, in the bar's coordinates.
    static QRect folderBoxRect() { return {20, 14, 358, 28}; }
    static QRect folderIconRect() { return {350, 16, 24, 24}; }
    // The folder dialog, while one is shown.
    QFileDialog* folderDialog() const { return folderDialog_; }

signals:
    // A toast text for the page: the chosen folder was refused.
    void refused(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void chooseFolder();
    void openFolder();
    void setIconState(bool over, bool pressed);

    CoreSession& session_;
    CKbcButton* modify_;
    CKbcButton* clean_;
    CKeyTarget* folderTarget_;
    SkinImage folderIcon_;  // "Convert\\OpenPath.png"
    QPointer<QFileDialog> folderDialog_;
    bool overIcon_ = false;
    bool pressedIcon_ = false;
};

}  // namespace zorvex::ui
