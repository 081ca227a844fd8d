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
constexpr const char* kAction = "zorvexAccessibleAction";

bool checkable(QAccessible::Role role) {
    return role == QAccessible::CheckBox || role == QAccessible::ListItem ||
           role == QAccessible::PageTab;
}

// A widget with a role of its own. Its action is a press of Space, which
// each such widget takes as a click. Only the children on screen are its children.
class RoleAccessible : public QAccessibleWidget {
public:
    RoleAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    int childCount() const override { return static_cast<int>(shownChildren().size()); }

    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> shown = shownChildren();
        if (index < 0 || index >= shown.size()) return nullptr;
        return QAccessible::queryAccessibleInterface(shown[index]);
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child || !child->object() || !child->object()->isWidgetType()) return -1;
        return static_cast<int>(shownChildren().indexOf(static_cast<QWidget*>(child->object())));
    }

    QStringList actionNames() const override {
        if (!label().isEmpty()) return {pressAction()};
        if (checkable(role()) && widget()->property(kChecked).isValid()) return {toggleAction()};
        if (role() == QAccessible::Button || role() == QAccessible::ComboBox)
            return {pressAction()};
        return {};
    }

    QString localizedActionName(const QString& action) const override {
        if (action == pressAction() && !label().isEmpty()) return label();
        return QAccessibleWidget::localizedActionName(action);
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

private:
    QString label() const { return widget()->property(kAction).toString(); }

    QList<QWidget*> shownChildren() const {
        QList<QWidget*> shown;
        for (QObject* child : widget()->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (w && !w->isWindow() && !w->isHidden()) shown.push_back(w);
        }
        return shown;
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

void SkinAccessible::SetAction(QWidget* widget, const QString& label) {
    if (widget->property(kAction).toString() == label) return;
    widget->setProperty(kAction, label);
    if (!QAccessible::isActive()) return;
    QAccessibleEvent event(widget, QAccessible::ActionChanged);
    QAccessible::updateAccessibility(&event);
}

void SkinAccessible::SetName(QWidget* widget, const QString& name) {
    if (widget->accessibleName() != name) widget->setAccessibleName(name);
}

}  // namespace zorvex::ui
