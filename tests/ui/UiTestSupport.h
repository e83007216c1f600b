#pragma once

// Helpers for driving widgets in tests as a person would.

#include <QTreeWidget>
#include <functional>

namespace vellrun::testing {

// Presses and releases the left mouse button on the item's row, as a click.
void ClickItem(QTreeWidget& view, QTreeWidgetItem* item);

// Handles events until the condition holds or the time is up; returns the condition.
bool ProcessEventsUntil(const std::function<bool()>& condition, int milliseconds = 2000);

}  // namespace vellrun::testing
