#pragma once

#include <QAccessible>
#include <QWidget>

namespace zorvex::ui {

// Lends the keyboard and screen readers to a control its parent paints
// itself (the left menu's "转码", the address box): an empty child over the
// control's rectangle that takes Tab, is ringed while it has the focus, carries the
// accessible name and role, and reports Space and Enter as activated().
// The mouse passes through it to the parent, which keeps handling it.
// Keys it does not use go on to the parent. GUI thread only; the parent owns it.
class CKeyTarget : public QWidget {
    Q_OBJECT
public:
    CKeyTarget(const QString& name, QAccessible::Role role, QWidget* parent);

signals:
    void activated();
    // Up, Down and Escape, for a control that opens a menu (Escape goes on
    // to the parent as well).
    void keyPressed(int key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace zorvex::ui
