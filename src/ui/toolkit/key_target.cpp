#include "ui/toolkit/key_target.h"

#include <QKeyEvent>

#include "ui/toolkit/accessible.h"
#include "ui/toolkit/focus_ring.h"

namespace zorvex::ui {

CKeyTarget::CKeyTarget(const QString& name, QAccessible::Role role, QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::TabFocus);
    FocusRing::Surround(this);
    SkinAccessible::SetRole(this, role);
    setAccessibleName(name);
}

void CKeyTarget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            emit activated();
            return;
        case Qt::Key_Up:
        case Qt::Key_Down:
            event->accept();
            emit keyPressed(event->key());
            return;
        case Qt::Key_Escape:
            emit keyPressed(event->key());
            QWidget::keyPressEvent(event);  // whoever else closes on Escape still hears it
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace zorvex::ui
