#pragma once

#include <QFont>
#include <QTableView>
#include <QWidget>
#include <optional>

namespace vellrun::ui {

// The "&Font" action of the main window: the font dialog opens with the
// window's font; on OK the window and the settings dialog take the chosen
// font and the grid's rows get its height plus 2 pixels. Tests answer the
// dialog through DialogScript. Returns the chosen font, or nothing when the
// person cancelled (then nothing changes).
std::optional<QFont> ActionFontClick(QWidget& window, QWidget* settingsDialog, QTableView* grid);

// The height of a grid row for the font: its line height plus 2 pixels.
int GridRowHeight(const QFont& font);

}  // namespace vellrun::ui
