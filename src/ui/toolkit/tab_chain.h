#pragma once

#include <QWidget>

#include <initializer_list>
#include <vector>

namespace zorvex::ui {

// Puts the widgets one after the other in Tab's order, the first staying
// where it is. Unlike QWidget::setTabOrder, widgets that take no focus now
// are chained too: an inactive button or a card of the grid that is not the
// grid's stop may take it later, and must then stand in its place. Null
// entries are skipped. GUI thread only.
void ChainTabs(const std::vector<QWidget*>& widgets);
void ChainTabs(std::initializer_list<QWidget*> widgets);

// Shift+Tab as if it were pressed on widget: the focus goes to the Tab stop
// before it in its window. For a view that holds the focus itself after a
// click but stands in Tab's order by its items. False: there is none.
bool FocusTabStopBefore(QWidget* widget);

}  // namespace zorvex::ui
