#pragma once

#include <QAccessible>

class QWidget;

namespace zorvex::ui {

// What screen readers learn of the skinned controls, which paint themselves
// and so tell the platform nothing. The names are the widgets' own
// (QWidget::setAccessibleName); this gives the roles, check states, actions
// and values: a CKbcButton is a button, or a check box in check mode; a
// CMyProgressBar a progress bar with its value; any other widget the role
// set here. Widgets with a role of their own show screen readers only the
// children on screen: a hidden control is not there to be heard.
// GUI thread only.
class SkinAccessible {
public:
    // Registers the interfaces with Qt (once); the toolkit's controls call it when made.
    static void Install();
    // The role screen readers are told for widget; for a check box or a
    // list item, checked is its state (see SetChecked).
    static void SetRole(QWidget* widget, QAccessible::Role role);
    // A widget with the role CheckBox or ListItem: checked or not, told to
    // screen readers when it changes.
    static void SetChecked(QWidget* widget, bool checked);
    // A widget with a role of its own offers one press (taken as Space) under
    // this name, in place of what its role offers; an empty label offers
    // what the role offers again.
    static void SetAction(QWidget* widget, const QString& label);
    // The name changes as setAccessibleName tells; this only skips an equal one.
    static void SetName(QWidget* widget, const QString& name);
};

}  // namespace zorvex::ui
