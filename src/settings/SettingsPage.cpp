#include "settings/SettingsPage.h"

namespace vellrun::settings {

std::vector<std::string> DateFormatItems(const platform::DateTimeFormats& system) {
    return {system.shortDate, system.longDate,       "yyyy-MM-dd",
            "mmm dd, yyyy",   "dddd, mmmm dd, yyyy", "dd.MM.yy"};
}

std::vector<std::string> TimeFormatItems(const platform::DateTimeFormats& system) {
    return {system.shortTime, system.longTime, "hh:nn:ss", "h:nn:ss", "h:nn am/pm"};
}

std::string FormatExampleText(const platform::DateTimeFormats& formats,
                              const platform::DateTimeParts& now) {
    return "Example: " + platform::FormatDateTime("ddddd t", now, formats);
}

void getSettingsFromDlg(const AppSettings& page, AppSettings& settings) {
    const std::string date = settings.DateFormat;
    const std::string time = settings.TimeFormat;
    settings = page;
    settings.DateFormat = date;
    settings.TimeFormat = time;
}

}  // namespace vellrun::settings
