#pragma once

// The settings dialog's page apart from drawing it: the entries of its two
// format lists, the example line under them, the name of its left panel, and
// getSettingsFromDlg, which takes the page into the program's settings. The
// page's controls are named by the keys of the settings table, so the dialog
// reads and writes them as one AppSettings record ("the page") and stores it
// with ReadSettingsSection / WriteSettingsSection. Free functions; nothing
// here touches a widget or a file.

#include "platform/DateTime.h"
#include "settings/AppSettings.h"

#include <string>
#include <string_view>
#include <vector>

namespace vellrun::settings {

// The left panel beside the page's splitter; its width is kept under
// "PanelSettingsLeft.Width" in section "Settings".
inline constexpr std::string_view kPanelSettingsLeft = "PanelSettingsLeft";

// The date list: the system's short and long date formats on top, then the
// fixed formats. The time list likewise with the time formats.
std::vector<std::string> DateFormatItems(const platform::DateTimeFormats& system);
std::vector<std::string> TimeFormatItems(const platform::DateTimeFormats& system);

// "Example: " and the time formatted "ddddd t" (short date, a blank, short time).
std::string FormatExampleText(const platform::DateTimeFormats& formats,
                              const platform::DateTimeParts& now);

// Copies the page into settings: every member but the date and time formats,
// which the dialog puts in force itself while the lists change.
void getSettingsFromDlg(const AppSettings& page, AppSettings& settings);

}  // namespace vellrun::settings
