#pragma once

#include <QFont>
#include <QTableView>
#include <QWidget>
#include <optional>

namespace vellrun::ui {

// The "&Font" action of the main window: the font dialog opens with the
// window's font; on OK the window and the settings dialog take the chosen
// font and the grid's rows are fitted to it (GridRowHeight). Tests answer the
// dialog through DialogScript. Returns the chosen font, or nothing when the
// person cancelled (then nothing changes).
std::optional<QFont> ActionFontClick(QWidget& window, QWidget* settingsDialog, QTableView* grid);

// The height of a one-line grid row for the font: its line height and the
// room around the text that the window has had from its start. The same at
// start, after a restart and after the "&Font" action.
inline constexpr int kGridRowPadding = 6;
int GridRowHeight(const QFont& font);

}  // namespace vellrun::ui
