#pragma once

// Dates and times as the program shows and reads them.
//
// Patterns use the program's own pattern language (the patterns the settings
// offer: "yyyy-MM-dd", "mmm dd, yyyy", "dddd, mmmm dd, yyyy", "dd.MM.yy",
// "hh:nn:ss", "h:nn:ss", "h:nn am/pm", and "ddddd t" for the example line):
//   d dd ddd dddd   day, two-digit day, short and long day name
//   ddddd dddddd    the short and the long date format
//   m mm mmm mmmm   month, two-digit month, short and long month name (m and M
//                   alike); directly after h or hh, m and mm mean minutes
//   yy yyyy         two- and four-digit year
//   h hh n nn s ss  hour, minute, second, without and with a leading zero
//   t tt            the short and the long time format
//   am/pm a/p ampm  12-hour clock with the marker (ampm: the formats' am/pm texts)
//   / :             the date and the time separator
//   "..." '...'     literal text
// Letters are case-insensitive; anything else stands for itself.
//
// Directory times are seconds since 1970-01-01 00:00:00 UTC. They become local
// time with the time-zone rules in force at that very instant (the C library's
// rules for $TZ), so a stamp from the other half of the year is not an hour off.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellrun::platform {

struct DateTimeParts {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int dayOfWeek = 4;  // 0 Sunday to 6 Saturday
};

// The formats in force: the program-wide short date and short time formats
// (which the settings can change), the long ones, separators and names.
// Owned by the front end's start-up and passed to whatever formats times.
struct DateTimeFormats {
    std::string shortDate = "yyyy-MM-dd";
    std::string longDate = "dddd, mmmm dd, yyyy";
    std::string shortTime = "hh:nn";
    std::string longTime = "hh:nn:ss";
    char dateSeparator = '-';
    char timeSeparator = ':';
    std::string amText = "AM";
    std::string pmText = "PM";
    std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> longMonthNames{"January",   "February", "March",    "April",
                                               "May",       "June",     "July",     "August",
                                               "September", "October",  "November", "December"};
    std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> longDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};

    // The user's locale (LC_TIME of the environment, or the named locale): its
    // date and time formats translated into the pattern language, its names and
    // separators. Falls back to the defaults above for what the locale lacks.
    static DateTimeFormats FromLocale(const char* localeName = nullptr);

    // The part of FromLocale that needs no installed locale: the four formats
    // and the two separators from strftime-style date, time and 12-hour time
    // formats (a locale's D_FMT, T_FMT and T_FMT_AMPM); the names and the
    // am/pm texts keep their defaults.
    static DateTimeFormats FromStrftime(std::string_view dateFormat, std::string_view timeFormat,
                                        std::string_view ampmTimeFormat);
};

// The parts shown by the pattern. Formats that name formats expand at most a
// few levels deep, and one call gives at most 4,096 bytes: a longer text is
// cut where a character begins and ends in an ellipsis ("\u2026").
std::string FormatDateTime(std::string_view pattern, const DateTimeParts& parts,
                           const DateTimeFormats& formats);
// The same text appended to out. A pattern is read once per thread and kept
// until it, or a format it names, changes: formatting many times in the same
// few patterns costs little more than writing the text.
void AppendDateTime(std::string& out, std::string_view pattern, const DateTimeParts& parts,
                    const DateTimeFormats& formats);

// Directory seconds as local time, and as UTC (no conversion).
DateTimeParts LocalTimeOf(uint32_t seconds);
DateTimeParts UtcTimeOf(uint32_t seconds);

// The directory seconds of a local time (rules in force at that instant);
// nothing when the time is outside 1970-01-01 to 2106-02-07 UTC.
std::optional<uint32_t> SecondsOfLocalTime(const DateTimeParts& local);

// Reads a date, optionally followed by a time, typed in the short date format
// (day, month and year in that format's order, any separator of
// ".", "/", "-" or blank, two-digit years 00-49 as 20xx, the month as a number
// or a name, a day name before the date ignored) and a time as h:nn or
// h:nn:ss with an optional am/pm marker. The text the short date, long time
// and short time formats write between and after their fields is read too,
// so every time those formats write reads back. Nothing when the text is not one.
std::optional<DateTimeParts> ParseDateTime(std::string_view text, const DateTimeFormats& formats);

}  // namespace vellrun::platform
