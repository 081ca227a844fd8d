#include "ui/toolkit/accessible.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/my_progress_bar.h"

namespace zorvex::ui {
namespace {

constexpr const char* kRole = "zorvexAccessibleRole";
constexpr const char* kChecked = "zorvexAccessibleChecked";

bool checkable(QAccessible::Role role) {
    return role == QAccessible::CheckBox || role == QAccessible::ListItem ||
           role == QAccessible::PageTab;
}

// A widget with a role of its own. Its action is a press of Space, which
// each such widget takes as a click.
class RoleAccessible : public QAccessibleWidget {
public:
    RoleAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QStringList actionNames() const override {
        if (checkable(role())) return {toggleAction()};
        if (role() == QAccessible::Button || role() == QAccessible::ComboBox)
            return {pressAction()};
        return {};
    }

    void doAction(const QString& action) override {
        if (!actionNames().contains(action)) return;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QCoreApplication::sendEvent(widget(), &press);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        const QVariant checked = widget()->property(kChecked);
        if (checkable(role()) && checked.isValid()) {
            s.checkable = true;
            s.checked = checked.toBool();
        }
        return s;
    }
};

class ButtonAccessible : public QAccessibleWidget {
public:
    explicit ButtonAccessible(CKbcButton* button)
        : QAccessibleWidget(button, roleOf(button)), button_(button) {}

    static QAccessible::Role roleOf(const CKbcButton* button) {
        const QVariant role = button->property(kRole);
        if (role.isValid()) return static_cast<QAccessible::Role>(role.toInt());
        return button->isCheckMode() ? QAccessible::CheckBox : QAccessible::Button;
    }

    QString text(QAccessible::Text t) const override {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty()) s = button_->caption().simplified();
        return s;
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (button_->inactive()) s.disabled = true;
        if (button_->isCheckMode()) {
            s.checkable = true;
            s.checked = button_->checked();
        }
        s.pressed = button_->pressed();
        return s;
    }

    QStringList actionNames() const override {
        return button_->inactive() ? QStringList() : QStringList{pressAction()};
    }

    void doAction(const QString& action) override {
        if (action == pressAction() && !button_->inactive()) button_->Press();
    }

private:
    CKbcButton* button_;
};

class ProgressAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ProgressAccessible(CMyProgressBar* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar), bar_(bar) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return QStringLiteral("%1%").arg(bar_->pos());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return bar_->pos(); }
    void setCurrentValue(const QVariant&) override {}  // read-only
    QVariant maximumValue() const override { return bar_->high(); }
    QVariant minimumValue() const override { return bar_->low(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    CMyProgressBar* bar_;
};

QAccessibleInterface* create(const QString&, QObject* object) {
    if (auto* button = qobject_cast<CKbcButton*>(object)) return new ButtonAccessible(button);
    if (auto* bar = qobject_cast<CMyProgressBar*>(object)) return new ProgressAccessible(bar);
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    const QVariant role = widget->property(kRole);
    if (!role.isValid()) return nullptr;
    return new RoleAccessible(widget, static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void SkinAccessible::Install() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(create);
}

void SkinAccessible::SetRole(QWidget* widget, QAccessible::Role role) {
    Install();
    widget->setProperty(kRole, static_cast<int>(role));
}

void SkinAccessible::SetChecked(QWidget* widget, bool checked) {
    const QVariant before = widget->property(kChecked);
    if (before.isValid() && before.toBool() == checked) return;
    widget->setProperty(kChecked, checked);
    if (!QAccessible::isActive()) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}

void SkinAccessible::SetName(QWidget* widget, const QString& name) {
    if (widget->accessibleName() != name) widget->setAccessibleName(name);
}

}  // namespace zorvex::ui
