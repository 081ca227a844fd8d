#include "ui/toolkit/tab_chain.h"

namespace zorvex::ui {

void ChainTabs(const std::vector<QWidget*>& widgets) {
    QWidget* previous = nullptr;
    for (QWidget* next : widgets) {
        if (!next) continue;
        if (previous) {
            // setTabOrder leaves out a widget without focus: lend it one for the call.
            const Qt::FocusPolicy first = previous->focusPolicy();
            const Qt::FocusPolicy second = next->focusPolicy();
            if (first == Qt::NoFocus) previous->setFocusPolicy(Qt::TabFocus);
            if (second == Qt::NoFocus) next->setFocusPolicy(Qt::TabFocus);
            QWidget::setTabOrder(previous, next);
            previous->setFocusPolicy(first);
            next->setFocusPolicy(second);
        }
        previous = next;
    }
}

void ChainTabs(std::initializer_list<QWidget*> widgets) {
    ChainTabs(std::vector<QWidget*>(widgets));
}

bool FocusTabStopBefore(QWidget* widget) {
    for (QWidget* w = widget->previousInFocusChain(); w && w != widget;
         w = w->previousInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() &&
            w->window() == widget->window()) {
            w->setFocus(Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

}  // namespace zorvex::ui
